#include "TextEditRefusal.h"

#include "CoreText.h"

#include <algorithm>

QString verticalTextRefusal() {
  return coreText("Вертикальный текст нельзя изменить: он был бы записан горизонтальной строкой. "
                  "Его можно только удалить.");
}

QString clipTextRefusal() {
  return coreText("Эту строку нельзя изменить: страница рисует её как контур обрезки, "
                  "сквозь который видно то, что нарисовано после неё.");
}

QString offSheetRefusal() {
  return coreText("Строка не помещается на странице даже сжатой вчетверо. "
                  "Сократите её или перенесите часть текста на новую строку.");
}

QString textEditRefusal(const TextBlock& block) {
  if (block.isImage) return {};
  if (block.vertical) return verticalTextRefusal();
  if (std::any_of(block.lines.begin(), block.lines.end(), [](const TextBlock::Line& l) { return l.drawnAsClip; }))
    return clipTextRefusal();
  return {};
}
