// Chart parts: plot kind, title and the cached series data.
#include "XlsxLimits.h"
#include "XlsxReaders.h"

#include <QXmlStreamReader>

namespace {

int plotType(QStringView name) {
  if (name == u"barChart" || name == u"bar3DChart") return XlsxIChart::Column;
  if (name == u"lineChart" || name == u"line3DChart" || name == u"scatterChart") return XlsxIChart::Line;
  if (name == u"pieChart" || name == u"pie3DChart") return XlsxIChart::Pie;
  if (name == u"areaChart") return XlsxIChart::Area;
  return -1;
}

}  // namespace

XlsxIChart iParseChart(const QByteArray& xml, const QString& part, XlsxReadReport* report) {
  XlsxIChart chart;
  if (xml.isEmpty()) return chart;
  XlsxReadReport localReport;
  if (!report) report = &localReport;
  XlsxIChartSeries series;
  QString pointText;
  int pointIndex = 0;
  bool inTitle = false, inTitleText = false, inSeries = false, inCategories = false, inValues = false,
       inPoint = false;
  QXmlStreamReader reader(xml);
  while (!reader.atEnd()) {
    const auto token = reader.readNext();
    const QStringView name = reader.name();
    if (token == QXmlStreamReader::StartElement) {
      const int type = plotType(name);
      if (type >= 0 && chart.type == XlsxIChart::None) chart.type = type;
      if (name == u"barDir" && reader.attributes().value(QLatin1String("val")) == u"bar") chart.type = XlsxIChart::Bar;
      else if (name == u"title") inTitle = true;
      else if (name == u"tx" && inTitle) inTitleText = true;
      else if (name == u"ser") {
        series = XlsxIChartSeries();
        inSeries = true;
      } else if (name == u"cat" && inSeries) inCategories = true;
      else if (name == u"val" && inSeries) inValues = true;
      else if (name == u"pt") {
        bool ok = false;
        pointIndex = reader.attributes().value(QLatin1String("idx")).toInt(&ok);
        if (!ok) pointIndex = 0;
        pointText.clear();
        inPoint = true;
      }
    } else if (token == QXmlStreamReader::Characters) {
      if (inTitle && inTitleText) chart.title.append(reader.text().trimmed());
      else if (inPoint) pointText.append(reader.text());
    } else if (token == QXmlStreamReader::EndElement) {
      if (name == u"title") inTitle = false;
      else if (name == u"tx" && inTitle) inTitleText = false;
      else if (name == u"cat") inCategories = false;
      else if (name == u"val") inValues = false;
      else if (name == u"pt" && inSeries) {
        // A point index decides the list's length: a negative one has no
        // place, and a huge one would fill memory with gaps.
        const qint64 have = inCategories ? series.categories.size() : series.values.size();
        const qint64 growth = std::max<qint64>(0, qint64(pointIndex) + 1 - have);
        if (pointText.isEmpty() || (!inCategories && !inValues)) {
          // An empty point reads as the gap it leaves: it costs nothing.
        } else if (pointIndex >= xlsxlimits::kMaxChartPoints) {
          report->add(QStringLiteral("Часть «%1»: точка ряда с номером %2 превышает предел данных диаграммы (%3 точек); пропущена"),
                      {part, QString::number(pointIndex), QString::number(xlsxlimits::kMaxChartPoints)});
        } else if (report->chartPointsStored + growth > xlsxlimits::kMaxChartSlots) {
          report->add(QStringLiteral("В диаграммах книги больше %1 точек данных; остальные пропущены"),
                      {QString::number(xlsxlimits::kMaxChartSlots)});
        } else if (pointIndex >= 0 && inCategories) {
          report->chartPointsStored += growth;
          while (series.categories.size() <= pointIndex) series.categories.append(QString());
          series.categories[pointIndex] = pointText;
        } else if (pointIndex >= 0 && inValues) {
          report->chartPointsStored += growth;
          while (series.values.size() <= pointIndex) series.values.append(0.0);
          series.values[pointIndex] = pointText.toDouble();
        }
        inPoint = false;
      } else if (name == u"pt") {
        inPoint = false;
      } else if (name == u"ser") {
        // A series without points draws nothing and is not kept.
        if (inSeries && (!series.categories.isEmpty() || !series.values.isEmpty())) chart.series.append(series);
        inSeries = false;
      }
    }
  }
  iNoteXmlError(reader, part, report);
  return chart;
}
