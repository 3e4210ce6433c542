#include "RecentFiles.h"

#include <QSettings>

namespace {

constexpr int kMaxRecentFiles = 8;

}  // namespace

bool recentFilesEnabled() { return QSettings().value(QStringLiteral("doc/rememberRecent"), true).toBool(); }

QStringList recentFilePaths() { return QSettings().value(QStringLiteral("recentFiles")).toStringList(); }

void rememberRecentFile(const QString& absolutePath) {
  if (!recentFilesEnabled()) return;
  QStringList recent = recentFilePaths();
  recent.removeAll(absolutePath);
  recent.prepend(absolutePath);
  while (recent.size() > kMaxRecentFiles) recent.removeLast();
  QSettings().setValue(QStringLiteral("recentFiles"), recent);
}

void clearRecentFiles() { QSettings().remove(QStringLiteral("recentFiles")); }
