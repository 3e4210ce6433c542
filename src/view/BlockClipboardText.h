#pragma once
// The text a block stands for when it is copied or merged: its own text, or
// failing that the texts of its lines.

#include "core/TextBlock.h"

#include <QStringList>

inline QString ocrBlockTextForClipboard(const TextBlock& block) {
  if (block.isImage) return {};
  const QString text = block.text.trimmed();
  if (!text.isEmpty()) return text;
  QStringList parts;
  for (const TextBlock::Line& line : block.lines) {
    const QString lineText = line.text.trimmed();
    if (!lineText.isEmpty()) parts.append(lineText);
  }
  return parts.join(QLatin1Char('\n'));
}
