// Operations on the selected blocks of the overlay: stacking order,
// deletion, selection by click and rubber band, a new picture for an image
// block, merging blocks into one and splitting them into words.
#include "PdfView.h"

#include "core/TurnedRect.h"

#include "BlockClipboardText.h"
#include "BlockGeometry.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSameRowTolerance = 3.0;

QStringList wordsOf(const QString& text) {
  static const QRegularExpression space(QStringLiteral("\\s+"));
  return text.split(space, Qt::SkipEmptyParts);
}

// A copy of the block reduced to one word at the given place.
TextBlock wordBlock(const TextBlock& source, const QString& word, const QRectF& rect, const TextBlock::Line* line) {
  TextBlock block = source;
  block.text = word;
  block.rect = rect;
  // The words of a turned block lie in its unturned box: each goes where it
  // shows, turned as the block is.
  if (std::abs(source.rotation) >= 0.1)
    block.rect.moveCenter(turnAbout(source.rect.center(), source.rotation).map(rect.center()));
  block.originalRect = block.rect;
  block.originalRotation = block.rotation;
  block.lines.clear();
  if (line) {
    TextBlock::Line copy = *line;
    copy.text = word;
    copy.rect = block.rect;
    copy.words.clear();
    copy.spans.clear();
    block.lines.push_back(copy);
  }
  block.richTextHtml.clear();
  block.textEdited = false;
  return block;
}

std::vector<TextBlock> wordBlocksOf(const TextBlock& b) {
  std::vector<TextBlock> result;
  for (const TextBlock::Line& line : b.lines) {
    if (!line.words.empty()) {
      for (const TextBlock::Line::Word& word : line.words) {
        if (word.text.trimmed().isEmpty()) continue;
        result.push_back(
            wordBlock(b, word.text, PdfView::ungroupedWordBlockRect(word.rect, line.rect, line.fontSize), &line));
      }
      continue;
    }
    const QStringList words = wordsOf(line.text);
    if (words.size() < 2) continue;
    const double column = line.rect.width() / words.size();
    for (qsizetype k = 0; k < words.size(); ++k) {
      const QRectF box(line.rect.x() + k * column, line.rect.y(), column, line.rect.height());
      result.push_back(wordBlock(b, words[k], PdfView::ungroupedWordBlockRect(box, line.rect, line.fontSize), &line));
    }
  }
  if (!result.empty()) return result;

  const QStringList words = wordsOf(b.text);
  if (words.size() < 2) {
    TextBlock kept = b;
    kept.richTextHtml.clear();
    kept.textEdited = false;
    result.push_back(kept);
    return result;
  }
  const double column = b.rect.width() / words.size();
  for (qsizetype k = 0; k < words.size(); ++k) {
    const QRectF box(b.rect.x() + k * column, b.rect.y(), column, b.rect.height());
    result.push_back(wordBlock(b, words[k], PdfView::ungroupedWordBlockRect(box, b.rect, b.fontSize), nullptr));
  }
  return result;
}

}  // namespace

void PdfView::replaceOverlayBlocks(std::vector<TextBlock> blocks, std::vector<int> groupIds) {
  ocrBlocks = std::move(blocks);
  ocrBlockGroupIds = std::move(groupIds);
  ocrBlockGroupIds.resize(ocrBlocks.size(), 0);
}

// A frame step that keeps the frame's pixel size is a move, decided in
// pixels: comparing sizes in points would take the first step, which snaps
// the block's fractional box to whole pixels, for a resize.
bool PdfView::moveBlockWithFrame(TextBlock& block, const QRect& newRect) {
  const QRect previous = blockFrameLastRect;
  blockFrameLastRect = newRect;
  if (!previous.isValid() || newRect.size() != previous.size() || newRect.topLeft() == previous.topLeft())
    return false;
  const QPointF delta = screenContentRectToPdf(newRect).topLeft() - screenContentRectToPdf(previous).topLeft();
  translateBlock(block, delta);
  return true;
}

