// Editing text that runs turned on the shown page, through a shown window
// with the mouse and keys: the lines come as turned blocks, typed text is
// saved in the same direction, and the saved page looks like the editor's
// preview of the block.
#include "EditorWindowFixture.h"
#include "core/TurnedRect.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>

#include <cmath>

using namespace apptest;
using namespace testsupport;

namespace {

class TurnedWindow : public RibbonWindow {
 public:
  using RibbonWindow::RibbonWindow;
};

// A page of two lines drawn turned clockwise by textTurn degrees, on a page
// that qpdf then turns by pageTurn (/Rotate: the content stays as drawn in
// user space and the page shows it turned).
bool writeTurnedPage(const QString& path, int pageTurn, int textTurn) {
  const QString drawn = path + QStringLiteral(".drawn.pdf");
  const bool written = writeDrawnPdf(drawn, 1, {595, 842}, 18, [textTurn](QPainter& painter, int) {
    painter.translate(textTurn == 0 ? 60 : 250, textTurn == 0 ? 80 : 600);
    painter.rotate(textTurn);
    painter.drawText(QPointF(0, 0), QStringLiteral("Rotated page first line"));
    painter.drawText(QPointF(0, 30), QStringLiteral("Second line stays here"));
  });
  if (!written) return false;
  return runTool(QStringLiteral("qpdf"), {drawn, QStringLiteral("--rotate=+%1").arg(pageTurn), path}) == 0;
}

double normalizedDegrees(double degrees) {
  degrees = std::fmod(degrees, 360.0);
  if (degrees > 180.0) degrees -= 360.0;
  if (degrees <= -180.0) degrees += 360.0;
  return degrees;
}

QString pageText(const QString& path, const QStringList& extra = {}) {
  QByteArray out;
  if (runTool(QStringLiteral("pdftotext"), QStringList(extra) << path << QStringLiteral("-"), &out) != 0) return {};
  return QString::fromUtf8(out);
}

struct WordBox {
  QString word;
  QRectF box;  // shown page, points, y down
};

QList<WordBox> wordBoxes(const QString& path) {
  const QRegularExpression re(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  QList<WordBox> words;
  const QString xml = pageText(path, {QStringLiteral("-bbox")});
  for (auto it = re.globalMatch(xml); it.hasNext();) {
    const auto m = it.next();
    const double x0 = m.captured(1).toDouble(), y0 = m.captured(2).toDouble();
    words.append({m.captured(5), QRectF(x0, y0, m.captured(3).toDouble() - x0, m.captured(4).toDouble() - y0)});
  }
  return words;
}

QImage renderPage(const QString& pdf, double dpi, const QString& dir) {
  const QString prefix = dir + QStringLiteral("/render");
  if (runTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                                          QStringLiteral("-singlefile"), pdf, prefix}) != 0)
    return {};
  return QImage(prefix + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// The ink of a region seen at a quarter of its resolution: the written face
// may differ from the preview's in its strokes, not in where its ink lies,
// which is what the comparison is about.
QImage inkDensity(const QImage& image) {
  return image.scaled(std::max(1, image.width() / 4), std::max(1, image.height() / 4), Qt::IgnoreAspectRatio,
                      Qt::SmoothTransformation);
}

class TurnedPageEditRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!hasTool("qpdf") || !hasTool("pdftotext") || !hasTool("pdftoppm")) GTEST_SKIP() << "qpdf or poppler missing";
    useCleanSettings();
    EXPECT_TRUE(dir.isValid());
  }
  // Opens a page turned by pageTurn with its text drawn turned by textTurn,
  // retypes its first line with real keys and mouse, saves with Ctrl+S and
  // checks the file; returns the mean difference between the preview of the
  // block and the saved page there.
  double editAndSave(int pageTurn, int textTurn = 0);

  QTemporaryDir dir;
};

