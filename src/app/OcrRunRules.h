#pragma once
// The arithmetic of the window's recognition runs, kept apart from the window
// so that it can be checked without one: render scales, the region that is
// recognised, the crop of a render, blocks moved from a crop onto their page,
// and whether a page already shows its own text; and the stored languages.

#include "core/TextBlock.h"

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <vector>

// Pixels per point of a whole-page render: the stored zoom when it is set,
// else 1.5 for pages wider than 800 points and 2 for the others.
double pageOcrScale(double pageWidth, double storedZoom);
// The render of a whole page holds at most this many pixels: more than an A0
// page at the usual scale, and within what one recogniser can afford.
inline constexpr double kMaxOcrPagePixels = 40'000'000;
// `scale` cut down so that a page of `size` points renders within that bound.
double cappedOcrScale(const QSizeF& size, double scale);
// What recognising a page of `size` points at `scale` holds at its peak: the
// render and the recogniser's copies of it.
qint64 ocrPageBytes(const QSizeF& size, double scale);
// Pixels per point of a region render: a crop about 250 pixels high, kept
// within 2 to 4.
double regionOcrScale(double regionHeight);
// Pixels per point of an image block render: about 300 pixels high, at most 3.
double imageBlockOcrScale(double blockHeight);

// A selected region (points, origin top left) clipped to the page; an empty
// rectangle when what is left is under 4 points in either direction.
QRectF ocrRegionOnPage(const QRectF& selection, const QSizeF& pageSize);
// The pixels of a region in a render at `scale`: edges rounded outwards, at
// least 4 pixels a side, clipped to the image (empty when outside it).
QRect regionPixelRect(const QRectF& region, double scale, const QSize& imageSize);
// The pixels of an image block (points, origin bottom left) in a render of
// its page: values truncated, at least 4 pixels a side, clipped to the image.
QRect imageBlockPixelRect(const QRectF& block, double pageHeight, double scale, const QSize& imageSize);

// Blocks recognised in a crop, moved by `offset` onto the page: every
// rectangle that is not empty (block, original, lines, words).
void moveBlocksOntoPage(std::vector<TextBlock>& blocks, QPointF offset, int page);

// Whether the page's own text shows: a text block with non-blank text whose
// colour (or, for a nearly transparent block, one of its lines' colours) is
// unset or has an alpha above 8.
bool hasVisibleTextLayer(const std::vector<TextBlock>& nativeBlocks);

// The name of the recognition languages as the progress dialog shows it.
QString ocrLanguagesDisplayName(const QString& languages);

// The languages the page and document runs recognise ("ocr/languages").
QString storedOcrLanguages();
// What the user is told when the engine cannot start.
inline constexpr char kOcrEngineFailure[] =
    "Не удалось инициализировать Tesseract.\nПоложите tessdata рядом с программой.";