void PdfView::reorderSelectedOcrBlocks(int mode) {
  if (selectedOcrBlocks.isEmpty() || ocrBlocks.empty()) return;
  pushUndoSnapshot(QStringLiteral("Порядок блоков"), true);
  if (activeOcrBlock >= 0) deactivateOcrBlock();

  const int n = static_cast<int>(ocrBlocks.size());
  auto groupOf = [this](int i) {
    return i < static_cast<int>(ocrBlockGroupIds.size()) ? ocrBlockGroupIds[static_cast<std::size_t>(i)] : 0;
  };
  auto swapBlocks = [this](int a, int b) {
    std::swap(ocrBlocks[static_cast<std::size_t>(a)], ocrBlocks[static_cast<std::size_t>(b)]);
    const int groups = static_cast<int>(ocrBlockGroupIds.size());
    if (a < groups && b < groups)
      std::swap(ocrBlockGroupIds[static_cast<std::size_t>(a)], ocrBlockGroupIds[static_cast<std::size_t>(b)]);
    const bool aSelected = selectedOcrBlocks.contains(a);
    if (aSelected != selectedOcrBlocks.contains(b)) {
      selectedOcrBlocks.remove(aSelected ? a : b);
      selectedOcrBlocks.insert(aSelected ? b : a);
    }
  };

  if (mode == 0) {
    for (int i = n - 2; i >= 0; --i)
      if (selectedOcrBlocks.contains(i) && !selectedOcrBlocks.contains(i + 1)) swapBlocks(i, i + 1);
  } else if (mode == 1) {
    for (int i = 1; i < n; ++i)
      if (selectedOcrBlocks.contains(i) && !selectedOcrBlocks.contains(i - 1)) swapBlocks(i, i - 1);
  } else {
    std::vector<TextBlock> selected, unselected;
    std::vector<int> selectedGroups, unselectedGroups;
    for (int i = 0; i < n; ++i) {
      const bool isSelected = selectedOcrBlocks.contains(i);
      (isSelected ? selected : unselected).push_back(ocrBlocks[static_cast<std::size_t>(i)]);
      (isSelected ? selectedGroups : unselectedGroups).push_back(groupOf(i));
    }
    const bool toFront = mode == 2;
    std::vector<TextBlock>& first = toFront ? unselected : selected;
    std::vector<int>& firstGroups = toFront ? unselectedGroups : selectedGroups;
    const std::vector<TextBlock>& second = toFront ? selected : unselected;
    const std::vector<int>& secondGroups = toFront ? selectedGroups : unselectedGroups;
    const int selectedStart = toFront ? static_cast<int>(unselected.size()) : 0;
    const int selectedCount = static_cast<int>(selected.size());
    first.insert(first.end(), second.begin(), second.end());
    firstGroups.insert(firstGroups.end(), secondGroups.begin(), secondGroups.end());
    replaceOverlayBlocks(std::move(first), std::move(firstGroups));
    selectedOcrBlocks.clear();
    for (int i = 0; i < selectedCount; ++i) selectedOcrBlocks.insert(selectedStart + i);
  }
  markOcrBlocksDirty();
  viewport()->update();
}

void PdfView::deleteSelectedOcrBlocks() {
  if (selectedOcrBlocks.isEmpty()) return;
  pushUndoSnapshot(QStringLiteral("Удаление блоков"), true);
  if (selectedOcrBlocks.contains(activeOcrBlock)) deactivateOcrBlock();

  std::vector<TextBlock> kept;
  std::vector<int> keptGroups;
  int activeAfter = -1;
  for (int i = 0; i < static_cast<int>(ocrBlocks.size()); ++i) {
    if (selectedOcrBlocks.contains(i)) {
      rememberRemovedBlock(ocrBlocks[static_cast<std::size_t>(i)]);
      continue;
    }
    if (i == activeOcrBlock) activeAfter = static_cast<int>(kept.size());
    kept.push_back(ocrBlocks[static_cast<std::size_t>(i)]);
    keptGroups.push_back(i < static_cast<int>(ocrBlockGroupIds.size()) ? ocrBlockGroupIds[static_cast<std::size_t>(i)]
                                                                        : 0);
  }
  replaceOverlayBlocks(std::move(kept), std::move(keptGroups));
  // An open editor on a block that stays must keep writing into that block,
  // which may have moved down the list.
  if (activeOcrBlock >= 0) {
    if (editorUndoBlock == activeOcrBlock) editorUndoBlock = activeAfter;
    activeOcrBlock = activeAfter;
  }
  selectedOcrBlocks.clear();
  markOcrBlocksDirty();
  viewport()->update();
}

