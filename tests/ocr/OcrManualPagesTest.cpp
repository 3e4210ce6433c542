// Recognition of real manual pages, scanned-looking (300 dpi grey, a little
// skew and grain), against the words pdftotext reads from the same pages and
// against the tesseract command line on the same images.
#include "OcrTestPages.h"
#include "SharedOcrEngine.h"
#include "TestSupport.h"

#include "ocr/OcrEngine.h"

#include <QDir>
#include <QFont>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QPainter>
#include <QPainterPath>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

using namespace ocrtest;

namespace {

const QString kManual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
constexpr double kDpi = 300;

// Words of the recognised blocks in the order the blocks and lines give them.
QStringList wordsInOrder(const std::vector<TextBlock>& blocks) {
  QStringList words;
  for (const TextBlock& b : blocks)
    for (const auto& line : b.lines)
      for (const auto& w : line.words) words << comparableWords(w.text);
  return words;
}

// Share of the true neighbouring word pairs that stand next to each other in
// the recognised order too (as a multiset).
double adjacentOrder(const QStringList& truth, const QStringList& recognised) {
  if (truth.size() < 2) return 1.0;
  std::map<std::pair<QString, QString>, int> pairs;
  for (qsizetype i = 1; i < recognised.size(); ++i) ++pairs[{recognised[i - 1], recognised[i]}];
  int kept = 0, total = 0;
  for (qsizetype i = 1; i < truth.size(); ++i) {
    ++total;
    auto it = pairs.find({truth[i - 1], truth[i]});
    if (it != pairs.end() && it->second > 0) {
      --it->second;
      ++kept;
    }
  }
  return double(kept) / total;
}

// Only the true pairs whose both words were recognised count: order is
// judged apart from recall.
double adjacentOrderOfRecognised(const QStringList& truth, const QStringList& recognised) {
  std::map<QString, int> available;
  for (const QString& w : recognised) ++available[w];
  QStringList present;
  for (const QString& w : truth) {
    auto it = available.find(w);
    if (it != available.end() && it->second > 0) {
      --it->second;
      present << w;
    }
  }
  return adjacentOrder(present, recognised);
}

class OcrManualPages : public SharedOcrEngineTest {
protected:
  void SetUp() override {
    SharedOcrEngineTest::SetUp();
    if (IsSkipped()) return;
    for (const char* tool : {"pdftoppm", "pdftotext", "tesseract"})
      if (!testsupport::hasTool(QString::fromLatin1(tool))) GTEST_SKIP() << tool << " missing";
    ASSERT_TRUE(dir.isValid());
  }

  // A scanned-looking image of one page of a PDF: grey, skewed, grainy.
  QImage scannedPage(const QString& pdf, int page) {
    const QString stem = dir.filePath(QStringLiteral("page%1").arg(page));
    const QString number = QString::number(page);
    if (testsupport::runTool(QStringLiteral("pdftoppm"), {"-gray", "-r", QString::number(kDpi), "-f", number, "-l",
                                                          number, "-singlefile", "-png", pdf, stem}) != 0)
      return {};
    const QImage clean(stem + QStringLiteral(".png"));
    return clean.isNull() ? QImage() : degrade(clean, 0.6, 24).convertToFormat(QImage::Format_Grayscale8);
  }

  // Checks one page against the command line and prints the figures.
  void expectAsGoodAsTheCommandLine(const char* name, const QImage& image, const QStringList& truth,
                                    std::vector<TextBlock>* blocksOut = nullptr) {
    const double scale = kDpi / 72.0;
    const std::vector<TextBlock> blocks = engine->recognizePage(image, 0, scale, image.height() / scale);
    const QStringList ours = wordsInOrder(blocks);
    const double recall = wordRecall(truth, ours);
    const double reference = wordRecall(truth, commandLineWords(image));
    const double order = adjacentOrderOfRecognised(truth, ours);
    std::printf("[ scanned ] %-22s %4lld words: recall ours %.3f, command line %.3f; neighbours kept %.3f\n", name,
                truth.size(), recall, reference, order);
    EXPECT_GE(recall, reference - 0.005) << name;
    EXPECT_GE(order, 0.95) << name;
    if (blocksOut) *blocksOut = blocks;
  }

  QStringList commandLineWords(const QImage& image) {
    const QString png = dir.filePath(QStringLiteral("scan.png"));
    if (!image.save(png)) return {};
    QByteArray out;
    if (testsupport::runTool(QStringLiteral("tesseract"), {png, "stdout", "-l", "rus+eng"}, &out) != 0) return {};
    return comparableWords(QString::fromUtf8(out));
  }

  QTemporaryDir dir;
};


// Words laid out as justified lines of a column, each word drawn on its own.
double setColumn(PageDrawing& drawing, QStringList& words, QPointF topLeft, double width, double bottom,
                 double sizePt) {
  // Measured as the page renderer draws: points on an image device.
  QImage device(1, 1, QImage::Format_RGB32);
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPointSizeF(sizePt * 72.0 / device.logicalDpiY());
  const QFontMetricsF metrics(font, &device);
  const double space = metrics.horizontalAdvance(u' ');
  double y = topLeft.y();
  while (!words.isEmpty() && y + sizePt <= bottom) {
    QStringList line;
    double used = 0;
    while (!words.isEmpty()) {
      const double w = metrics.horizontalAdvance(words.first());
      if (!line.isEmpty() && used + space + w > width) break;
      used += (line.isEmpty() ? 0 : space) + w;
      line << words.takeFirst();
    }
    const double gap = line.size() > 1 && !words.isEmpty() ? space + (width - used) / (line.size() - 1) : space;
    double x = topLeft.x();
    for (const QString& word : line) {
      DrawnText t;
      t.text = word;
      t.topLeft = QPointF(x, y);
      t.sizePt = sizePt;
      drawing.texts.push_back(t);
      x += metrics.horizontalAdvance(word) + gap;
    }
    y += sizePt * 1.3;
  }
  return y;
}

}  // namespace

