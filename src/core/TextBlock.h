#pragma once
// The record in which page content travels through the whole program: one
// text line or paragraph with its geometry and style, or an image region.
// Rectangles are in PDF points of the page as shown, y measured upwards from
// the bottom edge (a rectangle's y is its lower edge).

#include <QColor>
#include <QImage>
#include <QMetaType>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

struct TextBlock {
  struct Line {
    struct Span {
      QString text;
      float fontSize = 10.0f;
      QString fontFamily;
      QColor color = Qt::black;
      bool bold = false;
      bool italic = false;
      bool superscript = false;
      bool subscript = false;
    };

    struct Word {
      QString text;
      QRectF rect;
      float confidence = 100.0f;
    };

    QString text;
    QRectF rect;
    std::vector<Span> spans;
    std::vector<Word> words;
    float fontSize = 10.0f;
    QString fontFamily;
    QColor color = Qt::black;
    bool bold = false;
    bool italic = false;
    // At least one character is drawn with fill alpha 8 or less.
    bool transparentText = false;
    // At least one character is drawn as a clip (render modes 4 to 7).
    bool drawnAsClip = false;
    // Points of free room beside the line's glyphs on the page, left and
    // right: where an edit that makes it longer may take it.
    float freeLeft = 0, freeRight = 0;
    // Points the glyphs read as nothing (a broken map) that end the line
    // reach past its last letter; the free room on the right begins there.
    float unreadAfter = 0;

    Line() = default;
    Line(const Line&) = default;
    Line(Line&&) noexcept = default;
    Line& operator=(const Line&) = default;
    Line& operator=(Line&&) noexcept = default;
    ~Line() = default;
  };

  QString text;
  QString richTextHtml;
  QRectF rect;
  // As produced; differs from rect exactly when the block was moved or resized.
  QRectF originalRect;
  std::vector<Line> lines;
  QImage image;
  int page = 0;
  bool isTable = false;
  bool isImage = false;
  bool inkLayer = false;
  float fontSize = 10.0f;
  QString fontFamily;
  QColor color = Qt::black;
  bool bold = false;
  bool italic = false;
  bool transparentText = false;
  // Written top to bottom with upright glyphs (vertical CJK): rect is the
  // column, and the text can be taken away but not written back that way.
  bool vertical = false;
  bool textEdited = false;
  // An image block whose picture was replaced (edited in the image editor):
  // like a moved one, it hides its old place and is written anew.
  bool imageEdited = false;
  // Degrees clockwise as shown, about the centre of rect, which holds the
  // unturned box; originalRotation is the turn it was produced with.
  double rotation = 0.0;
  double originalRotation = 0.0;
  // The page's pitch at a one-line block: from its line to the next line of
  // its size below (or above) it in its column; 0 where the page has none.
  float pagePitch = 0;

  TextBlock() = default;
  TextBlock(const TextBlock&) = default;
  TextBlock(TextBlock&&) noexcept = default;
  TextBlock& operator=(const TextBlock&) = default;
  TextBlock& operator=(TextBlock&&) noexcept = default;
  ~TextBlock() = default;
};

// Whether the block's top-left corner left its old place: it was moved, not
// grown to its text (which keeps that corner). A carried line is written on
// top of the page where it now lies.
inline bool blockCarried(const TextBlock& b) {
  const QRectF& was = b.originalRect;
  return was.width() > 0 && was.height() > 0 &&
         (std::abs(b.rect.left() - was.left()) > 0.5 || std::abs(b.rect.bottom() - was.bottom()) > 0.5);
}

// Distance between consecutive lines, the upper median of the plausible
// ones; a line typed beyond the stored ones continues at it.
inline double storedLinePitch(const TextBlock& block) {
  if (block.lines.empty()) return 0;
  std::vector<double> gaps;
  for (std::size_t i = 1; i < block.lines.size(); ++i) {
    const double gap = std::abs(block.lines[i - 1].rect.bottom() - block.lines[i].rect.bottom());
    if (gap > 2.0 && gap < 80.0) gaps.push_back(gap);
  }
  if (gaps.empty())
    return block.pagePitch > 2.0f ? double(block.pagePitch) : std::max(1.25 * block.lines.back().rect.height(), 6.0);
  std::sort(gaps.begin(), gaps.end());
  return gaps[gaps.size() / 2];
}

// Line `index` of the block; a line the edit added below the stored ones
// follows them at their pitch.
inline TextBlock::Line visualLineForIndex(const TextBlock& block, int index) {
  const int count = static_cast<int>(block.lines.size());
  if (index >= 0 && index < count) return block.lines[static_cast<std::size_t>(index)];
  TextBlock::Line line;
  if (count == 0) {
    line.rect = block.rect;
    return line;
  }
  const TextBlock::Line& last = block.lines.back();
  const double h = std::max(last.rect.height(), 2.0);
  line = last;
  line.text.clear();
  line.words.clear();
  const double lastTop = last.rect.y() + last.rect.height();
  line.rect = QRectF(block.rect.x(), lastTop - (index - count + 1) * storedLinePitch(block) - h,
                     block.rect.width(), h);
  return line;
}

Q_DECLARE_METATYPE(std::vector<TextBlock>)
