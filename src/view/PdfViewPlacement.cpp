// New blocks added to the overlay: a typed text block, image blocks laid
// out in a drawn area, and the image preview that follows the pointer.
#include "PdfView.h"

#include "core/BlockRichTextLayout.h"
#include "core/EditedLineFit.h"

#include <QPainter>
#include <QPen>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinNewBlockSide = 2.0;

// Top-origin page points to the bottom-origin points blocks are stored in.
QRectF toBottomOrigin(const QRectF& topRect, double pageHeight) {
  const QRectF r = topRect.normalized();
  return QRectF(r.x(), pageHeight - (r.y() + r.height()), r.width(), r.height()).normalized();
}

bool tooSmall(const QRectF& r) { return r.width() < kMinNewBlockSide || r.height() < kMinNewBlockSide; }

// One row of images sharing one height, centred in the rectangle; each keeps
// its proportions, a single one too.
QList<QRectF> layoutImageRectsInside(const QRectF& rect, const QList<QImage>& images) {
  QList<QRectF> result;
  if (images.isEmpty()) return result;
  const double gap = std::clamp(0.02 * rect.width(), 2.0, 8.0);
  QList<double> aspects;
  double sum = 0;
  for (const QImage& image : images) {
    const double aspect = double(std::max(image.width(), 1)) / std::max(image.height(), 1);
    aspects.append(aspect);
    sum += aspect;
  }
  const double divisor = sum > 0.1 ? sum : 0.1;
  const double totalGap = (images.size() - 1) * gap;
  const double h = std::min(rect.height(), std::max(rect.width() - totalGap, 2.0) / divisor);
  double x = rect.x() + (rect.width() - (sum * h + totalGap)) / 2;
  const double y = rect.y() + (rect.height() - h) / 2;
  for (double aspect : aspects) {
    result.append(QRectF(x, y, aspect * h, h));
    x += aspect * h + gap;
  }
  return result;
}

// The typed text as the block's rich text: the ribbon's size, the face the
// page is written with, left-aligned and wrapped inside the block. Editor,
// preview and the saved page all lay it out from this.
QString newTextBlockHtml(const QString& text, float size, const QColor& ink) {
  QTextDocument document;
  document.setUndoRedoEnabled(false);
  document.setDocumentMargin(0);
  QTextCursor cursor(&document);
  QTextBlockFormat paragraph;
  paragraph.setAlignment(Qt::AlignLeft);
  paragraph.setTopMargin(0);
  paragraph.setBottomMargin(0);
  cursor.setBlockFormat(paragraph);
  QTextCharFormat format;
  format.setFontFamilies({kWrittenTextFamily});
  // Stored rich text holds points as pixels.
  format.setProperty(QTextFormat::FontPixelSize, std::max(1, int(std::lround(size))));
  format.setForeground(ink);
  cursor.insertText(text, format);
  return document.toHtml();
}

}  // namespace

// Makes the overlay hold the given page. Edits of another page are handed to
// the owner first; when it cannot take them nothing changes and the caller
// adds nothing.
bool PdfView::prepareOverlayForPage(int page) {
  if (ocrBlocksPage == page || ocrBlocksPage < 0 || !ocrBlocksDirty) return true;
  deactivateOcrBlock();
  if (!pendingEditsHandler || !pendingEditsHandler(ocrBlocksPage, ocrBlocksToWrite())) return false;
  // Those edits now live in the document; undoing into them would write them twice.
  clearOcrBlocks();
  ocrBlocksPage = page;
  return true;
}

// Called after the undo snapshot, which keeps the blocks dropped here.
void PdfView::switchOverlayToPage(int page) {
  if (ocrBlocksPage == page) return;
  deactivateOcrBlock();
  ocrBlocks.clear();
  ocrBlockGroupIds.clear();
  removedOcrBlocks.clear();
  selectedOcrBlocks.clear();
  ocrBlocksPage = page;
  ocrBlocksDirty = false;
}

bool PdfView::appendEditableTextBlock(int page, const QRectF& rect, const QString& text, const QString& fontFamily,
                                      float fontSize, const QColor& color) {
  if (!document || !isValidPage(page) || text.trimmed().isEmpty()) return false;
  const QRectF pdfRect = toBottomOrigin(rect, document->pageSize(page).height());
  if (tooSmall(pdfRect)) return false;
  if (!prepareOverlayForPage(page)) return false;
  pushUndoSnapshot(QStringLiteral("Добавление текста"), true);
  switchOverlayToPage(page);

  const QString family = fontFamily.trimmed().isEmpty() ? QStringLiteral("Times New Roman") : fontFamily.trimmed();
  const float size = std::max(fontSize, 1.0f);
  const QColor ink = color.isValid() ? color : QColor(Qt::black);

  TextBlock block;
  block.text = text;
  block.rect = pdfRect;
  block.page = page;
  block.fontSize = size;
  block.fontFamily = family;
  block.color = ink;
  block.textEdited = true;
  block.richTextHtml = newTextBlockHtml(text, size, ink);
  // The block holds its text as the page will lay it out: a drawn area lower
  // than the lines would leave the last of them hanging below its frame.
  const double needed = std::ceil(BlockRichTextLayout(block, QRectF()).document().size().height());
  const double top = pdfRect.y() + pdfRect.height();
  const double height = std::min(std::max(pdfRect.height(), needed), std::max(top, pdfRect.height()));
  block.rect = block.originalRect = QRectF(pdfRect.x(), top - height, pdfRect.width(), height);
  TextBlock::Line line;
  line.text = text;
  line.rect = block.rect;
  line.fontSize = size;
  line.fontFamily = family;
  line.color = ink;
  block.lines.push_back(line);
  placedBlockPlaces.append(block.rect);

  ocrBlocks.push_back(block);
  ocrBlockGroupIds.resize(ocrBlocks.size() - 1, 0);
  ocrBlockGroupIds.push_back(0);
  selectedOcrBlocks.clear();
  const int index = static_cast<int>(ocrBlocks.size()) - 1;
  selectOcrBlock(index, false);
  if (editMode) activateOcrBlock(index);
  markOcrBlocksDirty();
  viewport()->update();
  return true;
}

