// Painting the block overlay of the block page: the background cleaned under
// changed blocks, the blocks drawn from their own data, outlines, group
// frames and font labels, and the text restored under lifted ink. The
// per-pixel work is kept per block until the block, the zoom or the page
// image changes.
#include "PdfView.h"

#include "core/TurnedRect.h"

#include "BlockEditorFrame.h"
#include "BlockTextRenderer.h"
#include "EditedTextPreview.h"
#include "RotatedTextEdit.h"
#include "core/EditedLineFit.h"

#include <QFontMetricsF>
#include <QHashFunctions>
#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

bool positive(const QRectF& r) { return r.width() > 0 && r.height() > 0; }

// Words of an invisible layer are shown see-through: the user reads what
// is being typed, and the scan under it stays what the page shows.
constexpr double kInvisibleTextOpacity = 0.3;

bool isInkBlock(const TextBlock& b) { return b.isImage && b.inkLayer && !b.image.isNull() && positive(b.originalRect); }

// Every pixel within radius of a visible pixel of image turns opaque white:
// the ink's silhouette, grown so that no anti-aliased fringe survives.
QImage whiteAlphaMaskForPreview(const QImage& image, int radius) {
  if (image.isNull()) return QImage();
  const QImage source = image.convertToFormat(QImage::Format_ARGB32);
  QImage mask(source.size(), QImage::Format_ARGB32_Premultiplied);
  mask.fill(Qt::transparent);
  const int w = source.width();
  const int h = source.height();
  for (int y = 0; y < h; ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      if (qAlpha(row[x]) <= 8) continue;
      for (int yy = std::max(0, y - radius); yy <= std::min(h - 1, y + radius); ++yy) {
        QRgb* out = reinterpret_cast<QRgb*>(mask.scanLine(yy));
        for (int xx = std::max(0, x - radius); xx <= std::min(w - 1, x + radius); ++xx) out[xx] = 0xFFFFFFFFu;
      }
    }
  }
  return mask;
}

bool isDecorativeChar(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 9 && u <= 13) || u == 32 || u == 0x85 || u == 0xA0 || c.isSpace() || u == u'-' || u == u'_' ||
         u == 0x2013 || u == 0x2014;
}

bool isDecorativeText(const QString& text) {
  const QString s = text.simplified();
  return s.size() > 2 && std::all_of(s.cbegin(), s.cend(), isDecorativeChar);
}

// Characters recognised from the ink itself: Latin letters and marks in
// Cyrillic text, short letter-digit mixes, or mostly punctuation.
bool isSuspiciousInkLayerTextArtifact(const QString& text) {
  QString s = text.simplified();
  s.remove(QLatin1Char(' '));
  if (s.isEmpty()) return true;
  int letters = 0;
  int latin = 0;
  int digits = 0;
  int others = 0;
  bool marks = false;
  for (QChar c : s) {
    const char16_t u = c.unicode();
    const bool ascii = u < 128;
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) {
      ++letters;
      ++latin;
    } else if (!ascii && c.isLetter()) {
      ++letters;
    } else if ((u >= '0' && u <= '9') || (!ascii && c.category() == QChar::Number_DecimalDigit)) {
      ++digits;
    } else {
      ++others;
      if (QStringLiteral("^°<>/\\\"'`~").contains(c)) marks = true;
    }
  }
  if (latin > 0 || marks) return true;
  const int n = std::max(static_cast<int>(s.size()), 1);
  if (letters > 0 && digits > 0 && n < 7) return true;
  if (static_cast<double>(others) / n > 0.32) return s != QStringLiteral("М.П.");
  return false;
}

// The commonest colour of an area (colours binned at 4 bits a channel, the
// bin's mean): the paper the glyphs stand on, white or tinted.
QRgb dominantColour(const QImage& argb) {
  std::vector<int> count(4096, 0);
  std::vector<std::array<long, 3>> sum(4096, {0, 0, 0});
  for (int y = 0; y < argb.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
    for (int x = 0; x < argb.width(); ++x) {
      if (qAlpha(row[x]) < 24) continue;
      const int bin = (qRed(row[x]) >> 4) << 8 | (qGreen(row[x]) >> 4) << 4 | qBlue(row[x]) >> 4;
      ++count[std::size_t(bin)];
      sum[std::size_t(bin)][0] += qRed(row[x]);
      sum[std::size_t(bin)][1] += qGreen(row[x]);
      sum[std::size_t(bin)][2] += qBlue(row[x]);
    }
  }
  const auto most = std::max_element(count.cbegin(), count.cend());
  if (*most == 0) return qRgb(255, 255, 255);
  const auto& s = sum[std::size_t(most - count.cbegin())];
  return qRgb(int(s[0] / *most), int(s[1] / *most), int(s[2] / *most));
}

