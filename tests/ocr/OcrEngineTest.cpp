#include "OcrTestLines.h"
#include "OcrTestPages.h"

#include "ocr/OcrEngine.h"
#include "ocr/OcrImageGeometry.h"
#include "ocr/OcrPagePipeline.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QPainter>

#include <leptonica/allheaders.h>

#include <gtest/gtest.h>

using ocrtest::makeBlock;
using ocrtest::makeLine;

namespace {

// Threads of this process other than Qt's own pool workers (image scaling and
// conversion may use those).
int processThreadCount() {
  int count = 0;
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "Thread (pooled)") continue;
    ++count;
  }
  return count;
}

}  // namespace

TEST(OcrEngineGeometry, CropRectangleOfPageRectangle) {
  const QImage image(200, 100, QImage::Format_RGB32);
  struct Case {
    const char* name;
    QRectF pdf;
    double scale;
    int margin;
    QRect expected;
  } cases[] = {
      // Page 50 pt high at 2 px/pt: y 30..40 pt is pixel rows 20..40.
      {"inside", QRectF(10, 30, 20, 10), 2.0, 0, QRect(20, 20, 40, 20)},
      {"with margin", QRectF(10, 30, 20, 10), 2.0, 3, QRect(17, 17, 46, 26)},
      {"fractional edges round outwards", QRectF(10.2, 30.2, 19.5, 9.5), 2.0, 0, QRect(20, 20, 40, 20)},
      {"zero width", QRectF(10, 30, 0, 10), 2.0, 1, QRect(19, 19, 3, 22)},
      {"clipped at the image", QRectF(-5, 40, 20, 20), 2.0, 1, QRect(0, 0, 31, 21)},
      {"outside", QRectF(500, 30, 20, 10), 2.0, 3, QRect()},
  };
  for (const Case& c : cases) {
    const QRect crop = imageCropForPdfRect(c.pdf, image, c.scale, 50, c.margin);
    if (c.expected.isNull()) {
      EXPECT_TRUE(crop.isEmpty()) << c.name;
    } else {
      EXPECT_EQ(crop, c.expected) << c.name;
    }
  }
}

TEST(OcrEngineGeometry, PixHoldsTheSamePixels) {
  QImage image(3, 2, QImage::Format_ARGB32);
  image.fill(Qt::white);
  image.setPixel(0, 0, qRgb(10, 20, 30));
  image.setPixel(2, 1, qRgb(200, 100, 50));
  Pix* pix = qImageToPix(image);
  ASSERT_NE(pix, nullptr);
  EXPECT_EQ(pixGetWidth(pix), 3);
  EXPECT_EQ(pixGetHeight(pix), 2);
  EXPECT_EQ(pixGetDepth(pix), 32);
  auto at = [&](int x, int y) {
    l_uint32 value = 0;
    pixGetPixel(pix, x, y, &value);
    return value;
  };
  EXPECT_EQ(at(0, 0), (10u << 24) | (20u << 16) | (30u << 8));
  EXPECT_EQ(at(2, 1), (200u << 24) | (100u << 16) | (50u << 8));
  EXPECT_EQ(at(1, 0), 0xFFFFFF00u);
  pixDestroy(&pix);
  EXPECT_EQ(qImageToPix(QImage()), nullptr);
}

