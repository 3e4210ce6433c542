#pragma once
// How the page view draws a block's text itself: the font, spacing and colour
// of each visual line, chosen so that the glyphs fill the line's box the way
// the PDF or the scan filled it. Sizes are in pixels at the given zoom.
//
// Fitting a native line tries every pixel size up to about 120, so the view
// keeps the fitted fonts in a BlockTextRenderer and fits a line again only
// when its block, its text or the zoom has changed.

#include "core/TextBlock.h"

#include <QFont>
#include <QString>

#include <map>
#include <tuple>

class QPainter;

// Sample measured when a line gives no text of its own.
inline const QString kFallbackSampleText = QStringLiteral("Нолвского областного суда");

void applyBlockRotation(QPainter& p, const QRectF& rect, double degrees);
QColor lineTextColor(const TextBlock::Line& line, const TextBlock& block);
bool fontNameLooksItalic(const QString& name);
bool isNativePdfLine(const TextBlock::Line& line);
// A text block of an invisible layer (over a scan): the page shows its
// words by the scan's pixels, never by glyphs of its own.
bool isInvisibleTextBlock(const TextBlock& block);
bool effectiveLineItalic(const TextBlock::Line& line, const TextBlock& block);
bool blockHasRichTextPreview(const TextBlock& block);
QString representativeTextSample(const TextBlock::Line& line);
bool lineHasNativeRichSpans(const TextBlock::Line& line);
// A native style run drawn in the line's font: the run's own face, weight
// and slant, and its own colour where it has one to show.
QFont nativeSpanFont(QFont lineFont, const TextBlock::Line::Span& span);
QColor nativeSpanColour(const TextBlock::Line::Span& span, const QColor& lineColour);
double medianOcrLineHeightPt(const TextBlock& block);
int fittedFontPixelSize(QFont font, const QString& text, double targetHeight, int minPx, int maxPx);
void applyScannedOcrSpacing(QFont& font, const TextBlock::Line& line, double zoom, const QString& fallbackText);
QFont lineRenderFont(const TextBlock::Line& line, const TextBlock& block, double zoom, const QString& fallbackText,
                     bool scannedSpacing, double sizeScale);

// Fitted line fonts of the overlay's blocks, keyed by block, line and the
// caller's variant (spacing and scale). An entry is reused only while every
// input of the fit is unchanged, so a moved or retyped block or a new zoom
// refits exactly the lines concerned.
class BlockTextRenderer {
public:
  QFont lineFont(int blockIndex, int lineIndex, const TextBlock& block, double zoom, const QString& fallbackText,
                 bool scannedSpacing, double sizeScale);
  void clear();
  // Fits computed rather than served from the cache, since construction.
  int fitCount() const { return fits; }
  int entryCount() const { return static_cast<int>(entries.size()); }
  // A switch for measurements of the uncached cost.
  void setCachingEnabled(bool enabled);

private:
  // Every value lineRenderFont reads, so that equality means the same font.
  struct Inputs {
    QString lineText;
    QRectF lineRect;
    float lineFontSize = 0;
    QString lineFamily;
    bool lineBold = false;
    bool lineItalic = false;
    bool lineTransparent = false;
    bool lineHasSpans = false;
    QString blockFamily;
    float blockFontSize = 0;
    bool blockBold = false;
    bool blockItalic = false;
    bool blockTransparent = false;
    double blockMedianHeight = 0;
    double zoom = 0;
    QString fallbackText;
    bool operator==(const Inputs&) const = default;
  };
  struct Entry {
    Inputs inputs;
    QFont font;
  };
  using Key = std::tuple<int, int, bool, double>;

  std::map<Key, Entry> entries;
  int fits = 0;
  bool cachingEnabled = true;
};