// Colours the old glyphs of a block's area with the background sampled
// around them, leaving long rules that cross the area alone. Ink is what
// stands apart from the area's paper, so a tinted page is cleaned as a white one.
QImage cleanedBackground(const QImage& crop, double sx, double sy) {
  const QImage src = crop.convertToFormat(QImage::Format_ARGB32);
  const int w = src.width();
  const int h = src.height();
  auto at = [&](int x, int y) { return reinterpret_cast<const QRgb*>(src.constScanLine(y))[x]; };
  const QRgb paper = dominantColour(src);
  std::vector<char> ink(std::size_t(w) * h, 0);
  std::vector<char> rule(ink.size(), 0);
  std::vector<char> fill(ink.size(), 0);
  auto idx = [w](int x, int y) { return std::size_t(y) * w + x; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const QRgb p = at(x, y);
      // Weighted as luminance: on white, every grey darker than 250.
      const int apart = 11 * std::abs(qRed(p) - qRed(paper)) + 16 * std::abs(qGreen(p) - qGreen(paper)) +
                        5 * std::abs(qBlue(p) - qBlue(paper));
      ink[idx(x, y)] = qAlpha(p) >= 24 && apart > 160;
    }
  }
  // Runs of ink at least minRun long along count lines of length pixels
  // each; pixel(line, i) gives the index of the i-th pixel of a line.
  const auto markRules = [&](int count, int length, int minRun, const auto& pixel) {
    for (int l = 0; l < count; ++l) {
      for (int i = 0; i < length;) {
        if (!ink[pixel(l, i)]) {
          ++i;
          continue;
        }
        int end = i;
        while (end < length && ink[pixel(l, end)]) ++end;
        if (end - i >= minRun)
          for (int k = i; k < end; ++k) rule[pixel(l, k)] = 1;
        i = end;
      }
    }
  };
  markRules(h, w, std::max(static_cast<int>(std::lround(0.45 * w)), 30), [&](int y, int x) { return idx(x, y); });
  if (h > 39)
    markRules(w, h, std::max(static_cast<int>(std::lround(0.82 * h)), 36), [&](int x, int y) { return idx(x, y); });
  const int d = std::clamp(static_cast<int>(std::lround(0.75 * std::max(sx, sy))), 1, 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!ink[idx(x, y)] || rule[idx(x, y)]) continue;
      for (int yy = std::max(0, y - d); yy <= std::min(h - 1, y + d); ++yy)
        for (int xx = std::max(0, x - d); xx <= std::min(w - 1, x + d); ++xx)
          if (!rule[idx(xx, yy)]) fill[idx(xx, yy)] = 1;
    }
  }

  QImage patch(w, h, QImage::Format_ARGB32_Premultiplied);
  patch.fill(Qt::transparent);
  for (int y = 0; y < h; ++y) {
    QRgb* out = reinterpret_cast<QRgb*>(patch.scanLine(y));
    for (int x = 0; x < w; ++x) {
      if (!fill[idx(x, y)]) continue;
      int count = 0;
      long r = 0, g = 0, b = 0;
      auto sample = [&](int sx2, int sy2) {
        if (sx2 < 0 || sy2 < 0 || sx2 >= w || sy2 >= h || fill[idx(sx2, sy2)]) return;
        const QRgb p = at(sx2, sy2);
        if (qAlpha(p) < 24) return;
        ++count;
        r += qRed(p);
        g += qGreen(p);
        b += qBlue(p);
      };
      for (int ring = 2; ring <= 10 && count <= 5; ring += 2) {
        for (int xx = x - ring; xx <= x + ring; ++xx) {
          sample(xx, y - ring);
          sample(xx, y + ring);
        }
        for (int yy = y - ring + 1; yy <= y + ring - 1; ++yy) {
          sample(x - ring, yy);
          sample(x + ring, yy);
        }
      }
      out[x] = count == 0 ? paper : qRgba(int(r / count), int(g / count), int(b / count), 255);
    }
  }
  return patch;
}

