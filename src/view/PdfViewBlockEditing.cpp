// Editing a block in place: opening the editor frame over a block, filling
// its document from the block, placing it on screen as the view scrolls and
// zooms, growing the block with its text, and closing it again.
#include "PdfView.h"

#include "BlockEditorDocument.h"
#include "BlockEditorFrame.h"
#include "BlockGeometry.h"
#include "BlockTextRenderer.h"
#include "EditedTextDocument.h"
#include "EditedTextPreview.h"
#include "RotatedTextEdit.h"
#include "core/TextEditRefusal.h"
#include "core/EditedLineFit.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QString kEditorStyleSheet = QStringLiteral(
    "QTextEdit#BlockTextEditor {  background: rgba(255,255,255,0);  background-color: rgba(255,255,255,0);  "
    "border: none;  color: black;  margin: 0px;  padding: 0px;}QWidget#BlockTextEditorViewport {  background: "
    "rgba(255,255,255,0);  background-color: rgba(255,255,255,0);}");

void scrollEditorToTop(QTextEdit* editor) {
  editor->horizontalScrollBar()->setValue(0);
  editor->verticalScrollBar()->setValue(0);
}

void settleEditorCursor(QTextEdit* editor) {
  QTextCursor cursor(editor->document());
  cursor.movePosition(QTextCursor::Start);
  editor->setTextCursor(cursor);
  editor->mergeCurrentCharFormat(cursor.charFormat());
  scrollEditorToTop(editor);
  editor->document()->setModified(false);
}

// One native PDF line: the editor takes the line's fitted font, and its
// style runs when they differ from each other.
void loadNativeSingleLine(QTextEdit* editor, const TextBlock& block, double zoom) {
  const TextBlock::Line& line = block.lines.front();
  const QFont font = lineRenderFont(line, block, zoom, block.text, true, 1.0);
  const QColor colour = lineTextColor(line, block);
  editor->setFont(font);
  editor->document()->setDefaultFont(font);
  editor->setTextColor(colour);
  editor->setPlainText(block.text);
  QTextCharFormat format;
  format.setFont(font, QTextCharFormat::FontPropertiesAll);
  format.setForeground(QBrush(colour));

  if (lineHasNativeRichSpans(line)) {
    editor->clear();
    QTextCursor cursor(editor->document());
    for (const TextBlock::Line::Span& span : line.spans) {
      if (span.text.isEmpty()) continue;
      QFont spanFont = nativeSpanFont(font, span);
      // A run set larger or smaller than the line keeps its own size.
      if (span.fontSize > 1.0f && std::abs(span.fontSize - line.fontSize) > 0.15f)
        spanFont.setPixelSize(std::max(1, static_cast<int>(std::lround(span.fontSize * zoom))));
      QTextCharFormat spanFormat;
      spanFormat.setFont(spanFont, QTextCharFormat::FontPropertiesAll);
      spanFormat.setForeground(QBrush(nativeSpanColour(span, colour)));
      if (span.superscript)
        spanFormat.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
      else if (span.subscript)
        spanFormat.setVerticalAlignment(QTextCharFormat::AlignSubScript);
      insertTextWithPlaceholderUnderlines(cursor, span.text, spanFormat);
    }
  } else if (block.text.contains(QStringLiteral("__"))) {
    editor->clear();
    QTextCursor cursor(editor->document());
    insertTextWithPlaceholderUnderlines(cursor, block.text, format);
  } else {
    QTextCursor all(editor->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(format);
    all.clearSelection();
  }
  settleEditorCursor(editor);
}

// One paragraph per visual line, each at its line's place in the block, so
// that a recognised paragraph keeps its line layout while it is edited.
void loadFixedLineLayout(QTextEdit* editor, const TextBlock& block, double zoom) {
  editor->clear();
  QTextDocument* document = editor->document();
  document->setDocumentMargin(0);
  QTextOption option = document->defaultTextOption();
  option.setWrapMode(QTextOption::NoWrap);
  document->setDefaultTextOption(option);
  const QStringList texts = displayLines(block);
  const int n = std::max(static_cast<int>(block.lines.size()), static_cast<int>(texts.size()));
  const double blockTop = block.rect.y() + block.rect.height();
  QTextCursor cursor(document);
  double y = 0;
  for (int i = 0; i < n; ++i) {
    const TextBlock::Line line = visualLineForIndex(block, i);
    const QString text = i < texts.size() ? texts.at(i) : line.text;
    const QFont font = lineRenderFont(line, block, zoom, text, true, 1.08);
    const double lineTop = (blockTop - (line.rect.y() + line.rect.height())) * zoom;
    const double topMargin = std::max(0.0, lineTop - y);
    const double h = std::max(std::max(zoom, 1.0) + QFontMetricsF(font).tightBoundingRect(text).height(),
                              line.rect.height() * zoom);
    QTextBlockFormat paragraph;
    paragraph.setTopMargin(topMargin);
    paragraph.setBottomMargin(0);
    paragraph.setLeftMargin(std::max(0.0, (line.rect.x() - block.rect.x()) * zoom));
    paragraph.setLineHeight(h, QTextBlockFormat::FixedHeight);
    if (i > 0)
      cursor.insertBlock(paragraph);
    else
      cursor.setBlockFormat(paragraph);
    QTextCharFormat format;
    format.setFont(font, QTextCharFormat::FontPropertiesAll);
    format.setForeground(QBrush(lineTextColor(line, block)));
    insertTextWithPlaceholderUnderlines(cursor, text, format);
    y = std::max(lineTop + h, y + topMargin + h);
  }
  settleEditorCursor(editor);
}

}  // namespace

