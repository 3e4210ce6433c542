#include "DialogSections.h"

#include "ui/DialogHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

void fillRecentFilesList(QListWidget* list, const QList<QString>& recentPaths) {
  list->clear();
  for (const QString& path : recentPaths) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) continue;  // it stays in the stored list
    // Files of the same name are told apart by their folder.
    auto* item = new QListWidgetItem(
        QStringLiteral("%1    %2").arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())), list);
    item->setData(Qt::UserRole, info.absoluteFilePath());
  }
  if (list->count() > 0) {
    list->setCurrentRow(0);
    return;
  }
  auto* none = new QListWidgetItem(QStringLiteral("Недавних файлов пока нет"), list);
  none->setFlags(none->flags() & ~Qt::ItemIsEnabled);
}

std::pair<QWidget*, QVBoxLayout*> settingsSectionHeader(const QString& title, const QString& hint) {
  auto* section = new QWidget;
  auto* layout = new QVBoxLayout(section);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);
  QLabel* heading = label(title, QStringLiteral("DialogSubtitle"));
  heading->setWordWrap(true);
  layout->addWidget(heading);
  if (!hint.isEmpty()) {
    QLabel* hintLabel = label(hint, QStringLiteral("DialogHint"));
    hintLabel->setWordWrap(true);
    layout->addWidget(hintLabel);
  }
  return {section, layout};
}
