#pragma once
// Blocks whose text the page draws in a way a typed line cannot take: the
// editor says so as soon as the user starts typing, the writer refuses the
// same at saving for what the editor did not know.

#include "TextBlock.h"

#include <QString>

QString verticalTextRefusal();
QString clipTextRefusal();
QString offSheetRefusal();

// Why typing into the block would be refused; empty where it would not.
QString textEditRefusal(const TextBlock& block);
