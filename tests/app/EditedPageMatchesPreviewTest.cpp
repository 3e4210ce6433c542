// What the editor shows is what the saved page shows: a line formatted in
// part, a new text block and edited lines wider than the original face, each
// driven through a shown main window with mouse and keys, saved with Ctrl+S
// and read back with pdftoppm and pdftotext (-bbox).
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <cmath>

using namespace apptest;
using namespace testsupport;

namespace {

constexpr double kZoom = 1.5;
constexpr QSizeF kPage(595, 842);

class PreviewWindow : public TestWindow {
 public:
  using MainWindow::boldButton;
  using MainWindow::fontSizeSpin;
  using MainWindow::growFontButton;
  using MainWindow::italicButton;
};

struct Line {
  QPointF at;  // baseline start, points from the top-left
  QString text;
  bool rightAligned = false;  // `at.x` is then the right edge
  bool centred = false;       // `at.x` is then the centre
};

bool writeSerifPdf(const QString& path, const QList<Line>& lines) {
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setPageSize(QPageSize(kPage, QPageSize::Point));
  QPainter painter;
  if (!painter.begin(&writer)) return false;
  QFont font(QStringLiteral("Liberation Serif"));
  font.setPointSizeF(11);
  painter.setFont(font);
  for (const Line& line : lines) {
    QPointF at = line.at;
    if (line.rightAligned) at.rx() -= painter.fontMetrics().horizontalAdvance(line.text);
    if (line.centred) at.rx() -= painter.fontMetrics().horizontalAdvance(line.text) / 2.0;
    painter.drawText(at, line.text);
  }
  return painter.end();
}

struct Word {
  QString text;
  QRectF box;  // points, top-left origin
};

QList<Word> bboxWords(const QString& path) {
  QByteArray out;
  QList<Word> words;
  if (runTool("pdftotext", {"-bbox", "-f", "1", "-l", "1", path, "-"}, &out) != 0) return words;
  static const QRegularExpression re(QStringLiteral(
      "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
  for (auto it = re.globalMatch(QString::fromUtf8(out)); it.hasNext();) {
    const auto m = it.next();
    const QRectF box(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                     QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
    words.append({m.captured(5).replace("&amp;", "&"), box});
  }
  return words;
}

QString pageText(const QString& path) {
  QByteArray out;
  runTool("pdftotext", {"-f", "1", "-l", "1", path, "-"}, &out);
  return QString::fromUtf8(out).simplified();
}

// Mean absolute grey difference of two images of one size, 0..255. Pixels
// of the editor's blue block outlines in `shown` are left out.
double meanDifference(const QImage& shown, const QImage& saved) {
  const QImage a = shown.convertToFormat(QImage::Format_RGB32);
  const QImage b = saved.convertToFormat(QImage::Format_RGB32);
  double sum = 0;
  qint64 count = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      if (qBlue(p) > qRed(p) + 40) continue;
      sum += std::abs(qGray(p) - qGray(b.pixel(x, y)));
      ++count;
    }
  }
  return sum / std::max<qint64>(count, 1);
}

// Horizontal extent of the dark pixels (grey below 128), or an empty range.
std::pair<int, int> inkColumns(const QImage& image) {
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  int left = grey.width(), right = -1;
  for (int y = 0; y < grey.height(); ++y)
    for (int x = 0; x < grey.width(); ++x)
      if (grey.constScanLine(y)[x] < 128 && qBlue(image.pixel(x, y)) <= qRed(image.pixel(x, y)) + 40) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  return {left, right};
}

// Key presses for any text: QTest spells out only Latin keys.
void typeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() < 0x80)
      QTest::keyClick(widget, c.toLatin1());
    else
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

class EditedPageMatchesPreview : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    if (!hasTool("pdftoppm") || !hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  }

  void openWindow(const QString& file) {
    window = std::make_unique<PreviewWindow>();
    window->resize(1400, 1000);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->openFile(file);
    ASSERT_TRUE(window->currentDocument->isOpen());
    window->view->setZoom(kZoom);
  }