// A cache slot for block index, grown on demand.
template <typename Patch>
Patch* slotFor(std::vector<Patch>& patches, std::size_t index) {
  if (patches.size() <= index) patches.resize(index + 1);
  return &patches[index];
}

template <typename Patch>
bool slotMatches(const Patch& p, const QRectF& source, double zoom, qint64 pageKey, qint64 input) {
  return !p.image.isNull() && p.sourceRect == source && p.zoom == zoom && p.pageImageKey == pageKey &&
         p.inputKey == input;
}

// Where a block's old glyphs lie: its place, and past its lines' ends the
// glyphs read as nothing, which follow a retyped last word.
QRectF oldGlyphsPlace(const TextBlock& b) {
  QRectF place = b.originalRect;
  if (std::abs(b.originalRotation) < 0.1 && !PdfView::blockMoved(b))
    for (const TextBlock::Line& line : b.lines)
      if (line.unreadAfter > 0) place |= QRectF(line.rect.right(), line.rect.y(), line.unreadAfter, line.rect.height());
  return turnedBounds(place, b.originalRotation);
}

}  // namespace

QRectF PdfView::mappedPageRect(const PageGeometry& g, const QRectF& r) const {
  return QRectF(g.left + r.x() * zoom, g.top + (g.pageHeightPt - r.y() - r.height()) * zoom, r.width() * zoom,
                r.height() * zoom);
}

bool PdfView::inkModeActive(int page) const {
  return editMode && page == ocrBlocksPage && std::any_of(ocrBlocks.cbegin(), ocrBlocks.cend(), isInkBlock);
}

QRectF PdfView::groupScreenRect(int groupId) const {
  QRectF united;
  for (std::size_t i = 0; i < ocrBlocks.size() && i < ocrBlockGroupIds.size(); ++i) {
    if (ocrBlockGroupIds[i] == groupId) united = united.united(QRectF(ocrBlockScreenRect(static_cast<int>(i))));
  }
  return united;
}

void PdfView::paintInkLayerRestoration(QPainter& painter, const PageGeometry& g, const QImage& pageImage) {
  if (!overlayCachingEnabled) {
    inkMasks.clear();
    inkRestorePatches.clear();
  }
  const QRectF textColumn = pageTextColumn(ocrBlocks);
  for (std::size_t i = 0; i < ocrBlocks.size(); ++i) {
    const TextBlock& inkBlock = ocrBlocks[i];
    if (!isInkBlock(inkBlock)) continue;
    OverlayPatch* mask = slotFor(inkMasks, i);
    if (!slotMatches(*mask, inkBlock.originalRect, 0, 0, inkBlock.image.cacheKey())) {
      *mask = OverlayPatch{inkBlock.originalRect, 0, 0, inkBlock.image.cacheKey(), QRectF(),
                           whiteAlphaMaskForPreview(inkBlock.image, 1)};
      ++overlayPatchBuilds;
    }
    const QRectF t = mappedPageRect(g, inkBlock.originalRect);
    painter.drawImage(t, mask->image);
    const QRect a = t.toAlignedRect().intersected(g.rect);
    if (a.isEmpty() || mask->image.isNull()) continue;

    // The text blocks under the ink, and what they say, make the key.
    const QRectF k = inkBlock.originalRect.adjusted(-1.5, -1.5, 1.5, 1.5);
    std::vector<std::size_t> under;
    std::size_t fingerprint = qHash(inkBlock.image.cacheKey());
    for (std::size_t bi = 0; bi < ocrBlocks.size(); ++bi) {
      const TextBlock& b = ocrBlocks[bi];
      if (b.isImage || !positive(b.rect) || b.text.trimmed().isEmpty() || !b.rect.intersects(k)) continue;
      const QRectF overlap = b.rect.intersected(k);
      const bool covers = positive(overlap) && overlap.width() * overlap.height() /
                                                       std::max(b.rect.width() * b.rect.height(), 1.0) >=
                                                   0.12;
      if (!covers && !k.contains(b.rect.center())) continue;
      if (isDecorativeText(b.text) || isSuspiciousInkLayerTextArtifact(b.text)) continue;
      under.push_back(bi);
      fingerprint = qHashMulti(fingerprint, bi, b.text, b.richTextHtml, b.rect.x(), b.rect.y(), b.rect.width(),
                               b.rect.height(), b.textEdited, b.lines.size());
    }
    const qint64 inputKey = static_cast<qint64>(fingerprint);
    const QPoint corner(g.left, g.top);
    OverlayPatch* restored = slotFor(inkRestorePatches, i);
    if (!slotMatches(*restored, inkBlock.originalRect, zoom, pageImage.cacheKey(), inputKey) ||
        restored->target.size() != QSizeF(a.size())) {
      QImage offscreen(a.size(), QImage::Format_ARGB32_Premultiplied);
      offscreen.fill(Qt::transparent);
      QPainter p(&offscreen);
      p.setRenderHint(QPainter::Antialiasing, true);
      p.setRenderHint(QPainter::TextAntialiasing, true);
      p.setRenderHint(QPainter::SmoothPixmapTransform, true);
      p.translate(-a.topLeft());
      for (std::size_t bi : under)
        drawEditedTextPreview(p, ocrBlocks[bi], mappedPageRect(g, ocrBlocks[bi].rect), zoom, &blockTextRenderer,
                              static_cast<int>(bi), textColumn);
      p.end();
      QPainter clip(&offscreen);
      clip.setCompositionMode(QPainter::CompositionMode_DestinationIn);
      clip.drawImage(t.translated(-a.topLeft()), mask->image);
      clip.end();
      *restored = OverlayPatch{inkBlock.originalRect, zoom, pageImage.cacheKey(), inputKey,
                               QRectF(a.topLeft() - corner, a.size()), offscreen};
      ++overlayPatchBuilds;
    }
    painter.drawImage(restored->target.topLeft() + corner, restored->image);
  }
}

