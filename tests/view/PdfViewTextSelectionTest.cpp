// Text selection by dragging over the page: what lands on the clipboard
// (checked against poppler's text of the same region), which lines count as
// selectable, and that the page's lines are extracted once, not per move.
#include "BlockViewFixture.h"
#include "ViewTestHelpers.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>

using namespace blocktest;
using namespace testsupport;

namespace {

const QString kLines = QStringLiteral("Alpha beta gamma\nDelta epsilon\nZeta eta theta");

}  // namespace

class TextSelectionTest : public BlockViewTest {
protected:
  void SetUp() override {
    BlockViewTest::SetUp();
    path = dir.filePath(QStringLiteral("lines.pdf"));
    ASSERT_TRUE(writePdf(path, {PageSpec{kLines}}));
    ASSERT_TRUE(lines.open(path));
    view->setDocument(&lines);
    view->setZoom(1.0);
  }
  void TearDown() override {
    view->setDocument(nullptr);
    BlockViewTest::TearDown();
  }
  QPoint at(double x, double y) const { return view->viewportPointForPageTopPoint(0, {x, y}); }
  QString drag(const QPoint& from, const QPoint& to) {
    QSignalSpy spy(view.get(), &PdfView::textSelected);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), (from + to) / 2);
    QTest::mouseMove(view->viewport(), to);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
    return spy.isEmpty() ? QString() : spy.last()[0].toString();
  }

  QString path;
  PdfDocument lines;
};

TEST_F(TextSelectionTest, DragCopiesTheTextPopplerFindsInTheSameRegion) {
  if (!hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  const QString selected = drag(at(62, 74), at(420, 104));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), selected);

  // The drag spans the whole of the first two lines.
  QByteArray expected;
  ASSERT_EQ(runTool("pdftotext", {"-f", "1", "-l", "1", "-r", "72", "-x", "55", "-y", "55", "-W", "400", "-H", "55",
                                  path, "-"},
                    &expected),
            0);
  EXPECT_EQ(selected.simplified(), QString::fromUtf8(expected).simplified());
  EXPECT_TRUE(selected.contains(QLatin1Char('\n')));
  EXPECT_EQ(view->selectedPageText().trimmed(), selected);

  // Ctrl+C copies the same text again.
  QGuiApplication::clipboard()->setText(QStringLiteral("other"));
  QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), selected);
}

TEST_F(TextSelectionTest, ReverseDragSelectsTheSameText) {
  struct Case {
    QPointF a, b;
  };
  for (const Case& c : {Case{{62, 74}, {150, 98}}, Case{{70, 74}, {140, 74}}, Case{{64, 104}, {120, 128}}}) {
    const QString forward = drag(at(c.a.x(), c.a.y()), at(c.b.x(), c.b.y()));
    const QString backward = drag(at(c.b.x(), c.b.y()), at(c.a.x(), c.a.y()));
    EXPECT_FALSE(forward.isEmpty());
    EXPECT_EQ(forward, backward);
  }
}

TEST_F(TextSelectionTest, DragFromEmptyPageMarksARegionInsteadOfText) {
  QSignalSpy regions(view.get(), &PdfView::selectionRectReady);
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  EXPECT_TRUE(drag(at(300, 400), at(400, 500)).isEmpty());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
  ASSERT_EQ(regions.count(), 1);
  EXPECT_EQ(regions[0][1].toRectF(), QRectF(300, 400, 100, 100));
  EXPECT_TRUE(view->lastSelectionContainsViewportPoint(at(350, 450)));
  QTest::keyClick(view.get(), Qt::Key_Escape);
  EXPECT_FALSE(view->lastSelectionContainsViewportPoint(at(350, 450)));
}

TEST_F(TextSelectionTest, PageLinesAreExtractedOnceAndDroppedWhenThePageChanges) {
  using S = PdfViewSelectionAccess;
  const QPoint blank = at(300, 600);
  QTest::mouseMove(view->viewport(), at(62, 74));
  EXPECT_EQ(S::cachedPage(*view), 0);
  // Hover tests now read the cache: a line put into it is found.
  const double height = lines.pageSize(0).height();
  S::addCachedLine(*view, QStringLiteral("cached"), QRectF(290, height - 610, 20, 20));
  EXPECT_TRUE(view->selectableTextAtViewportPoint(blank));
  view->invalidatePageCache();
  EXPECT_EQ(S::cachedPage(*view), -1);
  EXPECT_FALSE(view->selectableTextAtViewportPoint(blank));
}

TEST_F(TextSelectionTest, LoadedBlocksAreWhatGetsSelectedInEditMode) {
  view->setEditMode(true);
  const double h = lines.pageSize(0).height();
  std::vector<TextBlock> blocks = {
      nativeBlock(QStringLiteral("-----"), QRectF(60, h - 300, 100, 14)),
      nativeBlock(QStringLiteral("ab"), QRectF(60, h - 350, 30, 14)),
      nativeBlock(QStringLiteral("---- word ----"), QRectF(60, h - 400, 140, 14)),
      nativeBlock(QStringLiteral("edited text"), QRectF(60, h - 450, 110, 14)),
  };
  blocks[3].isImage = false;
  TextBlock picture = nativeBlock(QStringLiteral("[image]"), QRectF(60, h - 500, 100, 14));
  picture.isImage = true;
  blocks.push_back(picture);
  view->setOcrBlocks(blocks, 0, false);

  struct Case {
    double topY;
    bool selectable;
  };
  for (const Case& c : {Case{293, false}, Case{343, true}, Case{393, true}, Case{443, true}, Case{493, false}})
    EXPECT_EQ(view->selectableTextAtViewportPoint(at(75, c.topY)), c.selectable) << c.topY;

  QString text;
  view->collectTextSelectionHighlights(0, {0, h - 390}, {600, h - 455}, &text);
  EXPECT_EQ(text, QStringLiteral("word\nedited text"));
}

// Selected across a TeX line end that broke "Marquardt-Levenberg", the copied
// text joins the word as pdftotext does and holds no control character.
TEST_F(TextSelectionTest, AWordBrokenAtALineEndIsCopiedWhole) {
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (!QFile::exists(manual) || !hasTool("qpdf")) GTEST_SKIP() << "gnuplot-doc or qpdf missing";
  const QString page = dir.filePath(QStringLiteral("fit.pdf"));
  ASSERT_EQ(runTool("qpdf", {manual, "--pages", manual, "93", "--", page}), 0);
  PdfDocument fit;
  ASSERT_TRUE(fit.open(page));
  view->setDocument(&fit);
  QRectF first, second;
  for (const TextBlock& b : fit.extractText(0)) {
    if (b.text.trimmed().endsWith(QStringLiteral("Marquardt-"))) first = b.rect;
    if (b.text.startsWith(QStringLiteral("Levenberg"))) second = b.rect;
  }
  ASSERT_FALSE(first.isEmpty());
  ASSERT_FALSE(second.isEmpty());
  QString text;
  view->collectTextSelectionHighlights(0, first.center(), QPointF(second.left() + 80, second.center().y()), &text);
  EXPECT_TRUE(text.contains(QStringLiteral("MarquardtLevenberg"))) << text.toStdString();
  EXPECT_FALSE(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 && c != '\n'; }));
  view->setDocument(&lines);
}
