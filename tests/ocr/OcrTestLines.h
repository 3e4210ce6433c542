#pragma once
// Line and block records for the grouping and style tests.

#include "core/TextBlock.h"

#include <QStringList>

#include <vector>

namespace ocrtest {

// A line with its lower edge at y (points, bottom-left origin).
inline TextBlock::Line makeLine(const char* text, double x, double y, double w, double h, float size = 10.0f,
                                bool bold = false) {
  TextBlock::Line line;
  line.text = QString::fromUtf8(text);
  line.rect = QRectF(x, y, w, h);
  line.fontSize = size;
  line.bold = bold;
  line.words.push_back({line.text, line.rect, 90.0f});
  return line;
}

inline TextBlock makeBlock(std::vector<TextBlock::Line> lines) {
  TextBlock block;
  block.lines = std::move(lines);
  QRectF united;
  QStringList texts;
  for (const auto& l : block.lines) {
    united = united.isNull() ? l.rect : united.united(l.rect);
    texts << l.text;
  }
  block.rect = block.originalRect = united;
  block.text = texts.join(u'\n');
  return block;
}

// The texts of blocks or lines, in order.
template <typename T>
QStringList textsOf(const std::vector<T>& items) {
  QStringList texts;
  for (const auto& item : items) texts << item.text;
  return texts;
}

}  // namespace ocrtest