void PdfView::paintCleanedBackground(QPainter& painter, const PageGeometry& g, const QImage& pageImage,
                                     const QRectF& place, OverlayPatch* slot) {
  if (g.pageWidthPx <= 0 || g.pageHeightPx <= 0 || pageImage.isNull()) return;
  const QRectF o = place;
  if (!(o.width() * zoom > 0) || !(o.height() * zoom > 0)) return;
  const double sx = double(pageImage.width()) / g.pageWidthPx;
  const double sy = double(pageImage.height()) / g.pageHeightPx;
  if (!overlayCachingEnabled || !slotMatches(*slot, o, zoom, pageImage.cacheKey(), 0)) {
    const QRectF area(o.x() * zoom * sx - 2, (g.pageHeightPt - o.y() - o.height()) * zoom * sy - 2,
                      o.width() * zoom * sx + 4, o.height() * zoom * sy + 4);
    const QRect crop = area.toAlignedRect().intersected(pageImage.rect());
    if (crop.width() <= 1 || crop.height() <= 1) {
      *slot = OverlayPatch();
      return;
    }
    *slot = OverlayPatch{o, zoom, pageImage.cacheKey(), 0,
                         QRectF(crop.x() / sx, crop.y() / sy, crop.width() / sx, crop.height() / sy),
                         cleanedBackground(pageImage.copy(crop), sx, sy)};
    ++overlayPatchBuilds;
  }
  painter.drawImage(slot->target.translated(g.left, g.top), slot->image);
}