void PdfView::selectOcrBlock(int index, bool additive) {
  if (!isValidBlockIndex(index)) return;
  if (!additive) selectedOcrBlocks.clear();
  const int group =
      index < static_cast<int>(ocrBlockGroupIds.size()) ? ocrBlockGroupIds[static_cast<std::size_t>(index)] : 0;
  if (group > 0) {
    for (int i = 0; i < static_cast<int>(ocrBlockGroupIds.size()); ++i)
      if (ocrBlockGroupIds[static_cast<std::size_t>(i)] == group && isValidBlockIndex(i)) selectedOcrBlocks.insert(i);
  } else {
    selectedOcrBlocks.insert(index);
  }
  viewport()->update();
}

void PdfView::selectOcrBlocksInRect(const QRect& viewportRect) {
  selectedOcrBlocks.clear();
  if (ocrBlocksPage < 0 || ocrBlocks.empty()) return;
  const QRectF band = QRectF(viewportRect).normalized();
  for (int i = 0; i < static_cast<int>(ocrBlocks.size()); ++i) {
    const QRectF r = QRectF(ocrBlockScreenRect(i));
    // Edges included: QRectF::contains would take a shared edge as outside.
    const bool inside = r.left() >= band.left() && r.right() <= band.right() && r.top() >= band.top() &&
                        r.bottom() <= band.bottom();
    if (inside) selectOcrBlock(i, true);
  }
  if (selectedOcrBlocks.size() != 1) deactivateOcrBlock();
  viewport()->update();
}

bool PdfView::updateSelectedImageBlock(const QImage& image) {
  if (image.isNull() || selectedOcrBlocks.size() != 1) return false;
  const int index = *selectedOcrBlocks.begin();
  if (!isValidBlockIndex(index) || !ocrBlocks[static_cast<std::size_t>(index)].isImage) return false;
  pushUndoSnapshot(QStringLiteral("Редактирование изображения"), true);
  ocrBlocks[static_cast<std::size_t>(index)].image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  ocrBlocks[static_cast<std::size_t>(index)].imageEdited = true;
  markOcrBlocksDirty();
  viewport()->update();
  return true;
}

