#pragma once
// Building blocks of the ribbon and the floating bar: icon paths, buttons of
// four sizes, titled groups and shortcut hints. The look of each role comes
// from the style sheet, which selects by the object names set here.

#include <QKeySequence>
#include <QList>
#include <QString>

class QLabel;
class QToolButton;
class QWidget;

// ":/resources/icons/" + key + ".svg".
QString I(const QString& key);

QToolButton* largeIconButton(const QString& iconKey, const QString& text, bool checkable = false);
QToolButton* iconOnlyButton(const QString& iconKey, const QString& text, bool checkable = false);
QToolButton* floatingIconButton(const QString& iconKey, const QString& text, bool checkable = false);

// Tool tip and status tip "text (keys)", or the text alone without keys.
void setShortcutHint(QToolButton* button, const QString& text, const QKeySequence& keys);

QWidget* ribbonMultiRowGroup(const QString& title, const QList<QList<QWidget*>>& rows);
QWidget* ribbonLeadGroup(const QString& title, QWidget* lead, const QList<QList<QWidget*>>& rows);

// The centred title under every ribbon group.
QLabel* ribbonGroupTitle(const QString& title);
