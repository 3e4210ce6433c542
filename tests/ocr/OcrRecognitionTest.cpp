// Recognition of drawn pages end to end, checked against what was drawn and
// against the tesseract command line on the same images.
#include "OcrTestPages.h"
#include "TestSupport.h"

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

class OcrRecognition : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    engine = std::make_unique<OcrEngine>();
    ready = engine->init(QStringLiteral("rus+eng"));
  }
  static void TearDownTestSuite() { engine.reset(); }
  void SetUp() override {
    if (!ready) GTEST_SKIP() << "tesseract language data rus+eng not installed";
  }

  std::vector<TextBlock> recognise(const PageDrawing& drawing, const QImage& image, double dpi) {
    return engine->recognizePage(image, 0, dpi / 72.0, pageHeightOf(drawing));
  }

  static std::unique_ptr<OcrEngine> engine;
  static bool ready;
};

std::unique_ptr<OcrEngine> OcrRecognition::engine;
bool OcrRecognition::ready = false;

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
    addParagraph(drawing, c.lines, QPointF(30, 40), 12);
    QImage image = renderPage(drawing, c.dpi);
    if (c.degraded) image = degrade(image, 1.0, 40);
    const QStringList expected = comparableWords(c.lines.join(u' '));

    const double ours = wordRecall(expected, recognisedWords(recognise(drawing, image, c.dpi)));
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
