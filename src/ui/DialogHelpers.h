#pragma once
// Factories and message dialogs that give every dialog the same look: the
// themes style them by their object names.

#include <QString>

#include <QMessageBox>

class QBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Always plain text: whatever the text holds is shown as it is.
QLabel* label(const QString& text, const QString& objectName = QString());
QPushButton* dialogButton(const QString& text, const QString& objectName);
QLineEdit* dialogLineEdit(const QString& text = QString());
// A dialog's opening lines: its title and, under it, a wrapped subtitle.
void addDialogHeading(QBoxLayout* layout, const QString& title, const QString& subtitle);

// A tool tip that shows `text` as it is: Qt renders a tool tip that looks like
// HTML as HTML, so such a text is escaped into a rich text of its own.
QString plainToolTip(const QString& text);

// QMessageBox::critical/warning/information with the text always plain, for
// texts that hold file names, paths or error words from outside.
void plainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);

// "512 Б", "1,5 КБ", "2,00 МБ": units and the decimal sign of the interface language.
QString formatFileSize(qint64 bytes);
// A number with a fixed count of decimals as the interface language writes it.
QString formatDecimal(double value, int decimals);

// Modal message with one "OK" button.
void appInfo(QWidget* parent, const QString& title, const QString& text);
// Modal question; true only when the primary button was clicked.
bool appQuestion(QWidget* parent, const QString& title, const QString& text, const QString& primaryText,
                 const QString& secondaryText);
// 0 save, 1 do not save, 2 cancel (also when the dialog is closed otherwise).
// The question names the document it is about.
int appUnsavedChangesQuestion(QWidget* parent, const QString& documentName);
// 0 the secondary action, 1 the primary action, 2 cancel or closed.
int appPdfFileQuestion(QWidget* parent, const QString& title, const QString& text,
                       const QString& secondaryText, const QString& cancelText, const QString& primaryText);
