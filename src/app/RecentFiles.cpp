#include "RecentFiles.h"

#include "core/ForeignFileNames.h"

#include <QSettings>

namespace {

constexpr int kMaxRecentFiles = 8;

QStringList storedEntries() { return QSettings().value(QStringLiteral("recentFiles")).toStringList(); }

}  // namespace

bool recentFilesEnabled() { return QSettings().value(QStringLiteral("doc/rememberRecent"), true).toBool(); }

QStringList recentFilePaths() {
  // A file reached through a link of ours is kept as the real file and gets a
  // fresh link of this run; one that cannot be reached is left out.
  QStringList paths;
  for (const QString& stored : storedEntries())
    if (const QString path = openablePathForStored(stored); !path.isEmpty()) paths << path;
  return paths;
}

QString lastRecentFilePath() {
  const QStringList stored = storedEntries();
  return stored.isEmpty() || stored.first().isEmpty() ? QString() : openablePathForStored(stored.first());
}

void rememberRecentFile(const QString& absolutePath) {
  if (!recentFilesEnabled()) return;
  const QString entry = storedFileName(absolutePath);
  QStringList recent = storedEntries();
  recent.removeAll(entry);
  recent.prepend(entry);
  while (recent.size() > kMaxRecentFiles) recent.removeLast();
  QSettings().setValue(QStringLiteral("recentFiles"), recent);
}

void clearRecentFiles() { QSettings().remove(QStringLiteral("recentFiles")); }
