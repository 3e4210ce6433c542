// Wheel, keys and the block context menu of the page view, driven by real
// events; menus are answered by picking an entry while they are open.
#include "BlockViewFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

using namespace blocktest;
using namespace testsupport;

namespace {

// Picks the entry with this text (looking into sub-menus) from the menu that
// opens next; an empty text closes it unanswered. The entries' enabled
// states are reported through `enabled`.
void answerNextMenu(const QString& entry, QHash<QString, bool>* enabled = nullptr) {
  QTimer::singleShot(0, [entry, enabled] {
    QMenu* menu = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible() && !m->parentWidget()->inherits("QMenu")) menu = m;
    if (!menu) return;
    QAction* chosen = nullptr;
    QMenu* owner = nullptr;
    std::function<void(QMenu*)> walk = [&](QMenu* m) {
      for (QAction* a : m->actions()) {
        if (a->menu()) walk(a->menu());
        if (enabled && !a->text().isEmpty()) enabled->insert(a->text(), a->isEnabled());
        if (a->text() == entry) {
          chosen = a;
          owner = m;
        }
      }
    };
    walk(menu);
    if (!chosen) {
      QTest::keyClick(menu, Qt::Key_Escape);
      return;
    }
    // Chosen with the keyboard, as a user would, so that the menu reports it.
    if (owner != menu) {
      menu->setActiveAction(owner->menuAction());
      QTest::keyClick(menu, Qt::Key_Right);
    }
    owner->setActiveAction(chosen);
    QTest::keyClick(owner, Qt::Key_Return);
  });
}

QWheelEvent wheel(const QPoint& at, int delta, Qt::KeyboardModifiers modifiers) {
  return QWheelEvent(at, at, QPoint(), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
}

}  // namespace

class InputTest : public BlockViewTest {
protected:
  void rightClick(const QPoint& p) { QTest::mouseClick(view->viewport(), Qt::RightButton, {}, p); }
  QPoint centre(int block) const { return view->ocrBlockScreenRect(block).center(); }
};

TEST_F(InputTest, CtrlWheelZoomsAboutThePointerWithinTheLimits) {
  QSignalSpy zooms(view.get(), &PdfView::zoomChanged);
  const QPoint p(300, 400);
  struct Case {
    double from;
    int delta;
    double expected;
    int emitted;
  };
  // From zoom 2 the page is larger than the viewport both ways, so the view can scroll to keep the point.
  for (const Case& c : {Case{2.0, 120, 2.2, 1}, Case{2.0, 0, 2 / 1.1, 1}, Case{8.0, 120, 8.0, 0}}) {
    view->setZoom(c.from);
    zooms.clear();
    const QPointF before = view->viewToPage(0, p).topLeft();
    QWheelEvent event = wheel(p, c.delta, Qt::ControlModifier);
    QApplication::sendEvent(view->viewport(), &event);
    EXPECT_NEAR(view->zoomFactor(), c.expected, 1e-9);
    EXPECT_EQ(zooms.count(), c.emitted);
    EXPECT_TRUE(event.isAccepted());
    // The page point under the pointer stays under it.
    const QPointF after = view->viewToPage(0, p).topLeft();
    EXPECT_NEAR(after.x(), before.x(), 2.0);
    EXPECT_NEAR(after.y(), before.y(), 2.0);
  }
}

TEST_F(InputTest, TabWalksTextBlocksSkippingImagesAndEscapeCloses) {
  view->setEditMode(true);
  auto blocks = threeBlocks();
  TextBlock picture = nativeBlock(QStringLiteral("[image]"), QRectF(300, 300, 100, 100));
  picture.isImage = true;
  blocks.insert(blocks.begin() + 1, picture);
  view->setOcrBlocks(blocks, 0, false);  // text, image, text, text
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int active;
  };
  const QList<Step> steps = {{Qt::Key_Tab, {}, 0},           {Qt::Key_Tab, {}, 2},
                             {Qt::Key_Tab, {}, 3},           {Qt::Key_Tab, {}, 0},
                             {Qt::Key_Backtab, Qt::ShiftModifier, 3}, {Qt::Key_Escape, {}, -1}};
  for (const Step& s : steps) {
    QTest::keyClick(view.get(), s.key, s.modifiers);
    EXPECT_EQ(view->activeOcrBlockIndex(), s.active);
    view->setFocus();
  }
  // Only pictures: Tab activates nothing.
  view->setOcrBlocks({picture}, 0, false);
  QTest::keyClick(view.get(), Qt::Key_Tab);
  EXPECT_EQ(view->activeOcrBlockIndex(), -1);
}