void PdfView::activateOcrBlock(int index) {
  if (!isValidBlockIndex(index)) {
    deactivateOcrBlock();
    return;
  }
  if (blockEditorFrame && isValidBlockIndex(activeOcrBlock)) {
    TextBlock& previous = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
    if (!previous.isImage)
      applyEditedTextDocument(previous, blockEditorFrame->textEditor(), previous.textEdited, zoom);
  }
  activeOcrBlock = index;
  editorUndoBlock = index;
  editorUndoCaptured = false;

  if (!blockEditorFrame) {
    blockEditorFrame = new BlockEditorFrame(viewport());
    connect(blockEditorFrame, &BlockEditorFrame::rectChanged, this, &PdfView::onBlockFrameRectChanged);
    connect(blockEditorFrame, &BlockEditorFrame::rotationChanged, this, &PdfView::onBlockFrameRotationChanged);
    connect(blockEditorFrame, &BlockEditorFrame::interactionStarted, this, [this] {
      blockInteractionUndoCaptured = false;
      blockFrameLastRect = blockEditorFrame->contentScreenRect();
    });
    connect(blockEditorFrame, &BlockEditorFrame::interactionFinished, this, [this] {
      blockInteractionUndoCaptured = false;
      settleActiveBlockPage();
    });
    // After the frame's own filters, so that this one runs first.
    blockEditorFrame->textEditor()->installEventFilter(this);
    blockEditorFrame->textEditor()->viewport()->installEventFilter(this);
  }
  blockOpenForTyping = false;
  bodyPressed = false;
  textPointerHeld = false;
  const TextBlock& block = ocrBlocks[static_cast<std::size_t>(index)];
  BlockEditorFrame* frame = blockEditorFrame;
  frame->setContentRectOverride(QRect());
  frame->setImageMode(block.isImage);
  frame->setRotationAngle(block.rotation);
  // The view paints a text block's preview itself; the editor only edits.
  frame->setTextPaintingSuppressed(!block.isImage);

  if (block.isImage) {
    frame->setPlaceholderText(QString());
    repositionBlockEditor();
    frame->show();
    frame->raise();
    frame->raiseChromeOverlay();
    frame->setFocus();
    emit activeTextEditorAvailable(false);
    viewport()->update();
    return;
  }

  RotatedTextEdit* editor = frame->textEditor();
  disconnect(editor, nullptr, this, nullptr);
  const bool wasBlocked = editor->blockSignals(true);
  editorSyncInProgress = true;
  // The editor is shared by all blocks: nothing of the previous block's
  // fonts may leak into this one's document.
  editor->setFont(font());
  editor->document()->setDefaultFont(font());
  const bool rich = block.textEdited && blockHasRichTextPreview(block);
  editor->setLineWrapMode(rich ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
  editor->setStyleSheet(kEditorStyleSheet);
  setEditorRotatedPresentation(editor);
  frame->setPlaceholderText(QString());
  if (rich) {
    editor->setHtml(block.richTextHtml);
    scaleDocumentFontPixels(editor->document(), zoom);
    // A fresh cursor: the old one keeps the typing format of the last
    // command, which would speak for text that no longer has it.
    editor->setTextCursor(QTextCursor(editor->document()));
  } else if (block.lines.size() == 1 && !block.lines.front().transparentText &&
             isNativePdfLine(block.lines.front())) {
    loadNativeSingleLine(editor, block, zoom);
  } else {
    loadFixedLineLayout(editor, block, zoom);
  }
  if (rich && !activeBlockUsesFixedLineLayout()) {
    normalizeEditorTextLayout(editor);
    wrapEditorAsWritten(editor, activeBlockWraps());
  }
  editor->document()->setModified(false);
  // Keys move the caret and select, but change nothing the page cannot take;
  // the user learns why on opening it, not at saving.
  editor->setReadOnly(refuseActiveBlockEdit());
  scrollEditorToTop(editor);
  editorSyncInProgress = false;
  editor->blockSignals(wasBlocked);

  repositionBlockEditor();
  frame->show();
  frame->raise();
  frame->raiseChromeOverlay();
  editor->setFocus(Qt::OtherFocusReason);
  connectActiveTextEditorSignals(editor);
  emitActiveTextFormat();
  viewport()->update();
}

void PdfView::deactivateOcrBlock() {
  const bool hadEditor = activeTextEditor() != nullptr;
  if (blockEditorFrame && isValidBlockIndex(activeOcrBlock)) {
    TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
    // An image block never loaded the editor: its text must not take the
    // editor's leftovers.
    if (!restoringSnapshot && !block.isImage) {
      applyEditedTextDocument(block, blockEditorFrame->textEditor(), block.textEdited, zoom);
      // A fit still waiting for its turn is done now: lines typed just
      // before the editor closes get their room too.
      if (ocrBlocksDirty) fitActiveTextBlockToContent();
    }
    disconnect(blockEditorFrame->textEditor(), nullptr, this, nullptr);
  }
  activeOcrBlock = -1;
  editorUndoCaptured = false;
  editorUndoBlock = -1;
  blockOpenForTyping = false;
  bodyPressed = false;
  textPointerHeld = false;
  if (blockEditorFrame) {
    // Hiding the focused editor would hand the keys to whatever widget comes
    // next (a ribbon field that eats Ctrl+Z); the page keeps them instead.
    const QWidget* focus = QApplication::focusWidget();
    const bool editorHadFocus = focus && (focus == blockEditorFrame || blockEditorFrame->isAncestorOf(focus));
    blockEditorFrame->setContentRectOverride(QRect());
    blockEditorFrame->setRotationAngle(0.0);
    blockEditorFrame->hide();
    if (editorHadFocus) setFocus(Qt::OtherFocusReason);
  }
  if (hadEditor) emit activeTextEditorAvailable(activeTextEditor() != nullptr);
  viewport()->update();
}

void PdfView::setEditMode(bool on) {
  if (on == editMode) return;
  editMode = on;
  highlightPage = -1;
  highlightRects.clear();
  lastRegionIsRegion = false;
  if (!on) deactivateOcrBlock();
  viewport()->update();
  emit editModeChanged(on);
}

QTextEdit* PdfView::activeTextEditor() const {
  if (blockEditorFrame && isValidBlockIndex(activeOcrBlock) &&
      !ocrBlocks[static_cast<std::size_t>(activeOcrBlock)].isImage && blockEditorFrame->isVisible())
    return blockEditorFrame->textEditor();
  // The inline insert editor takes the format commands while it is open.
  return inlineTextEdit && inlineTextEdit->isVisible() ? inlineTextEdit : nullptr;
}

bool PdfView::activeBlockUsesFixedLineLayout() const {
  if (!isValidBlockIndex(activeOcrBlock)) return false;
  const TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  return !block.isImage && block.lines.size() > 1;
}

bool PdfView::activeBlockWraps() const {
  return isValidBlockIndex(activeOcrBlock) && !activeBlockUsesFixedLineLayout() &&
         richTextWraps(ocrBlocks[static_cast<std::size_t>(activeOcrBlock)]);
}

QRect PdfView::ocrBlockScreenRect(int index) const {
  if (!document || !isValidBlockIndex(index) || ocrBlocksPage < 0) return QRect();
  const TextBlock& block = ocrBlocks[static_cast<std::size_t>(index)];
  const QRectF base = pdfRectToScreenRect(ocrBlocksPage, block.rect);
  const bool changed = blockTextEdited(block) || blockMoved(block) || block.textEdited ||
                       !block.richTextHtml.trimmed().isEmpty();
  QRectF result = base;
  if (!block.isImage && !block.transparentText && !block.lines.empty() && changed && !base.isEmpty() &&
      !(block.textEdited && blockHasRichTextPreview(block))) {
    // The drawn text may reach past the stored box: the frame holds all of it.
    const QStringList texts = displayLines(block);
    const int n = std::max(static_cast<int>(block.lines.size()), static_cast<int>(texts.size()));
    QRectF ink;
    for (int i = 0; i < n; ++i) {
      const TextBlock::Line line = visualLineForIndex(block, i);
      const QString text = i < texts.size() ? texts.at(i) : line.text;
      const QFont font = i < static_cast<int>(block.lines.size())
                             ? blockTextRenderer.lineFont(index, i, block, zoom, text, false, 1.0)
                             : lineRenderFont(line, block, zoom, text, false, 1.0);
      const QRectF box = QFontMetricsF(font).tightBoundingRect(text);
      if (box.isEmpty()) continue;
      const QPointF origin = lineScreenOrigin(block, line, base, zoom);
      ink = ink.united(QRectF(origin, box.size()));
    }
    if (!ink.isEmpty()) {
      ink = ink.adjusted(-2, -2, 2, 2).united(base);
      result = QRectF(base.topLeft(), QPointF(std::max(base.right(), ink.right()), std::max(base.bottom(), ink.bottom())));
    }
  }
  QRect r = result.toRect();
  r.setWidth(std::max(r.width(), 30));
  r.setHeight(std::max(r.height(), 16));
  return r;
}

void PdfView::repositionBlockEditor() { placeBlockEditor(true); }

void PdfView::placeBlockEditor(bool scrollIntoView) {
  if (!blockEditorFrame || !isValidBlockIndex(activeOcrBlock) || ocrBlocksPage < 0 || placingBlockEditor) return;
  QRect r = ocrBlockScreenRect(activeOcrBlock);
  if (!r.isValid()) {
    blockEditorFrame->hide();
    return;
  }
  const QRect area = viewport()->rect();
  if (scrollIntoView && !area.contains(r)) {
    // Only the view's own placements scroll: a scroll by the user must not be
    // pulled back to the block.
    placingBlockEditor = true;
    QScrollBar* vertical = verticalScrollBar();
    if (r.bottom() > area.bottom())
      vertical->setValue(vertical->value() + (r.bottom() - area.bottom()) + 10);
    else if (r.top() < area.top() && r.bottom() >= area.top())
      vertical->setValue(vertical->value() - ((area.top() - r.top()) + 10));
    placingBlockEditor = false;
    r = ocrBlockScreenRect(activeOcrBlock);
  }
  const QPoint offset = pageOffset(ocrBlocksPage) - QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
  const QSizeF points = document->pageSize(ocrBlocksPage);
  const QRect page(offset, QSize(int(points.width() * zoom), int(points.height() * zoom)));
  const QRect pageArea = page.adjusted(-5, -31, 5, 5);
  r = r.intersected(pageArea);
  const TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  QTextEdit* editor = blockEditorFrame->textEditor();
  // Lines the page keeps are set into their boxes and never wrap: the block
  // itself says how far they reach, not the editor's own wider letters.
  if (!block.isImage && blockTextEdited(block) && editor && !r.isEmpty() && richTextWraps(block)) {
    QSizeF needed = editorDocumentSizeForWidth(editor, r.width());
    const int neededWidth = int(std::ceil(needed.width())) + 3;
    if (neededWidth > r.width()) {
      r.setWidth(std::max(1, std::min(neededWidth, pageArea.right() + 1 - r.left())));
      needed = editorDocumentSizeForWidth(editor, r.width());
    }
    const int neededHeight = int(std::ceil(needed.height())) + 3;
    if (neededHeight > r.height()) r.setHeight(std::max(1, std::min(neededHeight, pageArea.bottom() + 1 - r.top())));
    r = r.intersected(pageArea);
  }
  if (r.isEmpty() || r.width() - 1 <= 14 || r.height() - 1 <= 14) {
    blockEditorFrame->hide();
    return;
  }
  blockEditorFrame->setContentRectOverride(QRect());
  blockEditorFrame->setContentScreenRect(r);
  blockEditorFrame->show();
  blockEditorFrame->raise();
  blockEditorFrame->raiseChromeOverlay();
}

void PdfView::fitActiveTextBlockToContent() {
  if (fittingActiveBlock || !document || ocrBlocksPage < 0 || !blockEditorFrame || !isValidBlockIndex(activeOcrBlock))
    return;
  TextBlock& block = ocrBlocks[static_cast<std::size_t>(activeOcrBlock)];
  QTextEdit* editor = blockEditorFrame->textEditor();
  if (block.isImage || !editor || !editor->isVisible()) return;
  const QRect c = blockEditorFrame->contentScreenRect();
  if (c.isEmpty()) return;
  const QPoint offset = pageOffset(ocrBlocksPage) - QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
  const QSizeF points = document->pageSize(ocrBlocksPage);
  // A turned block's unturned box does not meet the page's edges where it
  // shows, so only an upright block is held inside them.
  const bool turned = std::abs(block.rotation) >= 0.1;
  const int pageBottom = turned ? INT_MAX / 2 : offset.y() + int(std::lround(points.height() * zoom)) - 1;
  const int pageRight = turned ? INT_MAX / 2 : offset.x() + int(std::lround(points.width() * zoom));
  if (!richTextWraps(block)) {
    fitKeptLinesBlockToContent(block, editor);
    return;
  }
  QSizeF d = editorDocumentSizeForWidth(editor, c.width());
  const bool overflow = d.width() > c.width() + 1 || d.height() > c.height() + 1;
  QRect fitted = c;
  // Fitting only grows a block, and never past the page's edges.
  if (std::ceil(d.width()) + 2 > c.width()) {
    fitted.setWidth(std::min(int(std::ceil(d.width())) + 2, std::max(1, pageRight - c.left())));
    d = editorDocumentSizeForWidth(editor, fitted.width());
  }
  if (c.height() < std::ceil(d.height()) + 2)
    fitted.setBottom(std::min(c.top() + int(std::ceil(d.height())) + 1, std::max(pageBottom, c.bottom())));
  if (fitted == c) {
    scrollEditorToTop(editor);
    return;
  }
  // A turned block grows away from the corner where its text starts, which
  // stays where it shows; growing about the centre would shift the text.
  if (turned) {
    const QPointF before = rotatePoint(QPointF(c.topLeft()), QRectF(c).center(), block.rotation);
    const QPointF after = rotatePoint(QPointF(fitted.topLeft()), QRectF(fitted).center(), block.rotation);
    fitted.translate(QPoint(int(std::lround(before.x() - after.x())), int(std::lround(before.y() - after.y()))));
  }
  fittingActiveBlock = true;
  if (overflow) applyEditedTextDocument(block, editor, true, zoom);
  const QRectF grown = screenContentRectToPdf(fitted);
  if (turned) {
    block.rect = grown;
  } else {
    // Only the right and lower edges move: the corner the text starts at
    // stays in points, not rounded to the screen's pixels, so that a line
    // that grew still starts where its line box does.
    const double top = block.rect.y() + block.rect.height();
    const double height = std::max(block.rect.height(), grown.height());
    const double right = std::max(block.rect.right(), grown.right());
    const double oldBottom = block.rect.y();
    block.rect = QRectF(block.rect.x(), top - height, right - block.rect.x(), height);
    pushBlocksBelow(activeOcrBlock, oldBottom);
  }
  repositionBlockEditor();
  scrollEditorToTop(editor);
  fittingActiveBlock = false;
  viewport()->update();
}

// The page sets each kept line into its box, so typing along a line never
// grows the block; a line the text adds below the stored ones does, at the
// paragraph's own pitch, as the preview draws it.
void PdfView::fitKeptLinesBlockToContent(TextBlock& block, QTextEdit* editor) {
  const int count = editor->document()->blockCount();
  const double bottom = visualLineForIndex(block, count - 1).rect.y();
  if (count <= static_cast<int>(block.lines.size()) || bottom >= block.rect.y()) {
    scrollEditorToTop(editor);
    return;
  }
  fittingActiveBlock = true;
  const double top = block.rect.y() + block.rect.height();
  const double oldBottom = block.rect.y();
  block.rect = QRectF(block.rect.x(), bottom, block.rect.width(), top - bottom);
  if (std::abs(block.rotation) < 0.1) pushBlocksBelow(activeOcrBlock, oldBottom);
  repositionBlockEditor();
  scrollEditorToTop(editor);
  fittingActiveBlock = false;
  viewport()->update();
}

void PdfView::scheduleActiveBlockFit() {
  QTimer::singleShot(0, this, [this] { fitActiveTextBlockToContent(); });
}

void PdfView::rescaleActiveBlockEditor(double factor) {
  if (!(factor > 0) || std::abs(factor - 1.0) < 0.001) return;
  QTextEdit* editor = activeTextEditor();
  if (!editor) return;
  const QTextCursor cursor = editor->textCursor();
  const bool modified = editor->document()->isModified();
  editorSyncInProgress = true;
  const bool wasBlocked = editor->blockSignals(true);
  scaleDocumentFontPixels(editor->document(), factor);
  editor->setTextCursor(cursor);
  // What is typed next must come at the new zoom as well.
  QTextCharFormat typing = editor->currentCharFormat();
  if (typing.font().pixelSize() >= 1) {
    typing.setProperty(QTextFormat::FontPixelSize,
                       std::clamp(static_cast<int>(std::lround(typing.font().pixelSize() * factor)), 1, 1000));
    editor->setCurrentCharFormat(typing);
  }
  scrollEditorToTop(editor);
  editor->document()->setModified(modified);
  editor->blockSignals(wasBlocked);
  editorSyncInProgress = false;
  emitActiveTextFormat();
}
