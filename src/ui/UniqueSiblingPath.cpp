#include "UniqueSiblingPath.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

QString uniqueSiblingPathLikeChrome(const QString& path) {
  const QFileInfo info(path);
  QString folder = info.absolutePath();
  if (folder.isEmpty() || folder == QLatin1String(".")) folder = QDir::homePath();
  const QDir dir(folder);

  QString base = info.completeBaseName();
  if (base.trimmed().isEmpty()) base = info.fileName();
  if (base.trimmed().isEmpty()) base = QStringLiteral("document");
  const QString extension = info.suffix();

  const auto candidate = [&](qint64 n) {
    QString name = n > 0 ? QStringLiteral("%1 (%2)").arg(base, QString::number(n)) : base;
    if (!extension.isEmpty()) name += QLatin1Char('.') + extension;
    return dir.filePath(name);
  };

  for (qint64 n = 0; n <= 9999; ++n) {
    const QString path = candidate(n);
    if (!QFileInfo::exists(path)) return path;
  }
  // Every small number is taken: go on from a clock-derived number, but still
  // never hand out a path that exists.
  const qint64 start = QDateTime::currentMSecsSinceEpoch() % 1000000;
  for (qint64 step = 0; step < 990000; ++step) {
    const QString path = candidate(10000 + (start + step) % 990000);
    if (!QFileInfo::exists(path)) return path;
  }
  for (qint64 n = 1000000;; ++n) {
    const QString path = candidate(n);
    if (!QFileInfo::exists(path)) return path;
  }
}
