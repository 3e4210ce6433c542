#include "OcrTestLines.h"

#include "ocr/WordLines.h"

#include <gtest/gtest.h>

namespace {

constexpr double kPageHeight = 800;
constexpr double kPageWidth = 600;

// A word whose upper edge lies at `topShare` of the page height from the top.
OcrWord wordAt(const char* text, double topShare, double x = 100, double w = 30, double h = 10) {
  const double top = kPageHeight * (1.0 - topShare);
  return {QString::fromUtf8(text), QRectF(x, top - h, w, h), 90.0f};
}

OcrWord word(const char* text, double x, double y, double w, double h) {
  return {QString::fromUtf8(text), QRectF(x, y, w, h), 90.0f};
}

}  // namespace

TEST(WordLines, SignatureZoneNoise) {
  struct Case {
    const char* text;
    double topShare;
    bool noise;
  } cases[] = {
      {"АБВ", 0.69, false},       // upper 70 percent: never noise
      {"АБВ", 0.71, true},        // three Cyrillic capitals without a dot
      {"Иванов", 0.71, false},    // a word with one capital
      {"abc", 0.71, true},        // short Latin-only word
      {"abcde", 0.71, false},     // five Latin letters
      {"ab.", 0.71, true},        // Latin and a dot, at most 4 characters
      {"—", 0.71, true},          // punctuation only
      {"—", 0.5, false},
      {"VY", 0.9, true},
      {"УУ", 0.9, true},
      {"ПОДПИСЬ", 0.9, false},    // capitals, but longer than four
      {"12", 0.9, false},
      {"  ", 0.9, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isLikelySignatureNoiseWord(wordAt(c.text, c.topShare), kPageHeight), c.noise)
        << c.text << " at " << c.topShare;
  }
  EXPECT_FALSE(isLikelySignatureNoiseWord(wordAt("abc", 0.9), 0.0));
}

TEST(WordLines, LineRecordFromWords) {
  struct Case {
    std::vector<OcrWord> words;
    const char* text;
    float fontSize;
    std::size_t wordCount;
  } cases[] = {
      {{word("Слово", 10, 100, 40, 20)}, "Слово", 14.4f, 1},
      {{word("Big", 10, 100, 40, 100)}, "Big", 48.0f, 1},
      {{word("tiny", 10, 100, 40, 5)}, "tiny", 6.0f, 1},
      {{word("г.", 10, 100, 10, 10), word("Нолвская", 25, 100, 50, 10)}, "г., Нолвская", 7.2f, 2},
      {{word("г.", 10, 100, 10, 10), word("Москва", 25, 100, 50, 10)}, "г. Москва", 7.2f, 2},
      {{word("Иванов", 10, 100, 50, 10), word("т", 70, 100, 5, 20)}, "Иванов", 7.2f, 1},
      {{word("т", 10, 100, 5, 10)}, "т", 7.2f, 1},
      {{}, "", 10.0f, 0},
  };
  for (const Case& c : cases) {
    const TextBlock::Line line = makeLineFromWords(c.words);
    EXPECT_EQ(line.text, QString::fromUtf8(c.text));
    EXPECT_NEAR(line.fontSize, c.fontSize, 1e-4) << c.text;
    ASSERT_EQ(line.words.size(), c.wordCount) << c.text;
    if (!c.words.empty()) {
      EXPECT_EQ(line.words.front().text, line.text.section(u' ', 0, 0)) << c.text;
    }
  }
  // The dropped trailing word no longer widens the line.
  const TextBlock::Line cut = makeLineFromWords({word("Иванов", 10, 100, 50, 10), word("т", 70, 100, 5, 20)});
  EXPECT_EQ(cut.rect, QRectF(10, 100, 50, 10));
}

