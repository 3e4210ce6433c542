// The thumbnail strip: which pages it renders, the signals of selection and
// of its context menu, and thumbnails that follow the document's changes.
#include "TestSupport.h"
#include "ViewTestHelpers.h"
#include "view/PageThumbnailPanel.h"
#include "core/PdfDocument.h"
#include "core/PdfiumLock.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

using namespace testsupport;
using viewtest::near;
using viewtest::waitUntil;

namespace {

const QColor kShapeBlue(30, 90, 200);

QImage iconImage(const QListWidgetItem* item) {
  return item->icon().isNull() ? QImage() : item->icon().pixmap(QSize(120, 160)).toImage();
}

// A rendered thumbnail paints the icon's middle opaquely; without one it stays clear.
bool hasThumbnail(const QListWidgetItem* item) {
  const QImage image = iconImage(item);
  return !image.isNull() && qAlpha(image.pixel(image.width() / 2, image.height() / 2)) == 255;
}

int bluePixels(const QListWidgetItem* item) {
  const QImage image = iconImage(item);
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) == 255 && near(QColor(image.pixel(x, y)), kShapeBlue, 10)) ++count;
  return count;
}

class PageThumbnailPanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    panel = std::make_unique<PageThumbnailPanel>();
    panel->resize(170, 420);  // one column, two rows in sight
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
  }

  QString writeDocument(const QString& name, int pages, bool shapes) {
    QList<PageSpec> specs;
    for (int i = 0; i < pages; ++i) specs.append(PageSpec{QStringLiteral("Лист %1").arg(i + 1), shapes});
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writePdf(path, specs));
    return path;
  }

  bool thumbnailsArrive(const QList<int>& rows) {
    return waitUntil([&] {
      for (int row : rows)
        if (!hasThumbnail(panel->item(row))) return false;
      return true;
    });
  }

  // Opens the context menu of a row; `act` runs while the menu is open.
  void withContextMenu(int row, const std::function<void(QMenu*)>& act) {
    const QPoint pos = panel->visualItemRect(panel->item(row)).center();
    bool ran = false;
    QTimer::singleShot(0, panel.get(), [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      ran = true;
      act(menu);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, panel->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(panel->viewport(), &event);
    EXPECT_TRUE(ran);
  }

  QTemporaryDir dir;
  // Outlives the panel, whose worker may still be drawing one of its pages.
  PdfDocument doc;
  std::unique_ptr<PageThumbnailPanel> panel;
};

TEST_F(PageThumbnailPanelTest, RendersTheFirstPagesThenWhatScrollsIntoView) {
  ASSERT_TRUE(doc.open(writeDocument("thirty.pdf", 30, false)));
  panel->setDocument(&doc);
  ASSERT_EQ(panel->count(), 30);
  EXPECT_EQ(panel->item(0)->text(), "Стр. 1");
  EXPECT_EQ(panel->item(29)->text(), "Стр. 30");
  EXPECT_EQ(panel->item(29)->data(Qt::UserRole).toInt(), 29);

  QList<int> first;
  for (int row = 0; row < 12; ++row) first.append(row);
  ASSERT_TRUE(thumbnailsArrive(first));
  EXPECT_TRUE(panel->item(20)->icon().isNull());
  EXPECT_TRUE(panel->item(29)->icon().isNull());

  panel->scrollToItem(panel->item(29));
  ASSERT_TRUE(thumbnailsArrive({28, 29}));
  EXPECT_TRUE(panel->item(18)->icon().isNull());  // scrolled past, never in sight
}

TEST_F(PageThumbnailPanelTest, UserSelectionSignalsAndViewFollowingDoesNot) {
  ASSERT_TRUE(doc.open(writeDocument("ten.pdf", 10, false)));
  panel->setDocument(&doc);
  QSignalSpy spy(panel.get(), &PageThumbnailPanel::pageSelected);
  QCoreApplication::processEvents();
  spy.clear();

  panel->setCurrentPage(1);
  EXPECT_TRUE(spy.isEmpty());
  EXPECT_EQ(panel->currentRow(), 1);

  QTest::mouseClick(panel->viewport(), Qt::LeftButton, {}, panel->visualItemRect(panel->item(0)).center());
  ASSERT_FALSE(spy.isEmpty());
  EXPECT_EQ(spy.last().at(0).toInt(), 0);

  spy.clear();
  QTest::keyClick(panel.get(), Qt::Key_Down);
  ASSERT_FALSE(spy.isEmpty());
  EXPECT_EQ(spy.last().at(0).toInt(), panel->currentRow());
  EXPECT_NE(panel->currentRow(), 0);

  spy.clear();
  emit panel->itemActivated(panel->item(7));
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toInt(), 7);

  spy.clear();
  panel->setCurrentPage(8);
  panel->setCurrentPage(42);
  EXPECT_TRUE(spy.isEmpty());
  EXPECT_EQ(panel->currentRow(), 8);
}

