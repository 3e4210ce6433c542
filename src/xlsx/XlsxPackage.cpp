// The package: parts read through libzip with bounded sizes, relationships
// followed from the workbook to sheets, drawings and charts.
#include "XlsxLimits.h"
#include "XlsxReaders.h"
#include "XlsxSheetGrid.h"
#include "XlsxWorkbook.h"
#include "core/HandleOwner.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>

using namespace xlsxlimits;

namespace {

using ZipArchive = HandleOwner<zip_t, zip_discard>;
using ZipEntry = HandleOwner<zip_file_t, zip_fclose>;

constexpr auto kRelationshipsNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr qint64 kEmuPerPixel = 9525;  // 914400 per inch at 96 dpi
constexpr int kMaxCharts = 200;
constexpr int kMaxSheets = 1000;

QString megabytes(qint64 bytes) { return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1); }

// libzip's own texts are English; the reason is said in the interface language.
QString zipReason(int code) {
  switch (code) {
    case ZIP_ER_NOZIP: return xlsxTranslate(QStringLiteral("это не ZIP-архив"));
    case ZIP_ER_OPEN:
    case ZIP_ER_NOENT: return xlsxTranslate(QStringLiteral("файл не открывается"));
    case ZIP_ER_READ:
    case ZIP_ER_SEEK: return xlsxTranslate(QStringLiteral("ошибка чтения файла"));
    case ZIP_ER_MEMORY: return xlsxTranslate(QStringLiteral("не хватает памяти"));
    case ZIP_ER_COMPNOTSUPP: return xlsxTranslate(QStringLiteral("неподдерживаемый способ сжатия"));
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return xlsxTranslate(QStringLiteral("архив зашифрован"));
    default: return xlsxTranslate(QStringLiteral("архив повреждён"));
  }
}

// A document type declaration is what entities are declared in; a package
// part never needs one, and entities repeated into each other expand to
// gigabytes. Only the prolog is read to find it.
bool declaresDocumentType(const QByteArray& xml) {
  QXmlStreamReader reader(xml);
  while (!reader.atEnd()) {
    const auto token = reader.readNext();
    if (token == QXmlStreamReader::DTD) return true;
    if (token == QXmlStreamReader::StartElement) return false;
  }
  return false;
}

// Reads whole parts, each checked against the part and package budgets.
class Package {
 public:
  Package(zip_t* archive, XlsxReadReport& report) : archive(archive), report(report) {}

  bool has(const QString& name) const { return zip_name_locate(archive, name.toUtf8().constData(), 0) >= 0; }

  QByteArray read(const QString& name) {
    const zip_int64_t index = zip_name_locate(archive, name.toUtf8().constData(), 0);
    if (index < 0) return {};
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, zip_uint64_t(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
      report.add(QStringLiteral("Часть «%1» не читается: %2"), {name, zipReason(zip_error_code_zip(zip_get_error(archive)))});
      return {};
    }
    if (stat.size > zip_uint64_t(kMaxPartBytes)) {
      report.add(QStringLiteral("Часть «%1» слишком велика после распаковки (%2 МБ, допустимо %3 МБ); не прочитана"),
                 {name, megabytes(qint64(std::min<zip_uint64_t>(stat.size, INT64_MAX))), megabytes(kMaxPartBytes)});
      return {};
    }
    const qint64 size = qint64(stat.size);
    if (bytesRead + size > kMaxPackageBytes) {
      report.add(QStringLiteral("Книга слишком велика после распаковки (больше %1 МБ); часть «%2» не прочитана"),
                 {megabytes(kMaxPackageBytes), name});
      return {};
    }
    ZipEntry entry(zip_fopen_index(archive, zip_uint64_t(index), 0));
    if (!entry) {
      report.add(QStringLiteral("Часть «%1» не открывается: %2"), {name, zipReason(zip_error_code_zip(zip_get_error(archive)))});
      return {};
    }
    QByteArray data(size, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < size) {
      const zip_int64_t got = zip_fread(entry.get(), data.data() + filled, zip_uint64_t(size - filled));
      if (got <= 0) break;
      filled += got;
    }
    // A stream longer than its declared size is damaged as well: one more
    // byte must not come.
    char extra = 0;
    const bool longer = filled == size && zip_fread(entry.get(), &extra, 1) > 0;
    if (filled != size || longer) {
      report.add(QStringLiteral("Часть «%1» повреждена: распакованный размер не совпадает с заявленным"), {name});
      return {};
    }
    bytesRead += size;
    if (declaresDocumentType(data)) {
      report.add(QStringLiteral("Часть «%1» объявляет тип документа (DTD), которого в книгах Excel не бывает; не прочитана"),
                 {name});
      return {};
    }
    return data;
  }

