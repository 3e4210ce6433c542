#include "ShellActionFiles.h"

#include "ui/UiLanguage.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

QString entry(const QString& path, const QString& reason) {
  const QString name = QFileInfo(path).fileName();
  return (name.isEmpty() ? path : name) + QStringLiteral(" — ") + reason;
}

}  // namespace

ShellActionFiles collectShellActionFiles(const QList<QString>& arguments) {
  ShellActionFiles result;
  QSet<QString> seen;
  for (const QString& argument : arguments) {
    const QFileInfo info(argument);
    if (!info.exists()) {
      result.refused << entry(argument, QStringLiteral("файл не найден"));
      continue;
    }
    if (!info.isFile()) {
      result.refused << entry(argument, QStringLiteral("не обычный файл"));
      continue;
    }
    const QString absolute = info.absoluteFilePath();
    if (seen.contains(absolute)) continue;
    seen.insert(absolute);
    result.files << absolute;
  }
  return result;
}

bool isSupportedMergeFile(const QString& path) {
  static const QSet<QString> suffixes{QStringLiteral("pdf"), QStringLiteral("png"),  QStringLiteral("jpg"),
                                      QStringLiteral("jpeg"), QStringLiteral("bmp"), QStringLiteral("webp"),
                                      QStringLiteral("gif"), QStringLiteral("tif"),  QStringLiteral("tiff"),
                                      QStringLiteral("xlsx")};
  return suffixes.contains(QFileInfo(path).suffix().toLower());
}

bool hasPdfSignature(const QString& path, QString* reason) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (reason) *reason = QStringLiteral("нет доступа на чтение");
    return false;
  }
  if (!file.read(2048).contains("%PDF-")) {
    if (reason) *reason = QStringLiteral("не PDF по содержимому");
    return false;
  }
  return true;
}

QString refusedFilesNote(const QStringList& refused) {
  if (refused.isEmpty()) return QString();
  return uiTranslate(QStringLiteral("\n\nНе подходят:\n")) + refused.join(QLatin1Char('\n'));
}
