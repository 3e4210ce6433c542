// Worksheet parts: cells, merged ranges, column widths and row heights.
#include "XlsxLimits.h"
#include "XlsxReaders.h"
#include "XlsxSheetGrid.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QXmlStreamReader>

using namespace xlsxlimits;

namespace {

int toInt(QStringView text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok ? value : 0;
}

// The row digits of a reference; 0 without digits, kMaxRow + 1 past the end.
int rowFromDigits(QStringView reference) {
  qint64 row = 0;
  for (const QChar c : reference) {
    if (!c.isDigit()) continue;
    row = row * 10 + c.digitValue();
    if (row > kMaxRow) return kMaxRow + 1;
  }
  return int(row);
}

QString leadingLetters(QStringView reference) {
  qsizetype n = 0;
  while (n < reference.size() && reference[n].isLetter()) ++n;
  return reference.left(n).toString();
}

QString allLetters(QStringView reference) {
  QString letters;
  for (const QChar c : reference)
    if (c.isLetter()) letters.append(c);
  return letters;
}

}  // namespace

int iColumnFromLetters(QStringView letters) {
  if (letters.isEmpty()) return -1;
  qint64 column = 0;
  for (const QChar c : letters) {
    const QChar upper = c.toUpper();
    // Letters outside A..Z (other alphabets) still count as a digit of the
    // reference; they never name a real column, so they land past the end.
    const int digit = upper >= QLatin1Char('A') && upper <= QLatin1Char('Z') ? upper.unicode() - 'A' + 1 : 27;
    column = column * 26 + digit;
    if (column > kMaxColumn) return kMaxColumn;
  }
  return int(column - 1);
}

