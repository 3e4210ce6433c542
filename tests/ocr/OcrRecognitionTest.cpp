// Recognition of drawn pages end to end, checked against what was drawn and
// against the tesseract command line on the same images.
#include "OcrTestPages.h"
#include "SharedOcrEngine.h"
#include "TestSupport.h"

#include "ocr/BlockGrouping.h"
#include "ocr/OcrEngine.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

using namespace ocrtest;

namespace {

const QStringList kEnglish = {
    QStringLiteral("The quarterly report describes the results of the survey"),
    QStringLiteral("carried out in twelve regions during the spring season."),
    QStringLiteral("Most participants answered every question in writing,"),
    QStringLiteral("and the remaining forms were completed by telephone."),
    QStringLiteral("Figures in the tables are rounded to the nearest whole"),
    QStringLiteral("number; totals may therefore differ slightly from sums."),
};

const QStringList kRussian = {
    QStringLiteral("Настоящий договор заключён между сторонами в городе"),
    QStringLiteral("Москве и вступает в силу со дня его подписания."),
    QStringLiteral("Исполнитель обязуется выполнить работы в срок,"),
    QStringLiteral("указанный в приложении, а заказчик обязуется принять"),
    QStringLiteral("и оплатить их в порядке, установленном договором."),
    QStringLiteral("Все споры решаются путём переговоров сторон."),
};

QStringList recognisedWords(const std::vector<TextBlock>& blocks) {
  QStringList words;
  for (const TextBlock& b : blocks) {
    for (const auto& line : b.lines) {
      for (const auto& w : line.words) words << comparableWords(w.text);
    }
  }
  return words;
}

double pageHeightOf(const PageDrawing& d) { return d.sizePt.height(); }

class OcrRecognition : public SharedOcrEngineTest {
protected:
  std::vector<TextBlock> recognise(const PageDrawing& drawing, const QImage& image, double dpi) {
    return engine->recognizePage(image, 0, dpi / 72.0, pageHeightOf(drawing));
  }
};

}  // namespace

TEST_F(OcrRecognition, WordRecallOnCleanAndDegradedPagesBesideCommandLine) {
  struct Case {
    const char* name;
    QStringList lines;
    double dpi;
    bool degraded;
    double minimumRecall;
  } cases[] = {
      {"english 300 dpi", kEnglish, 300, false, 0.95},
      {"russian 300 dpi", kRussian, 300, false, 0.95},
      {"english 200 dpi rotated noisy", kEnglish, 200, true, 0.90},
      {"russian 200 dpi rotated noisy", kRussian, 200, true, 0.90},
  };
  const bool haveCli = testsupport::hasTool(QStringLiteral("tesseract"));
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const Case& c : cases) {
    PageDrawing drawing;
    // Body text in the middle band of the page, where word gaps of justified
    // text do not split lines.
    addParagraph(drawing, c.lines, QPointF(30, 80), 12);
    QImage image = renderPage(drawing, c.dpi);
    if (c.degraded) image = degrade(image, 1.0, 40);
    const QStringList expected = comparableWords(c.lines.join(u' '));

    const std::vector<TextBlock> blocks = recognise(drawing, image, c.dpi);
    const double ours = wordRecall(expected, recognisedWords(blocks));
    if (!c.degraded) {
      // One paragraph, its lines as drawn, top to bottom.
      ASSERT_EQ(blocks.size(), 1u) << c.name;
      ASSERT_EQ(blocks[0].lines.size(), std::size_t(c.lines.size())) << c.name;
      for (std::size_t i = 1; i < blocks[0].lines.size(); ++i) {
        EXPECT_LT(blocks[0].lines[i].rect.y(), blocks[0].lines[i - 1].rect.y()) << c.name;
      }
    }
    QString reference = QStringLiteral("n/a");
    if (haveCli) {
      const QString png = dir.filePath(QStringLiteral("page.png"));
      ASSERT_TRUE(image.save(png));
      QByteArray out;
      ASSERT_EQ(testsupport::runTool(QStringLiteral("tesseract"),
                                     {png, QStringLiteral("stdout"), QStringLiteral("-l"), QStringLiteral("rus+eng")},
                                     &out),
                0);
      reference = QString::number(wordRecall(expected, comparableWords(QString::fromUtf8(out))), 'f', 3);
    }
    std::printf("[ recall ] %-32s ours %.3f  tesseract CLI %s\n", c.name, ours, qPrintable(reference));
    EXPECT_GE(ours, c.minimumRecall) << c.name;
  }
}

