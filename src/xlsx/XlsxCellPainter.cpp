// Cells: fill, text, font, alignment and borders.
#include "XlsxCellPainter.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>
#include <QGuiApplication>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QHash<int, QString>& builtInCodes() {
  static const QHash<int, QString> codes = {
      {1, "0"},     {2, "0.00"},   {3, "#,##0"},     {4, "#,##0.00"},   {9, "0%"},
      {10, "0.00%"}, {14, "d/m/yyyy"}, {15, "d-mmm-yy"}, {22, "m/d/yy h:mm"}};
  return codes;
}

struct CellRecords {
  const XlsxIXf* xf = nullptr;
  const XlsxIFont* font = nullptr;
  const XlsxIFill* fill = nullptr;
  const XlsxIBorder* border = nullptr;
};

CellRecords recordsOf(const XlsxICell& cell, const XlsxIStyles& styles) {
  CellRecords records;
  if (cell.style < 0 || cell.style >= styles.cellXfs.size()) return records;
  const XlsxIXf& xf = styles.cellXfs[cell.style];
  records.xf = &xf;
  records.font = styles.cellFont(cell.style);
  const bool fillValid = xf.fillId >= 0 && xf.fillId < styles.fills.size();
  if (fillValid && (xf.applyFill || xf.fillId >= 2)) records.fill = &styles.fills[xf.fillId];
  const bool borderValid = xf.borderId >= 0 && xf.borderId < styles.borders.size();
  if (borderValid && (xf.applyBorder || xf.borderId >= 1)) records.border = &styles.borders[xf.borderId];
  return records;
}

// The face a cell is measured and drawn in: the one the workbook names where
// it is installed, else the face with its advances, so that a value that fits
// in the workbook's program fits here. Any other face keeps the default one
// rather than a look-alike fontconfig guesses.
QString installedFamily(const QString& named) {
  if (named.isEmpty() || !qGuiApp) return {};
  static const QSet<QString> installed = [] {
    QSet<QString> families;
    for (const QString& family : QFontDatabase::families()) families.insert(family.toLower());
    return families;
  }();
  static const QHash<QString, QString> twins = {{QStringLiteral("calibri"), QStringLiteral("Carlito")},
                                                {QStringLiteral("cambria"), QStringLiteral("Caladea")},
                                                {QStringLiteral("arial"), QStringLiteral("Liberation Sans")},
                                                {QStringLiteral("times new roman"), QStringLiteral("Liberation Serif")},
                                                {QStringLiteral("courier new"), QStringLiteral("Liberation Mono")}};
  const QString key = named.toLower();
  if (installed.contains(key)) return named;
  const QString twin = twins.value(key);
  return installed.contains(twin.toLower()) ? twin : QString();
}

QRect truncated(const QRectF& r) { return QRect(int(r.x()), int(r.y()), int(r.width()), int(r.height())); }

void drawSide(QPainter& painter, const XlsxIBorderSide& side, QPointF from, QPointF to, XlsxPaintTarget target) {
  if (!side.present) return;
  const QString& style = side.style;
  double width = 1;
  if (style == QLatin1String("thick")) width = 3;
  else if (style == QLatin1String("medium") || (target == XlsxPaintTarget::Preview && style == QLatin1String("mediumDashed")))
    width = 2;
  Qt::PenStyle line = Qt::SolidLine;
  if (target == XlsxPaintTarget::Preview) {
    if (style.contains(QLatin1String("Dashed")) || style.contains(QLatin1String("Dash")) ||
        style == QLatin1String("dashed"))
      line = Qt::DashLine;
    else if (style == QLatin1String("dotted") || style == QLatin1String("hair"))
      line = Qt::DotLine;
  }
  painter.setPen(QPen(side.color, width, line, Qt::SquareCap, Qt::BevelJoin));
  painter.drawLine(from, to);
}

}  // namespace

QString iCellText(const XlsxICell& cell, const XlsxIStyles& styles) {
  if (!cell.numeric) return cell.text;
  const int numFmtId =
      cell.style >= 0 && cell.style < styles.cellXfs.size() ? styles.cellXfs[cell.style].numFmtId : 0;
  QString code = styles.numFmts.value(numFmtId);
  if (code.isEmpty()) code = builtInCodes().value(numFmtId);
  if (!code.isEmpty()) return iFormatNum(cell.value, numFmtId, code);
  const double v = cell.value;
  if (std::isfinite(v) && v == std::floor(v) && v >= std::numeric_limits<int>::min() &&
      v <= std::numeric_limits<int>::max())
    return QString::number(qint64(std::llround(v)));
  return cell.text;
}