  QWidget* viewport() const { return window->view->viewport(); }

  // Screen rectangle of a region given in top-origin page points.
  QRect screenRect(const QRectF& topRect) const {
    const QRectF pdf(topRect.x(), kPage.height() - topRect.bottom(), topRect.width(), topRect.height());
    return window->view->pdfRectToScreenRect(0, pdf).toAlignedRect();
  }

  // The viewport as painted once the page render has arrived.
  QImage shownRegion(const QRectF& topRect) {
    for (int i = 0; i < 20; ++i) QTest::qWait(50);
    const QImage all = viewport()->grab().toImage();
    if (qEnvironmentVariableIsSet("ULVO_KEEP_REGIONS")) all.save(QStringLiteral("/tmp/viewport.png"));
    return all.copy(screenRect(topRect));
  }

  QImage savedRegion(const QString& file, const QRectF& topRect) {
    const QString prefix = dir.filePath(QStringLiteral("render"));
    EXPECT_EQ(runTool("pdftoppm", {"-r", QString::number(72 * kZoom), "-f", "1", "-l", "1", "-png", "-singlefile",
                                   file, prefix}),
              0);
    const QImage page(prefix + ".png");
    const QRect r = screenRect(topRect);
    return page.copy(QRectF(topRect.topLeft() * kZoom, r.size()).toRect());
  }

  // The preview and the saved page agree in the region: little grey
  // difference, and the ink spans the same columns.
  void expectSavedLikePreview(const QImage& shown, const QImage& saved, double bound) {
    ASSERT_FALSE(shown.isNull());
    ASSERT_EQ(shown.size(), saved.size());
    if (qEnvironmentVariableIsSet("ULVO_KEEP_REGIONS")) {
      static int n = 0;
      shown.save(QStringLiteral("/tmp/region-%1-shown.png").arg(n));
      saved.save(QStringLiteral("/tmp/region-%1-saved.png").arg(n++));
    }
    const double diff = meanDifference(shown, saved);
    EXPECT_LT(diff, bound) << "mean grey difference " << diff;
    const auto [shownLeft, shownRight] = inkColumns(shown);
    const auto [savedLeft, savedRight] = inkColumns(saved);
    const int tolerance = std::max(6, shown.width() / 30);
    EXPECT_NEAR(savedLeft, shownLeft, tolerance);
    EXPECT_NEAR(savedRight, shownRight, tolerance);
    std::printf("mean grey difference %.2f, ink %d..%d shown, %d..%d saved\n", diff, shownLeft, shownRight, savedLeft,
                savedRight);
  }

  void clickAt(const QPointF& topPoint) {
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, screenRect(QRectF(topPoint, QSizeF(1, 1))).topLeft());
  }

  void saveWithKeys() {
    QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
    QTest::qWait(50);
    EXPECT_FALSE(window->currentDocument->isModified());
  }

  QTemporaryDir dir;
  std::unique_ptr<PreviewWindow> window;
};

}  // namespace

