#include "RibbonTestWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTest>

namespace apptest {

std::string lines(const QStringList& groups) { return groups.join(QLatin1Char('\n')).toStdString(); }

std::string ribbonInventory(QWidget* page) {
  QStringList groups;
  for (QObject* child : page->children()) {
    auto* group = qobject_cast<QWidget*>(child);
    if (!group || group->objectName() != QLatin1String("RibbonGroup")) continue;
    QString title;
    if (auto* caption = group->findChild<QLabel*>(QStringLiteral("RibbonGroupTitle"))) title = caption->text();
    QStringList controls;
    for (QWidget* widget : group->findChildren<QWidget*>()) {
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QString name = button->text();
        if (name.isEmpty()) name = button->toolTip().section(QStringLiteral(" ("), 0, 0);
        controls << name;
      } else if (qobject_cast<QComboBox*>(widget) && widget->parentWidget() == group) {
        controls << QStringLiteral("[combo]");
      } else if (qobject_cast<QSpinBox*>(widget)) {
        controls << QStringLiteral("[spin]");
      }
    }
    groups << title + QStringLiteral(": ") + controls.join(QStringLiteral(", "));
  }
  return lines(groups);
}

QString messageOf(const std::function<void()>& command) {
  auto seen = answerNextDialog(QString());
  command();
  QTest::qWait(30);
  seen->stopWaiting = true;
  QTest::qWait(20);
  return seen->shown ? seen->texts : QString();
}

}  // namespace apptest
