#pragma once
// Blocks and lines built the way native extraction and recognition deliver
// them, and a plain white widget to host editors in, for the view tests.

#include "core/TextBlock.h"

#include <QPalette>
#include <QWidget>

#include <memory>

namespace blocktest {

// A native line: one style run in a PDF font, text and size as given.
inline TextBlock::Line nativeLine(const QString& text, const QRectF& rect, float size, const QString& family) {
  TextBlock::Line line;
  line.text = text;
  line.rect = rect;
  line.fontSize = size;
  line.fontFamily = family;
  TextBlock::Line::Span span;
  span.text = text;
  span.fontSize = size;
  span.fontFamily = family;
  line.spans.push_back(span);
  return line;
}

// A one-line native block at rect, points.
inline TextBlock nativeBlock(const QString& text, const QRectF& rect, float size = 12.0f,
                             const QString& family = QStringLiteral("ABCDEF+TimesNewRomanPSMT")) {
  TextBlock block;
  block.text = text;
  block.rect = rect;
  block.originalRect = rect;
  block.fontSize = size;
  block.fontFamily = family;
  block.lines.push_back(nativeLine(text, rect, size, family));
  return block;
}

// A white top-level widget of the given size, not yet shown.
inline std::unique_ptr<QWidget> whiteHost(int width, int height) {
  auto host = std::make_unique<QWidget>();
  host->setAutoFillBackground(true);
  QPalette palette = host->palette();
  palette.setColor(QPalette::Window, Qt::white);
  host->setPalette(palette);
  host->resize(width, height);
  return host;
}

}  // namespace blocktest