 private:
  zip_t* archive;
  XlsxReadReport& report;
  qint64 bytesRead = 0;
};

QString relationshipId(const QXmlStreamAttributes& attributes) {
  QStringView id = attributes.value(QLatin1String("r:id"));
  if (id.isEmpty()) id = attributes.value(QLatin1String(kRelationshipsNs), QLatin1String("id"));
  return id.toString();
}

QList<QString> iSharedStrings(Package& package, XlsxReadReport& report) {
  const QString part = QStringLiteral("xl/sharedStrings.xml");
  QList<QString> strings;
  const QByteArray xml = package.read(part);
  if (xml.isEmpty()) return strings;
  QString current;
  bool inText = false;
  // Read through a device, the text is decoded a block at a time instead of
  // all at once: a part of 100 MB would cost another 200 MB as UTF-16.
  QBuffer buffer;
  buffer.setData(xml);
  buffer.open(QIODevice::ReadOnly);
  QXmlStreamReader reader(&buffer);
  while (!reader.atEnd()) {
    const auto token = reader.readNext();
    if (token == QXmlStreamReader::StartElement) {
      if (reader.name() == u"si") current.clear();
      else if (reader.name() == u"t") inText = true;
    } else if (token == QXmlStreamReader::EndElement) {
      if (reader.name() == u"t") inText = false;
      else if (reader.name() == u"si") {
        // The rest of the table is not even parsed: twenty million empty
        // entries are a small file.
        if (!iListHasRoom(strings.size(), kMaxSharedStrings, part, &report)) return strings;
        strings.append(current);
      }
    } else if (token == QXmlStreamReader::Characters && inText) {
      current.append(reader.text());
    }
  }
  iNoteXmlError(reader, part, &report);
  return strings;
}

QList<std::pair<QString, QString>> iSheetRefs(const QByteArray& xml, const QString& part, XlsxReadReport& report) {
  QList<std::pair<QString, QString>> refs;
  QXmlStreamReader reader(xml);
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"sheet") continue;
    // Sheets past the workbook's bound are not read; the one more that is
    // kept lets the reader say so.
    if (refs.size() > kMaxSheets) break;
    refs.append({reader.attributes().value(QLatin1String("name")).toString(), relationshipId(reader.attributes())});
  }
  iNoteXmlError(reader, part, &report);
  return refs;
}

QMap<QString, QString> iRelationships(Package& package, const QString& part, XlsxReadReport& report) {
  QMap<QString, QString> rels;
  const QByteArray xml = package.read(part);
  QXmlStreamReader reader(xml);
  while (!xml.isEmpty() && !reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != u"Relationship") continue;
    if (!iListHasRoom(rels.size(), kMaxListRecords, part, &report)) return rels;
    rels[reader.attributes().value(QLatin1String("Id")).toString()] =
        reader.attributes().value(QLatin1String("Target")).toString();
  }
  if (!xml.isEmpty()) iNoteXmlError(reader, part, &report);
  return rels;
}

QString relsPartOf(const QString& part) {
  const qsizetype slash = part.lastIndexOf(QLatin1Char('/'));
  return part.left(std::max<qsizetype>(slash, 0)) + QStringLiteral("/_rels/") + part.mid(slash + 1) +
         QStringLiteral(".rels");
}

