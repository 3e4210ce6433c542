#include "OcrRunRules.h"

#include <QObject>
#include <QSettings>

#include <algorithm>
#include <cmath>

double pageOcrScale(double pageWidth, double storedZoom) {
  if (storedZoom > 0) return storedZoom;
  return pageWidth > 800 ? 1.5 : 2.0;
}

double cappedOcrScale(const QSizeF& size, double scale) {
  const double pixels = size.width() * size.height() * scale * scale;
  if (!(pixels > kMaxOcrPagePixels)) return scale;
  return scale * std::sqrt(kMaxOcrPagePixels / pixels);
}

qint64 ocrPageBytes(const QSizeF& size, double scale) {
  // The colour render (4 bytes a pixel), its grey copy and the recogniser's
  // thresholded and scaled images of it.
  constexpr double kBytesPerPixel = 12.0;
  const double pixels = std::max(0.0, size.width() * scale) * std::max(0.0, size.height() * scale);
  return qint64(std::min(pixels * kBytesPerPixel, 1e15));
}

double regionOcrScale(double regionHeight) {
  const double scale = 250.0 / std::max(regionHeight, 40.0);
  return std::clamp(scale, 2.0, 4.0);
}

double imageBlockOcrScale(double blockHeight) { return std::min(3.0, 300.0 / std::max(blockHeight, 10.0)); }

QRectF ocrRegionOnPage(const QRectF& selection, const QSizeF& pageSize) {
  const QRectF clipped = selection.normalized().intersected(QRectF(QPointF(0, 0), pageSize));
  if (!(clipped.width() >= 4.0) || !(clipped.height() >= 4.0)) return QRectF();
  return clipped;
}

QRect regionPixelRect(const QRectF& region, double scale, const QSize& imageSize) {
  const int left = std::max(0, int(std::floor(region.x() * scale)));
  const int top = std::max(0, int(std::floor(region.y() * scale)));
  const int width = std::max(4, int(std::ceil(region.width() * scale)));
  const int height = std::max(4, int(std::ceil(region.height() * scale)));
  return QRect(left, top, width, height).intersected(QRect(QPoint(0, 0), imageSize));
}

QRect imageBlockPixelRect(const QRectF& block, double pageHeight, double scale, const QSize& imageSize) {
  const int left = int(std::max(0.0, block.x() * scale));
  const int top = int(std::max(0.0, (pageHeight - block.y() - block.height()) * scale));
  const int width = int(std::max(4.0, block.width() * scale));
  const int height = int(std::max(4.0, block.height() * scale));
  return QRect(left, top, width, height).intersected(QRect(QPoint(0, 0), imageSize));
}

void moveBlocksOntoPage(std::vector<TextBlock>& blocks, QPointF offset, int page) {
  const auto move = [offset](QRectF& rect) {
    if (rect.width() > 0 && rect.height() > 0) rect.translate(offset);
  };
  for (TextBlock& block : blocks) {
    block.page = page;
    move(block.rect);
    move(block.originalRect);
    for (TextBlock::Line& line : block.lines) {
      move(line.rect);
      for (TextBlock::Line::Word& word : line.words) move(word.rect);
    }
  }
}

namespace {

bool shows(const QColor& color) { return !color.isValid() || color.alpha() > 8; }

}  // namespace

bool hasVisibleTextLayer(const std::vector<TextBlock>& nativeBlocks) {
  return std::any_of(nativeBlocks.begin(), nativeBlocks.end(), [](const TextBlock& block) {
    if (block.isImage || block.text.trimmed().isEmpty()) return false;
    if (shows(block.color)) return true;
    return std::any_of(block.lines.begin(), block.lines.end(),
                       [](const TextBlock::Line& line) { return shows(line.color); });
  });
}

QString ocrLanguagesDisplayName(const QString& languages) {
  if (languages == QLatin1String("rus")) return QObject::tr("русский");
  if (languages == QLatin1String("eng")) return QObject::tr("английский");
  return QObject::tr("русский + английский");
}

QString storedOcrLanguages() {
  return QSettings().value(QStringLiteral("ocr/languages"), QStringLiteral("rus+eng")).toString();
}