namespace {

// Colour distance per channel, the largest of the three.
int colourError(const QColor& a, const QColor& b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

const TextBlock* blockContaining(const std::vector<TextBlock>& blocks, const QString& word) {
  for (const TextBlock& b : blocks) {
    if (!b.isImage && comparableWords(b.text).contains(word.toLower())) return &b;
  }
  return nullptr;
}

}  // namespace

TEST_F(OcrRecognition, MeasuresSizeColourAndKeepsBoldOnlyWhereDocumentsBold) {
  PageDrawing drawing;
  drawing.sizePt = QSizeF(420, 320);
  drawing.texts.push_back({QStringLiteral("ДОГОВОР ПОСТАВКИ"), QPointF(30, 30), QStringLiteral("DejaVu Serif"), 18,
                           Qt::black, true});
  drawing.texts.push_back({QStringLiteral("Appendix to the contract"), QPointF(30, 64), QStringLiteral("DejaVu Serif"), 13,
                           Qt::black, true});
  addParagraph(drawing, kEnglish.mid(0, 3), QPointF(30, 110), 11);
  for (std::size_t i = 2; i < drawing.texts.size(); ++i) drawing.texts[i].color = QColor(20, 40, 160);
  drawing.texts.push_back({QStringLiteral("Signed copies are kept by both parties."), QPointF(30, 190),
                           QStringLiteral("Noto Serif"), 14, QColor(190, 20, 20), false});
  const std::vector<TextBlock> blocks = recognise(drawing, renderPage(drawing, 300), 300);

  struct Expectation {
    const char* word;
    double sizePt;
    QColor color;
    bool bold;
  } expectations[] = {
      {"ПОСТАВКИ", 18, Qt::black, true},          // capitals keep their bold
      {"Appendix", 13, Qt::black, false},         // bold in running case is dropped
      {"quarterly", 11, QColor(20, 40, 160), false},
      {"parties", 14, QColor(190, 20, 20), false},
  };
  for (const Expectation& e : expectations) {
    const TextBlock* block = blockContaining(blocks, QString::fromUtf8(e.word));
    ASSERT_NE(block, nullptr) << e.word;
    EXPECT_NEAR(block->fontSize, e.sizePt, 0.15 * e.sizePt) << e.word;
    EXPECT_LE(colourError(block->color, e.color), 30) << e.word << " " << qPrintable(block->color.name());
    EXPECT_EQ(block->bold, e.bold) << e.word;
    EXPECT_EQ(block->fontFamily, QStringLiteral("Times New Roman")) << e.word;
    EXPECT_FALSE(block->italic);
    for (const auto& line : block->lines) EXPECT_EQ(line.bold, e.bold) << e.word;
  }
}

TEST_F(OcrRecognition, TwoColumnPageGivesBlocksPerColumn) {
  PageDrawing drawing;
  drawing.sizePt = QSizeF(420, 260);
  // No word stands in both columns.
  const QStringList left = {QStringLiteral("Rivers carry water"), QStringLiteral("from high mountains"),
                            QStringLiteral("down through valleys"), QStringLiteral("into distant seas.")};
  const QStringList right = {QStringLiteral("Birds gather seeds"), QStringLiteral("before every winter"),
                             QStringLiteral("comes over northern"), QStringLiteral("forests and fields.")};
  addParagraph(drawing, left, QPointF(30, 40), 12);
  addParagraph(drawing, right, QPointF(240, 40), 12);
  const std::vector<TextBlock> blocks = recognise(drawing, renderPage(drawing, 300), 300);

  const double middle = 225;
  int leftBlocks = 0, rightBlocks = 0;
  for (const TextBlock& b : blocks) {
    ASSERT_FALSE(b.isImage);
    const bool isLeft = b.rect.right() < middle;
    const bool isRight = b.rect.left() > middle;
    EXPECT_TRUE(isLeft || isRight) << "block spans both columns: " << qPrintable(b.text);
    leftBlocks += isLeft;
    rightBlocks += isRight;
    const QStringList words = comparableWords(b.text);
    for (const QString& w : comparableWords((isLeft ? right : left).join(u' '))) {
      EXPECT_FALSE(words.contains(w)) << qPrintable(w) << " in the wrong column";
    }
  }
  EXPECT_EQ(leftBlocks, 1);
  EXPECT_EQ(rightBlocks, 1);
}

TEST_F(OcrRecognition, RuledTableGivesOneRunPerCellAndNoPicture) {
  PageDrawing drawing;
  drawing.sizePt = QSizeF(420, 300);
  addParagraph(drawing, kEnglish.mid(0, 2), QPointF(30, 20), 11);
  const double columns[] = {30, 130, 270, 390};
  const double rows[] = {70, 95, 120, 145, 170};
  for (double x : columns) drawing.rules.push_back(QLineF(x, rows[0], x, rows[4]));
  for (double y : rows) drawing.rules.push_back(QLineF(columns[0], y, columns[3], y));
  const char* cells[4][3] = {{"Code", "Product", "Amount"},
                             {"Wire", "Copper", "1200"},
                             {"Bolt", "Steel", "350"},
                             {"Pane", "Glass", "48"}};
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      drawing.texts.push_back({QString::fromUtf8(cells[r][c]), QPointF(columns[c] + 8, rows[r] + 6),
                               QStringLiteral("DejaVu Sans"), 11, Qt::black, false});
    }
  }
  const QImage image = renderPage(drawing, 300);
  EXPECT_TRUE(isLikelyTablePage(image));
  const std::vector<TextBlock> blocks = recognise(drawing, image, 300);
  int found = 0;
  for (const TextBlock& b : blocks) {
    EXPECT_FALSE(b.isImage) << "the grid was taken for a picture";
    // Cells side by side never share a block.
    for (const auto& row : cells) {
      int cellsInBlock = 0;
      for (const char* cell : row) cellsInBlock += comparableWords(b.text).contains(QString::fromUtf8(cell).toLower());
      EXPECT_LE(cellsInBlock, 1) << qPrintable(b.text);
    }
  }
  for (const auto& row : cells) {
    for (const char* cell : row) found += blockContaining(blocks, QString::fromUtf8(cell)) != nullptr;
  }
  EXPECT_GE(found, 11);
}