TEST(WordLines, RowsAndGapSplits) {
  struct Case {
    const char* name;
    std::vector<OcrWord> words;
    QStringList lines;
  } cases[] = {
      {"empty", {}, {}},
      {"two words at the same x keep their order", {word("first", 10, 400, 30, 10), word("second", 10, 400, 30, 10)},
       {"first second"}},
      {"reading order of two rows given shuffled",
       {word("two", 60, 500, 30, 10), word("three", 10, 480, 40, 10), word("one", 10, 500, 40, 10),
        word("four", 60, 480, 30, 10)},
       {"one two", "three four"}},
      // 4 pt words: the row tolerance is its 3 pt floor; exactly 3 pt joins.
      {"centres at the tolerance", {word("a1", 10, 500, 30, 4), word("b2", 50, 497, 30, 4)}, {"a1 b2"}},
      {"centres beyond the tolerance", {word("a1", 10, 500, 30, 4), word("b2", 50, 496.75, 30, 4)}, {"a1", "b2"}},
      // Middle band, wide row: gaps up to 44 pt stay in one line.
      {"wide middle row keeps a 44 pt gap",
       {word("Left", 10, 400, 120, 10), word("Right", 174, 400, 200, 10)}, {"Left Right"}},
      {"wide middle row splits beyond 44 pt",
       {word("Left", 10, 400, 120, 10), word("Right", 175, 400, 200, 10)}, {"Left", "Right"}},
      // Near the top of the page the limit is max(0.95 h, 7.5).
      {"top band splits beyond 7.5 pt", {word("Head", 10, 760, 120, 6), word("Note", 139, 760, 200, 6)}, {"Head", "Note"}},
      {"top band keeps 7.5 pt", {word("Head", 10, 760, 120, 6), word("Note", 137.5, 760, 200, 6)}, {"Head Note"}},
      {"narrow middle row splits beyond 18 pt",
       {word("Left", 10, 400, 40, 8), word("Right", 69, 400, 40, 8)}, {"Left", "Right"}},
      {"narrow middle row keeps 18 pt", {word("Left", 10, 400, 40, 8), word("Right", 68, 400, 40, 8)}, {"Left Right"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ocrtest::textsOf(buildLinesFromWords(c.words, kPageWidth, kPageHeight)), c.lines) << c.name;
  }
}

TEST(WordLines, LevelChainsDoNotBreakTheSort) {
  // A long staircase: every word is level with its neighbours but not with
  // words further along. Such an order is no strict weak ordering; the line
  // builder must still keep every word exactly once.
  std::vector<OcrWord> words;
  for (int i = 0; i < 400; ++i) {
    words.push_back(word("w", 1000 - i * 2.0, 700 - i * 1.5, 1.5, 10));
  }
  const auto lines = buildLinesFromWords(words, kPageWidth, kPageHeight);
  std::size_t kept = 0;
  for (const auto& l : lines) kept += l.words.size();
  EXPECT_EQ(kept, words.size());
}

TEST(WordLines, SignatureZoneIsJudgedByLineAndLayoutBlocksKeepColumnsApart) {
  // In the lowest 30 % short Latin words stay when they stand in running
  // text; a line of stray marks alone goes, with its rectangles reported.
  std::vector<OcrWord> words = {wordAt("Please", 0.80, 60, 40), wordAt("send", 0.80, 104, 28),
                                wordAt("the", 0.80, 136, 20),   wordAt("file", 0.80, 160, 24),
                                wordAt("VY", 0.90, 300, 20),    wordAt("xz", 0.90, 330, 16)};
  std::vector<TextBlock::Line> lines = buildLinesFromWords(words, kPageWidth, kPageHeight);
  const std::vector<QRectF> dropped = dropSignatureNoiseLines(lines, kPageHeight);
  EXPECT_EQ(ocrtest::textsOf(lines), QStringList({"Please send the file"}));
  EXPECT_EQ(dropped.size(), 2u);

  // Two columns 20 pt apart in the middle of the page: one line per column
  // once the recogniser has put them in different blocks.
  std::vector<OcrWord> columns = {word("left", 10, 400, 100, 10), word("right", 130, 400, 100, 10)};
  EXPECT_EQ(ocrtest::textsOf(buildLinesFromWords(columns, kPageWidth, kPageHeight)), QStringList({"left right"}));
  columns[1].layoutBlock = 1;
  EXPECT_EQ(ocrtest::textsOf(buildLinesFromWords(columns, kPageWidth, kPageHeight)), QStringList({"left", "right"}));

  // Justified text near the top: gaps of 9 to 12 pt exceed the 7.5 pt limit
  // but not three times the row's usual gap, so the row stays one line.
  std::vector<OcrWord> justified;
  double x = 10;
  for (const char* w : {"one", "two", "three", "four", "five", "six"}) {
    justified.push_back(word(w, x, 760, 30, 8));
    x += 30 + (justified.size() % 2 ? 9 : 12);
  }
  EXPECT_EQ(ocrtest::textsOf(buildLinesFromWords(justified, kPageWidth, kPageHeight)),
            QStringList({"one two three four five six"}));
}