// The local name of a part's first element; empty when it has none.
QString rootElementName(const QByteArray& xml) {
  QXmlStreamReader reader(xml);
  while (!reader.atEnd())
    if (reader.readNext() == QXmlStreamReader::StartElement) return reader.name().toString();
  return QString();
}

QString firstDrawingId(const QByteArray& sheetXml) {
  QXmlStreamReader reader(sheetXml);
  while (!reader.atEnd())
    if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"drawing")
      return relationshipId(reader.attributes());
  return {};
}

int endCell(qint64 offset, int first, int last, const std::function<qint64(int)>& size) {
  int cell = first;
  while (cell < last) {
    const qint64 step = size(cell);
    if (offset < step) break;
    offset -= step;
    ++cell;
  }
  return cell;
}

struct Anchor {
  qint64 number[4] = {0, 0, 0, 0};  // from row, from column, to row, to column
  qint64 fromOffset[2] = {0, 0};    // row, column offsets in EMU
  qint64 extent[2] = {-1, -1};      // cx, cy of a one-cell anchor
  bool oneCell = false;
  QString chartId;
};

// Places a chart by its anchor; never an inverted or empty cell range.
void placeChart(XlsxIChart& chart, const Anchor& anchor, const XlsxISheetData& sheet) {
  const auto clampTo = [](qint64 value, int limit) { return int(std::clamp<qint64>(value, 0, limit - 1)); };
  chart.fromRow = clampTo(anchor.number[0], kMaxRow);
  chart.fromCol = clampTo(anchor.number[1], kMaxColumn);
  if (anchor.oneCell) {
    // The end cell is found by walking the cells the extent covers: an
    // extent past about ten thousand default rows is no chart a sheet shows.
    constexpr qint64 kMaxExtentEmu = 2'000'000'000;
    const qint64 cx = std::clamp<qint64>(anchor.extent[0], 0, kMaxExtentEmu);
    const qint64 cy = std::clamp<qint64>(anchor.extent[1], 0, kMaxExtentEmu);
    // The end point lies extent past the start point; an extent ending on a
    // cell edge ends in the cell before it.
    const qint64 rowOffset = std::clamp<qint64>(anchor.fromOffset[0], 0, kMaxExtentEmu);
    const qint64 colOffset = std::clamp<qint64>(anchor.fromOffset[1], 0, kMaxExtentEmu);
    // Measured in the preview's cells; drawing rows count from 0, sheet rows from 1.
    chart.toCol = endCell(std::max<qint64>(colOffset + cx - 1, 0), chart.fromCol, kMaxColumn - 1,
                          [&sheet](int c) { return iPreviewColumnPixels(sheet, c) * kEmuPerPixel; });
    chart.toRow = endCell(std::max<qint64>(rowOffset + cy - 1, 0), chart.fromRow, kMaxRow - 1,
                          [&sheet](int r) { return iPreviewRowPixels(sheet, r + 1) * kEmuPerPixel; });
  } else {
    chart.toRow = std::max(clampTo(anchor.number[2], kMaxRow), chart.fromRow);
    chart.toCol = std::max(clampTo(anchor.number[3], kMaxColumn), chart.fromCol);
  }
}

