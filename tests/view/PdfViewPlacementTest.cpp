// New text and image blocks: how they are built and laid out, that the
// document takes them when written, the inline editor that asks for the
// text, and what happens to another page's unsaved edits.
#include "BlockViewFixture.h"

#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextEdit>

#include <tuple>

using namespace blocktest;
using namespace testsupport;

namespace {

// The open inline editor: closed ones linger hidden until deferred deletion.
QTextEdit* openInlineEditor(QWidget* viewport) {
  for (auto* edit : viewport->findChildren<QTextEdit*>(QStringLiteral("InlineTextEditor")))
    if (edit->isVisibleTo(viewport)) return edit;
  return nullptr;
}

QImage filled(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

}  // namespace

class PlacementTest : public BlockViewTest {};

TEST_F(PlacementTest, TextBlockInputsAreNormalised) {
  struct Case {
    const char* name;
    QRectF area;
    QString text, family;
    float size;
    QColor colour;
    bool added;
    QString storedFamily;
    float storedSize;
    QColor storedColour;
    int undoSteps;
  };
  const QList<Case> cases = {
      {"plain", {100, 100, 200, 40}, "  hello  ", "DejaVu Sans", 14, Qt::red, true, "DejaVu Sans", 14, Qt::red, 1},
      {"defaults", {100, 100, 200, 40}, "x", "  ", 0, QColor(), true, "Times New Roman", 1, Qt::black, 1},
      {"blank text", {100, 100, 200, 40}, "   ", "Arial", 12, Qt::black, false, "", 0, QColor(), 0},
      {"too narrow", {100, 100, 1.5, 40}, "x", "Arial", 12, Qt::black, false, "", 0, QColor(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view->clearOcrBlocks();
    EXPECT_EQ(view->appendEditableTextBlock(0, c.area, c.text, c.family, c.size, c.colour), c.added);
    EXPECT_EQ(A::undoLabels(*view).size(), c.undoSteps);
    ASSERT_EQ(A::blocks(*view).size(), c.added ? 1u : 0u);
    if (!c.added) continue;
    const TextBlock& b = A::blocks(*view)[0];
    EXPECT_EQ(b.text, c.text);
    EXPECT_EQ(b.fontFamily, c.storedFamily);
    EXPECT_FLOAT_EQ(b.fontSize, c.storedSize);
    EXPECT_EQ(b.color, c.storedColour);
    // Top-origin area to bottom-origin points of the 842 pt page.
    EXPECT_EQ(b.rect, QRectF(100, 842 - 140, 200, 40));
    ASSERT_EQ(b.lines.size(), 1u);
    EXPECT_TRUE(b.textEdited);
    EXPECT_EQ(view->selectedOcrBlockIndices(), QSet<int>{0});
    EXPECT_TRUE(A::dirty(*view));
  }
}

TEST_F(PlacementTest, ImagesShareOneRowHeightAndOneGroup) {
  struct Case {
    const char* name;
    QList<QImage> images;
    QRectF area;
    QList<QRectF> expected;  // bottom-origin
    bool grouped;
    QString label;
  };
  const QList<Case> cases = {
      // A square in a wide box stays square, centred.
      {"one keeps its proportions", {filled(30, 30, Qt::red)}, {50, 100, 200, 50}, {{125, 692, 50, 50}}, false,
       "Добавление изображения"},
      // gap 6, aspects 2 + 1, h = min(100, 294 / 3) = 98; one point below the top.
      {"two in a row", {filled(40, 20, Qt::red), QImage(), filled(20, 20, Qt::blue)}, {50, 100, 300, 100},
       {{50, 842 - 199, 196, 98}, {252, 842 - 199, 98, 98}}, true, "Добавление группы изображений"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    view->clearOcrBlocks();
    const int groupBefore = A::nextGroupId(*view);
    view->appendEditableImageBlocks(0, c.area, c.images);
    ASSERT_EQ(A::blocks(*view).size(), std::size_t(c.expected.size()));
    for (qsizetype i = 0; i < c.expected.size(); ++i) {
      const TextBlock& b = A::blocks(*view)[std::size_t(i)];
      EXPECT_TRUE(b.isImage);
      EXPECT_NEAR(b.rect.x(), c.expected[i].x(), 1e-9);
      EXPECT_NEAR(b.rect.y(), c.expected[i].y(), 1e-9);
      EXPECT_NEAR(b.rect.width(), c.expected[i].width(), 1e-9);
      EXPECT_NEAR(b.rect.height(), c.expected[i].height(), 1e-9);
      EXPECT_EQ(A::groupIds(*view)[std::size_t(i)], c.grouped ? groupBefore : 0);
    }
    EXPECT_EQ(view->selectedOcrBlockIndices().size(), c.expected.size());
    EXPECT_EQ(A::undoLabels(*view), QStringList{c.label});
  }
  view->clearOcrBlocks();
  view->appendEditableImageBlocks(0, {10, 10, 100, 100}, {QImage(), QImage()});
  EXPECT_TRUE(A::blocks(*view).empty());
  EXPECT_TRUE(A::undoLabels(*view).isEmpty());
}

TEST_F(PlacementTest, PlacedTextAndImageAreWrittenIntoTheSavedFile) {
  if (!hasTool("pdftotext") || !hasTool("pdfimages")) GTEST_SKIP() << "poppler-utils missing";
  view->setEditMode(true);
  view->appendEditableTextBlock(0, {80, 300, 300, 40}, QStringLiteral("Placed words"), {}, 16, Qt::black);
  // Drawn into a square box the picture keeps its 4 : 3; one far denser than
  // print needs is written at 600 ppi of its place (an inch by a third).
  view->appendEditableImageBlock(0, {80, 400, 120, 120}, filled(64, 48, QColor(200, 30, 30)));
  view->appendEditableImageBlock(0, {80, 600, 72, 24}, filled(3000, 1000, QColor(30, 30, 200)));
  ASSERT_EQ(A::blocks(*view).size(), 3u);
  ASSERT_TRUE(doc.overlayOcrText(0, view->ocrBlocksWithEdits(), false)) << doc.lastError().toStdString();
  const QString out = dir.filePath(QStringLiteral("placed.pdf"));
  ASSERT_TRUE(doc.saveCopy(out)) << doc.lastError().toStdString();

  QByteArray text;
  ASSERT_EQ(runTool("pdftotext", {out, "-"}, &text), 0);
  EXPECT_TRUE(QString::fromUtf8(text).contains(QStringLiteral("Placed words")));
  QList<std::tuple<QSize, int, int>> written;
  for (const PdfImageInfo& i : listPdfImages(out))
    if (i.type == "image") written.append({i.size, i.xPpi, i.yPpi});
  EXPECT_EQ(written, (QList<std::tuple<QSize, int, int>>{{{64, 48}, 38, 38}, {{600, 200}, 600, 600}}));
}

TEST_F(PlacementTest, AddingOnAnotherPageHandsTheLoadedEditsOverFirst) {
  const QString path = dir.filePath(QStringLiteral("two.pdf"));
  ASSERT_TRUE(writePdf(path, {PageSpec{QStringLiteral("one")}, PageSpec{QStringLiteral("two")}}));
  PdfDocument twoPages;
  ASSERT_TRUE(twoPages.open(path));
  view->setDocument(&twoPages);
  view->setOcrBlocks(threeBlocks(), 0, true);

  // Nobody to take the edits: nothing is dropped, nothing is added.
  view->appendEditableTextBlock(1, {50, 50, 200, 40}, QStringLiteral("new"), {}, 12, Qt::black);
  EXPECT_EQ(A::page(*view), 0);
  EXPECT_EQ(A::blocks(*view).size(), 3u);

  QList<int> handedPages;
  std::size_t handedBlocks = 0;
  view->setPendingEditsHandler([&](int page, const std::vector<TextBlock>& blocks) {
    handedPages.append(page);
    handedBlocks = blocks.size();
    return true;
  });
  view->appendEditableTextBlock(1, {50, 50, 200, 40}, QStringLiteral("new"), {}, 12, Qt::black);
  EXPECT_EQ(handedPages, QList<int>{0});
  EXPECT_EQ(handedBlocks, 3u);
  EXPECT_EQ(A::page(*view), 1);
  ASSERT_EQ(A::blocks(*view).size(), 1u);
  // Undo removes the new block; it never brings back edits the document already holds.
  view->undo();
  EXPECT_EQ(A::page(*view), 1);
  EXPECT_TRUE(A::blocks(*view).empty());
  view->setDocument(&doc);
}

TEST_F(PlacementTest, InlineEditorOpensFromTheToolAndCommitsWithCtrlReturn) {
  view->setEditMode(true);
  view->setEditTool(EditTool::InsertText);
  QSignalSpy inserted(view.get(), &PdfView::textInserted);
  QWidget* vp = view->viewport();
  const QPoint from = view->viewportPointForPageTopPoint(0, {100, 100});
  const QPoint to = view->viewportPointForPageTopPoint(0, {110, 110});
  QTest::mousePress(vp, Qt::LeftButton, {}, from);
  QTest::mouseMove(vp, to);
  QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
  EXPECT_EQ(view->currentEditTool(), EditTool::Select);
  QTextEdit* edit = openInlineEditor(vp);
  ASSERT_NE(edit, nullptr);
  QWidget* frame = edit->parentWidget();
  EXPECT_EQ(frame->objectName(), QStringLiteral("InlineEditorFrame"));
  // A 10 x 10 pt area at zoom 1: the smallest frame, 220 x (70 + 28).
  EXPECT_EQ(frame->size(), QSize(220, 98));
  QTest::keyClicks(edit, QStringLiteral("first"));
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClicks(edit, QStringLiteral("second"));
  EXPECT_EQ(inserted.count(), 0);
  QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][0].toInt(), 0);
  EXPECT_EQ(inserted[0][1].toRectF(), QRectF(100, 100, 10, 10));
  EXPECT_EQ(inserted[0][2].toString(), QStringLiteral("first\nsecond"));

  // Escape and a blank commit close it without a word.
  for (const bool escape : {true, false}) {
    view->showInlineEditor(0, {500, 100, 10, 10});
    QTextEdit* again = openInlineEditor(vp);
    ASSERT_NE(again, nullptr);
    // Near the right edge: pulled in to 2 px inside the viewport.
    EXPECT_EQ(again->parentWidget()->geometry().right(), vp->width() - 3);
    QTest::keyClicks(again, QStringLiteral("   "));
    if (escape)
      QTest::keyClick(again, Qt::Key_Escape);
    else
      view->commitInlineEditor();
    EXPECT_EQ(openInlineEditor(vp), nullptr);
  }
  EXPECT_EQ(inserted.count(), 1);

  // Over a drawn line's width, the box grows with what is typed: every
  // wrapped line shown whole, no scroll bar.
  view->showInlineEditor(0, {60, 300, 300, 14});
  QTextEdit* grows = openInlineEditor(vp);
  ASSERT_NE(grows, nullptr);
  for (int line = 0; line < 12; ++line)
    QTest::keyClicks(grows, QStringLiteral("Words enough to run past the end of the line drawn for them. "));
  QCoreApplication::processEvents();
  EXPECT_GT(grows->parentWidget()->height(), 98);
  EXPECT_FALSE(grows->verticalScrollBar()->isVisible());
  EXPECT_FALSE(grows->horizontalScrollBar()->isVisible());
  EXPECT_GE(grows->viewport()->height(), grows->document()->size().height());
  EXPECT_GE(grows->viewport()->width(), grows->document()->size().width());
  EXPECT_GE(grows->viewport()->width(), grows->lineWrapColumnOrWidth());
}

TEST_F(PlacementTest, PreviewFollowsThePointerAndAClickPlacesItInsideThePage) {
  view->setEditMode(true);
  view->setEditTool(EditTool::InsertImage);
  view->setImagePlacementPreview({filled(40, 40, QColor(0, 160, 0))}, QSizeF(100, 100));
  QSignalSpy regions(view.get(), &PdfView::selectionRectReady);
  QSignalSpy images(view.get(), &PdfView::imageRectReady);
  QWidget* vp = view->viewport();

  const QPoint middle = view->viewportPointForPageTopPoint(0, {300, 400});
  QTest::mouseMove(vp, middle);
  const QImage shown = vp->grab().toImage();
  const QColor centre = shown.pixelColor(middle);
  EXPECT_GT(centre.green(), centre.red() + 40) << "the preview is not painted under the pointer";

  // Near the right edge the area is pushed back inside the page.
  QTest::mouseClick(vp, Qt::LeftButton, {}, view->viewportPointForPageTopPoint(0, {580, 400}));
  ASSERT_EQ(regions.count(), 1);
  ASSERT_EQ(images.count(), 1);
  EXPECT_EQ(images[0][1].toRectF(), regions[0][1].toRectF());
  EXPECT_EQ(images[0][1].toRectF(), QRectF(495, 350, 100, 100));
}
