#include "EditedTextDocument.h"

#include "BlockTextRenderer.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Underlined no-break spaces are the blanks of a form ("____"); plain text
// would lose them, so such a document is stored as rich text.
bool hasUnderlinedNoBreakSpace(const QTextDocument* document) {
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid() || !fragment.text().contains(QChar(0x00A0))) continue;
      const QTextCharFormat format = fragment.charFormat();
      if (format.fontUnderline() || format.font().underline()) return true;
    }
  }
  return false;
}

// Ranges of the document drawn at the editor's pixel size of one of the
// block's own line sizes: text the user did not resize. They keep that size
// exactly in points; the editor's whole pixels would round it.
struct NativeSizedRange {
  int start;
  int end;
  double points;
};

std::vector<NativeSizedRange> nativeSizedRanges(const QTextDocument* document, const TextBlock& block, double zoom) {
  std::vector<float> sizes;
  for (const TextBlock::Line& line : block.lines) {
    if (line.transparentText) continue;
    sizes.push_back(line.fontSize);
    for (const TextBlock::Line::Span& span : line.spans) sizes.push_back(span.fontSize);
  }
  std::vector<NativeSizedRange> ranges;
  if (sizes.empty()) return ranges;
  for (QTextBlock paragraph = document->begin(); paragraph.isValid(); paragraph = paragraph.next()) {
    for (auto it = paragraph.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      const int pixels = fragment.isValid() ? fragment.charFormat().font().pixelSize() : -1;
      if (pixels < 1) continue;
      for (const float size : sizes) {
        if (!(size > 1.0f) || std::lround(size * zoom) != pixels) continue;
        ranges.push_back({fragment.position(), fragment.position() + fragment.length(), double(size)});
        break;
      }
    }
  }
  return ranges;
}

}  // namespace

void applyEditedTextDocument(TextBlock& block, QTextEdit* editor, bool forceRich, double zoom) {
  if (!editor) return;
  block.text = editor->toPlainText();
  QTextDocument* document = editor->document();
  const bool nativeRich = std::any_of(block.lines.cbegin(), block.lines.cend(), lineHasNativeRichSpans);
  const bool nativeModified = nativeRich && document->isModified();
  if (!hasUnderlinedNoBreakSpace(document) && !forceRich && !block.textEdited && !nativeModified) return;
  block.textEdited = true;
  std::unique_ptr<QTextDocument> clone(document->clone());
  clone->setUndoRedoEnabled(false);
  const std::vector<NativeSizedRange> native = nativeSizedRanges(clone.get(), block, zoom);
  scaleDocumentFontPixels(clone.get(), 1.0 / std::max(zoom, 0.001));
  for (const NativeSizedRange& range : native) {
    QTextCursor span(clone.get());
    span.setPosition(range.start);
    span.setPosition(range.end, QTextCursor::KeepAnchor);
    QTextCharFormat format = span.charFormat();  // one fragment: one format
    format.clearProperty(QTextFormat::FontPixelSize);
    format.setFontPointSize(range.points);
    span.setCharFormat(format);
  }
  block.richTextHtml = clone->toHtml();
}

void scaleDocumentFontPixels(QTextDocument* document, double factor) {
  if (!document || factor <= 0 || std::abs(factor - 1.0) < 0.001) return;
  // Ranges first, formats after: setting a format may merge fragments and
  // would pull them out from under a running iteration.
  struct Range {
    int start;
    int end;
    QTextCharFormat format;
  };
  std::vector<Range> ranges;
  QTextCursor cursor(document);
  cursor.beginEditBlock();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    QTextBlockFormat format = block.blockFormat();
    format.setTopMargin(format.topMargin() * factor);
    format.setBottomMargin(format.bottomMargin() * factor);
    format.setLeftMargin(format.leftMargin() * factor);
    format.setRightMargin(format.rightMargin() * factor);
    format.setTextIndent(format.textIndent() * factor);
    if (format.lineHeightType() != QTextBlockFormat::ProportionalHeight && format.lineHeight() > 0)
      format.setLineHeight(format.lineHeight() * factor, format.lineHeightType());
    QTextCursor(block).setBlockFormat(format);

    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      QTextCharFormat charFormat = fragment.charFormat();
      const QFont font = charFormat.font();
      double pixels = font.pixelSize();
      if (pixels < 1) pixels = font.pointSizeF();
      if (pixels < 1) continue;
      // Absolute spacing is pixels too and scales with the glyphs.
      if (charFormat.hasProperty(QTextFormat::FontLetterSpacing) &&
          charFormat.fontLetterSpacingType() == QFont::AbsoluteSpacing)
        charFormat.setFontLetterSpacing(charFormat.fontLetterSpacing() * factor);
      if (charFormat.hasProperty(QTextFormat::FontWordSpacing))
        charFormat.setFontWordSpacing(charFormat.fontWordSpacing() * factor);
      charFormat.clearProperty(QTextFormat::FontPointSize);
      charFormat.setProperty(QTextFormat::FontPixelSize,
                             std::clamp(static_cast<int>(std::lround(pixels * factor)), 1, 1000));
      ranges.push_back(Range{fragment.position(), fragment.position() + fragment.length(), charFormat});
    }
  }
  for (const Range& range : ranges) {
    QTextCursor span(document);
    span.setPosition(range.start);
    span.setPosition(range.end, QTextCursor::KeepAnchor);
    span.setCharFormat(range.format);
  }
  cursor.endEditBlock();
  // The default font is written out with the rich text too; it must not
  // keep pixels of another zoom.
  QFont defaultFont = document->defaultFont();
  if (defaultFont.pixelSize() >= 1) {
    defaultFont.setPixelSize(std::clamp(static_cast<int>(std::lround(defaultFont.pixelSize() * factor)), 1, 1000));
    document->setDefaultFont(defaultFont);
  }
}
