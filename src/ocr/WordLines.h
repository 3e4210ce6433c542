#pragma once
// Recognised words into text lines: the signature-zone filter, rows by
// vertical centre, rows split at wide gaps, and the line records.

#include "core/TextBlock.h"
#include "ocr/OcrWord.h"

#include <QRectF>

#include <vector>

struct WordRow {
  std::vector<OcrWord> words;
  int layoutBlock = -1;
  QRectF rect;
  double meanWordHeight = 0.0;
};

// True for stray marks in the lowest 30 percent of the page (signatures,
// initials, stamps read as letters).
bool isLikelySignatureNoiseWord(const OcrWord& word, double pageHeight);

void addWordToRow(WordRow& row, const OcrWord& word);

TextBlock::Line makeLineFromWords(const std::vector<OcrWord>& words);

// Drops the lines of the signature zone whose every word is a stray mark;
// a line that also holds real words stays whole. Returns the rectangles of
// the dropped words.
std::vector<QRectF> dropSignatureNoiseLines(std::vector<TextBlock::Line>& lines, double pageHeight);

// Lines in reading order: rows top to bottom, runs of a row left to right.
std::vector<TextBlock::Line> buildLinesFromWords(std::vector<OcrWord> words, double pageWidth,
                                                 double pageHeight);