void PdfView::paintDrawnOver(QPainter& painter, const PageGeometry& g, const QImage& pageImage, int index) {
  const TextBlock& b = ocrBlocks[std::size_t(index)];
  if (!document || !positive(b.originalRect) || pageImage.isNull() || g.pageWidthPx <= 0) return;
  // A carried line is written on top of the page: nothing covers it.
  if (blockCarried(b)) return;
  const QRectF place = turnedBounds(b.originalRect, b.originalRotation);
  // The old glyphs of the other changed lines leave the page and cover nothing.
  std::vector<QRectF> gone;
  size_t goneKey = 0;
  const auto leaves = [&](const TextBlock& other) {
    if (other.isImage || !positive(other.originalRect)) return;
    gone.push_back(turnedBounds(other.originalRect, other.originalRotation));
    goneKey = qHashMulti(goneKey, gone.back().x(), gone.back().y(), gone.back().width(), gone.back().height());
  };
  for (int i = 0; i < int(ocrBlocks.size()); ++i)
    if (i != index && (blockTextEdited(ocrBlocks[size_t(i)]) || blockMoved(ocrBlocks[size_t(i)])))
      leaves(ocrBlocks[size_t(i)]);
  for (const TextBlock& removed : removedOcrBlocks) leaves(removed);
  OverlayPatch* slot = slotFor(coverPatches, std::size_t(index));
  if (!slotMatches(*slot, place, zoom, pageImage.cacheKey(), qint64(goneKey))) {
    QImage over =
        document->renderDrawnOver(g.page, pageImage.width() * zoom / g.pageWidthPx, rotation, place, gone);
    // A page that draws nothing over the line is remembered as one empty pixel.
    if (over.isNull()) {
      over = QImage(1, 1, QImage::Format_ARGB32);
      over.fill(Qt::transparent);
    }
    *slot = OverlayPatch{place, zoom, pageImage.cacheKey(), qint64(goneKey), QRectF(), over};
  }
  if (slot->image.width() <= 1) return;
  // The saved page draws the new line where the old one was: what comes
  // after it there covers it, where the old line was and where the new one lies.
  const QRegion clip = QRegion(mappedPageRect(g, place).toAlignedRect()) |
                       QRegion(mappedPageRect(g, turnedBounds(b.rect, b.rotation)).toAlignedRect());
  painter.save();
  painter.setClipRegion(clip, painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  painter.drawImage(QRectF(g.rect), slot->image);
  painter.restore();
}

void PdfView::paintBlockOutline(QPainter& painter, int blockIndex, const QRectF& screen) {
  const TextBlock& block = ocrBlocks[static_cast<std::size_t>(blockIndex)];
  painter.save();
  applyBlockRotation(painter, screen, block.rotation);
  painter.setBrush(Qt::NoBrush);
  QColor colour = block.isImage ? QColor(200, 50, 50, 170)
                                : (block.isTable ? QColor(20, 160, 60, 190) : QColor(30, 120, 255, 205));
  painter.setPen(QPen(colour, selectedOcrBlocks.contains(blockIndex) ? 2.0 : 1.0, Qt::SolidLine));
  painter.drawRect(screen);
  if (block.isImage && screen.width() > 28 && screen.height() > 10) {
    painter.setPen(QColor(180, 40, 40, 160));
    painter.drawText(QRectF(screen.x() + 2, screen.y() + 1, screen.width() - 2, screen.height() - 1),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("img"));
  }
  painter.restore();
}

void PdfView::paintFontLabel(QPainter& painter, const TextBlock& block, const QRectF& screen) {
  QString label = QStringLiteral("img");
  if (!block.isImage) {
    QString family = block.fontFamily.trimmed();
    double size = block.fontSize;
    bool bold = block.bold;
    bool italic = block.italic;
    for (const TextBlock::Line& line : block.lines) {
      if (line.text.trimmed().isEmpty()) continue;
      if (!line.fontFamily.trimmed().isEmpty()) family = line.fontFamily.trimmed();
      if (line.fontSize > 1.0f) size = line.fontSize;
      bold = line.bold;
      italic = effectiveLineItalic(line, block);
      break;
    }
    if (family.isEmpty()) family = QStringLiteral("Times New Roman");
    label = QStringLiteral("%1 %2pt").arg(family, QString::number(size, 'f', 1));
    if (bold) label += QStringLiteral(" B");
    if (italic) label += QStringLiteral(" I");
  }
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(7);
  font.setWeight(QFont::Bold);
  const QSizeF text = QFontMetricsF(font).boundingRect(label).size();
  const QSizeF box(text.width() + 6, text.height() + 4);
  double y = screen.y() - 2 - box.height();
  if (y < 0) y = screen.y() + 2;
  const QRectF r(QPointF(screen.x(), y), box);
  painter.save();
  painter.setFont(font);
  painter.fillRect(r, QColor(255, 255, 210, 220));
  painter.setPen(QPen(QColor(90, 90, 40, 190), 1.0));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(r);
  painter.setPen(QColor(40, 40, 20));
  painter.drawText(r.adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, label);
  painter.restore();
}

void PdfView::paintBlockOverlay(QPainter& painter, const PageGeometry& g, const QImage& pageImage) {
  painter.save();
  QFont small(QStringLiteral("Arial"));
  small.setPointSizeF(7);
  painter.setFont(small);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
  const bool ink = inkModeActive(g.page);
  const int count = static_cast<int>(ocrBlocks.size());
  if (cleaningPatches.size() > ocrBlocks.size()) cleaningPatches.resize(ocrBlocks.size());
  if (coverPatches.size() > ocrBlocks.size()) coverPatches.resize(ocrBlocks.size());

  // The block open in the editor, as long as the page shows it unchanged,
  // is the page's own glyphs: drawing it anew would move its words.
  RotatedTextEdit* activeEditor =
      blockEditorFrame && isValidBlockIndex(activeOcrBlock) ? blockEditorFrame->textEditor() : nullptr;
  const bool activeShownByPage =
      activeEditor && pageGlyphsShowBlock(ocrBlocks[std::size_t(activeOcrBlock)], activeEditor->toPlainText());

  // Step 1: the old glyphs of changed text blocks give way to background.
  for (int i = 0; i < count; ++i) {
    const TextBlock& b = ocrBlocks[static_cast<std::size_t>(i)];
    // An invisible line's words are the scan's pixels, which the file keeps.
    if (b.isImage || !positive(b.originalRect) || isInvisibleTextBlock(b)) continue;
    const bool activeWithFrame = i == activeOcrBlock && blockEditorFrame && !activeShownByPage;
    // The old glyphs lie where the block was drawn, turned as it was.
    if (blockTextEdited(b) || blockMoved(b) || activeWithFrame)
      paintCleanedBackground(painter, g, pageImage, oldGlyphsPlace(b), slotFor(cleaningPatches, static_cast<std::size_t>(i)));
  }
  paintRemovedBlocks(painter, g, pageImage);

  // Step 2: the blocks and their outlines.
  const QRectF textColumn = pageTextColumn(ocrBlocks);
  const PagePixels pagePixels = [&](QPainter& p, const QRectF& source, const QRectF& target) {
    if (pageImage.isNull() || g.pageWidthPx <= 0 || g.pageHeightPx <= 0) return;
    const double sx = double(pageImage.width()) / g.pageWidthPx, sy = double(pageImage.height()) / g.pageHeightPx;
    const QRectF from(source.x() * zoom * sx, (g.pageHeightPt - source.y() - source.height()) * zoom * sy,
                      source.width() * zoom * sx, source.height() * zoom * sy);
    // Where the page itself shows these pixels. A copy as large is the page's
    // own drawing, moved by whole pixels: drawn any other way, the image (a
    // hair larger than the page on screen) is sampled anew and blurs.
    const QRectF shown(g.rect.x() + from.x() / sx, g.rect.y() + from.y() / sy, from.width() / sx, from.height() / sy);
    const QRectF placed = p.transform().mapRect(target);
    if (p.transform().type() > QTransform::TxTranslate || std::abs(placed.width() - shown.width()) >= 0.5 ||
        std::abs(placed.height() - shown.height()) >= 0.5) {
      p.drawImage(target, pageImage, from);
      return;
    }
    const QPoint shift(int(std::lround(placed.x() - shown.x())), int(std::lround(placed.y() - shown.y())));
    const QRect pixels(QPoint(int(std::lround(shown.left())), int(std::lround(shown.top()))),
                       QPoint(int(std::lround(shown.right())) - 1, int(std::lround(shown.bottom())) - 1));
    p.save();
    p.resetTransform();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);  // as the page is drawn
    p.setClipRect(pixels.translated(shift), Qt::IntersectClip);
    p.drawImage(QRectF(g.rect).translated(shift), pageImage);
    p.restore();
  };
  for (int i = 0; i < count; ++i) {
    const TextBlock& b = ocrBlocks[static_cast<std::size_t>(i)];
    const QRectF m = mappedPageRect(g, b.rect);
    const QRect screenRect = ocrBlockScreenRect(i);
    const QRectF s = screenRect.isValid() ? QRectF(screenRect) : m;
    const bool rotated = std::abs(b.rotation) > 0.1;
    const bool grouped = i < static_cast<int>(ocrBlockGroupIds.size()) && ocrBlockGroupIds[std::size_t(i)] > 0;
    const bool invisible = isInvisibleTextBlock(b);

    if (b.isImage && !b.image.isNull()) {
      const bool hasOrigin = positive(b.originalRect);
      bool draw = !hasOrigin;
      if (hasOrigin) {
        const QRectF o = mappedPageRect(g, b.originalRect);
        if (ink && b.inkLayer) {
          draw = true;
        } else if (blockMoved(b) || rotated || b.imageEdited) {
          draw = true;
          if (b.inkLayer) {
            if (!ink) painter.drawImage(o, whiteAlphaMaskForPreview(b.image, 1));
          } else {
            painter.fillRect(o.adjusted(-1, -1, 1, 1), Qt::white);
          }
        }
      }
      if (draw) {
        painter.save();
        applyBlockRotation(painter, m, b.rotation);
        painter.drawImage(m, b.image);
        painter.restore();
      }
    } else if (!b.isImage && i != activeOcrBlock && (blockTextEdited(b) || blockMoved(b))) {
      painter.save();
      applyBlockRotation(painter, m, b.rotation);
      if (invisible) painter.setOpacity(kInvisibleTextOpacity);
      drawEditedTextPreview(painter, b, m, zoom, &blockTextRenderer, i, textColumn,
                            invisible ? PagePixels() : pagePixels);
      painter.restore();
      if (!invisible) paintDrawnOver(painter, g, pageImage, i);
    }

    if (i == activeOcrBlock) {
      if (b.isImage) {
        painter.save();
        applyBlockRotation(painter, s, b.rotation);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(220, 60, 60, 210), 1.0, Qt::DashLine));
        painter.drawRect(s);
        painter.restore();
      } else if (blockEditorFrame) {
        const QRect content = blockEditorFrame->contentScreenRect();
        QRectF r = content.isValid() ? QRectF(content) : m;
        // The frame stands on whole pixels: where that alone sets it apart,
        // the text is drawn where the page has it, its own pixels unblurred.
        if (std::abs(r.x() - m.x()) < 1 && std::abs(r.y() - m.y()) < 1) r.moveTopLeft(m.topLeft());
        RotatedTextEdit* editor = blockEditorFrame->textEditor();
        TextBlock shown = b;
        if (editor && !(shown.textEdited && blockHasRichTextPreview(shown))) shown.text = editor->toPlainText();
        painter.save();
        applyBlockRotation(painter, r, b.rotation);
        if (invisible) {
          painter.setOpacity(kInvisibleTextOpacity);
          drawEditedTextPreview(painter, shown, r, zoom, &blockTextRenderer, i, textColumn);
          painter.setOpacity(1.0);
        } else if (!activeShownByPage) {
          drawEditedTextPreview(painter, shown, r, zoom, &blockTextRenderer, i, textColumn, pagePixels);
          painter.restore();
          paintDrawnOver(painter, g, pageImage, i);
          painter.save();
          applyBlockRotation(painter, r, b.rotation);
        }
        drawPreviewEditorSelection(painter, editor, shown, r, zoom, textColumn);
        if (blockOpenForTyping) drawPreviewEditorCaret(painter, editor, shown, r, zoom, textColumn);
        painter.restore();
        if (rotated) drawActiveTextBlockChrome(painter, r, b.rotation);
      }
      continue;
    }
    if (grouped) continue;
    paintBlockOutline(painter, i, s);
    if (ocrDebugLabelsVisible) paintFontLabel(painter, b, s);
  }

  // Step 3: one frame per group.
  QSet<int> framed;
  for (int i = 0; i < count && i < static_cast<int>(ocrBlockGroupIds.size()); ++i) {
    const int group = ocrBlockGroupIds[std::size_t(i)];
    if (group <= 0 || framed.contains(group)) continue;
    framed.insert(group);
    const QRectF frame = groupScreenRect(group);
    if (!positive(frame)) continue;
    bool selected = false;
    for (int j : selectedOcrBlocks)
      if (j >= 0 && j < static_cast<int>(ocrBlockGroupIds.size()) && ocrBlockGroupIds[std::size_t(j)] == group)
        selected = true;
    painter.setBrush(QColor(30, 120, 255, selected ? 22 : 8));
    painter.setPen(QPen(QColor(30, 120, 255, selected ? 230 : 170), selected ? 2.0 : 1.0, Qt::DashLine));
    painter.drawRoundedRect(frame.adjusted(-2, -2, 2, 2), 3.0, 3.0);
  }
  painter.restore();
}