XlsxCellLook iCellLook(const XlsxICell& cell, const XlsxIStyles& styles) {
  XlsxCellLook look;
  const CellRecords records = recordsOf(cell, styles);
  look.text = records.xf ? iCellText(cell, styles) : cell.text;
  const double size = records.font ? records.font->size : 11.0;
  // Whole pixels of the layout: the widths that decide whether a number fits
  // are then measured alike for the screen and the page. 1.2 pixels a point
  // give the spreadsheet program's faces a digit a little narrower than that
  // program's column unit, so what fits there fits here.
  look.font.setPixelSize(std::max(7, int(size * 1.2)));
  // A cell of the default font is drawn in the workbook's first font.
  const XlsxIFont* face = records.font ? records.font : styles.fonts.isEmpty() ? nullptr : &styles.fonts.first();
  const QString family = face ? installedFamily(face->family) : QString();
  if (!family.isEmpty()) look.font.setFamily(family);
  if (records.font) {
    if (records.font->bold) look.font.setWeight(QFont::Bold);
    look.font.setItalic(records.font->italic);
    look.font.setUnderline(records.font->underline);
  }
  look.color = records.font && records.font->hasColor ? records.font->color : QColor(Qt::black);
  Qt::Alignment horizontal = Qt::AlignLeft;
  Qt::Alignment vertical = Qt::AlignVCenter;
  bool wrap = false;
  if (records.xf) {
    const QString& h = records.xf->horizontal;
    if (h == QLatin1String("center")) horizontal = Qt::AlignHCenter;
    else if (h == QLatin1String("right")) horizontal = Qt::AlignRight;
    else if (h == QLatin1String("justify")) horizontal = Qt::AlignJustify;
    else if (h.isEmpty() && cell.numeric) horizontal = Qt::AlignRight;
    if (records.xf->vertical == QLatin1String("top")) vertical = Qt::AlignTop;
    else if (records.xf->vertical == QLatin1String("bottom")) vertical = Qt::AlignBottom;
    // A wrapped cell shows all of its words inside the cell instead of
    // losing what does not fit on one line.
    wrap = records.xf->wrapText;
  }
  look.flags = int(horizontal | vertical) | (wrap ? Qt::TextWordWrap : Qt::TextSingleLine);
  // As in the spreadsheet program, one line of text runs on into empty
  // neighbours; numbers, wrapped and justified text stay in their cell.
  look.mayOverflow = !wrap && !cell.numeric && horizontal != Qt::AlignJustify;
  look.side = horizontal == Qt::AlignHCenter ? 0 : horizontal == Qt::AlignRight ? 1 : -1;
  return look;
}

QString iNumberTextThatFits(const QString& text, const QFontMetrics& metrics, double width) {
  if (metrics.horizontalAdvance(text) <= width) return text;
  // Counted with the advances as drawn: whole-pixel ones let one '#' too
  // many, or too few, into the cell.
  const QFontMetricsF exact(metrics);
  const auto fits = [&exact, width](int count) {
    return exact.horizontalAdvance(QString(count, QLatin1Char('#'))) <= width;
  };
  int count = std::max(1, int(width / std::max(0.5, exact.horizontalAdvance(QLatin1Char('#')))));
  while (count > 1 && !fits(count)) --count;
  while (fits(count + 1)) ++count;
  return QString(count, QLatin1Char('#'));
}

void iDrawCellFill(QPainter& painter, const QRectF& rect, const XlsxICell& cell, const XlsxIStyles& styles,
                   XlsxPaintTarget target) {
  const CellRecords records = recordsOf(cell, styles);
  if (!records.fill || !records.fill->hasColor) return;
  if (target == XlsxPaintTarget::Page) painter.fillRect(truncated(rect), records.fill->color);
  else painter.fillRect(rect, records.fill->color);
}

bool iCellHasFill(const XlsxICell& cell, const XlsxIStyles& styles) {
  const CellRecords records = recordsOf(cell, styles);
  return records.fill && records.fill->hasColor;
}

void iDrawCellText(QPainter& painter, const QRectF& textRect, const QRectF& clip, const XlsxCellLook& look,
                   XlsxPaintTarget target) {
  if (look.text.isEmpty()) return;
  painter.save();
  painter.setFont(look.font);
  painter.setPen(look.color);
  painter.setClipRect(target == XlsxPaintTarget::Page ? QRectF(truncated(clip)) : clip, Qt::IntersectClip);
  painter.drawText(textRect.adjusted(2, 1, -2, -1), look.flags, look.text);
  painter.restore();
}

void iDrawCellLines(QPainter& painter, const QRectF& rect, const XlsxICell& cell, const XlsxIStyles& styles,
                    XlsxPaintTarget target, bool grid) {
  const bool page = target == XlsxPaintTarget::Page;
  const CellRecords records = recordsOf(cell, styles);
  if (records.border) {
    if (grid) return;
    const XlsxIBorder& b = *records.border;
    drawSide(painter, b.left, rect.topLeft(), rect.bottomLeft(), target);
    drawSide(painter, b.right, rect.topRight(), rect.bottomRight(), target);
    drawSide(painter, b.top, rect.topLeft(), rect.topRight(), target);
    drawSide(painter, b.bottom, rect.bottomLeft(), rect.bottomRight(), target);
  } else if (grid) {
    painter.setPen(QPen(page ? QColor(210, 210, 210) : QColor(220, 220, 220), 0.5));
    painter.setBrush(Qt::NoBrush);
    if (page) painter.drawRect(truncated(rect));
    else painter.drawRect(rect);
  }
}