TEST_F(EditedPageMatchesPreview, APartlyFormattedLineSavesAsTheEditorLaysItOut) {
  const QString path = dir.filePath(QStringLiteral("help.pdf"));
  const QString sentence = QStringLiteral("Gnuplot has an inbuilt help facility similar to the one in VMS systems");
  ASSERT_TRUE(writeSerifPdf(path, {{{72, 200}, QStringLiteral("The help command opens the online manual.")},
                                   {{72, 216}, sentence},
                                   {{72, 232}, QStringLiteral("Topics are listed one per line below it.")}}));
  openWindow(path);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(window->view->isEditMode());

  clickAt({90, 212});
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  ASSERT_EQ(editor->toPlainText(), sentence);
  // Select "inbuilt help facility similar t" with the keyboard.
  QTest::keyClick(editor, Qt::Key_Home);
  for (int i = 0; i < int(sentence.indexOf("inbuilt")); ++i) QTest::keyClick(editor, Qt::Key_Right);
  for (int i = 0; i < 31; ++i) QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
  ASSERT_EQ(editor->textCursor().selectedText(), QStringLiteral("inbuilt help facility similar t"));
  QTest::mouseClick(window->boldButton, Qt::LeftButton);
  QTest::mouseClick(window->italicButton, Qt::LeftButton);
  QTest::mouseClick(window->growFontButton, Qt::LeftButton);
  QTest::mouseClick(window->growFontButton, Qt::LeftButton);
  window->view->setActiveTextColor(Qt::red);
  QTest::qWait(50);  // the block grows to its text a moment later
  QTest::keyClick(editor, Qt::Key_Escape);
  ASSERT_EQ(window->view->activeTextEditor(), nullptr);

  const QRectF region(66, 203, 475, 20);
  const QImage shown = shownRegion(region);
  saveWithKeys();
  expectSavedLikePreview(shown, savedRegion(path, region), 25.0);

  const QString text = pageText(path);
  EXPECT_TRUE(text.contains(sentence)) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("inbuilt")), 1);
  const QString others =
      QStringLiteral("The help command opens the online manual. Topics are listed one per line below it.");
  for (const Word& word : bboxWords(path)) {
    if (!sentence.contains(word.text) || others.contains(word.text)) continue;
    EXPECT_GT(word.box.top(), 200) << word.text.toStdString();
    EXPECT_LT(word.box.bottom(), 224) << word.text.toStdString();
    EXPECT_LT(word.box.right(), 540) << word.text.toStdString();
  }
}

TEST_F(EditedPageMatchesPreview, ANewTextBlockIsWrittenAtTheRibbonSizeInsideItsBox) {
  const QString path = dir.filePath(QStringLiteral("blank.pdf"));
  ASSERT_TRUE(writeSerifPdf(path, {{{72, 100}, QStringLiteral("Heading of the page")}}));
  openWindow(path);
  const int size = window->fontSizeSpin->value();

  // A click with the text tool opens the editor over a box of the default size.
  QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
  clickAt({300, 600});
  auto* clickEditor = viewport()->findChild<QTextEdit*>(QStringLiteral("InlineTextEditor"));
  ASSERT_NE(clickEditor, nullptr);
  EXPECT_TRUE(clickEditor->isVisible());
  QTest::keyClick(clickEditor, Qt::Key_Escape);
  QTest::qWait(10);

  // Insert tab, Текст, a drag of about 250 x 80 pixels.
  QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
  const QPoint from = screenRect(QRectF(100, 200, 1, 1)).topLeft();
  const QPoint to = from + QPoint(250, 80);
  QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(viewport(), from + QPoint(120, 40));
  QTest::mouseMove(viewport(), to);
  QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
  auto* inlineEditor = viewport()->findChild<QTextEdit*>(QStringLiteral("InlineTextEditor"));
  ASSERT_NE(inlineEditor, nullptr);
  QTest::keyClicks(inlineEditor, QStringLiteral("Inserted note ZEBRA-42"));
  QTest::keyClick(inlineEditor, Qt::Key_Return);
  typeText(inlineEditor, QStringLiteral("Вторая строка"));
  auto* confirm = viewport()->findChild<QPushButton*>(QStringLiteral("InlineEditorConfirm"));
  ASSERT_NE(confirm, nullptr);
  QTest::mouseClick(confirm, Qt::LeftButton);
  QTest::qWait(10);
  TextBlock block;
  for (const TextBlock& b : window->view->currentOcrBlocks())
    if (b.text.contains(QStringLiteral("ZEBRA"))) block = b;
  ASSERT_TRUE(block.textEdited);
  if (QTextEdit* editor = window->view->activeTextEditor()) QTest::keyClick(editor, Qt::Key_Escape);
  const QRectF box(block.rect.x(), kPage.height() - block.rect.bottom(), block.rect.width(), block.rect.height());
  const QRectF region = box.adjusted(-4, -4, 4, 4);
  const QImage shown = shownRegion(region);
  saveWithKeys();
  // The region holds the outline edit mode draws around an edited block.
  expectSavedLikePreview(shown, savedRegion(path, region), 10.5);

  const QString text = pageText(path);
  EXPECT_TRUE(text.contains(QStringLiteral("Inserted note ZEBRA-42 Вторая строка"))) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("ZEBRA")), 1);
  int inBox = 0;
  for (const Word& word : bboxWords(path)) {
    if (word.text == QStringLiteral("Heading") || word.text == "of" || word.text == "the" || word.text == "page")
      continue;
    ++inBox;
    EXPECT_TRUE(box.adjusted(-1, -1, 1, 1).contains(word.box)) << word.text.toStdString();
    // The ribbon's size, not the box's height.
    EXPECT_NEAR(word.box.height(), size * 1.15, size * 0.35) << word.text.toStdString();
  }
  EXPECT_EQ(inBox, 5);
}

