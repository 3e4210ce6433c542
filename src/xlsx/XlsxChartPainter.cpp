// Charts: bars, lines, areas and pies from their cached series.
#include "XlsxCellPainter.h"

#include <QFont>
#include <QPainter>
#include <QPolygonF>

#include <array>
#include <cmath>

namespace {

const std::array<QColor, 8>& chartPalette() {
  static const std::array<QColor, 8> palette = {QColor(0x42, 0x72, 0xc4), QColor(0xed, 0x7d, 0x31),
                                                QColor(0xa9, 0xd1, 0x8e), QColor(0xff, 0xc0, 0x00),
                                                QColor(0x5b, 0x9b, 0xd5), QColor(0x70, 0xad, 0x47),
                                                QColor(0x99, 0x33, 0x66), QColor(0x33, 0x66, 0xff)};
  return palette;
}

QColor paletteColor(qsizetype index) { return chartPalette()[size_t(index % 8)]; }

void valueRange(const QList<XlsxIChartSeries>& series, double& low, double& high) {
  low = 0;
  high = 0;
  for (const auto& s : series)
    for (const double v : s.values) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
}

void drawLines(QPainter& painter, const QRectF& area, const QList<XlsxIChartSeries>& series) {
  double low = 0, high = 0;
  valueRange(series, low, high);
  if (low == high) high = low + 1;
  for (qsizetype i = 0; i < series.size(); ++i) {
    const QList<double>& values = series[i].values;
    if (values.isEmpty()) continue;
    painter.setPen(QPen(paletteColor(i), 2));
    painter.setBrush(Qt::NoBrush);
    QPolygonF points;
    const double n = double(std::max<qsizetype>(values.size() - 1, 1));
    for (qsizetype j = 0; j < values.size(); ++j)
      points.append(QPointF(area.left() + j * area.width() / n,
                            area.bottom() - (values[j] - low) * area.height() / (high - low)));
    painter.drawPolyline(points);
    for (const QPointF& p : points) painter.drawEllipse(p, 3.0, 3.0);
  }
}

void drawPie(QPainter& painter, const QRectF& area, const QList<XlsxIChartSeries>& series) {
  if (series.isEmpty() || series.first().values.isEmpty()) return;
  double total = 0;
  for (const double v : series.first().values) total += std::abs(v);
  if (!(total > 0)) return;
  const QRect pie = area.adjusted(area.width() * 0.1, area.height() * 0.1, -area.width() * 0.1,
                                  -area.height() * 0.1)
                        .toRect();
  int start = 1440;
  const QList<double>& values = series.first().values;
  for (qsizetype i = 0; i < values.size(); ++i) {
    const int span = int(std::lround(values[i] / total * 360.0 * 16.0));
    painter.setBrush(paletteColor(i));
    painter.setPen(QPen(Qt::white, 1));
    painter.drawPie(pie, start, span);
    start += span;
  }
}

}  // namespace

void iDrawBarChart(QPainter& painter, QRectF rect, const QList<XlsxIChartSeries>& series, bool horizontal) {
  const qsizetype s = series.size();
  const qsizetype n = s ? series.first().values.size() : 0;
  if (s == 0 || n == 0) return;
  double low = 0, high = 0;
  valueRange(series, low, high);
  const double range = high == low ? 1.0 : high - low;
  const double slot = (horizontal ? rect.height() : rect.width()) / double(s * n + n + 1);
  painter.setPen(Qt::NoPen);
  for (qsizetype i = 0; i < s; ++i) {
    painter.setBrush(paletteColor(i));
    const QList<double>& values = series[i].values;
    for (qsizetype j = 0; j < values.size(); ++j) {
      const double f = (values[j] - low) / range;
      const double k = double(i + j * (s + 1));
      if (horizontal)
        painter.drawRect(QRectF(rect.left(), rect.top() + (k + 1) * slot, f * rect.width(), slot));
      else
        painter.drawRect(QRectF(rect.left() + (k + 1) * slot, rect.bottom() - f * rect.height(), slot,
                                f * rect.height()));
    }
  }
  painter.setPen(QPen(QColor(100, 100, 100), 1));
  if (horizontal) {
    const double x = rect.left() - (low / range) * rect.width();
    painter.drawLine(QPointF(x, rect.top()), QPointF(x, rect.bottom()));
  } else {
    const double y = rect.bottom() + (low / range) * rect.height();
    painter.drawLine(QPointF(rect.left(), y), QPointF(rect.right(), y));
  }
}

void iDrawChart(QPainter& painter, const QRectF& rect, const XlsxIChart& chart) {
  painter.save();
  painter.fillRect(rect, QColor(248, 250, 255));
  painter.setPen(QPen(QColor(180, 200, 240), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(rect);
  QRectF area = rect.adjusted(4, 4, -4, -4);
  if (!chart.title.isEmpty()) {
    QFont font;
    font.setWeight(QFont::Bold);
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), 16),
                     Qt::AlignCenter | Qt::TextSingleLine, chart.title);
    area.setTop(area.top() + 18);
  }
  if (area.width() >= 10 && area.height() >= 10) {
    switch (chart.type) {
      case XlsxIChart::Column: iDrawBarChart(painter, area, chart.series, false); break;
      case XlsxIChart::Bar: iDrawBarChart(painter, area, chart.series, true); break;
      case XlsxIChart::Line:
      case XlsxIChart::Area: drawLines(painter, area, chart.series); break;
      case XlsxIChart::Pie: drawPie(painter, area, chart.series); break;
      default: {
        QFont font;
        font.setPixelSize(11);
        painter.setFont(font);
        painter.setPen(QColor(130, 130, 180));
        painter.drawText(area, Qt::AlignCenter, QStringLiteral("Chart"));
      }
    }
  }
  painter.restore();
}
