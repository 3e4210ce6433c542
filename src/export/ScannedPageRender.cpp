// The page as the user sees it for the scanned-look export: the document's
// render with the view's block edits painted over it (retyped, restyled,
// moved or turned text blocks, new blocks, moved or added images).
#include "ScannedPageRender.h"

#include "core/InkSilhouette.h"
#include "core/PdfDocument.h"
#include "core/TextBlock.h"
#include "view/EditedTextPreview.h"
#include "view/PdfView.h"

#include <QPainter>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

int nearest(double value) { return int(std::lround(value)); }

QRectF mapped(const QRectF& r, double scale, double pageHeight) {
  return QRectF(r.x() * scale, (pageHeight - r.y() - r.height()) * scale, r.width() * scale, r.height() * scale);
}

bool hasArea(const QRectF& r) { return r.width() > 0 && r.height() > 0; }

// Turns the painter about the centre of the block's place while it draws.
class BlockTurn {
 public:
  BlockTurn(QPainter& painter, const QRectF& place, double degrees) : painter(painter) {
    painter.save();
    if (std::abs(degrees) >= 0.1) {
      painter.translate(place.center());
      painter.rotate(degrees);
      painter.translate(-place.center());
    }
  }
  ~BlockTurn() { painter.restore(); }

 private:
  QPainter& painter;
};

void drawImageBlock(QPainter& painter, const TextBlock& block, const QRectF& place, const QRectF& original) {
  if (block.image.isNull()) return;
  if (hasArea(block.originalRect)) {
    if (!scannedExportBlockMoved(block)) return;
    if (block.inkLayer)
      painter.drawImage(original, whiteSilhouette(block.image));
    else
      painter.fillRect(original.adjusted(-2, -2, 2, 2), Qt::white);
  }
  const BlockTurn turn(painter, place, block.rotation);
  painter.drawImage(place, block.image);
}

QString joinedLineTexts(const TextBlock& block) {
  QStringList texts;
  for (const TextBlock::Line& line : block.lines) {
    const QString text = line.text.trimmed();
    if (!text.isEmpty()) texts << text;
  }
  return texts.join(QLatin1Char('\n')).trimmed();
}

bool textBlockChanged(const TextBlock& block) {
  if (block.textEdited || std::abs(block.rotation) > 0.1) return true;
  const QString lines = joinedLineTexts(block);
  if (!lines.isEmpty() && lines != block.text.trimmed()) return true;
  return scannedExportBlockMoved(block);
}


QFont blockFont(const QString& family, bool bold, bool italic, double points, double scale) {
  QFont font(family.trimmed().isEmpty() ? QStringLiteral("Times New Roman") : family.trimmed());
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  font.setItalic(italic);
  font.setPixelSize(std::clamp(nearest(points * scale), 4, 1000));
  return font;
}

void drawTextLines(QPainter& painter, const TextBlock& block, double scale, double pageHeight) {
  QStringList parts = block.text.split(QLatin1Char('\n'));
  const int lineCount = int(block.lines.size());
  int n;
  if (parts.size() == lineCount || block.text.contains(QLatin1Char('\n'))) {
    n = std::max(lineCount, int(parts.size()));
    for (int i = int(parts.size()); i < n; ++i) parts << block.lines[size_t(i)].text;
  } else {
    parts.clear();
    for (const TextBlock::Line& line : block.lines) parts << line.text;
    n = lineCount;
  }
  for (int i = 0; i < n; ++i) {
    TextBlock::Line line;
    line.fontSize = 10;
    line.color = Qt::black;
    if (i < lineCount) line = block.lines[size_t(i)];
    if (!hasArea(line.rect)) {
      const double band = std::max(block.rect.height() / n, 6.0);
      line.rect = QRectF(block.rect.x(), block.rect.y() + i * band, block.rect.width(), band);
      line.fontFamily = block.fontFamily;
      line.fontSize = block.fontSize;
      line.color = block.color;
      line.bold = block.bold;
      line.italic = block.italic;
    }
    const QString text = parts.value(i);
    if (text.isEmpty()) continue;
    const bool ownFamily = !line.fontFamily.trimmed().isEmpty();
    const QString family = ownFamily ? line.fontFamily : block.fontFamily;
    const double points = line.fontSize > 1    ? line.fontSize
                          : block.fontSize > 1 ? block.fontSize
                                               : std::max(0.82 * line.rect.height(), 6.0);
    painter.setFont(blockFont(family, ownFamily ? line.bold : block.bold, ownFamily ? line.italic : block.italic,
                              points, scale));
    painter.setPen(line.color.isValid() ? line.color : block.color.isValid() ? block.color : QColor(Qt::black));
    const QRectF r = line.rect;
    painter.drawText(QRectF(r.x() * scale, (pageHeight - r.y() - r.height()) * scale - 1, r.width() * scale + 4,
                            r.height() * scale + 3),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
  }
}

void drawTextBlock(QPainter& painter, const TextBlock& block, const QRectF& place, const QRectF& original,
                   double scale, double pageHeight) {
  if (!textBlockChanged(block)) return;
  const QRectF cleared = hasArea(block.originalRect) ? original : place;
  painter.fillRect(cleared.adjusted(-2, -2, 2, 2), Qt::white);
  const BlockTurn turn(painter, place, block.rotation);
  if (block.textEdited && !block.richTextHtml.trimmed().isEmpty()) {
    drawRichPreview(painter, block, place, scale);
  } else if (block.lines.empty()) {
    painter.setFont(blockFont(block.fontFamily, block.bold, block.italic, std::max<double>(block.fontSize, 6), scale));
    painter.setPen(block.color.isValid() ? block.color : QColor(Qt::black));
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.drawText(QRectF(place.x() + 1, place.y(), place.width() - 2, place.height() - 1), block.text, option);
  } else {
    drawTextLines(painter, block, scale, pageHeight);
  }
}

}  // namespace

bool scannedExportBlockMoved(const TextBlock& block) {
  const QRectF& r = block.rect;
  const QRectF& o = block.originalRect;
  if (o.width() <= 0 || o.height() <= 0) return false;
  if (std::abs(r.x() - o.x()) > 0.5 || std::abs(r.y() - o.y()) > 0.5 || std::abs(r.right() - o.right()) > 0.5 ||
      std::abs(r.bottom() - o.bottom()) > 0.5)
    return true;
  return std::abs(block.rotation) > 0.1;
}

QImage renderPageForScannedExport(PdfDocument* document, const PdfView* view, int page, double scale) {
  if (!document || !document->isOpen()) return {};
  QImage image = document->renderPage(page, scale, 0);
  if (image.isNull()) return image;
  image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (!view || view->currentOcrBlocks().empty() || view->ocrBlocksPageIndex() != page) return image;

  const double pageHeight = document->pageSize(page).height();
  // With the places of deleted blocks, which the page loses.
  const std::vector<TextBlock> blocks = view->ocrBlocksToWrite();
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (const TextBlock& block : blocks) {
    const QRectF place = mapped(block.rect, scale, pageHeight);
    const QRectF original = mapped(block.originalRect, scale, pageHeight);
    // A deleted picture has no place left: its old one turns white.
    if (block.isImage && !hasArea(block.rect) && hasArea(block.originalRect) && !block.inkLayer)
      painter.fillRect(original.adjusted(-1, -1, 1, 1), Qt::white);
    if (place.width() <= 1 || place.height() <= 1) continue;
    if (block.isImage)
      drawImageBlock(painter, block, place, original);
    else
      drawTextBlock(painter, block, place, original, scale, pageHeight);
  }
  painter.end();
  return image;
}