TEST_F(EditedPageMatchesPreview, EditedLinesKeepTheirBoxAndAlignment) {
  const QString path = dir.filePath(QStringLiteral("report.pdf"));
  const QString body = QStringLiteral("The quarterly figures were reviewed by the board in detail");
  ASSERT_TRUE(writeSerifPdf(path, {{{523, 120}, QStringLiteral("Annual report 2026"), true},
                                   {{297.5, 160}, QStringLiteral("Minutes of the meeting of the board"), false, true},
                                   {{72, 300}, body},
                                   {{72, 284}, QStringLiteral("A line above the edited one, set in the body column.")},
                                   {{72, 316}, QStringLiteral("and approved without further changes.")}}));
  PdfDocument probe;
  ASSERT_TRUE(probe.open(path));
  const std::vector<TextBlock> original = probe.extractText(0);
  ASSERT_GE(original.size(), 2u);
  double bodyRight = 0;
  for (const TextBlock& b : original)
    if (b.text.contains(QStringLiteral("quarterly"))) bodyRight = b.rect.right();
  ASSERT_GT(bodyRight, 200);
  openWindow(path);
  QTest::keyClick(window.get(), Qt::Key_F2);

  const struct {
    QPointF click;
    QString text;
    QRectF region;  // top-origin points around the line
  } edits[] = {{{500, 116}, QStringLiteral("Annual report 2026, final edition"), QRectF(300, 104, 230, 22)},
               {{100, 296}, QStringLiteral("The quarterly figures were reviewed by the whole board in great detail"),
                QRectF(66, 289, 400, 16)},
               {{297, 156}, QStringLiteral("Board minutes"), QRectF(150, 146, 295, 20)}};
  for (const auto& edit : edits) {
    clickAt(edit.click);
    QTextEdit* editor = window->view->activeTextEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, edit.text);
    QTest::qWait(50);
    QTest::keyClick(editor, Qt::Key_Escape);
  }
  QImage shown[3];
  for (int i = 0; i < 3; ++i) shown[i] = shownRegion(edits[i].region);
  saveWithKeys();
  for (int i = 0; i < 3; ++i) expectSavedLikePreview(shown[i], savedRegion(path, edits[i].region), 25.0);

  const QString text = pageText(path);
  for (const auto& edit : edits) EXPECT_EQ(text.count(edit.text), 1) << text.toStdString();
  // No line runs past the right edge its original had; the heading stays centred.
  const QList<Word> words = bboxWords(path);
  double boardLeft = -1, minutesRight = -1;
  for (const Word& word : words) {
    if (word.text == QStringLiteral("edition")) {
      EXPECT_NEAR(word.box.right(), 523, 2.5);
    } else if (word.text == QStringLiteral("detail")) {
      EXPECT_LT(word.box.right(), bodyRight + 2.5);
    } else if (word.text == QStringLiteral("Board")) {
      boardLeft = word.box.left();
    } else if (word.text == QStringLiteral("minutes")) {
      minutesRight = word.box.right();
    }
  }
  EXPECT_NEAR((boardLeft + minutesRight) / 2, 297.5, 3.0);
}