void PdfView::groupSelectedOcrBlocks() {
  if (selectedOcrBlocks.size() < 2) return;
  QList<int> indices;
  for (int i : selectedOcrBlocks)
    if (isValidBlockIndex(i)) indices.append(i);
  std::sort(indices.begin(), indices.end());
  for (int i : indices)
    if (ocrBlocks[static_cast<std::size_t>(i)].isImage) return;
  if (indices.size() < 2) return;

  pushUndoSnapshot(QStringLiteral("Группировка блоков"), true);
  if (activeOcrBlock >= 0) deactivateOcrBlock();

  TextBlock merged = ocrBlocks[static_cast<std::size_t>(indices.first())];
  merged.text.clear();
  merged.richTextHtml.clear();
  merged.rect = QRectF();
  merged.originalRect = QRectF();
  merged.lines.clear();
  merged.textEdited = false;
  merged.isTable = false;
  merged.isImage = false;
  merged.rotation = 0;
  merged.originalRotation = 0;
  QStringList pieces;
  for (int i : indices) {
    const TextBlock& block = ocrBlocks[static_cast<std::size_t>(i)];
    merged.rect = merged.rect.united(block.rect);
    for (TextBlock::Line line : block.lines) {
      if (line.text.trimmed().isEmpty()) line.text = block.text;
      merged.lines.push_back(line);
    }
    const QString piece = ocrBlockTextForClipboard(block);
    if (!piece.isEmpty()) pieces.append(piece);
  }

  const double pageHeight = document && ocrBlocksPage >= 0 ? document->pageSize(ocrBlocksPage).height() : 0.0;
  auto topOf = [pageHeight](const TextBlock::Line& line) {
    return pageHeight > 0 ? pageHeight - line.rect.y() - line.rect.height() : line.rect.y();
  };
  std::stable_sort(merged.lines.begin(), merged.lines.end(),
                   [&topOf](const TextBlock::Line& a, const TextBlock::Line& b) {
                     const double ta = topOf(a), tb = topOf(b);
                     if (std::abs(ta - tb) < kSameRowTolerance) return a.rect.left() < b.rect.left();
                     return ta < tb;
                   });
  merged.originalRect = merged.rect;
  merged.text = pieces.join(QLatin1Char('\n'));
  if (merged.text.isEmpty()) {
    QStringList lineTexts;
    for (const TextBlock::Line& line : merged.lines)
      if (!line.text.trimmed().isEmpty()) lineTexts.append(line.text.trimmed());
    merged.text = lineTexts.join(QLatin1Char('\n'));
  }

  std::vector<TextBlock> rebuilt;
  int mergedIndex = -1;
  for (int i = 0; i < static_cast<int>(ocrBlocks.size()); ++i) {
    if (i == indices.first()) {
      mergedIndex = static_cast<int>(rebuilt.size());
      rebuilt.push_back(merged);
    } else if (!indices.contains(i)) {
      rebuilt.push_back(ocrBlocks[static_cast<std::size_t>(i)]);
    }
  }
  std::vector<int> noGroups(rebuilt.size(), 0);
  replaceOverlayBlocks(std::move(rebuilt), std::move(noGroups));

  selectedText.clear();
  highlightPage = -1;
  highlightRects.clear();
  lastRegionPage = -1;
  lastRegionRect = QRectF();
  lastRegionIsRegion = false;

  selectedOcrBlocks = {mergedIndex};
  activateOcrBlock(mergedIndex);
  markOcrBlocksDirty();
  viewport()->update();
}

void PdfView::ungroupSelectedOcrBlocksToWords() {
  if (selectedOcrBlocks.isEmpty()) return;
  pushUndoSnapshot(QStringLiteral("Расгруппировка блоков"), true);
  deactivateOcrBlock();

  std::vector<TextBlock> blocks;
  std::vector<int> groups;
  for (int i = 0; i < static_cast<int>(ocrBlocks.size()); ++i) {
    const TextBlock& block = ocrBlocks[static_cast<std::size_t>(i)];
    if (!selectedOcrBlocks.contains(i)) {
      blocks.push_back(block);
      groups.push_back(i < static_cast<int>(ocrBlockGroupIds.size()) ? ocrBlockGroupIds[static_cast<std::size_t>(i)]
                                                                      : 0);
      continue;
    }
    for (TextBlock& word : wordBlocksOf(block)) {
      blocks.push_back(std::move(word));
      groups.push_back(0);
    }
  }
  replaceOverlayBlocks(std::move(blocks), std::move(groups));
  selectedOcrBlocks.clear();
  markOcrBlocksDirty();
  viewport()->update();
}

QRectF PdfView::ungroupedWordBlockRect(const QRectF& wordRect, const QRectF& lineRect, double fontSize) {
  const bool lineSized = lineRect.width() > 0 && lineRect.height() > 0;
  QRectF base;
  if (wordRect.width() > 0 && wordRect.height() > 0)
    base = wordRect;
  else if (lineSized)
    base = lineRect;
  else
    return lineRect;
  const double height = std::max({1.18 * fontSize, 7.0, lineRect.height(), base.height()});
  const double centre = lineSized ? lineRect.y() + lineRect.height() / 2 : base.y() + base.height() / 2;
  const double margin = std::max(0.1 * fontSize, 0.8);
  return QRectF(base.x() - margin, centre - height / 2, base.width() + 2 * margin, height).normalized();
}
