#pragma once
// Building blocks of the ribbon and the floating bar: icon paths, buttons of
// four sizes, titled groups and shortcut hints. The look of each role comes
// from the style sheet, which selects by the object names set here.

#include <QKeySequence>
#include <QList>
#include <QIcon>
#include <QString>

class QLabel;
class QToolButton;
class QWidget;

// ":/resources/icons/" + key + ".svg".
QString I(const QString& key);
// The icon of a window command: its disabled look is its picture at a third
// of its strength, so it fades into the ribbon in the light and dark theme alike
// (a generated grey one stands out on a dark ribbon).
QIcon commandIcon(const QString& key);

QToolButton* largeIconButton(const QString& iconKey, const QString& text, bool checkable = false);
QToolButton* iconOnlyButton(const QString& iconKey, const QString& text, bool checkable = false);
QToolButton* floatingIconButton(const QString& iconKey, const QString& text, bool checkable = false);

// Tool tip and status tip "text (keys)", or the text alone without keys.
void setShortcutHint(QToolButton* button, const QString& text, const QKeySequence& keys);

QWidget* ribbonMultiRowGroup(const QString& title, const QList<QList<QWidget*>>& rows);
QWidget* ribbonLeadGroup(const QString& title, QWidget* lead, const QList<QList<QWidget*>>& rows);

// The centred title under every ribbon group.
QLabel* ribbonGroupTitle(const QString& title);