TEST_F(OcrRecognition, PhotoBecomesOneImageBlockWithoutWordsOnIt) {
  PageDrawing drawing;
  drawing.sizePt = QSizeF(420, 320);
  // Short Latin words in the lowest 30 % of a page count as signature noise,
  // so all the text stands above the photo.
  addParagraph(drawing, kRussian.mid(0, 2), QPointF(30, 30), 11);
  addParagraph(drawing, kEnglish.mid(0, 1), QPointF(30, 75), 11);
  const QRectF photo(140, 130, 160, 110);
  drawing.pictures.push_back(photo);
  const double dpi = 300;
  const std::vector<TextBlock> blocks = recognise(drawing, renderPage(drawing, dpi), dpi);

  // The photo in page points with the origin at the bottom-left corner.
  const QRectF photoPdf(photo.x(), drawing.sizePt.height() - photo.bottom(), photo.width(), photo.height());
  int images = 0;
  bool imagesLast = true;
  bool seenImage = false;
  for (const TextBlock& b : blocks) {
    if (b.isImage) {
      ++images;
      seenImage = true;
      EXPECT_NEAR(b.rect.left(), photoPdf.left(), 2.0);
      EXPECT_NEAR(b.rect.right(), photoPdf.right(), 2.0);
      EXPECT_NEAR(b.rect.top(), photoPdf.top(), 2.0);
      EXPECT_NEAR(b.rect.bottom(), photoPdf.bottom(), 2.0);
      EXPECT_FALSE(b.image.isNull());
      continue;
    }
    if (seenImage) imagesLast = false;
    for (const auto& line : b.lines) {
      for (const auto& w : line.words) EXPECT_FALSE(photoPdf.intersects(w.rect)) << "word on the photo: " << qPrintable(w.text);
    }
  }
  EXPECT_EQ(images, 1);
  EXPECT_TRUE(imagesLast);
  EXPECT_TRUE(blockContaining(blocks, QStringLiteral("договор")));
  EXPECT_TRUE(blockContaining(blocks, QStringLiteral("quarterly")));
}
