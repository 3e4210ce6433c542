#pragma once
// Improvement of a scanned page as a fixed chain of pure steps, each run only
// when its switch is set: noise removal, deskew, page frame, margin crop,
// white balance, brightness, contrast, smoothing, sharpening, text curve.
// A null image comes back unchanged; with every switch off the image comes
// back as it was, pixel format included.

#include "ScanParams.h"

#include <QImage>

QImage applyPostProcess(QImage image, const ScanParams& params);
// The page in the kind of image its mode asks for: 8-bit grey for grey
// (1), one bit per pixel for black and white (2); colour (0) stays as it is.
// The resolution is kept.
QImage scannedKind(const QImage& image, int colorMode);
// The light adjustment of a live camera frame: brightness, mode, rotation.
QImage applyCameraParams(QImage image, const ScanParams& params);

// The steps, in the order applyPostProcess runs them. Colour steps return a
// 32-bit RGB image; geometry steps may return the input unchanged.
namespace scanfilter {
QImage removeImpulseNoise(const QImage& image);
QImage deskew(const QImage& image);
// The best of the 41 angles -10..+10 degrees (step 0.5) for straight rows.
double skewAngle(const QImage& image);
QImage perspCorrect(const QImage& image);
QImage cropMargins(const QImage& image);
QImage whiteBalance(const QImage& image);
QImage autoBrightness(const QImage& image);
QImage autoContrast(const QImage& image);
QImage smooth(const QImage& image);
QImage sharpen(const QImage& image);
QImage enhanceText(const QImage& image);
}  // namespace scanfilter