void readCharts(Package& package, const QString& sheetPart, const QByteArray& sheetXml, XlsxSheetInfo& info,
                int& chartsLeft, QHash<QString, XlsxIChart>& chartCache, XlsxReadReport& report) {
  const QString drawingId = firstDrawingId(sheetXml);
  if (drawingId.isEmpty()) return;
  const QMap<QString, QString> sheetRels = iRelationships(package, relsPartOf(sheetPart), report);
  const QString drawingTarget = sheetRels.value(drawingId);
  if (drawingTarget.isEmpty()) return;
  const QString drawingPart = iResolvePartPath(sheetPart, drawingTarget);
  const QMap<QString, QString> drawingRels = iRelationships(package, relsPartOf(drawingPart), report);
  const QByteArray drawing = package.read(drawingPart);
  if (drawing.isEmpty()) return;
  enum State { Outside, InAnchor, InFrom, InTo };
  State state = Outside;
  Anchor anchor;
  int anchorDepth = 0, depth = 0;
  QXmlStreamReader reader(drawing);
  while (!reader.atEnd()) {
    const auto token = reader.readNext();
    const QStringView name = reader.name();
    if (token == QXmlStreamReader::StartElement) {
      ++depth;
      if (name == u"twoCellAnchor" || name == u"oneCellAnchor") {
        anchor = Anchor();
        anchor.oneCell = name == u"oneCellAnchor";
        anchorDepth = depth;
        state = InAnchor;
      } else if (state == InAnchor && name == u"from") {
        state = InFrom;
      } else if (state == InAnchor && name == u"to") {
        state = InTo;
      } else if (state == InAnchor && name == u"ext" && depth == anchorDepth + 1) {
        anchor.extent[0] = reader.attributes().value(QLatin1String("cx")).toLongLong();
        anchor.extent[1] = reader.attributes().value(QLatin1String("cy")).toLongLong();
      } else if ((state == InFrom || state == InTo) &&
                 (name == u"row" || name == u"col" || name == u"rowOff" || name == u"colOff")) {
        const bool row = name.startsWith(u"row");
        const bool offset = name.endsWith(u"Off");
        const qint64 value = reader.readElementText().trimmed().toLongLong();
        --depth;  // readElementText consumed the end element
        if (offset) {
          if (state == InFrom) anchor.fromOffset[row ? 0 : 1] = value;
        } else {
          anchor.number[(state == InFrom ? 0 : 2) + (row ? 0 : 1)] = value;
        }
      } else if (state == InAnchor && name == u"chart") {
        anchor.chartId = relationshipId(reader.attributes());
      }
    } else if (token == QXmlStreamReader::EndElement) {
      --depth;
      if ((state == InFrom && name == u"from") || (state == InTo && name == u"to")) {
        state = InAnchor;
      } else if (name == u"twoCellAnchor" || name == u"oneCellAnchor") {
        const QString target = drawingRels.value(anchor.chartId);
        if (!anchor.chartId.isEmpty() && !target.isEmpty()) {
          if (chartsLeft <= 0) {
            report.add(QStringLiteral("В книге больше %1 диаграмм; остальные пропущены"), {QString::number(kMaxCharts)});
          } else {
            --chartsLeft;
            const QString chartPart = iResolvePartPath(drawingPart, target);
            // Anchors that share a chart part share its parsed series too.
            auto cached = chartCache.constFind(chartPart);
            if (cached == chartCache.cend())
              cached = chartCache.insert(chartPart, iParseChart(package.read(chartPart), chartPart, &report));
            XlsxIChart chart = cached.value();
            placeChart(chart, anchor, *info.data);
            info.charts.append(chart);
          }
        }
        state = Outside;
      }
    }
  }
  iNoteXmlError(reader, drawingPart, &report);
}

// Refuses a sheet whose grid would be too large to lay out and paint.
bool gridFits(const XlsxSheetInfo& info, XlsxReadReport* report) {
  const XlsxGridSpan span = iGridSpan(*info.data, info.charts);
  if (span.isEmpty()) return true;
  const qint64 rows = qint64(span.lastRow) - span.firstRow + 1;
  const qint64 columns = std::max<qint64>(qint64(span.lastCol) - span.firstCol + 1, 1);
  if (rows * columns <= kMaxGridPositions) return true;
  if (report)
    report->add(QStringLiteral("Лист «%1» слишком велик для импорта: %2 строк × %3 столбцов (допустимо %4 ячеек)"),
             {info.name, QString::number(rows), QString::number(columns), QString::number(kMaxGridPositions)});
  return false;
}

}  // namespace

