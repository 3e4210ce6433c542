// Documents closed and the window torn down while page renders and thumbnails
// are still running, in the main window's order: documents first, widgets
// after. Meant to run under the sanitizers as well.
#include "TestSupport.h"
#include "ViewTestHelpers.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>

using namespace testsupport;

namespace {

struct Window {
  QWidget* frame = nullptr;
  PdfView* view = nullptr;
  PageThumbnailPanel* panel = nullptr;
};

Window buildWindow() {
  Window w;
  w.frame = new QWidget;
  auto* layout = new QHBoxLayout(w.frame);
  w.panel = new PageThumbnailPanel(w.frame);
  w.view = new PdfView(w.frame);
  layout->addWidget(w.panel);
  layout->addWidget(w.view, 1);
  w.frame->resize(1000, 700);
  w.frame->show();
  return w;
}

void activate(const Window& w, PdfDocument* doc) {
  w.view->setDocument(doc);
  w.panel->setDocument(doc);
}

// Starts a fresh batch of renders of the visible pages.
void startRenders(const Window& w) {
  ASSERT_TRUE(viewtest::waitUntil([&] { return w.view->renderJobsInFlight() == 0; }));
  w.view->invalidatePageCache();
  w.view->viewport()->repaint();
  ASSERT_GT(w.view->renderJobsInFlight(), 0);
}

// What the main window does before deleting a document.
void closeDocument(const Window& w, PdfDocument* doc, bool shown) {
  w.view->releaseDocument(doc);
  w.panel->releaseDocument(doc);
  EXPECT_TRUE(viewtest::allRenderJobsReturned(w.view));
  if (shown) {
    EXPECT_EQ(w.view->shownDocument(), nullptr);
    for (const QThread* thread : w.panel->findChildren<QThread*>()) EXPECT_FALSE(thread->isRunning());
  }
  delete doc;
}

TEST(ViewTeardownStress, ClosingWhileRenderingAndThumbnailing) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QList<PageSpec> pages;
  for (int i = 0; i < 40; ++i) pages.append(PageSpec{QStringLiteral("Страница %1 из 40").arg(i + 1), true});
  const QString path = dir.filePath("forty.pdf");
  ASSERT_TRUE(writePdf(path, pages));

  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    Window w = buildWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.frame));
    auto* first = new PdfDocument;
    auto* second = new PdfDocument;
    ASSERT_TRUE(first->open(path));
    ASSERT_TRUE(second->open(path));
    activate(w, first);

    for (int step = 0; step < 24; ++step) {
      QScrollBar* bar = w.view->verticalScrollBar();
      bar->setValue((step * 1733) % std::max(1, bar->maximum()));
      if (step % 4 == 1) w.view->setZoom(0.3 + 0.15 * (step % 7));
      if (step % 6 == 2) w.view->rotateCurrentPageView(90);
      if (step % 5 == 3) w.panel->scrollToItem(w.panel->item((step * 7) % w.panel->count()));
      if (step % 8 == 5) w.panel->refresh();
      w.view->viewport()->repaint();
      QCoreApplication::processEvents();
      if (step == 12) {
        // Switch tabs, then close the tab that was shown a moment ago.
        startRenders(w);
        activate(w, second);
        w.view->viewport()->repaint();
        closeDocument(w, first, false);
        first = nullptr;
      }
    }
    // Quitting: while renders and thumbnails are still under way.
    startRenders(w);
    w.panel->refresh();
    closeDocument(w, second, true);
    delete w.frame;
    QCoreApplication::processEvents();
  }
}

}  // namespace
