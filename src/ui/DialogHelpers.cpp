#include "DialogHelpers.h"
#include "UiLanguage.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QObject>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr const char* kPrimary = "PrimaryDialogButton";
constexpr const char* kSecondary = "SecondaryDialogButton";

// One answer button of a message dialog: the value it gives and whether it
// accepts or rejects the dialog.
struct Answer {
  QString text;
  const char* role;
  int result;
  bool accepts;
};

struct MessageLayout {
  int minimumWidth;
  QMargins margins;
  int buttonSpacing;  // -1: the style's default
  QString heading;    // empty: none
};

// Builds and runs one modal message dialog; returns the value of the answer
// clicked, or closedResult when the dialog was closed otherwise.
int runMessageDialog(QWidget* parent, const QString& title, const QString& text, const MessageLayout& look,
                     const QList<Answer>& answers, int closedResult) {
  QDialog dialog(parent);
  dialog.setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
  dialog.setObjectName(QStringLiteral("AppDialog"));
  dialog.setModal(true);
  dialog.setWindowTitle(title);
  dialog.setMinimumWidth(look.minimumWidth);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSpacing(10);
  layout->setContentsMargins(look.margins);
  if (!look.heading.isEmpty()) layout->addWidget(label(look.heading, QStringLiteral("DialogTitle")));
  QLabel* line = label(text, QStringLiteral("DialogSubtitle"));
  line->setWordWrap(true);
  layout->addWidget(line);
  auto* buttons = new QHBoxLayout;
  if (look.buttonSpacing >= 0) buttons->setSpacing(look.buttonSpacing);
  buttons->addStretch(1);
  int result = closedResult;
  for (const Answer& answer : answers) {
    QPushButton* button = dialogButton(answer.text, QLatin1String(answer.role));
    button->setAutoDefault(false);
    // Return answers as the primary button does, as in every message box.
    if (qstrcmp(answer.role, kPrimary) == 0) button->setDefault(true);
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &result, answer] {
      result = answer.result;
      if (answer.accepts)
        dialog.accept();
      else
        dialog.reject();
    });
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  dialog.exec();
  return result;
}

}  // namespace

QLabel* label(const QString& text, const QString& objectName) {
  auto* result = new QLabel(text);
  // Labels carry file names, paths, certificate fields and server words: in
  // Qt's automatic mode a text that looks like HTML is rendered, and an
  // <img> in it makes Qt read whatever file it names.
  result->setTextFormat(Qt::PlainText);
  if (!objectName.isEmpty()) result->setObjectName(objectName);
  return result;
}

QPushButton* dialogButton(const QString& text, const QString& objectName) {
  auto* button = new QPushButton(text);
  button->setObjectName(objectName);
  return button;
}

QLineEdit* dialogLineEdit(const QString& text) {
  auto* edit = new QLineEdit(text);
  edit->setObjectName(QStringLiteral("DialogLineEdit"));
  return edit;
}

void addDialogHeading(QBoxLayout* layout, const QString& title, const QString& subtitle) {
  layout->addWidget(label(title, QStringLiteral("DialogTitle")));
  QLabel* below = label(subtitle, QStringLiteral("DialogSubtitle"));
  below->setWordWrap(true);
  layout->addWidget(below);
}

QString plainToolTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

void plainMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, QString(), QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  box.exec();
}

QString formatDecimal(double value, int decimals) {
  QLocale locale(currentUiLanguageCode());
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(value, 'f', decimals);
}

QString formatFileSize(qint64 bytes) {
  if (bytes < 1024) return uiTranslate(QStringLiteral("%1 Б")).arg(formatDecimal(double(bytes), 0));
  if (bytes < 1048576) return uiTranslate(QStringLiteral("%1 КБ")).arg(formatDecimal(double(bytes) / 1024.0, 1));
  return uiTranslate(QStringLiteral("%1 МБ")).arg(formatDecimal(double(bytes) / 1048576.0, 2));
}

void appInfo(QWidget* parent, const QString& title, const QString& text) {
  runMessageDialog(parent, title, text, {300, QMargins(20, 16, 20, 14), -1, QString()},
                   {{QStringLiteral("ОК"), kPrimary, 0, true}}, 0);
}

bool appQuestion(QWidget* parent, const QString& title, const QString& text, const QString& primaryText,
                 const QString& secondaryText) {
  return runMessageDialog(parent, title, text, {360, QMargins(20, 16, 20, 14), 8, QString()},
                          {{secondaryText, kSecondary, 0, false}, {primaryText, kPrimary, 1, true}}, 0) == 1;
}

int appUnsavedChangesQuestion(QWidget* parent, const QString& documentName) {
  return runMessageDialog(parent, QStringLiteral("Несохранённые изменения"),
                          uiTranslate(QStringLiteral("Документ «%1» изменён. Сохранить изменения перед закрытием?"))
                              .arg(documentName),
                          {440, QMargins(18, 18, 18, 16), 8, QStringLiteral("Сохранить изменения?")},
                          {{QStringLiteral("Не сохранять"), kSecondary, 1, true},
                           {QStringLiteral("Отмена"), kSecondary, 2, false},
                           {QStringLiteral("Сохранить"), kPrimary, 0, true}},
                          2);
}

int appPdfFileQuestion(QWidget* parent, const QString& title, const QString& text, const QString& secondaryText,
                       const QString& cancelText, const QString& primaryText) {
  return runMessageDialog(
      parent, title, text, {460, QMargins(18, 18, 18, 16), 8, title},
      {{secondaryText, kSecondary, 0, true}, {cancelText, kSecondary, 2, false}, {primaryText, kPrimary, 1, true}}, 2);
}