QString iResolvePartPath(const QString& ownerPart, const QString& target) {
  QString joined;
  if (target.startsWith(QLatin1Char('/'))) {
    joined = target.mid(1);
  } else {
    const qsizetype slash = ownerPart.lastIndexOf(QLatin1Char('/'));
    joined = (slash < 0 ? ownerPart : ownerPart.left(slash)) + QLatin1Char('/') + target;
  }
  QStringList kept;
  for (const QString& piece : joined.split(QLatin1Char('/'))) {
    if (piece == QLatin1String("..")) {
      if (!kept.isEmpty()) kept.removeLast();
    } else if (piece != QLatin1String(".")) {
      kept.append(piece);
    }
  }
  while (!kept.isEmpty() && kept.first().isEmpty()) kept.removeFirst();
  return kept.join(QLatin1Char('/'));
}

XlsxWorkbook loadXlsxWorkbook(const QString& path) {
  XlsxWorkbook book;
  XlsxReadReport report;
  const QString fileName = QFileInfo(path).fileName();
  int error = 0;
  ZipArchive archive(QFileInfo(path).isFile() ? zip_open(path.toUtf8().constData(), ZIP_RDONLY, &error) : nullptr);
  if (!archive) {
    const QString reason = error ? zipReason(error) : xlsxTranslate(QStringLiteral("это не файл"));
    report.add(QStringLiteral("Файл «%1» не открывается как книга Excel: %2"), {fileName, reason});
    book.notes = report.messages;
    return book;
  }
  Package package(archive.get(), report);
  const QString workbookPart = QStringLiteral("xl/workbook.xml");
  // Without its workbook nothing else of the file is read: every other part
  // would only add complaints about what is missing anyway.
  if (!package.has(workbookPart)) {
    report.add(QStringLiteral("В файле «%1» нет книги (части «%2»)"), {fileName, workbookPart});
    book.notes = report.messages;
    return book;
  }
  const QList<QString> sharedStrings = iSharedStrings(package, report);
  const auto refs = iSheetRefs(package.read(workbookPart), workbookPart, report);
  const QMap<QString, QString> workbookRels = iRelationships(package, relsPartOf(workbookPart), report);
  const QString themePart = QStringLiteral("xl/theme/theme1.xml");
  const QList<QColor> theme = iParseTheme(package.read(themePart), themePart, &report);
  const QString stylesPart = QStringLiteral("xl/styles.xml");
  book.styles = iParseStyles(package.read(stylesPart), theme, stylesPart, &report);
  int chartsLeft = kMaxCharts;
  QHash<QString, XlsxIChart> chartCache;
  for (const auto& [name, id] : refs) {
    if (book.sheets.size() >= kMaxSheets) {
      report.add(QStringLiteral("В книге больше %1 листов; остальные пропущены"), {QString::number(kMaxSheets)});
      break;
    }
    const QString target = workbookRels.value(id);
    if (target.isEmpty()) {
      report.add(QStringLiteral("Лист «%1» не найден в связях книги"), {name});
      continue;
    }
    const QString sheetPart = iResolvePartPath(workbookPart, target);
    const QByteArray xml = package.read(sheetPart);
    if (xml.isEmpty()) {
      report.add(QStringLiteral("Лист «%1»: часть «%2» отсутствует или пуста"), {name, sheetPart});
      continue;
    }
    // A chart sheet has no cells: read as a worksheet it would show nothing.
    if (rootElementName(xml) == u"chartsheet") {
      report.add(QStringLiteral("Лист «%1» не импортирован: это лист диаграммы, а импортируются листы с ячейками"),
                 {name});
      continue;
    }
    XlsxSheetInfo info;
    info.name = name;
    info.data = iParseSheet(xml, sharedStrings, sheetPart, &report);
    iGrowRowsToFonts(*info.data, *book.styles);
    readCharts(package, sheetPart, xml, info, chartsLeft, chartCache, report);
    if (!gridFits(info, nullptr)) {
      // Charts anchored far beyond the cells would lay out a grid too large
      // to paint; the cells are kept without them.
      if (!info.charts.isEmpty()) {
        report.add(QStringLiteral("Лист «%1»: диаграммы привязаны далеко за ячейками листа и пропущены"), {name});
        info.charts.clear();
      }
      if (!gridFits(info, &report)) continue;
    }
    book.sheets.append(info);
  }
  book.notes = report.messages;
  return book;
}
