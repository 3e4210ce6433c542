#pragma once
// The stages of page recognition after the recogniser has produced its words,
// in their fixed order, and the glue between them.

#include "core/TextBlock.h"
#include "ocr/OcrWord.h"

#include <QImage>
#include <QString>

#include <vector>

// Milliseconds spent in each stage of one page, for measurements.
struct OcrStageTimes {
  double lines = 0;
  double ink = 0;
  double grouping = 0;
  double fonts = 0;
  double style = 0;
  double images = 0;
  double finish = 0;
};

// Rewrites the recogniser's known misreads; true when the text was rewritten.
bool mendMisreadWord(QString& text);

// Trims and mends a freshly recognised word and decides whether to keep it.
bool acceptRecognizedWord(OcrWord& word);

std::vector<TextBlock> assemblePageBlocks(std::vector<OcrWord> words, const QImage& image, int page,
                                          double scale, double pageHeight, OcrStageTimes* times = nullptr);

// Each line's size, colour and weight measured against the page pixels.
void matchLineFonts(std::vector<TextBlock>& blocks, const QImage& image, double scale, double pageHeight);

// The house style of recognised text: one serif family, upright, bold only
// where the document bolds; measured sizes and colours stay.
void applyDocumentStyle(std::vector<TextBlock>& blocks);

// Drops short text blocks that repeat part of a longer block they sit on.
void removeContainedDuplicateBlocks(std::vector<TextBlock>& blocks);