TEST_F(InputTest, PageKeysNavigateInSinglePageModeAndZoomKeysNeedCtrl) {
  const QString path = dir.filePath(QStringLiteral("three.pdf"));
  ASSERT_TRUE(writePdf(path, {PageSpec{"1"}, PageSpec{"2"}, PageSpec{"3"}}));
  PdfDocument three;
  ASSERT_TRUE(three.open(path));
  view->setDocument(&three);
  view->setViewMode(ViewMode::SinglePage);
  struct Step {
    Qt::Key key;
    int page;
  };
  for (const Step& s : {Step{Qt::Key_End, 2}, Step{Qt::Key_Right, 2}, Step{Qt::Key_PageUp, 1}, Step{Qt::Key_Home, 0},
                        Step{Qt::Key_Left, 0}, Step{Qt::Key_Down, 1}}) {
    QTest::keyClick(view.get(), s.key);
    EXPECT_EQ(view->currentPageIndex(), s.page) << s.key;
  }
  view->setZoom(1.0);
  QTest::keyClick(view.get(), Qt::Key_Plus);
  EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.0);
  QTest::keyClick(view.get(), Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.25);
  QTest::keyClick(view.get(), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(view->zoomFactor(), 1.0);
  view->setDocument(&doc);
}

TEST_F(InputTest, BlockMenuActsOnTheBlockUnderThePointer) {
  view->setEditMode(true);
  auto blocks = threeBlocks();
  TextBlock picture = nativeBlock(QStringLiteral("[image]"), QRectF(300, 500, 100, 100));
  picture.isImage = true;
  picture.image = QImage(20, 10, QImage::Format_ARGB32_Premultiplied);
  picture.image.fill(Qt::red);
  blocks.push_back(picture);
  view->setOcrBlocks(blocks, 0, false);

  // A right click on an unselected block selects it; "Копировать" copies it.
  QHash<QString, bool> enabled;
  answerNextMenu(QStringLiteral("Копировать"), &enabled);
  rightClick(centre(1));
  EXPECT_EQ(view->selectedOcrBlockIndices(), QSet<int>{1});
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Second line"));
  EXPECT_FALSE(enabled.value(QStringLiteral("Группировать")));
  EXPECT_FALSE(enabled.value(QStringLiteral("Редактировать")));

  // The picture alone copies its image and can be sent for editing.
  QSignalSpy editRequests(view.get(), &PdfView::imageBlockEditRequested);
  answerNextMenu(QStringLiteral("Редактировать"), &enabled);
  rightClick(centre(3));
  EXPECT_TRUE(enabled.value(QStringLiteral("Редактировать")));
  ASSERT_EQ(editRequests.count(), 1);
  EXPECT_EQ(editRequests[0][0].value<QImage>().size(), QSize(20, 10));

  // "Вырезать" on two text blocks: the texts on the clipboard, the blocks gone.
  view->selectOcrBlock(0, false);
  view->selectOcrBlock(2, true);
  answerNextMenu(QStringLiteral("Вырезать"), &enabled);
  rightClick(centre(2));
  EXPECT_TRUE(enabled.value(QStringLiteral("Группировать")));
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Первая строка\nТретья"));
  ASSERT_EQ(PdfViewTestAccess::blocks(*view).size(), 2u);

  // "На передний план" from the sub-menu.
  answerNextMenu(QStringLiteral("На задний план"));
  rightClick(centre(1));
  EXPECT_TRUE(PdfViewTestAccess::blocks(*view)[0].isImage);
}

TEST_F(InputTest, DocumentMenuOnlyInsideTheLastRegion) {
  QSignalSpy ocr(view.get(), &PdfView::ocrRegionRequested);
  const QPoint a = view->viewportPointForPageTopPoint(0, {300, 400});
  const QPoint b = view->viewportPointForPageTopPoint(0, {400, 500});
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, a);
  QTest::mouseMove(view->viewport(), b);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, b);

  answerNextMenu(QStringLiteral("Распознать текст"));
  rightClick(view->viewportPointForPageTopPoint(0, {100, 700}));
  EXPECT_EQ(ocr.count(), 0);
  QApplication::processEvents();  // the unused answer runs without a menu

  answerNextMenu(QStringLiteral("Распознать текст"));
  rightClick((a + b) / 2);
  ASSERT_EQ(ocr.count(), 1);
  EXPECT_EQ(ocr[0][1].toRectF(), QRectF(300, 400, 100, 100));
}