std::unique_ptr<XlsxISheetData> iParseSheet(const QByteArray& xml, const QList<QString>& sharedStrings,
                                            const QString& part, XlsxReadReport* report) {
  auto sheet = std::make_unique<XlsxISheetData>();
  if (xml.isEmpty()) return sheet;
  XlsxReadReport localReport;
  if (!report) report = &localReport;
  int currentRow = 0;
  bool rowUsable = true;
  QString reference, type, valueText, inlineText;
  int style = 0;
  bool inValue = false, inInline = false, inInlineText = false;
  QXmlStreamReader reader(xml);
  while (!reader.atEnd()) {
    const auto token = reader.readNext();
    const QStringView name = reader.name();
    if (token == QXmlStreamReader::StartElement) {
      const QXmlStreamAttributes attributes = reader.attributes();
      const auto attribute = [&attributes](const char* key) { return attributes.value(QLatin1String(key)); };
      if (name == u"row") {
        bool ok = false;
        const qint64 r = attribute("r").toLongLong(&ok);
        currentRow = ok && r > 0 ? int(std::min<qint64>(r, kMaxRow + 1)) : 1;
        rowUsable = currentRow <= kMaxRow;
        if (!rowUsable) {
          report->add(QStringLiteral("Часть «%1»: номер строки %2 вне листа (строки 1–%3); строка пропущена"),
                      {part, attribute("r").toString(), QString::number(kMaxRow)});
          continue;
        }
        if (!attribute("ht").isEmpty()) sheet->rowHeights[currentRow] = attribute("ht").toDouble();
        if (iXsdTrue(attribute("hidden"))) sheet->hiddenRows.insert(currentRow);
        if (iXsdTrue(attribute("customHeight"))) sheet->customHeightRows.insert(currentRow);
      } else if (name == u"col") {
        // Columns past the sheet's last hold nothing to show.
        const int first = std::max(0, toInt(attribute("min")) - 1);
        const int last = std::min(toInt(attribute("max")), kMaxColumn);
        double width = attribute("width").toDouble();
        if (!(width > 0)) width = 8.43;
        sheet->colWidths.assign(first, last - 1, width, iXsdTrue(attribute("hidden")));
      } else if (name == u"mergeCell") {
        const QStringView ref = attribute("ref");
        const qsizetype colon = ref.indexOf(QLatin1Char(':'));
        if (colon <= 0) continue;
        const QStringView a = ref.left(colon), b = ref.mid(colon + 1);
        XlsxIMerge merge{rowFromDigits(a), iColumnFromLetters(allLetters(a)), rowFromDigits(b),
                         iColumnFromLetters(allLetters(b))};
        if (merge.firstRow > kMaxRow || merge.lastRow > kMaxRow || merge.firstCol >= kMaxColumn ||
            merge.lastCol >= kMaxColumn) {
          report->add(QStringLiteral("Часть «%1»: объединение %2 выходит за пределы листа и пропущено"),
                      {part, ref.toString()});
          continue;
        }
        if (sheet->merges.size() >= kMaxMerges) {
          report->add(QStringLiteral("Часть «%1»: больше %2 объединённых диапазонов; остальные пропущены"),
                      {part, QString::number(kMaxMerges)});
          continue;
        }
        sheet->merges.append(merge);
      } else if (name == u"c") {
        reference = attribute("r").toString();
        type = attribute("t").toString();
        style = toInt(attribute("s"));
        valueText.clear();
        inlineText.clear();
        inValue = inInline = false;
      } else if (name == u"v") {
        inValue = true;
      } else if (name == u"is") {
        inInline = true;
      } else if (name == u"t" && inInline) {
        inInlineText = true;
      }
    } else if (token == QXmlStreamReader::Characters) {
      if (inValue) valueText.append(reader.text());
      else if (inInlineText) inlineText.append(reader.text());
    } else if (token == QXmlStreamReader::EndElement) {
      if (name == u"v") {
        inValue = false;
      } else if (name == u"t" && inInline) {
        inInlineText = false;
      } else if (name == u"is") {
        valueText = inlineText;
        inInline = false;
      } else if (name == u"c") {
        if (!rowUsable) continue;
        XlsxICell cell;
        cell.style = style;
        if (type == u"s") {
          bool ok = false;
          const int index = valueText.toInt(&ok);
          if (ok && index >= 0 && index < sharedStrings.size()) cell.text = sharedStrings[index];
        } else if (type == u"b") {
          cell.text = iXsdTrue(valueText) ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        } else if (type == u"e" || type == u"str" || type == u"inlineStr") {
          cell.text = valueText;
        } else {
          cell.text = valueText;
          bool ok = false;
          const double value = valueText.toDouble(&ok);
          if (ok) {
            cell.numeric = true;
            cell.value = value;
          }
        }
        const QString letters = leadingLetters(reference);
        if (reference.isEmpty() || letters.isEmpty()) continue;
        // A cell without text or format looks like no cell at all: it costs
        // nothing and does not widen the sheet.
        if (cell.text.isEmpty() && cell.style == 0) continue;
        const int column = iColumnFromLetters(letters);
        if (column >= kMaxColumn) {
          report->add(QStringLiteral("Часть «%1»: ссылка %2 за последним столбцом листа (XFD); ячейка пропущена"),
                      {part, reference});
          continue;
        }
        auto& row = sheet->cells[currentRow];
        if (!row.contains(column)) {
          if (report->cellsStored >= kMaxCells) {
            report->add(QStringLiteral("В книге больше %1 ячеек; остальные пропущены"), {QString::number(kMaxCells)});
            if (row.isEmpty()) sheet->cells.remove(currentRow);
            continue;
          }
          ++report->cellsStored;
        }
        row[column] = cell;
      }
    }
  }
  iNoteXmlError(reader, part, report);
  int overlapping = 0;
  sheet->merges = iCleanMerges(sheet->merges, &overlapping);
  if (overlapping > 0)
    report->add(QStringLiteral("Часть «%1»: %2 объединённых диапазонов перекрывают другие и пропущены"),
                {part, QString::number(overlapping)});
  return sheet;
}

void iGrowRowsToFonts(XlsxISheetData& sheet, const XlsxIStyles& styles) {
  // Line height per point of font size of the font cells are drawn in.
  double lineRatio = 1.32;
  if (qGuiApp) {
    QFont font;
    font.setPixelSize(1000);
    lineRatio = std::max(lineRatio, QFontMetricsF(font).height() / 1000.0);
  }
  for (auto row = sheet.cells.cbegin(); row != sheet.cells.cend(); ++row) {
    if (sheet.customHeightRows.contains(row.key())) continue;
    double largest = 0;
    for (const XlsxICell& cell : row.value()) {
      const XlsxIFont* font = cell.text.isEmpty() ? nullptr : styles.cellFont(cell.style);
      if (font) largest = std::max(largest, font->size);
    }
    // A row grows to hold a font larger than the default one: one line of
    // the font as it is drawn here and a point above and below it.
    if (largest <= kDefaultFontPt) continue;
    const double needed = std::min(largest * lineRatio + 2.0, 409.0);
    if (needed <= kDefaultRowHeightPt) continue;
    const auto it = sheet.rowHeights.constFind(row.key());
    if (it == sheet.rowHeights.cend() || it.value() < needed) sheet.rowHeights[row.key()] = needed;
  }
}
