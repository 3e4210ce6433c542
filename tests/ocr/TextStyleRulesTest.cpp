#include "OcrTestLines.h"

#include "ocr/TextStyleRules.h"

#include <gtest/gtest.h>

using ocrtest::makeBlock;
using ocrtest::makeLine;

TEST(TextStyleRules, DocumentBoldPhrases) {
  struct Case {
    const char* text;
    bool keep;
  } cases[] = {
      {"ЗАКЛЮЧЕНИЕ", true},
      {"Заключение", false},
      {"АБ", false},
      {"2. Сведения о правообладателях", true},
      {"2.Сведения", true},
      {"Сведения", false},
      {"Кадастровый номер", true},
      {"Кадастровый номер:", false},
      {"Кадастровые или иные номера зданий", true},
      {"перечень объектов недвижимости", true},
      {"И.о. начальника", true},
      {"подпись заместителя", true},
      {"Нолвского областного суда", true},
      {"  № п/п  ", true},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(shouldKeepDocumentBold(QString::fromUtf8(c.text)), c.keep) << c.text;
}

TEST(TextStyleRules, RepresentativeLine) {
  TextBlock block = makeBlock({makeLine("1", 0, 100, 5, 10), makeLine("Длинная строка текста", 0, 80, 200, 10),
                               makeLine("Короткая", 0, 60, 250, 10)});
  // 16 * 19 + 200 beats 16 * 8 + 250.
  EXPECT_EQ(representativeStyleLine(block), &block.lines[1]);

  TextBlock single = makeBlock({makeLine("1", 0, 100, 5, 10)});
  EXPECT_EQ(representativeStyleLine(single), &single.lines[0]);
  TextBlock blank = makeBlock({makeLine("  ", 0, 100, 5, 10), makeLine("--", 0, 90, 50, 10)});
  EXPECT_EQ(representativeStyleLine(blank), nullptr);
}

TEST(TextStyleRules, SplitByLineStyle) {
  struct Case {
    const char* name;
    std::vector<TextBlock::Line> lines;
    QStringList blocks;
  } cases[] = {
      {"bold title over plain body",
       {makeLine("Title", 0, 700, 100, 14, 14, true), makeLine("body one", 0, 680, 300, 10, 10),
        makeLine("body two", 0, 668, 300, 10, 10)},
       {"Title", "body one\nbody two"}},
      {"bold capitals 14 and 20 stay together",
       {makeLine("ДОГОВОР", 0, 700, 100, 20, 20, true), makeLine("ПОСТАВКИ", 0, 680, 100, 14, 14, true)},
       {"ДОГОВОР\nПОСТАВКИ"}},
      {"bold lower case 14 and 20 split",
       {makeLine("договор", 0, 700, 100, 20, 20, true), makeLine("поставки", 0, 680, 100, 14, 14, true)},
       {"договор", "поставки"}},
      {"sizes 11 and 14.5 stay together",
       {makeLine("one", 0, 700, 100, 11, 11), makeLine("two", 0, 686, 100, 14.5, 14.5f)}, {"one\ntwo"}},
      {"empty lines are skipped", {makeLine("one", 0, 700, 100, 11), makeLine(" ", 0, 686, 100, 11)}, {"one"}},
      {"a block of empty lines vanishes", {makeLine(" ", 0, 700, 100, 11), makeLine("", 0, 686, 100, 11)}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ocrtest::textsOf(splitBlocksByLineStyle({makeBlock(c.lines)})), c.blocks) << c.name;
  }

  TextBlock familyChange = makeBlock({makeLine("one", 0, 700, 100, 11), makeLine("two", 0, 686, 100, 11)});
  familyChange.lines[0].fontFamily = QStringLiteral("Times New Roman");
  familyChange.lines[1].fontFamily = QStringLiteral(" times new roman ");
  EXPECT_EQ(splitBlocksByLineStyle({familyChange}).size(), 1u);
  familyChange.lines[1].fontFamily = QStringLiteral("Arial");
  EXPECT_EQ(splitBlocksByLineStyle({familyChange}).size(), 2u);

  TextBlock image;
  image.isImage = true;
  image.lines = {makeLine("a", 0, 0, 1, 1), makeLine("b", 0, 0, 1, 1, 30, true)};
  const auto out = splitBlocksByLineStyle({image});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_TRUE(out[0].isImage);
}

TEST(TextStyleRules, RunsGetOneSizeAndEvenSpacing) {
  std::vector<TextBlock> out;
  TextBlock run = makeBlock({makeLine("one", 10, 700, 100, 12, 11), makeLine("two", 10, 684, 100, 10, 12),
                             makeLine("three", 10, 660, 120, 11, 10)});
  run.page = 7;
  finishStyleRunBlock(out, run);
  ASSERT_EQ(out.size(), 1u);
  const TextBlock& b = out[0];
  const double ys[] = {700, 680, 660};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(b.lines[i].rect.y(), ys[i]);
    EXPECT_DOUBLE_EQ(b.lines[i].rect.height(), 11.0);
    EXPECT_FLOAT_EQ(b.lines[i].fontSize, 11.0f);
  }
  EXPECT_EQ(b.text, QStringLiteral("one\ntwo\nthree"));
  EXPECT_EQ(b.rect, QRectF(10, 660, 120, 51));
  EXPECT_EQ(b.rect, b.originalRect);
  EXPECT_EQ(b.page, 7);

  // Two lines keep their spacing.
  out.clear();
  finishStyleRunBlock(out, makeBlock({makeLine("one", 10, 700, 100, 12), makeLine("two", 10, 671, 100, 10)}));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_DOUBLE_EQ(out[0].lines[1].rect.y(), 671);

  out.clear();
  finishStyleRunBlock(out, makeBlock({makeLine(" ", 10, 700, 100, 12)}));
  EXPECT_TRUE(out.empty());
}

TEST(TextStyleRules, BodyStyleOnlyForWideMiddleParagraphs) {
  struct Case {
    const char* name;
    double topShare;  // of the page height, from the top
    double width;
    bool normalised;
  } cases[] = {
      {"wide paragraph at 30 %", 0.30, 300, true},
      {"letterhead at 20 %", 0.20, 300, false},
      {"narrow paragraph at 30 %", 0.30, 200, false},
      {"signature zone at 80 %", 0.80, 300, false},
  };
  const double pageWidth = 500, pageHeight = 800;
  for (const Case& c : cases) {
    const double top = pageHeight * (1 - c.topShare);
    TextBlock block = makeBlock({makeLine("Первая строка", 50, top - 12, c.width, 12, 12, true),
                                 makeLine("Вторая", 50, top - 26, c.width, 12, 13),
                                 makeLine("Третья", 50, top - 40, c.width, 12, 0.5f)});
    block.fontFamily = QStringLiteral("Liberation Serif");
    block.bold = true;
    std::vector<TextBlock> blocks = {block};
    normalizeBodyTextStyle(blocks, pageWidth, pageHeight);
    const TextBlock& b = blocks[0];
    if (c.normalised) {
      EXPECT_EQ(b.fontFamily, QStringLiteral("Times New Roman")) << c.name;
      EXPECT_FALSE(b.bold) << c.name;
      EXPECT_FLOAT_EQ(b.fontSize, 13.0f) << c.name;  // upper median of 12 and 13
      for (const auto& l : b.lines) {
        EXPECT_FLOAT_EQ(l.fontSize, 13.0f);
        EXPECT_FALSE(l.bold);
      }
    } else {
      EXPECT_EQ(b.fontFamily, QStringLiteral("Liberation Serif")) << c.name;
      EXPECT_TRUE(b.bold) << c.name;
    }
  }
}
