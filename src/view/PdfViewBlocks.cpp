// The block overlay of the page view: loading a page's blocks with their
// font sizes made consistent, reading them back with the open editor folded
// in, and telling which blocks differ from what was extracted.
#include "PdfView.h"

#include "BlockTextRenderer.h"
#include "BlockEditorFrame.h"
#include "EditedTextDocument.h"
#include "PdfFontMapping.h"
#include "RotatedTextEdit.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

// The larger of the line box height (less the usual leading) and the stated
// size: extraction and recognition each under-report one of them.
float lineSizeSample(const TextBlock::Line& line) {
  const double h = line.rect.height();
  const float fromHeight = h > 1.0 ? static_cast<float>(0.98 * h) : 0.0f;
  const float fromSize = line.fontSize > 1.0f ? line.fontSize : 0.0f;
  return std::max(fromHeight, fromSize);
}

QString styleKey(const TextBlock::Line& line, const TextBlock& block) {
  QString family = line.fontFamily.trimmed();
  if (family.isEmpty()) family = block.fontFamily.trimmed();
  family = mapPdfFont(family).toLower();
  if (family.isEmpty()) family = QStringLiteral("times new roman");
  return QStringLiteral("%1|%2|%3")
      .arg(family, QString::number((line.bold || block.bold) ? 1 : 0),
           QString::number(effectiveLineItalic(line, block) ? 1 : 0));
}

struct SizeSample {
  std::size_t block;
  std::size_t line;
  QString key;
  float size;
};

}  // namespace

void PdfView::setOcrBlocks(const std::vector<TextBlock>& blocks, int page, bool edited) {
  // Blocks of this page deleted before a recognition of part of it stay deleted.
  std::vector<TextBlock> removed = edited && page == ocrBlocksPage ? removedOcrBlocks : std::vector<TextBlock>();
  clearOcrBlocks();
  removedOcrBlocks = std::move(removed);
  ocrBlocks = blocks;
  normalizeEditableBlockFontSizes();
  ocrBlockGroupIds.assign(ocrBlocks.size(), 0);
  selectedOcrBlocks.clear();
  ocrBlocksPage = page;
  ocrBlocksDirty = edited;
  clearUndoHistory();
  if (edited) emit ocrBlocksEdited();
  viewport()->update();
}

std::vector<TextBlock> PdfView::ocrBlocksWithEdits() const {
  std::vector<TextBlock> blocks = ocrBlocks;
  // An image block's editor holds no document of its own, so only text
  // blocks take the editor's content.
  if (blockEditorFrame && isValidBlockIndex(activeOcrBlock)) {
    TextBlock& active = blocks[static_cast<std::size_t>(activeOcrBlock)];
    if (!active.isImage) applyEditedTextDocument(active, blockEditorFrame->textEditor(), active.textEdited, zoom);
  }
  return blocks;
}

void PdfView::clearOcrBlocks() {
  deactivateOcrBlock();
  ocrBlocks.clear();
  ocrBlockGroupIds.clear();
  removedOcrBlocks.clear();
  placedBlockPlaces.clear();
  removedInkMasks.clear();
  selectedOcrBlocks.clear();
  ocrBlocksPage = -1;
  ocrBlocksDirty = false;
  clearUndoHistory();
  blockTextRenderer.clear();
  viewport()->update();
}

void PdfView::markOcrBlocksDirty() {
  if (ocrBlocksDirty) return;
  ocrBlocksDirty = true;
  emit ocrBlocksEdited();
}

void PdfView::clearOcrBlockSelection() {
  if (selectedOcrBlocks.isEmpty()) return;
  selectedOcrBlocks.clear();
  viewport()->update();
}

bool PdfView::blockMoved(const TextBlock& b) {
  const QRectF& was = b.originalRect;
  if (was.width() <= 0 || was.height() <= 0) return false;
  const QRectF& now = b.rect;
  return std::abs(now.left() - was.left()) > 0.5 || std::abs(now.top() - was.top()) > 0.5 ||
         std::abs(now.right() - was.right()) > 0.5 || std::abs(now.bottom() - was.bottom()) > 0.5;
}

bool PdfView::blockTextEdited(const TextBlock& b) {
  if (b.isImage || b.lines.empty()) return false;
  // A block drawn turned is as produced until the user turns it further.
  if (b.textEdited || std::abs(b.rotation - b.originalRotation) > 0.1) return true;
  QStringList parts;
  for (const TextBlock::Line& line : b.lines) {
    const QString text = line.text.trimmed();
    if (!text.isEmpty()) parts.append(text);
  }
  return parts.join(QLatin1Char('\n')).trimmed() != b.text.trimmed();
}

void PdfView::normalizeEditableBlockFontSizes() {
  // Phase 1: lines of one style measured at slightly different sizes share
  // the median size of their cluster.
  std::vector<SizeSample> samples;
  for (std::size_t bi = 0; bi < ocrBlocks.size(); ++bi) {
    const TextBlock& block = ocrBlocks[bi];
    if (block.isImage || block.lines.empty()) continue;
    for (std::size_t li = 0; li < block.lines.size(); ++li) {
      const TextBlock::Line& line = block.lines[li];
      // Style runs of visible text carry their own sizes and are left alone.
      const bool eligible = !line.text.trimmed().isEmpty() && line.fontSize > 1.0f &&
                            (line.spans.empty() || block.transparentText || line.transparentText);
      if (eligible) samples.push_back(SizeSample{bi, li, styleKey(line, block), lineSizeSample(line)});
    }
  }
  std::vector<bool> taken(samples.size(), false);
  for (std::size_t first = 0; first < samples.size(); ++first) {
    if (taken[first]) continue;
    std::vector<const SizeSample*> group;
    for (std::size_t j = first; j < samples.size(); ++j) {
      if (!taken[j] && samples[j].key == samples[first].key) {
        taken[j] = true;
        group.push_back(&samples[j]);
      }
    }
    if (group.size() < 2) continue;
    std::stable_sort(group.begin(), group.end(),
                     [](const SizeSample* a, const SizeSample* b) { return a->size < b->size; });
    std::size_t runStart = 0;
    for (std::size_t j = 1; j <= group.size(); ++j) {
      const bool cut = j == group.size() ||
                       (group[j]->size > 1.45f * group[j - 1]->size && group[j]->size - group[j - 1]->size > 3.0f);
      if (!cut) continue;
      const std::size_t length = j - runStart;
      if (length >= 2) {
        const float value = group[runStart + length / 2]->size;
        for (std::size_t k = runStart; k < j; ++k) ocrBlocks[group[k]->block].lines[group[k]->line].fontSize = value;
      }
      runStart = j;
    }
  }

  // Phase 2: a block's size is the upper median of its lines' samples.
  for (TextBlock& block : ocrBlocks) {
    if (block.isImage || block.lines.empty()) continue;
    std::vector<float> sizes;
    for (const TextBlock::Line& line : block.lines) {
      if (line.fontSize > 1.0f) sizes.push_back(lineSizeSample(line));
    }
    if (sizes.empty()) continue;
    std::sort(sizes.begin(), sizes.end());
    block.fontSize = sizes[sizes.size() / 2];
  }
}
