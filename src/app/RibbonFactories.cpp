#include "RibbonFactories.h"

#include <QBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

namespace {

QToolButton* iconButton(const QString& iconKey, const QString& text, bool checkable, int iconSide) {
  auto* button = new QToolButton;
  button->setObjectName(QStringLiteral("IconOnlyButton"));
  button->setIcon(commandIcon(iconKey));
  button->setIconSize(QSize(iconSide, iconSide));
  button->setToolTip(text);
  button->setAutoRaise(true);
  button->setCheckable(checkable);
  return button;
}

QToolButton* squareIconButton(const QString& iconKey, const QString& text, bool checkable, int iconSide,
                              int side) {
  QToolButton* button = iconButton(iconKey, text, checkable, iconSide);
  button->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button->setFixedSize(side, side);
  return button;
}

QWidget* groupFrame(QVBoxLayout*& outer) {
  auto* group = new QWidget;
  group->setObjectName(QStringLiteral("RibbonGroup"));
  outer = new QVBoxLayout(group);
  outer->setContentsMargins(8, 3, 9, 3);
  outer->setSpacing(3);
  return group;
}

// Each inner list becomes one left-aligned row.
QVBoxLayout* rowColumn(const QList<QList<QWidget*>>& rows) {
  auto* column = new QVBoxLayout;
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(3);
  for (const QList<QWidget*>& row : rows) {
    auto* line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(4);
    for (QWidget* widget : row)
      if (widget) line->addWidget(widget);
    line->addStretch(1);
    column->addLayout(line);
  }
  return column;
}

}  // namespace

QString I(const QString& key) { return QStringLiteral(":/resources/icons/") + key + QStringLiteral(".svg"); }

QIcon commandIcon(const QString& key) {
  // Drawn once per size: the picture engine keeps no pixmap of its own for
  // the disabled mode, so the icon is made of pixmaps (twice the sizes too,
  // for screens that draw at double resolution).
  const QIcon drawing(I(key));
  QIcon icon;
  for (int side : {16, 20, 24, 32, 40, 48, 64, 80, 96}) {
    const QPixmap normal = drawing.pixmap(QSize(side, side));
    if (normal.isNull()) continue;
    icon.addPixmap(normal, QIcon::Normal);
    QPixmap faded(normal.size());
    faded.fill(Qt::transparent);
    QPainter painter(&faded);
    painter.setOpacity(0.35);
    painter.drawPixmap(0, 0, normal);
    painter.end();
    icon.addPixmap(faded, QIcon::Disabled);
  }
  return icon;
}

QToolButton* largeIconButton(const QString& iconKey, const QString& text, bool checkable) {
  QToolButton* button = iconButton(iconKey, text, checkable, 40);
  button->setText(text);
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  // At least this wide, and wider for a longer word, so that no language cuts it.
  button->setFixedHeight(76);
  button->setMinimumWidth(72);
  return button;
}

QToolButton* iconOnlyButton(const QString& iconKey, const QString& text, bool checkable) {
  return squareIconButton(iconKey, text, checkable, 24, 32);
}

QToolButton* floatingIconButton(const QString& iconKey, const QString& text, bool checkable) {
  return squareIconButton(iconKey, text, checkable, 16, 30);
}

void setShortcutHint(QToolButton* button, const QString& text, const QKeySequence& keys) {
  if (!button) return;
  const QString keyText = keys.toString(QKeySequence::NativeText);
  const QString tip = keyText.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, keyText);
  button->setToolTip(tip);
  button->setStatusTip(tip);
}

QLabel* ribbonGroupTitle(const QString& title) {
  auto* caption = new QLabel(title);
  caption->setObjectName(QStringLiteral("RibbonGroupTitle"));
  caption->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  return caption;
}

QWidget* ribbonMultiRowGroup(const QString& title, const QList<QList<QWidget*>>& rows) {
  QVBoxLayout* outer = nullptr;
  QWidget* group = groupFrame(outer);
  outer->addLayout(rowColumn(rows), 1);
  outer->addWidget(ribbonGroupTitle(title));
  return group;
}

QWidget* ribbonLeadGroup(const QString& title, QWidget* lead, const QList<QList<QWidget*>>& rows) {
  QVBoxLayout* outer = nullptr;
  QWidget* group = groupFrame(outer);
  auto* body = new QWidget;
  body->setObjectName(QStringLiteral("RibbonGroupBody"));
  body->setMinimumHeight(84);
  auto* bodyLayout = new QHBoxLayout(body);
  bodyLayout->setContentsMargins(0, 0, 0, 0);
  bodyLayout->setSpacing(6);
  if (lead) bodyLayout->addWidget(lead, 0, Qt::AlignTop);
  QVBoxLayout* column = rowColumn(rows);
  column->addStretch(1);
  bodyLayout->addLayout(column);
  outer->addWidget(body, 1);
  outer->addWidget(ribbonGroupTitle(title));
  return group;
}