TEST_F(PageThumbnailPanelTest, ContextMenuAsksForPageCommands) {
  ASSERT_TRUE(doc.open(writeDocument("five.pdf", 5, false)));
  panel->setDocument(&doc);
  QSignalSpy inserts(panel.get(), &PageThumbnailPanel::insertPageRequested);
  QSignalSpy imports(panel.get(), &PageThumbnailPanel::importPageRequested);
  QSignalSpy deletes(panel.get(), &PageThumbnailPanel::deletePageRequested);

  const struct {
    QString entry;
    QSignalSpy* spy;
    int argument;
  } cases[] = {
      {"Вставить страницу перед...", &inserts, 3},
      {"Вставить страницу после...", &inserts, 4},
      {"Импортировать перед этой страницей...", &imports, 3},
      {"Импортировать после этой страницы...", &imports, 4},
      {"Удалить страницу", &deletes, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry.toStdString());
    inserts.clear();
    imports.clear();
    deletes.clear();
    withContextMenu(3, [&](QMenu* menu) {
      for (QAction* action : menu->actions()) {
        if (action->text() != c.entry) continue;
        ASSERT_TRUE(action->isEnabled());
        menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
        return;
      }
      menu->close();
      ADD_FAILURE() << "no such entry";
    });
    EXPECT_EQ(inserts.count() + imports.count() + deletes.count(), 1);
    ASSERT_EQ(c.spy->count(), 1);
    EXPECT_EQ(c.spy->at(0).at(0).toInt(), c.argument);
  }

  // The last page of a document cannot be deleted.
  PdfDocument single;
  ASSERT_TRUE(single.open(writeDocument("one.pdf", 1, false)));
  panel->setDocument(&single);
  deletes.clear();
  withContextMenu(0, [&](QMenu* menu) {
    bool found = false;
    for (QAction* action : menu->actions()) {
      if (action->text() == "Удалить страницу") {
        found = true;
        EXPECT_FALSE(action->isEnabled());
      }
    }
    EXPECT_TRUE(found);
    menu->close();
  });
  EXPECT_EQ(deletes.count(), 0);
  panel->setDocument(nullptr);  // before the document goes, as the window lets go of one
}

TEST_F(PageThumbnailPanelTest, RefreshRendersChangedPagesAgain) {
  const QString plain = writeDocument("plain.pdf", 3, false);
  const QString shapes = writeDocument("shapes.pdf", 3, true);
  ASSERT_TRUE(doc.open(plain));
  panel->setDocument(&doc);
  ASSERT_TRUE(thumbnailsArrive({0, 1, 2}));
  for (int row = 0; row < 3; ++row) ASSERT_EQ(bluePixels(panel->item(row)), 0);

  // The document changes under the panel (same page count): the page
  // commands refresh it, and every thumbnail shows the new pages.
  ASSERT_TRUE(doc.open(shapes));
  panel->refresh();
  ASSERT_TRUE(waitUntil([&] {
    return bluePixels(panel->item(0)) > 100 && bluePixels(panel->item(1)) > 100 && bluePixels(panel->item(2)) > 100;
  }));

  // One page changed: only its thumbnail is rendered again.
  ASSERT_TRUE(doc.open(plain));
  panel->refreshPage(1);
  ASSERT_TRUE(waitUntil([&] { return bluePixels(panel->item(1)) == 0; }));
  EXPECT_GT(bluePixels(panel->item(0)), 100);
  EXPECT_GT(bluePixels(panel->item(2)), 100);

  // Another page count rebuilds the list.
  ASSERT_TRUE(doc.open(writeDocument("five.pdf", 5, true)));
  panel->refresh();
  ASSERT_EQ(panel->count(), 5);
  EXPECT_EQ(panel->item(4)->text(), "Стр. 5");
  ASSERT_TRUE(thumbnailsArrive({0, 4}));
}

TEST_F(PageThumbnailPanelTest, ReleasingOnlyTheShownDocumentEmptiesTheList) {
  const QString path = writeDocument("many.pdf", 40, true);
  PdfDocument shown, other;
  ASSERT_TRUE(shown.open(path));
  panel->setDocument(&shown);
  panel->releaseDocument(&other);
  EXPECT_EQ(panel->count(), 40);
  panel->releaseDocument(&shown);
  EXPECT_EQ(panel->count(), 0);
  for (const QThread* thread : panel->findChildren<QThread*>()) EXPECT_FALSE(thread->isRunning());
  QCoreApplication::processEvents();  // results posted before the stop are dropped
  EXPECT_EQ(panel->count(), 0);
}

TEST_F(PageThumbnailPanelTest, ImagesOfAReplacedDocumentNeverReachTheList) {
  PdfDocument before, after;
  // The panel lets go of them before they go: its worker may still be drawing a page.
  const auto letGo = qScopeGuard([this] { panel->setDocument(nullptr); });
  ASSERT_TRUE(before.open(writeDocument("before.pdf", 12, true)));
  ASSERT_TRUE(after.open(writeDocument("after.pdf", 12, false)));
  panel->setDocument(&before);
  // The first worker renders its pages and posts them; nothing is delivered
  // until events run. It must be idle before pdfium is held below, or the
  // panel would wait for it forever: a call queued on its thread behind the
  // renders returns once they are all done.
  const QList<QThread*> threads = panel->findChildren<QThread*>();
  ASSERT_EQ(threads.size(), 1);
  QObject* probe = new QObject;
  probe->moveToThread(threads.front());
  QThread* home = QThread::currentThread();
  QMetaObject::invokeMethod(probe, [probe, home] { probe->moveToThread(home); }, Qt::BlockingQueuedConnection);
  delete probe;
  {
    // The new worker cannot render while pdfium is held, so whatever lands
    // now can only be a result meant for the replaced document.
    PdfiumLock hold;
    panel->setDocument(&after);
    QCoreApplication::processEvents();
    for (int row = 0; row < panel->count(); ++row) {
      EXPECT_FALSE(hasThumbnail(panel->item(row))) << row;
      EXPECT_EQ(bluePixels(panel->item(row)), 0) << row;
    }
  }
  ASSERT_TRUE(thumbnailsArrive({0, 1}));
  EXPECT_EQ(bluePixels(panel->item(0)), 0);
}

}  // namespace