bool PdfView::appendEditableImageBlocks(int page, const QRectF& rect, const QList<QImage>& images) {
  QList<QImage> usable;
  for (const QImage& image : images)
    if (!image.isNull()) usable.append(image);
  if (!document || !isValidPage(page) || usable.isEmpty()) return false;
  const QRectF area = rect.normalized();
  if (tooSmall(area)) return false;
  if (!prepareOverlayForPage(page)) return false;
  pushUndoSnapshot(usable.size() > 1 ? QStringLiteral("Добавление группы изображений")
                                     : QStringLiteral("Добавление изображения"),
                   true);
  switchOverlayToPage(page);

  const QList<QRectF> places = layoutImageRectsInside(area, usable);
  const int group = usable.size() > 1 ? nextOcrGroupId++ : 0;
  const double pageHeight = document->pageSize(page).height();
  ocrBlockGroupIds.resize(ocrBlocks.size(), 0);
  QList<int> added;
  for (qsizetype i = 0; i < usable.size(); ++i) {
    const QRectF pdfRect = toBottomOrigin(i < places.size() ? places[i] : area, pageHeight);
    if (tooSmall(pdfRect)) continue;
    TextBlock block;
    block.text = QStringLiteral("[image]");
    block.isImage = true;
    block.rect = pdfRect;
    block.page = page;
    block.image = usable[i].convertToFormat(QImage::Format_ARGB32_Premultiplied);
    block.fontSize = 10.0f;
    block.color = Qt::black;
    ocrBlocks.push_back(block);
    ocrBlockGroupIds.push_back(group);
    added.append(static_cast<int>(ocrBlocks.size()) - 1);
  }
  selectedOcrBlocks.clear();
  for (int index : added) selectedOcrBlocks.insert(index);
  if (added.size() == 1 && usable.size() == 1 && editMode)
    activateOcrBlock(added.first());
  else
    deactivateOcrBlock();
  markOcrBlocksDirty();
  viewport()->update();
  return !added.isEmpty();
}

bool PdfView::appendEditableImageBlock(int page, const QRectF& rect, const QImage& image) {
  return appendEditableImageBlocks(page, rect, QList<QImage>{image});
}

void PdfView::setImagePlacementPreview(const QList<QImage>& images, const QSizeF& size) {
  placementImages.clear();
  for (const QImage& image : images)
    if (!image.isNull()) placementImages.append(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
  placementSize = size;
  placementActive = !placementImages.isEmpty() && size.width() > 1.0 && size.height() > 1.0;
  viewport()->update();
}

void PdfView::clearImagePlacementPreview() {
  placementImages.clear();
  placementActive = false;
  placementSize = QSizeF(-1, -1);
  viewport()->update();
}

void PdfView::paintPlacementPreview(QPainter& painter, const PageGeometry& g) const {
  if (!editMode || editTool != EditTool::InsertImage || !placementActive || placementImages.isEmpty()) return;
  if (pageAtPoint(placementCursor) != g.page || !document) return;
  const QSizeF page = document->pageSize(g.page);
  const QPointF cursor = viewToPage(g.page, placementCursor).topLeft();
  const double w = std::min(page.width(), placementSize.width());
  const double h = std::min(page.height(), placementSize.height());
  // Follows the pointer but never leaves the page.
  double x0 = std::max(cursor.x() - w / 2, 0.0);
  double y0 = std::max(cursor.y() - h / 2, 0.0);
  if (x0 + w > page.width()) x0 = page.width() - w;
  if (y0 + h > page.height()) y0 = page.height() - h;
  const QRectF area(x0, y0, w, h);
  const QTransform toScreen = pageTopToViewport(g.page);
  const QList<QRectF> places = layoutImageRectsInside(area, placementImages);

  painter.save();
  painter.setOpacity(0.55);
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (qsizetype k = 0; k < places.size() && k < placementImages.size(); ++k) {
    const QRectF s = toScreen.mapRect(places[k]);
    painter.drawImage(s, placementImages[k]);
    painter.setPen(QPen(QColor(20, 115, 230, 210), 1.2, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(s);
  }
  painter.setOpacity(1.0);
  painter.setPen(QPen(QColor(20, 115, 230, 170), 1.4, Qt::DashLine));
  painter.drawRoundedRect(toScreen.mapRect(area).adjusted(-2, -2, 2, 2), 4.0, 4.0);
  painter.restore();
}