TEST_F(OcrManualPages, ManualPagesKeepAsManyWordsAsTheCommandLineInReadingOrder) {
  if (!QFile::exists(kManual)) GTEST_SKIP() << "gnuplot-doc is not installed";
  for (int page : {33, 47, 60}) {
    const QImage image = scannedPage(kManual, page);
    ASSERT_FALSE(image.isNull()) << page;
    QByteArray text;
    ASSERT_EQ(testsupport::runTool(QStringLiteral("pdftotext"),
                                   {"-f", QString::number(page), "-l", QString::number(page), kManual, "-"}, &text),
              0);
    expectAsGoodAsTheCommandLine(qPrintable(QStringLiteral("manual page %1").arg(page)), image,
                                 comparableWords(QString::fromUtf8(text)));
  }
}

TEST_F(OcrManualPages, TwoJustifiedColumnsAreReadColumnByColumn) {
  // Plain English prose that every Debian system has.
  QFile licence(QStringLiteral("/usr/share/common-licenses/GPL-3"));
  if (!licence.open(QIODevice::ReadOnly)) GTEST_SKIP() << "no licence text to set";
  const QString prose = QString::fromUtf8(licence.readAll()).section(QStringLiteral("Preamble"), 1);
  QStringList words = prose.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  const QStringList all = words;
  // A gutter of 20 pt: narrower than the widest gap a line may keep.
  PageDrawing drawing;
  drawing.sizePt = QSizeF(595, 842);
  setColumn(drawing, words, QPointF(50, 60), 237, 780, 10);
  setColumn(drawing, words, QPointF(307, 60), 237, 780, 10);
  const QStringList drawn = all.mid(0, all.size() - words.size());
  const QImage image = degrade(renderPage(drawing, kDpi), 0.6, 24).convertToFormat(QImage::Format_Grayscale8);
  expectAsGoodAsTheCommandLine("two columns", image, comparableWords(drawn.join(u' ')));
}

TEST_F(OcrManualPages, SignatureScribblesBecomePicturesAndRunningTextStays) {
  const QStringList contract = {
      QStringLiteral("Настоящий договор заключён между сторонами в городе Москве и"),
      QStringLiteral("вступает в силу со дня его подписания обеими сторонами."),
      QStringLiteral("Исполнитель обязуется выполнить работы в срок, указанный в"),
      QStringLiteral("приложении, а заказчик обязуется принять и оплатить их в"),
      QStringLiteral("порядке, установленном договором. Все споры решаются путём"),
      QStringLiteral("переговоров, а при недостижении согласия в суде по месту"),
      QStringLiteral("нахождения ответчика. Договор составлен в двух экземплярах."),
  };
  PageDrawing drawing;
  drawing.sizePt = QSizeF(595, 842);
  addParagraph(drawing, contract, QPointF(60, 90), 12);
  // The lowest 30 % of the page: running text, then the signature lines.
  addParagraph(drawing, contract.mid(0, 4), QPointF(60, 600), 12);
  addParagraph(drawing, {QStringLiteral("Исполнитель: ____________ Иванов И. И."),
                         QStringLiteral("Заказчик: ____________ Петров П. П.")},
               QPointF(60, 700), 12, QStringLiteral("DejaVu Serif"), 3.0);
  QImage clean = renderPage(drawing, kDpi);
  // Two signatures above the blanks, two more marks below the text.
  const double s = kDpi / 72.0;
  const std::vector<QRectF> scribbles = {{160, 668, 75, 32}, {160, 704, 75, 32}, {430, 770, 90, 34}, {300, 790, 70, 28}};
  {
    QPainter painter(&clean);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(s, s);
    painter.setPen(QPen(QColor(20, 30, 110), 1.6));
    for (const QRectF& r : scribbles) {
      QPainterPath path(QPointF(r.left(), r.center().y()));
      path.cubicTo(r.left() + r.width() * 0.2, r.top(), r.left() + r.width() * 0.35, r.bottom(), r.center().x(), r.center().y());
      path.cubicTo(r.center().x() + r.width() * 0.1, r.top(), r.right() - r.width() * 0.2, r.bottom(), r.right(), r.top() + 4);
      path.cubicTo(r.right() - r.width() * 0.3, r.center().y(), r.left() + r.width() * 0.3, r.bottom() - 2, r.left() + 6, r.bottom() - 6);
      painter.drawPath(path);
    }
  }
  const QImage image = degrade(clean, 0.6, 24).convertToFormat(QImage::Format_Grayscale8);
  QStringList running = contract;
  running += contract.mid(0, 4);
  std::vector<TextBlock> blocks;
  expectAsGoodAsTheCommandLine("contract with signatures", image, comparableWords(running.join(u' ')), &blocks);
  // Every scribble lies on a picture block (blocks are in points, y upwards).
  for (const QRectF& r : scribbles) {
    const QPointF centre(r.center().x(), drawing.sizePt.height() - r.center().y());
    const bool covered = std::any_of(blocks.begin(), blocks.end(), [&](const TextBlock& b) {
      return b.isImage && b.rect.adjusted(-4, -4, 4, 4).contains(centre);
    });
    EXPECT_TRUE(covered) << r.x() << "," << r.y();
  }
}
