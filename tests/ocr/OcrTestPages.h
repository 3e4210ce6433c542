#pragma once
// Pages drawn for the recognition tests: known text in known fonts, sizes,
// colours and weights, rules and pictures, rendered at a chosen resolution.

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <vector>

class QPainter;

namespace ocrtest {

struct DrawnText {
  QString text;
  QPointF topLeft;  // points, origin at the top-left corner of the page
  QString family = QStringLiteral("DejaVu Serif");
  double sizePt = 12;
  QColor color = Qt::black;
  bool bold = false;
};

struct PageDrawing {
  QSizeF sizePt{420, 300};
  std::vector<DrawnText> texts;
  // Lines in points, top-left origin, drawn 1 pt wide.
  std::vector<QLineF> rules;
  // Photo-like pictures (gradients and shapes) in points, top-left origin.
  std::vector<QRectF> pictures;
};

QImage renderPage(const PageDrawing& drawing, double dpi);

// The drawing rendered at `dpi` and laid over a page of its size in points
// from the painter's corner, as a scanner puts a picture of the page in a PDF.
void drawScan(QPainter& painter, const PageDrawing& drawing, double dpi);

// Lines of text set one under another from a top-left point.
void addParagraph(PageDrawing& drawing, const QStringList& lines, QPointF topLeft, double sizePt,
                  const QString& family = QStringLiteral("DejaVu Serif"), double leading = 1.35);

// About one degree of skew, grain noise with a fixed seed.
QImage degrade(const QImage& page, double degrees, int noiseAmplitude);

// Words normalised for comparison: punctuation stripped, lower case.
QStringList comparableWords(const QString& text);

// Share of the expected words (as a multiset) found among the recognised ones.
double wordRecall(const QStringList& expected, const QStringList& recognised);

}  // namespace ocrtest
