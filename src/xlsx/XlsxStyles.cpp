// Styles part and colour resolution.
#include "XlsxLimits.h"
#include "XlsxReaders.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <array>

namespace {

// The 64 default indexed colours of the format.
constexpr std::array<unsigned, 64> kIndexedPalette = {
    0x000000, 0xffffff, 0xff0000, 0x00ff00, 0x0000ff, 0xffff00, 0xff00ff, 0x00ffff, 0x000000, 0xffffff, 0xff0000,
    0x00ff00, 0x0000ff, 0xffff00, 0xff00ff, 0x00ffff, 0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080,
    0xc0c0c0, 0x808080, 0x9999ff, 0x993366, 0xffffcc, 0xccffff, 0x660066, 0xff8080, 0x0066cc, 0xccccff, 0x000080,
    0xff00ff, 0xffff00, 0x00ffff, 0x800080, 0x800000, 0x008080, 0x0000ff, 0x00ccff, 0xccffff, 0xccffcc, 0xffff99,
    0x99ccff, 0xff99cc, 0xcc99ff, 0xffcc99, 0x3366ff, 0x33cccc, 0x99cc00, 0xffcc00, 0xff9900, 0xff6600, 0x666699,
    0x969696, 0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

int toInt(QStringView text) {
  bool ok = false;
  const int value = text.toInt(&ok);
  return ok ? value : 0;
}

// Colours written as RRGGBB or AARRGGBB; the alpha pair is dropped.
QColor hexColor(QStringView text) {
  if (text.size() == 8) text = text.mid(2);
  if (text.size() != 6) return QColor();
  return QColor::fromString(QString(QLatin1Char('#') + text.toString().toLower()));
}

// The theme part lists dk1, lt1, dk2, lt2 first, but the format numbers the
// first four theme colours lt1, dk1, lt2, dk2: index 0 is the light window
// background, index 1 the dark window text.
int themeListPosition(int index) {
  if (index >= 0 && index < 4) return index ^ 1;
  return index;
}

}  // namespace

bool iXsdTrue(QStringView text) { return text == u"1" || text == u"true"; }
bool iXsdFalse(QStringView text) { return text == u"0" || text == u"false"; }

bool iListHasRoom(qsizetype size, qsizetype limit, const QString& part, XlsxReadReport* report) {
  if (size < limit) return true;
  if (report)
    report->add(QStringLiteral("Часть «%1»: больше %2 записей; остальные пропущены"), {part, QString::number(limit)});
  return false;
}

void iNoteXmlError(const QXmlStreamReader& reader, const QString& part, XlsxReadReport* report) {
  if (!report || !reader.hasError()) return;
  // The reader's own error text is English; the kind of fault is said here.
  QString reason;
  switch (reader.error()) {
    case QXmlStreamReader::PrematureEndOfDocumentError: reason = QStringLiteral("текст обрывается раньше конца"); break;
    case QXmlStreamReader::UnexpectedElementError: reason = QStringLiteral("неожиданный элемент"); break;
    case QXmlStreamReader::CustomError: reason = QStringLiteral("недопустимое содержимое"); break;
    default: reason = QStringLiteral("нарушена разметка XML"); break;
  }
  report->add(QStringLiteral("Часть «%1» повреждена (строка %2): %3"),
              {part, QString::number(reader.lineNumber()), xlsxTranslate(reason)});
}

QColor iIndexedColor(int index) {
  if (index < 0 || index >= int(kIndexedPalette.size())) return QColor(Qt::black);
  return QColor::fromRgb(QRgb(0xff000000u | kIndexedPalette[size_t(index)]));
}

QColor iResolveColor(const QXmlStreamAttributes& attributes, const QList<QColor>& theme) {
  const QStringView rgb = attributes.value(QLatin1String("rgb"));
  if (!rgb.isEmpty()) return hexColor(rgb);
  const QStringView indexed = attributes.value(QLatin1String("indexed"));
  if (!indexed.isEmpty()) return iIndexedColor(toInt(indexed));
  const QStringView themeText = attributes.value(QLatin1String("theme"));
  if (themeText.isEmpty()) return QColor();
  const int position = themeListPosition(toInt(themeText));
  QColor color = position >= 0 && position < theme.size() ? theme[position] : QColor(Qt::black);
  const QStringView tintText = attributes.value(QLatin1String("tint"));
  if (tintText.isEmpty()) return color;
  bool ok = false;
  double tint = tintText.toDouble(&ok);
  if (!ok) tint = 0.0;
  if (std::abs(tint) < 0.001) return color;
  float hue = 0, saturation = 0, lightness = 0, alpha = 0;
  color.getHslF(&hue, &saturation, &lightness, &alpha);
  double l = tint >= 0 ? lightness * (1.0 - tint) + tint : lightness * (1.0 + tint);
  if (l > 1.0) l = 1.0;
  if (l <= 0.0) l = 0.0;
  if (hue < 0) hue = 0;
  return QColor::fromHslF(hue, saturation, float(l), alpha);
}

QList<QColor> iParseTheme(const QByteArray& xml, const QString& part, XlsxReadReport* report) {
  static const QStringList names = {"dk1",     "lt1",     "dk2",     "lt2",     "accent1", "accent2",
                                    "accent3", "accent4", "accent5", "accent6", "hlink",   "folHlink"};
  QList<QColor> colors;
  for (const char* hex : {"#000000", "#ffffff", "#44546a", "#e7e6e6", "#4472c4", "#ed7d31", "#a9d18e", "#ffc000",
                          "#5b9bd5", "#70ad47", "#0563c1", "#954f72"})
    colors.append(QColor::fromString(QLatin1String(hex)));
  if (xml.isEmpty()) return colors;
  QXmlStreamReader reader(xml);
  while (!reader.atEnd()) {
    if (reader.readNext() != QXmlStreamReader::StartElement) continue;
    const int position = names.indexOf(reader.name().toString());
    if (position < 0) continue;
    // The colour is the first child of the scheme entry.
    while (!reader.atEnd()) {
      const auto token = reader.readNext();
      if (token == QXmlStreamReader::EndElement) break;
      if (token != QXmlStreamReader::StartElement) continue;
      QStringView value = reader.attributes().value(QLatin1String("lastClr"));
      if (value.isEmpty()) value = reader.attributes().value(QLatin1String("val"));
      const QColor color = hexColor(value);
      if (color.isValid()) colors[position] = color;
      break;
    }
  }
  iNoteXmlError(reader, part, report);
  return colors;
}

std::unique_ptr<XlsxIStyles> iParseStyles(const QByteArray& xml, const QList<QColor>& theme, const QString& part,
                                          XlsxReadReport* report) {
  auto styles = std::make_unique<XlsxIStyles>();
  if (xml.isEmpty()) return styles;
  enum Section { Other, NumFmts, Fonts, Fills, Borders, CellXfs };
  Section section = Other;
  XlsxIFont font;
  XlsxIFill fill;
  bool solid = false;
  XlsxIBorder border;
  XlsxIBorderSide* side = nullptr;
  XlsxIXf xf;
  QXmlStreamReader reader(xml);
  // A colour element that names no usable colour leaves the default.
  const auto takeColor = [&reader, &theme](QColor& color, bool* has) {
    const QColor resolved = iResolveColor(reader.attributes(), theme);
    if (!resolved.isValid()) return;
    color = resolved;
    if (has) *has = true;
  };
  while (!reader.atEnd()) {
    const auto token = reader.readNext();
    const QStringView name = reader.name();
    if (token == QXmlStreamReader::EndElement) {
      if (name == u"numFmts" || name == u"fonts" || name == u"fills" || name == u"borders" || name == u"cellXfs") {
        section = Other;
      } else if (section == Fonts && name == u"font") {
        if (iListHasRoom(styles->fonts.size(), xlsxlimits::kMaxListRecords, part, report)) styles->fonts.append(font);
      } else if (section == Fills && name == u"fill") {
        if (iListHasRoom(styles->fills.size(), xlsxlimits::kMaxListRecords, part, report)) styles->fills.append(fill);
        solid = false;
      } else if (section == Borders && (name == u"left" || name == u"right" || name == u"top" || name == u"bottom")) {
        side = nullptr;
      } else if (section == Borders && name == u"border") {
        if (iListHasRoom(styles->borders.size(), xlsxlimits::kMaxListRecords, part, report))
          styles->borders.append(border);
        side = nullptr;
      } else if (section == CellXfs && name == u"xf") {
        if (iListHasRoom(styles->cellXfs.size(), xlsxlimits::kMaxListRecords, part, report)) styles->cellXfs.append(xf);
      }
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const QXmlStreamAttributes attributes = reader.attributes();
    const auto attribute = [&attributes](const char* key) { return attributes.value(QLatin1String(key)); };
    if (name == u"numFmts") section = NumFmts;
    else if (name == u"fonts") section = Fonts;
    else if (name == u"fills") section = Fills;
    else if (name == u"borders") section = Borders;
    else if (name == u"cellXfs") section = CellXfs;
    else if (section == NumFmts && name == u"numFmt") {
      const int id = toInt(attribute("numFmtId"));
      if (styles->numFmts.contains(id) || iListHasRoom(styles->numFmts.size(), xlsxlimits::kMaxListRecords, part, report))
        styles->numFmts[id] = attribute("formatCode").toString();
    } else if (section == Fonts) {
      if (name == u"font") font = XlsxIFont();
      else if (name == u"b") font.bold = !iXsdFalse(attribute("val"));
      else if (name == u"i") font.italic = !iXsdFalse(attribute("val"));
      else if (name == u"u") font.underline = attribute("val").isEmpty() || attribute("val") == u"single";
      else if (name == u"name") font.family = attribute("val").toString();
      else if (name == u"sz") {
        const double size = attribute("val").toDouble();
        if (size > 0) font.size = size;
      } else if (name == u"color") {
        takeColor(font.color, &font.hasColor);
      }
    } else if (section == Fills) {
      if (name == u"fill") {
        fill = XlsxIFill();
        solid = false;
      } else if (name == u"patternFill") {
        solid = attribute("patternType") == u"solid";
      } else if (name == u"fgColor" && solid) {
        takeColor(fill.color, &fill.hasColor);
      }
    } else if (section == Borders) {
      if (name == u"border") {
        border = XlsxIBorder();
        side = nullptr;
      } else if (name == u"left" || name == u"right" || name == u"top" || name == u"bottom") {
        side = name == u"left" ? &border.left : name == u"right" ? &border.right : name == u"top" ? &border.top
                                                                                                  : &border.bottom;
        side->style = attribute("style").toString();
        side->present = !side->style.isEmpty();
      } else if (name == u"color" && side) {
        takeColor(side->color, nullptr);
      }
    } else if (section == CellXfs) {
      if (name == u"xf") {
        xf = XlsxIXf();
        xf.fontId = toInt(attribute("fontId"));
        xf.fillId = toInt(attribute("fillId"));
        xf.borderId = toInt(attribute("borderId"));
        xf.numFmtId = toInt(attribute("numFmtId"));
        xf.applyFont = iXsdTrue(attribute("applyFont"));
        xf.applyFill = iXsdTrue(attribute("applyFill"));
        xf.applyBorder = iXsdTrue(attribute("applyBorder"));
        xf.applyAlignment = iXsdTrue(attribute("applyAlignment"));
      } else if (name == u"alignment") {
        xf.horizontal = attribute("horizontal").toString();
        xf.vertical = attribute("vertical").toString();
        xf.wrapText = iXsdTrue(attribute("wrapText"));
        xf.indent = toInt(attribute("indent"));
      }
    }
  }
  iNoteXmlError(reader, part, report);
  return styles;
}
