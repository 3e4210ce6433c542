#include "ExportFileNames.h"

#include "UiLanguage.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

using WordTable = QHash<QString, QString>;

WordTable table(std::initializer_list<std::pair<const char*, const char*>> rows) {
  WordTable words;
  for (const auto& [code, word] : rows) words.insert(QString::fromLatin1(code), QString::fromUtf8(word));
  return words;
}

const WordTable& compressedWords() {
  static const WordTable words = table({{"ru", "сжатый"}, {"en", "compressed"}, {"de", "komprimiert"},
                                        {"fr", "compresse"}, {"es", "comprimido"}, {"it", "compresso"},
                                        {"pt", "comprimido"}, {"pl", "skompresowany"}, {"uk", "стиснений"},
                                        {"be", "сціснуты"}, {"kk", "қысылған"}, {"tr", "sikistirilmis"},
                                        {"zh", "压缩"}, {"ja", "圧縮"}, {"ko", "압축"}, {"ar", "مضغوط"}});
  return words;
}

const WordTable& mergedWords() {
  static const WordTable words = table({{"ru", "объединённый"}, {"en", "merged"}, {"de", "zusammengefuehrt"},
                                        {"fr", "fusionne"}, {"es", "combinado"}, {"it", "unito"},
                                        {"pt", "unido"}, {"pl", "polaczony"}, {"uk", "об'єднаний"},
                                        {"be", "аб'яднаны"}, {"kk", "біріктірілген"}, {"tr", "birlestirilmis"},
                                        {"zh", "合并"}, {"ja", "結合"}, {"ko", "병합"}, {"ar", "مدمج"}});
  return words;
}

const WordTable& scannedWords() {
  static const WordTable words = table({{"ru", "сканированный"}, {"en", "scanned"}, {"de", "gescannt"},
                                        {"fr", "numerise"}, {"es", "escaneado"}, {"it", "scansionato"},
                                        {"pt", "digitalizado"}, {"pl", "zeskanowany"}, {"uk", "сканований"},
                                        {"be", "сканаваны"}, {"kk", "сканерленген"}, {"tr", "taranmis"},
                                        {"zh", "扫描"}, {"ja", "スキャン"}, {"ko", "스캔"}, {"ar", "ممسوح"}});
  return words;
}

QString folderOf(const QString& path) {
  const QString folder = QFileInfo(path).absolutePath();
  return folder.isEmpty() || folder == QLatin1String(".") ? QDir::homePath() : folder;
}

}  // namespace

QString localizedExportSuffix(const QString& kind) {
  const bool compressed = kind == QLatin1String("compressed");
  const bool merged = kind == QLatin1String("merged");
  const WordTable& words = compressed ? compressedWords() : merged ? mergedWords() : scannedWords();
  const QString fallback = compressed ? QStringLiteral("compressed")
                           : merged   ? QStringLiteral("merged")
                                      : QStringLiteral("scanned");
  static const QRegularExpression spaces(QStringLiteral("\\s+"));
  static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|]"));
  QString word = words.value(currentUiLanguageCode(), fallback).simplified();
  word.replace(spaces, QStringLiteral("_"));
  word.remove(forbidden);
  return word.isEmpty() ? fallback : word;
}

QString withLocalizedPdfSuffix(const QString& path, const QString& kind) {
  const QString tail = QLatin1Char('_') + localizedExportSuffix(kind);
  QString base = QFileInfo(path).completeBaseName().trimmed();
  if (base.isEmpty()) base = QStringLiteral("document");
  if (!base.endsWith(tail, Qt::CaseInsensitive)) base += tail;
  return QDir(folderOf(path)).filePath(base + QStringLiteral(".pdf"));
}

QString suggestedSiblingPdfPath(const QString& sourcePath, const QString& kind, const QString& fallbackBaseName) {
  const QString name = QFileInfo(sourcePath).completeBaseName();
  const QString base = name.trimmed().isEmpty() ? fallbackBaseName : name;
  return withLocalizedPdfSuffix(QDir(folderOf(sourcePath)).filePath(base + QStringLiteral(".pdf")), kind);
}