double TurnedPageEditRoadTest::editAndSave(int pageTurn, int textTurn) {
  SCOPED_TRACE(QStringLiteral("page %1, text %2").arg(pageTurn).arg(textTurn).toStdString());
  const QString path = dir.filePath(QStringLiteral("turned%1-%2.pdf").arg(pageTurn).arg(textTurn));
  const double turn = normalizedDegrees(pageTurn + textTurn);
  const bool quarter = std::fmod(std::abs(turn), 180.0) == 90.0;
  if (!writeTurnedPage(path, pageTurn, textTurn)) {
    ADD_FAILURE() << "no test page";
    return 255;
  }

  TurnedWindow window(AppProduct::Editor);
  EXPECT_TRUE(showActive(&window, {1300, 1000}));
  window.openFile(path);
  EXPECT_TRUE(window.currentDocument->isOpen());
  if (!window.currentDocument->isOpen()) return 255;
  PdfView* view = window.view;
  view->setZoom(1.0);
  QTest::keyClick(&window, Qt::Key_F2);
  EXPECT_TRUE(window.editMode);
  EXPECT_TRUE(pageBlocksRead(view));

  // Two lines, two blocks, each turned as the page shows it.
  const std::vector<TextBlock>& blocks = view->currentOcrBlocks();
  EXPECT_EQ(blocks.size(), 2u);
  if (blocks.size() != 2u) return 255;
  int first = -1;
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(normalizedDegrees(blocks[size_t(i)].rotation - turn), 0.0, 0.5);
    if (blocks[size_t(i)].text == QStringLiteral("Rotated page first line")) first = i;
  }
  EXPECT_GE(first, 0);
  if (first < 0) return 255;
  const TextBlock block = blocks[size_t(first)];
  const QRectF shownBox = turnedBounds(block.rect, block.rotation);

  // A click on the line opens it; a word in letters the page's font draws replaces it.
  const QRectF screen = view->pdfRectToScreenRect(0, block.rect);
  view->setFocus();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, screen.center().toPoint());
  EXPECT_EQ(view->activeOcrBlockIndex(), first);
  QWidget* editor = QApplication::focusWidget();
  EXPECT_EQ(editor, view->activeTextEditor());
  if (!editor || editor != view->activeTextEditor()) return 255;
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, QStringLiteral("steady"));
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_EQ(view->activeOcrBlockIndex(), -1);

  // The editor's preview of the block, unframed, at one pixel per point.
  QApplication::processEvents();
  // Inside the block's outline, which the preview draws and the file has not.
  const QRect area = view->pdfRectToScreenRect(0, shownBox).toAlignedRect().adjusted(2, 2, -2, -2);
  const QImage preview = view->viewport()->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
  const QPoint pageCorner = view->pdfRectToScreenRect(0, QRectF(QPointF(0, 0), window.currentDocument->pageSize(0)))
                                .toAlignedRect()
                                .topLeft();

  QTest::keySequence(&window, QKeySequence::Save);
  EXPECT_EQ(window.statusLabel->text(), "Сохранено");

  // The file says the typed word once, in the page's font (no subset of its
  // own), and the old line is gone.
  const QString text = pageText(path);
  EXPECT_EQ(text.count(QStringLiteral("steady")), 1) << text.toStdString();
  QByteArray fonts;
  EXPECT_EQ(runTool("pdffonts", {path}, &fonts), 0);
  EXPECT_FALSE(fonts.contains('+')) << fonts.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("first line"))) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("Second line stays here")), 1) << text.toStdString();
  QByteArray check;
  EXPECT_EQ(runTool("qpdf", {"--check", path}, &check), 0) << check.toStdString();

  // Every word of the block lies inside its box on the shown page.
  const double pageHeight = window.currentDocument->pageSize(0).height();
  const QRectF boxTopDown(shownBox.x(), pageHeight - shownBox.bottom(), shownBox.width(), shownBox.height());
  int found = 0;
  for (const WordBox& w : wordBoxes(path)) {
    if (w.word != QStringLiteral("steady")) continue;
    ++found;
    EXPECT_TRUE(boxTopDown.adjusted(-2, -2, 2, 2).contains(w.box)) << w.word.toStdString();
    // Written in the line's own direction: taller than wide on a quarter-turned page.
    if (quarter) {
      EXPECT_GT(w.box.height(), w.box.width()) << w.word.toStdString();
    }
  }
  EXPECT_EQ(found, 1);

  // The saved page, rendered at the view's scale, looks like the preview.
  const QImage saved = renderPage(path, 72.0, dir.path());
  EXPECT_FALSE(saved.isNull());
  if (saved.isNull()) return 255;
  const QImage region = saved.copy(QRect(area.topLeft() - pageCorner, area.size()));
  const double difference = meanChannelDifference(inkDensity(preview), inkDensity(region));
  if (qEnvironmentVariableIsSet("ULVO_KEEP_ROAD_IMAGES")) {
    preview.save(QStringLiteral("/tmp/turned-preview-%1-%2.png").arg(pageTurn).arg(textTurn));
    region.save(QStringLiteral("/tmp/turned-saved-%1-%2.png").arg(pageTurn).arg(textTurn));
    }
  return difference;
}

// The typed word is set in the page's font, the preview draws the installed
// face of its name; a turned line must
// differ little more than the same edit on an upright page does, and stay
// within a mean of 40 per channel of the ink density (a quarter of the
// resolution). The upright region cuts the tops of the capitals off, which
// hides part of the difference there that a turned region shows, and the
// upright preview stands on the saved glyphs' pixel grid where a turned one
// may stand a pixel beside it, hence the margin of 10.
TEST_F(TurnedPageEditRoadTest, TypedTextIsSavedTurnedLikeThePreview) {
  const double upright = editAndSave(0);
  EXPECT_LT(upright, 40.0);
  const struct {
    int page;
    int text;
  } turns[] = {{90, 0}, {270, 0}, {180, 0}, {0, -90}, {0, 90}, {90, -90}};
  for (const auto& turn : turns) {
    const double difference = editAndSave(turn.page, turn.text);
    EXPECT_LT(difference, 40.0) << turn.page << " " << turn.text;
    EXPECT_LE(difference, upright + 10.0) << turn.page << " " << turn.text << ": upright " << upright;
  }
}

}  // namespace