TEST(OcrPagePipeline, RecognisedWordsMendedAndFiltered) {
  struct Case {
    const char* text;
    float confidence;
    QRectF rect;
    bool kept;
    const char* result;
  } cases[] = {
      {"Noun", 20, QRectF(10, 500, 30, 10), true, "№ п/п"},
      {" №шп ", 20, QRectF(10, 500, 30, 10), true, "№ п/п"},
      {"yi,", 90, QRectF(10, 500, 30, 10), true, "ул.,"},
      {"у1,", 90, QRectF(10, 500, 30, 10), true, "ул.,"},
      {"Men.", 90, QRectF(10, 500, 30, 10), true, "Исп."},
      {"аластр", 90, QRectF(10, 500, 30, 10), true, "номер"},
      {"‘тел.", 90, QRectF(10, 500, 30, 10), true, "тел."},
      {"'тел.", 90, QRectF(10, 500, 30, 10), true, "тел."},
      {"`тел.", 90, QRectF(10, 500, 30, 10), true, "тел."},
      {"noun", 90, QRectF(10, 500, 30, 10), true, "noun"},     // case-sensitive
      {"слово", 37.9f, QRectF(10, 500, 30, 10), false, ""},
      {"слово", 38, QRectF(10, 500, 30, 10), true, "слово"},
      {"слово", 90, QRectF(10, 500, 1, 10), false, ""},         // one point wide
      {"слово", 90, QRectF(10, 500, 30, 1), false, ""},
      {"   ", 90, QRectF(10, 500, 30, 10), false, ""},
      {"abc", 90, QRectF(10, 50, 30, 10), true, "abc"},         // the signature zone is judged by line
  };
  for (const Case& c : cases) {
    OcrWord word{QString::fromUtf8(c.text), c.rect, c.confidence};
    EXPECT_EQ(acceptRecognizedWord(word), c.kept) << c.text;
    if (c.kept) {
      EXPECT_EQ(word.text, QString::fromUtf8(c.result)) << c.text;
    }
  }
}

TEST(OcrPagePipeline, ContainedDuplicatesRemoved) {
  TextBlock::Line twoWords = makeLine("Общество Ромашка", 100, 500, 200, 12);
  twoWords.words = {{"Общество", QRectF(100, 500, 95, 12), 90.0f}, {"Ромашка", QRectF(205, 500, 95, 12), 90.0f}};
  const TextBlock longer = makeBlock({twoWords});
  struct Case {
    const char* name;
    TextBlock candidate;
    bool removed;
  } cases[] = {
      {"a second reading of one word", makeBlock({makeLine("Ромашка", 205, 501, 95, 11)}), true},
      {"case-insensitive", makeBlock({makeLine("ромашка", 220, 501, 60, 11)}), true},
      {"part of a longer word is no second reading", makeBlock({makeLine("ОБЩ", 110, 500, 30, 12)}), false},
      {"same text 30 pt away", makeBlock({makeLine("ОБЩ", 110, 470, 30, 12)}), false},
      {"two characters", makeBlock({makeLine("Ро", 220, 500, 20, 12)}), false},
      {"text not contained", makeBlock({makeLine("Лютик", 220, 500, 60, 12)}), false},
  };
  for (const Case& c : cases) {
    std::vector<TextBlock> blocks = {c.candidate, longer};
    removeContainedDuplicateBlocks(blocks);
    EXPECT_EQ(blocks.size(), c.removed ? 1u : 2u) << c.name;
    EXPECT_EQ(blocks.back().text, longer.text) << c.name;
  }
  // Nineteen characters are never taken for a duplicate.
  std::vector<TextBlock> long19 = {makeBlock({makeLine("Общество Ромашка ОО", 100, 500, 150, 12)}),
                                   makeBlock({makeLine("Общество Ромашка ООО и партнёры", 100, 500, 250, 12)})};
  removeContainedDuplicateBlocks(long19);
  EXPECT_EQ(long19.size(), 2u);
  // Two copies of the same short text: neither is longer, both stay.
  std::vector<TextBlock> twins = {makeBlock({makeLine("ОБЩ", 110, 500, 30, 12)}), makeBlock({makeLine("ОБЩ", 110, 500, 30, 12)})};
  removeContainedDuplicateBlocks(twins);
  EXPECT_EQ(twins.size(), 2u);
}

