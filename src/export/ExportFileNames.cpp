#include "ExportFileNames.h"

#include "core/ForeignFileNames.h"

#include "ui/UiLanguage.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

using WordTable = QHash<QString, QString>;

const WordTable& compressedWords() {
  static const WordTable table{
      {"ru", "сжатый"},        {"en", "compressed"},    {"de", "komprimiert"},    {"fr", "compresse"},
      {"es", "comprimido"},    {"it", "compresso"},     {"pt", "comprimido"},     {"pl", "skompresowany"},
      {"uk", "стиснений"},     {"be", "сціснуты"},      {"kk", "қысылған"},       {"tr", "sikistirilmis"},
      {"zh", "压缩"},          {"ja", "圧縮"},          {"ko", "압축"},           {"ar", "مضغوط"}};
  return table;
}

const WordTable& mergedWords() {
  static const WordTable table{
      {"ru", "объединённый"},  {"en", "merged"},        {"de", "zusammengefuehrt"}, {"fr", "fusionne"},
      {"es", "combinado"},     {"it", "unito"},         {"pt", "unido"},            {"pl", "polaczony"},
      {"uk", "об'єднаний"},    {"be", "аб'яднаны"},     {"kk", "біріктірілген"},    {"tr", "birlestirilmis"},
      {"zh", "合并"},          {"ja", "結合"},          {"ko", "병합"},             {"ar", "مدمج"}};
  return table;
}

const WordTable& scannedWords() {
  static const WordTable table{
      {"ru", "сканированный"}, {"en", "scanned"},       {"de", "gescannt"},       {"fr", "numerise"},
      {"es", "escaneado"},     {"it", "scansionato"},   {"pt", "digitalizado"},   {"pl", "zeskanowany"},
      {"uk", "сканований"},    {"be", "сканаваны"},     {"kk", "сканерленген"},   {"tr", "taranmis"},
      {"zh", "扫描"},          {"ja", "スキャン"},      {"ko", "스캔"},           {"ar", "ممسوح"}};
  return table;
}

// A folder for a derived file: the source's own, or home when it has none.
QString folderOf(const QString& path) {
  // A link to a file with an unreadable name stands in for it: its outputs
  // go beside the real file.
  const QString dir = folderBeside(path);
  return dir.isEmpty() || dir == QLatin1String(".") ? QDir::homePath() : dir;
}

}  // namespace

QString localizedExportSuffix(const QString& kind) {
  const bool compressed = kind == QLatin1String("compressed");
  const bool merged = kind == QLatin1String("merged");
  const WordTable& table = compressed ? compressedWords() : merged ? mergedWords() : scannedWords();
  const QString fallback = compressed ? QStringLiteral("compressed") : merged ? QStringLiteral("merged")
                                                                              : QStringLiteral("scanned");
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|]"));
  QString word = table.value(currentUiLanguageCode(), fallback).simplified();
  word.replace(blanks, QStringLiteral("_"));
  word.remove(forbidden);
  return word.isEmpty() ? fallback : word;
}

QString withLocalizedPdfSuffix(const QString& path, const QString& kind) {
  const QString tail = QLatin1Char('_') + localizedExportSuffix(kind);
  QString base = QFileInfo(path).completeBaseName().trimmed();
  if (base.isEmpty()) base = QStringLiteral("document");
  if (!base.endsWith(tail, Qt::CaseInsensitive)) base += tail;
  // QFileInfo("") has no folder at all, which folderOf turns into home.
  return QDir(path.isEmpty() ? QDir::homePath() : folderOf(path)).filePath(base + QStringLiteral(".pdf"));
}

QString suggestedSiblingPdfPath(const QString& sourcePath, const QString& kind, const QString& fallbackBaseName) {
  const QString own = QFileInfo(sourcePath).completeBaseName();
  const QString base = own.trimmed().isEmpty() ? fallbackBaseName : own;
  return withLocalizedPdfSuffix(QDir(folderOf(sourcePath)).filePath(base + QStringLiteral(".pdf")), kind);
}