TEST(OcrPagePipeline, DocumentStyleKeepsMeasuredSizeAndColour) {
  TextBlock block = makeBlock({makeLine("ЗАГОЛОВОК ДОКУМЕНТА", 50, 700, 300, 16, 16.5f, true),
                               makeLine("обычный текст", 50, 680, 120, 12, 12.0f, true)});
  for (auto& line : block.lines) {
    line.fontFamily = QStringLiteral("Liberation Serif");
    line.italic = true;
    line.color = QColor(200, 0, 0);
  }
  TextBlock image;
  image.isImage = true;
  image.fontFamily = QStringLiteral("Arial");
  std::vector<TextBlock> blocks = {block, image};
  applyDocumentStyle(blocks);
  const TextBlock& b = blocks[0];
  EXPECT_EQ(b.fontFamily, QStringLiteral("Times New Roman"));
  EXPECT_FALSE(b.italic);
  EXPECT_TRUE(b.bold);
  EXPECT_FLOAT_EQ(b.fontSize, 16.5f);
  EXPECT_EQ(b.color, QColor(200, 0, 0));
  EXPECT_TRUE(b.lines[0].bold);
  EXPECT_FALSE(b.lines[1].bold);
  for (const auto& line : b.lines) {
    EXPECT_EQ(line.fontFamily, QStringLiteral("Times New Roman"));
    EXPECT_FALSE(line.italic);
  }
  EXPECT_FLOAT_EQ(b.lines[1].fontSize, 12.0f);
  EXPECT_EQ(blocks[1].fontFamily, QStringLiteral("Arial"));
}

TEST(OcrEngineState, NotReadyEnginesReturnNothing) {
  OcrEngine engine;
  QImage page(100, 100, QImage::Format_RGB32);
  page.fill(Qt::white);
  EXPECT_FALSE(engine.isReady());
  EXPECT_TRUE(engine.recognizePage(page, 0, 1.0, 100).empty());
  EXPECT_TRUE(engine.recognizeText(page).isEmpty());
  EXPECT_FALSE(engine.init(QStringLiteral("no-such-language")));
  EXPECT_FALSE(engine.isReady());
  if (!engine.init(QStringLiteral("eng"))) GTEST_SKIP() << "tesseract eng data not installed";
  EXPECT_TRUE(engine.isReady());
  EXPECT_TRUE(engine.recognizeText(QImage(3, 30, QImage::Format_RGB32)).isEmpty());
  EXPECT_TRUE(engine.recognizePage(QImage(30, 3, QImage::Format_RGB32), 0, 1.0, 3).empty());
  // A failed re-initialisation leaves the engine not ready.
  EXPECT_FALSE(engine.init(QStringLiteral("no-such-language")));
  EXPECT_FALSE(engine.isReady());
  EXPECT_TRUE(engine.recognizePage(page, 0, 1.0, 100).empty());
}

TEST(OcrEngineState, InstalledLanguages) {
  const QStringList languages = OcrEngine().availableLanguages();
  if (languages.isEmpty()) GTEST_SKIP() << "no tesseract language data";
  QStringList sorted = languages;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(languages, sorted);
  for (const QString& name : languages) EXPECT_FALSE(name.contains(u'.')) << qPrintable(name);
  EXPECT_TRUE(languages.contains(QStringLiteral("eng")));
}

TEST(OcrEngineState, TextOfSmallImageAndPictureOnlyPageOnOneThread) {
  OcrEngine engine;
  if (!engine.init(QStringLiteral("rus+eng"))) GTEST_SKIP() << "tesseract rus+eng data not installed";
  const int threadsBefore = processThreadCount();

  QImage label(360, 70, QImage::Format_RGB32);
  label.fill(Qt::white);
  {
    QPainter painter(&label);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(32);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(12, 48), QStringLiteral("Образец 2024"));
  }
  EXPECT_EQ(engine.recognizeText(label), QStringLiteral("Образец 2024"));

  // Nothing to read: no text blocks, but the picture is still found.
  ocrtest::PageDrawing drawing;
  drawing.sizePt = QSizeF(300, 300);
  drawing.pictures.push_back(QRectF(80, 100, 120, 90));
  const auto blocks = engine.recognizePage(ocrtest::renderPage(drawing, 150), 2, 150 / 72.0, 300);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_TRUE(blocks[0].isImage);
  EXPECT_EQ(blocks[0].page, 2);

  // Recognition stays on the calling thread: no OpenMP pool was started.
  EXPECT_EQ(processThreadCount(), threadsBefore);
}
