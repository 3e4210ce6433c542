// The road of one edit through the main window: the page's text as blocks,
// edit mode, writing pending edits, saving and autosave, the outline panel
// and each tab's view state.
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QSpinBox>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <functional>
#include <set>
#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <cstdio>

using namespace apptest;
using namespace testsupport;

namespace {

class RoadWindow : public TestWindow {
 public:
  using MainWindow::autoSaveTimer;
  using MainWindow::nextPageButton;
  using MainWindow::pageSpin;
  using MainWindow::ocrPage;
  using MainWindow::outlineTree;
  void appendOutlineItemsForTest(const QList<PdfDocument::OutlineItem>& items) { appendOutlineItems(items, nullptr); }
};

// A page with text lines drawn at given points (x, baseline y from the top).
struct Line {
  QPointF at;
  QString text;
};

bool writeLinesPdf(const QString& path, const QList<QList<Line>>& pages) {
  return writeDrawnPdf(path, int(pages.size()), {595, 842}, 12, [&pages](QPainter& painter, int page) {
    for (const Line& line : pages[page]) painter.drawText(line.at, line.text);
  });
}

QString pdfText(const QString& path) {
  QByteArray out;
  if (runTool(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}, &out) != 0) return QString();
  return QString::fromUtf8(out);
}

int blockIndexContaining(const PdfView* view, const QString& text) {
  const std::vector<TextBlock>& blocks = view->currentOcrBlocks();
  for (size_t i = 0; i < blocks.size(); ++i)
    if (blocks[i].text.contains(text)) return int(i);
  return -1;
}

// Opens the block holding `oldText` in the view's editor and types over it.
bool editBlock(RoadWindow& window, const QString& oldText, const QString& newText) {
  return typeOverBlock(window.view, oldText, newText);
}

class MainWindowEditRoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    useCleanSettings();
  }

  QString letter(const QString& name) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeLinesPdf(path, {{{{60, 100}, "Dear customer, the invoice follows"},
                                      {{60, 130}, "Payment is due within thirty days"}},
                                     {{{60, 100}, "Second page of the letter text"}}}));
    return path;
  }

  static void showWindow(RoadWindow& window) {
    window.resize(1200, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // Two letters open, the second active and in edit mode.
  void openTwoTabsInEditMode(RoadWindow& window) {
    showWindow(window);
    window.openFile(letter("first.pdf"));
    window.openFile(letter("second.pdf"));
    window.onToggleEditMode();
  }

  QTemporaryDir dir;
};

}  // namespace

TEST_F(MainWindowEditRoadTest, AnEditedLineIsSavedIntoTheFileAndReadBack) {
  if (!hasTool("pdftotext") || !hasTool("qpdf")) GTEST_SKIP() << "poppler-utils or qpdf missing";
  const QString path = letter("letter.pdf");
  {
    RoadWindow window;
    showWindow(window);
    window.openFile(path);
    // The page's text is read beside the window, as a page change reads it.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.statusLabel->text() == "Открыт: letter.pdf · текстовый слой готов"; }));
    window.onToggleEditMode();
    ASSERT_TRUE(window.editMode);
    EXPECT_TRUE(window.view->isEditMode());
    EXPECT_EQ(window.statusLabel->text(), "Режим редактирования: текстовые рамки включены");
    EXPECT_EQ(window.ocrPage, 0);

    ASSERT_TRUE(editBlock(window, "Payment is due", "Payment is due within two weeks"));
    EXPECT_TRUE(window.currentDocument->isModified());
    EXPECT_EQ(window.documentTabs->tabText(0), "letter.pdf *");

    window.onSave();
    EXPECT_EQ(window.statusLabel->text(), "Сохранено");
    EXPECT_FALSE(window.currentDocument->isModified());
    EXPECT_FALSE(window.view->hasOcrEdits());
    // Edit mode goes on with the saved page's blocks.
    EXPECT_TRUE(pageBlocksRead(window.view));
    EXPECT_EQ(window.ocrPage, 0);
    EXPECT_GE(blockIndexContaining(window.view, "within two weeks"), 0);
    EXPECT_EQ(window.documentTabs->tabText(0), "letter.pdf");
    EXPECT_EQ(window.windowTitle(), "letter.pdf — УЛВО PDF Редактор");
  }

  const QString text = pdfText(path);
  EXPECT_TRUE(text.contains("Payment is due within two weeks")) << text.toStdString();
  EXPECT_FALSE(text.contains("within thirty days")) << text.toStdString();
  EXPECT_TRUE(text.contains("Dear customer, the invoice follows")) << text.toStdString();
  QByteArray check;
  EXPECT_EQ(runTool("qpdf", {"--check", path}, &check), 0) << check.toStdString();

  RoadWindow reopened;
  reopened.resize(1200, 800);
  reopened.openFile(path);
  EXPECT_TRUE(pageBlocksRead(reopened.view));
  EXPECT_EQ(reopened.documentTabs->tabText(0), "letter.pdf");
  EXPECT_GE(blockIndexContaining(reopened.view, "within two weeks"), 0);
  EXPECT_LT(blockIndexContaining(reopened.view, "thirty days"), 0);
}

TEST_F(MainWindowEditRoadTest, AutosaveWritesOnlyAModifiedDocument) {
  if (!hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  const QString path = letter("auto.pdf");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray original = file.readAll();
  file.close();

  RoadWindow window;
  showWindow(window);
  window.openFile(path);
  window.statusLabel->setText("Готово");
  window.autoSaveIfNeeded();
  EXPECT_EQ(window.statusLabel->text(), "Готово");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), original);
  file.close();

  window.onToggleEditMode();
  ASSERT_TRUE(editBlock(window, "Dear customer", "Dear reader"));
  // A tick while typing waits until the editor closes, and writes what was typed on.
  QTextEdit* editor = window.view->activeTextEditor();
  window.autoSaveIfNeeded();
  EXPECT_EQ(window.view->activeTextEditor(), editor);
  QTest::keyClicks(editor, ", welcome");
  QTest::keyClick(editor, Qt::Key_Escape);
  QTest::qWait(20);
  EXPECT_TRUE(window.statusLabel->text().startsWith("Автосохранено: ")) << window.statusLabel->text().toStdString();
  EXPECT_FALSE(window.currentDocument->isModified());
  EXPECT_TRUE(pdfText(path).contains("Dear reader, welcome")) << pdfText(path).toStdString();
}

TEST_F(MainWindowEditRoadTest, AutosaveIntervalFollowsTheSettings) {
  const struct {
    bool enabled;
    int minutes;
    int expectedMs;  // 0: stopped
  } cases[] = {{false, 5, 0}, {true, 0, 60000}, {true, 500, 7200000}, {true, 7, 420000}};
  RoadWindow window;
  for (const auto& c : cases) {
    QSettings settings;
    settings.setValue("doc/autoSave", c.enabled);
    settings.setValue("doc/autoSaveMinutes", c.minutes);
    settings.sync();
    window.setupAutoSaveTimer();
    EXPECT_EQ(window.autoSaveTimer->isActive(), c.expectedMs > 0) << c.minutes;
    if (c.expectedMs > 0) {
      EXPECT_EQ(window.autoSaveTimer->interval(), c.expectedMs) << c.minutes;
    }
  }
}

TEST_F(MainWindowEditRoadTest, AFailedSaveAfterWritingTheEditsSaysSo) {
  QDir(dir.path()).mkdir("gone");
  const QString path = dir.filePath("gone/letter.pdf");
  ASSERT_TRUE(QFile::copy(letter("source.pdf"), path));
  RoadWindow window;
  showWindow(window);
  window.openFile(path);
  window.onToggleEditMode();
  ASSERT_TRUE(editBlock(window, "Dear customer", "Dear reader"));
  ASSERT_TRUE(QDir(dir.filePath("gone")).removeRecursively());

  std::shared_ptr<DialogSeen> seen = answerNextDialog("", "Ошибка");
  window.onSave();
  seen->stopWaiting = true;
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains("Не удалось сохранить файл:")) << seen->texts.toStdString();
  EXPECT_NE(window.statusLabel->text(), "Сохранено");
  EXPECT_TRUE(window.currentDocument->isModified());
  EXPECT_EQ(window.documentTabs->tabText(0), "letter.pdf *");
  EXPECT_FALSE(QFile::exists(path));
}

TEST_F(MainWindowEditRoadTest, ARefusedWriteOfPendingEditsStopsSavingAndSwitching) {
  RoadWindow window;
  openTwoTabsInEditMode(window);
  // Edits whose page the document does not have cannot be written anywhere.
  std::vector<TextBlock> blocks = window.view->currentOcrBlocks();
  window.view->setOcrBlocks(blocks, 7, true);

  struct Attempt {
    const char* name;
    std::function<void()> run;
  };
  const Attempt attempts[] = {
      {"save", [&] { window.onSave(); }},
      {"tab switch", [&] { window.activateDocument(0); }},
      {"open another file", [&] { window.openFile(letter("third.pdf")); }},
  };
  for (const Attempt& attempt : attempts) {
    window.statusLabel->setText("Готово");
    std::shared_ptr<DialogSeen> seen = answerNextDialog("", "Ошибка");
    attempt.run();
    seen->stopWaiting = true;
    EXPECT_TRUE(seen->texts.contains("Не удалось определить страницу текстовых правок.")) << attempt.name;
    EXPECT_EQ(window.activeIndex, 1) << attempt.name;
    EXPECT_EQ(window.documents.size(), 2u) << attempt.name;
    EXPECT_EQ(window.documentTabs->currentIndex(), 1) << attempt.name;
    EXPECT_TRUE(window.view->hasOcrEdits()) << attempt.name;
    EXPECT_EQ(window.statusLabel->text(), "Готово") << attempt.name;
  }
}

TEST_F(MainWindowEditRoadTest, DeletingEveryBlockOfAPageDoesNotBlockTheWindow) {
  RoadWindow window;
  openTwoTabsInEditMode(window);
  window.view->setOcrBlocks({}, 0, true);  // what deleting the last block leaves
  ASSERT_TRUE(window.view->hasOcrEdits());

  window.onSave();
  EXPECT_EQ(window.statusLabel->text(), "Сохранено");
  EXPECT_FALSE(window.view->hasOcrEdits());

  window.view->setOcrBlocks({}, 0, true);
  window.activateDocument(0);
  EXPECT_EQ(window.activeIndex, 0);
}

TEST_F(MainWindowEditRoadTest, TheTextLayerComesInReadingOrderOrNotAtAll) {
  const QString path = dir.filePath("columns.pdf");
  // Two columns at the top of page 1, the right one set a little higher;
  // page 2 holds too little text to count; page 3 none.
  ASSERT_TRUE(writeLinesPdf(path, {{{{320, 60}, "Right column first line"},
                                    {{60, 72}, "Left column first line"},
                                    {{320, 90}, "Right column second line"},
                                    {{60, 102}, "Left column second line"},
                                    {{60, 600}, "Footer across the page"}},
                                   {{{60, 100}, "p. 2"}},
                                   {}}));
  RoadWindow window;
  window.resize(1200, 800);
  window.openFile(path);
  ASSERT_TRUE(pageBlocksRead(window.view));
  QStringList order;
  for (const TextBlock& block : window.view->currentOcrBlocks()) order << block.text;
  EXPECT_EQ(order, QStringList({"Left column first line", "Left column second line", "Right column first line",
                                "Right column second line", "Footer across the page"}));
  EXPECT_EQ(window.ocrPage, 0);

  // Neither page touches the view; only the thin layer says so.
  const struct {
    int page;
    QString status;
  } refused[] = {{1, "На странице нет полноценного текстового слоя, запускаю OCR."}, {2, "Готово"}, {3, "Готово"}};
  for (const auto& c : refused) {
    window.statusLabel->setText("Готово");
    EXPECT_FALSE(window.loadNativeTextLayerForPage(c.page, true)) << c.page;
    EXPECT_EQ(window.statusLabel->text(), c.status) << c.page;
    EXPECT_EQ(window.ocrPage, 0) << c.page;
    EXPECT_EQ(window.view->ocrBlocksPageIndex(), 0) << c.page;
  }
}

TEST_F(MainWindowEditRoadTest, EachTabKeepsPageZoomViewModeAndEditMode) {
  RoadWindow window;
  showWindow(window);
  window.openFile(letter("a.pdf"));
  window.view->setViewMode(ViewMode::SinglePage);
  window.view->setZoom(1.25);
  window.view->setCurrentPage(1);
  window.onToggleEditMode();
  window.openFile(letter("b.pdf"));
  EXPECT_FALSE(window.editMode);
  window.view->setZoom(0.75);

  for (int round = 0; round < 2; ++round) {
    window.activateDocument(0);
    EXPECT_EQ(window.view->currentPageIndex(), 1);
    EXPECT_DOUBLE_EQ(window.view->zoomFactor(), 1.25);
    EXPECT_EQ(window.view->currentViewMode(), ViewMode::SinglePage);
    EXPECT_TRUE(window.editMode);
    EXPECT_TRUE(window.view->isEditMode());
    EXPECT_EQ(window.view->ocrBlocksPageIndex(), 1);

    window.activateDocument(1);
    EXPECT_EQ(window.view->currentPageIndex(), 0);
    EXPECT_DOUBLE_EQ(window.view->zoomFactor(), 0.75);
    EXPECT_EQ(window.view->currentViewMode(), ViewMode::Continuous);
    EXPECT_FALSE(window.editMode);
    EXPECT_FALSE(window.view->isEditMode());
  }
}

TEST_F(MainWindowEditRoadTest, OutlineListsTheBookmarksAndAClickJumps) {
  if (!hasTool("gs")) GTEST_SKIP() << "ghostscript is not installed";
  const QString plain = dir.filePath("plain.pdf");
  ASSERT_TRUE(writePdf(plain, {{"one"}, {"two"}, {"three"}, {"four"}, {"five"}}));
  const QString marks = dir.filePath("marks.ps");
  {
    QFile f(marks);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[/Title (Chapter 1) /Page 1 /Count 1 /OUT pdfmark\n"
            "[/Title (Section 1.1) /Page 4 /View [/XYZ null 300 null] /OUT pdfmark\n"
            "[/Title (Web) /Action << /Subtype /URI /URI (https://example.org/) >> /OUT pdfmark\n");
  }
  const QString marked = dir.filePath("marked.pdf");
  ASSERT_EQ(runTool("gs", {"-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite", "-o", marked, "-f", plain,
                           marks}),
            0);

  RoadWindow window;
  showWindow(window);
  QTreeWidget* tree = window.outlineTree;
  ASSERT_TRUE(tree);
  auto* empty = tree->property("emptyLabel").value<QWidget*>();
  ASSERT_TRUE(empty);
  EXPECT_TRUE(tree->isHidden());
  EXPECT_FALSE(empty->isHidden());

  window.openFile(plain);
  EXPECT_TRUE(tree->isHidden());
  EXPECT_FALSE(empty->isHidden());

  window.openFile(marked);
  EXPECT_FALSE(tree->isHidden());
  EXPECT_TRUE(empty->isHidden());
  ASSERT_EQ(tree->topLevelItemCount(), 2);
  QTreeWidgetItem* chapter = tree->topLevelItem(0);
  EXPECT_EQ(chapter->text(0), "Chapter 1");
  EXPECT_TRUE(chapter->isExpanded());
  ASSERT_EQ(chapter->childCount(), 1);
  QTreeWidgetItem* section = chapter->child(0);
  EXPECT_EQ(section->toolTip(0), "Перейти на страницу 4");
  EXPECT_EQ(tree->topLevelItem(1)->toolTip(0), "https://example.org/");

  // The section's place (300 pt above the foot of page 4) comes to the top
  // of the view; the chapter names no place and shows its page's top.
  const auto screenTopOf = [&](int page, double y) { return window.view->pdfRectToScreenRect(page, QRectF(0, y, 1, 0)).top(); };
  emit tree->itemClicked(section, 0);
  EXPECT_EQ(window.view->currentPageIndex(), 3);
  EXPECT_NEAR(screenTopOf(3, 300), 10, 2);
  emit tree->itemActivated(chapter, 0);
  EXPECT_EQ(window.view->currentPageIndex(), 0);
  EXPECT_NEAR(screenTopOf(0, 842), 10, 2);

  // An untitled bookmark is named by its page.
  tree->clear();
  PdfDocument::OutlineItem untitled;
  untitled.page = 4;
  window.appendOutlineItemsForTest({untitled});
  EXPECT_EQ(tree->topLevelItem(0)->text(0), "Страница 5");

  window.activateDocument(0);
  EXPECT_TRUE(tree->isHidden());
  EXPECT_FALSE(empty->isHidden());
}

TEST_F(MainWindowEditRoadTest, EditModeKeepsUnsavedEditsAndAnnouncesOcrForAPageWithoutText) {
  const QString scanned = dir.filePath("scanned.pdf");
  ASSERT_TRUE(writeLinesPdf(scanned, {{}}));
  TestWindow viewerWindow(AppProduct::Viewer);
  viewerWindow.openFile(letter("viewer.pdf"));
  viewerWindow.onToggleEditMode();
  EXPECT_FALSE(viewerWindow.editMode);
  EXPECT_EQ(viewerWindow.statusLabel->text(), "Редактирование PDF недоступно в этой версии программы");

  RoadWindow window;
  showWindow(window);
  window.openFile(letter("letter.pdf"));
  window.onToggleEditMode();
  ASSERT_TRUE(editBlock(window, "Dear customer", "Dear reader"));
  window.onToggleEditMode();
  EXPECT_FALSE(window.view->isEditMode());
  EXPECT_EQ(window.statusLabel->text(), "Режим чтения: текстовые рамки выключены");
  window.onToggleEditMode();
  EXPECT_TRUE(window.view->hasOcrEdits());
  EXPECT_GE(blockIndexContaining(window.view, "Dear reader"), 0);

  window.onSave();
  window.openFile(scanned);
  window.onToggleEditMode();
  EXPECT_TRUE(window.editMode);
  // The whole-document recognition opens its dialog (closed before its run starts).
  QDialog* recognition = nullptr;
  for (QDialog* dialog : window.findChildren<QDialog*>())
    if (dialog->windowTitle() == "OCR" && dialog->isVisible()) recognition = dialog;
  ASSERT_NE(recognition, nullptr);
  recognition->close();
  EXPECT_EQ(window.statusLabel->text(), "Текстовый слой не найден: запускаю OCR.");
}

TEST_F(MainWindowEditRoadTest, DroppedEditsOfAClosedTabNeverReachTheNextDocument) {
  RoadWindow window;
  showWindow(window);
  window.openFile(letter("first.pdf"));
  window.view->setCurrentPage(1);  // coming back turns the page
  window.openFile(letter("second.pdf"));
  window.onToggleEditMode();
  ASSERT_TRUE(editBlock(window, "Dear customer", "Dear reader"));
  std::shared_ptr<DialogSeen> seen = answerNextDialog("Не сохранять");
  EXPECT_TRUE(window.closeDocumentAt(1));
  seen->stopWaiting = true;
  EXPECT_TRUE(seen->shown);
  ASSERT_EQ(window.activeIndex, 0);
  EXPECT_FALSE(window.view->hasOcrEdits());
  EXPECT_EQ(window.view->currentPageIndex(), 1);
  EXPECT_FALSE(window.currentDocument->isModified());
  EXPECT_TRUE(window.currentDocument->extractAllText(0).contains("Dear customer"));
}

TEST_F(MainWindowEditRoadTest, InsertCommandsSwitchOnEditModeAndAskForAnArea) {
  TestWindow viewer(AppProduct::Viewer);
  viewer.openFile(letter("viewer.pdf"));
  viewer.statusLabel->setText("Готово");
  viewer.onEditInsertText();
  EXPECT_FALSE(viewer.editMode);
  EXPECT_EQ(viewer.statusLabel->text(), "Готово");

  const struct {
    void (MainWindow::*slot)();
    QString prompt;
  } cases[] = {{&MainWindow::onEditInsertText, "Нарисуйте область для текста на странице"},
               {&MainWindow::onEditInsertImage, "Нарисуйте область для изображения на странице"}};
  for (const auto& c : cases) {
    RoadWindow window;
    showWindow(window);
    window.openFile(letter("letter.pdf"));
    (window.*c.slot)();
    EXPECT_TRUE(window.editMode);
    EXPECT_TRUE(window.view->isEditMode());
    EXPECT_EQ(window.statusLabel->text(), c.prompt);
    EXPECT_EQ(window.view->ocrBlocksPageIndex(), 0);

    // Cancelling the picture's file dialog adds nothing.
    const size_t blocks = window.view->currentOcrBlocks().size();
    std::shared_ptr<DialogSeen> seen = answerNextDialog("");
    window.onImageRectReady(0, QRectF(100, 100, 50, 50));
    seen->stopWaiting = true;
    EXPECT_TRUE(seen->shown);
    EXPECT_EQ(window.view->currentOcrBlocks().size(), blocks);
    EXPECT_FALSE(window.view->hasOcrEdits());
  }
}

// A 53-megapixel picture, past Qt's default allocation limit, is placed by a
// drag and saved; one past the 64-megapixel bound is refused, saying why.
TEST_F(MainWindowEditRoadTest, PicturesUpToTheImportBoundArePlacedAndLargerOnesSayWhy) {
  const QString big = dir.filePath(QStringLiteral("big.png")), huge = dir.filePath(QStringLiteral("huge.png"));
  QImage picture(8000, 6625, QImage::Format_RGB32);
  picture.fill(QColor(30, 90, 160));
  ASSERT_TRUE(picture.save(big) && QImage(9000, 9000, QImage::Format_Mono).save(huge));
  picture = QImage();
  RoadWindow window;
  showWindow(window);
  window.openFile(letter("letter.pdf"));
  ASSERT_TRUE(pageBlocksRead(window.view));
  const size_t before = window.view->currentOcrBlocks().size();
  for (const QString& file : {big, huge}) {
    window.onEditInsertImage();
    chooseFileInNextDialog(file);
    std::shared_ptr<DialogSeen> refused = answerNextDialog(QString(), QStringLiteral("Ошибка"));
    const double top = file == big ? 120 : 300;
    const QPoint from = window.view->viewportPointForPageTopPoint(0, QPointF(100, top));
    const QPoint to = window.view->viewportPointForPageTopPoint(0, QPointF(250, top + 100));
    ASSERT_TRUE(window.view->viewport()->rect().contains(to));
    QTest::mousePress(window.view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(window.view->viewport(), (from + to) / 2);
    QTest::mouseRelease(window.view->viewport(), Qt::LeftButton, {}, to);
    refused->stopWaiting = true;
    EXPECT_EQ(refused->texts.contains(QStringLiteral("9000 × 9000: больше 64 Мпикс")), file == huge) << refused->texts.toStdString();
  }
  ASSERT_EQ(window.view->currentOcrBlocks().size(), before + 1);
  const QString saved = dir.filePath(QStringLiteral("with-picture.pdf"));
  ASSERT_TRUE(window.applyPendingOcrEdits() && window.currentDocument->saveCopy(saved));
  QByteArray listed;
  ASSERT_EQ(runTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), saved}, &listed), 0);
  EXPECT_TRUE(QString::fromUtf8(listed).contains(QRegularExpression(QStringLiteral("\\n\\s+1\\s+\\d+\\s+image"))));
}

TEST_F(MainWindowEditRoadTest, BlockEditsSurviveLeavingThePageAndClosingTheDocument) {
  if (!hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  // Leaving the page with the arrow writes its edits into the document
  // before the next page's blocks replace them; saving later keeps them on
  // page 1. The letter has 8,000 more pages: the write, which takes the
  // whole document anew, goes on while the window draws on.
  const QString moved = dir.filePath("moved.pdf");
  QList<QList<Line>> pages = {{{{60, 100}, "Dear customer, the invoice follows"},
                               {{60, 130}, "Payment is due within thirty days"}},
                              {{{60, 100}, "Second page of the letter text"}}};
  for (int i = 0; i < 8000; ++i) pages.append({{{60, 100}, QStringLiteral("Appendix line %1").arg(i)}});
  ASSERT_TRUE(writeLinesPdf(moved, pages));
  {
    RoadWindow window;
    showWindow(window);
    window.openFile(moved);
    window.onToggleEditMode();
    ASSERT_TRUE(editBlock(window, "Dear customer", "Dear reader"));
    // The busy ring covers the window while the write, then the save, goes on;
    // under it the page box already names the page gone to.
    int ticks = 0, pageBoxUnderRing = 0;
    bool saveRingShown = false;
    EventLoopStall stall([&] {
      ++ticks;
      const auto* cover = window.findChild<QWidget*>(QStringLiteral("EditWriteBusyOverlay"));
      if (cover && cover->isVisible()) pageBoxUnderRing = window.pageSpin->value();
      const auto* saveCover = window.findChild<QWidget*>(QStringLiteral("PictureBusyOverlay"));
      saveRingShown = saveRingShown || (saveCover && saveCover->isVisible());
    });
    stall.start();
    QTest::mouseClick(window.nextPageButton, Qt::LeftButton);
    const int ticksAtClick = ticks;
    // Read beside any drawing under way: at once, or when the read ends.
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.view->ocrBlocksPageIndex() == 1 && ticks > ticksAtClick; }, 60000));
    window.onSave();
    stall.stop();
    EXPECT_LT(stall.longestMs(), 250) << "ms the window waited while the edits of page 1 were written and saved";
    EXPECT_EQ(pageBoxUnderRing, 2);
    EXPECT_TRUE(saveRingShown);
    std::printf("leaving an edited page of %d and saving: the window waited %lld ms at most\n",
                window.currentDocument->pageCount(), stall.longestMs());
  }
  QByteArray firstPage;
  ASSERT_EQ(runTool("pdftotext", {"-f", "1", "-l", "1", moved, "-"}, &firstPage), 0);
  EXPECT_TRUE(firstPage.contains("Dear reader")) << firstPage.toStdString();
  EXPECT_FALSE(firstPage.contains("Dear customer")) << firstPage.toStdString();

  // A document whose only change is a block edit still asks before closing,
  // and "Сохранить" puts the edit into the file.
  const QString closed = letter("closed.pdf");
  {
    RoadWindow window;
    showWindow(window);
    window.openFile(closed);
    window.onToggleEditMode();
    ASSERT_TRUE(editBlock(window, "Payment is due", "Payment is due today"));
    std::shared_ptr<DialogSeen> seen = answerNextDialog("Сохранить", "Несохранённые изменения");
    window.onClose();
    seen->stopWaiting = true;
    EXPECT_TRUE(seen->shown);
    EXPECT_TRUE(window.documents.empty());
  }
  EXPECT_TRUE(pdfText(closed).contains("Payment is due today"));
}

// A word typed at the end of a right-to-left line of a real Hebrew page: after
// the save poppler reads every Hebrew character of the page as often as
// before, and MuPDF draws no glyph 0. A word typed in its middle in another
// style leaves the line where it stood, as wide, read in order.
TEST_F(MainWindowEditRoadTest, AWordTypedIntoAHebrewLineKeepsEveryCharacterAndTheLinesPlace) {
  if (!hasTool("pdftotext") || !hasTool("mutool")) GTEST_SKIP() << "poppler-utils or mupdf-tools missing";
  const QString source = corpusDir() + QStringLiteral("/../script-pdfs/issue10301.pdf");
  const auto hebrew = [](const QString& text) {
    std::multiset<uint> found;
    for (const uint c : text.toUcs4())
      if (c >= 0x0590 && c <= 0x05FF) found.insert(c);
    return found;
  };
  const std::multiset<uint> before = hebrew(pdfText(source));
  ASSERT_FALSE(before.empty());
  // Opens a copy, puts the cursor into the first Hebrew line (selecting
  // [from, to), -1 its end), types `keys` and saves.
  const auto typeAndSave = [&](const QString& path, int from, int to, const std::function<void(QTextEdit*)>& keys) {
    ASSERT_TRUE(QFile::copy(source, path));
    RoadWindow window;
    showWindow(window);
    window.openFile(path);
    window.onToggleEditMode();
    const std::vector<TextBlock>& blocks = window.view->currentOcrBlocks();
    const auto line = std::find_if(blocks.begin(), blocks.end(), [&](const TextBlock& b) { return !hebrew(b.text).empty(); });
    ASSERT_NE(line, blocks.end());
    window.view->activateOcrBlock(int(line - blocks.begin()));
    QTextEdit* editor = window.view->activeTextEditor();
    ASSERT_TRUE(editor);
    editor->setFocus();
    QTextCursor cursor = editor->textCursor();
    if (from < 0) cursor.movePosition(QTextCursor::End);
    else cursor.setPosition(from);
    if (to > from) cursor.setPosition(to, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    keys(editor);
    ASSERT_TRUE(window.view->hasOcrEdits());
    window.onSave();
    EXPECT_EQ(window.statusLabel->text(), "Сохранено") << window.currentDocument->lastError().toStdString();
  };
  const QString path = dir.filePath(QStringLiteral("hebrew.pdf"));
  typeAndSave(path, -1, -1, [](QTextEdit* editor) { QTest::keyClicks(editor, QStringLiteral(" okapi")); });
  const QString text = pdfText(path);
  EXPECT_TRUE(text.contains(QStringLiteral("okapi"))) << text.toStdString();
  const std::multiset<uint> after = hebrew(text);
  EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end())) << text.toStdString();
  QByteArray trace;
  ASSERT_EQ(runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), path, QStringLiteral("1")}, &trace), 0);
  EXPECT_EQ(trace.count("glyph=\"0\""), 0);
  // The line's own letters stay in the page's font: only the typed word is new.
  static const QRegularExpression span(QStringLiteral("<span font=\"([^\"]+)\"[^>]*>((?:\\s*<g [^>]*/>)*)"));
  int pageLetters = 0;
  for (auto it = span.globalMatch(QString::fromUtf8(trace)); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    for (const QString& letter : {QStringLiteral("א"), QStringLiteral("ב"), QStringLiteral("ג")})
      if (m.captured(2).contains(QStringLiteral("unicode=\"") + letter)) {
        ++pageLetters;
        EXPECT_EQ(m.captured(1), QStringLiteral("ArialMT")) << letter.toStdString();
      }
  }
  EXPECT_EQ(pageLetters, 3);

  // A word typed in bold over the line's middle letter goes as rich text,
  // laid out right to left.
  const QString middle = dir.filePath(QStringLiteral("hebrew-middle.pdf"));
  typeAndSave(middle, 1, 2, [](QTextEdit* editor) {
    QTest::keySequence(editor->window(), QKeySequence::keyBindings(QKeySequence::Bold).value(0));
    for (const QChar c : QStringLiteral("יו")) QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), {});
  });
  const auto lineSpan = [](const QString& file) {
    QRectF span;  // y up from the foot of the A4 page
    for (const auto& [word, box] : oracles::pageWords(file, 0, 841.68))
      if (box.top() > 770 && box.bottom() < 790) span = span.united(box);
    return span;
  };
  const QRectF was = lineSpan(source), now = lineSpan(middle);
  EXPECT_NEAR(now.right(), was.right(), 1.5);
  EXPECT_NEAR(now.width(), was.width(), 2.0);
  EXPECT_TRUE(pdfText(middle).contains(QStringLiteral("איוג"))) << pdfText(middle).toStdString();
  trace.clear();
  ASSERT_EQ(runTool(QStringLiteral("mutool"), {QStringLiteral("trace"), middle, QStringLiteral("1")}, &trace), 0);
  // Each show on the line's baseline, to its font size: narrowed no further
  // than the written faces' advances differ from the layout's.
  static const QRegularExpression show(
      QStringLiteral("trm=\"([-0-9.]+) 0 0 ([-0-9.]+)\">\\s*<g [^>]* y=\"([-0-9.]+)\""));
  int shows = 0;
  for (auto it = show.globalMatch(QString::fromUtf8(trace)); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    if (const double y = m.captured(3).toDouble(); y < was.top() - 1 || y > was.bottom()) continue;
    ++shows;
    EXPECT_GT(m.captured(1).toDouble() / m.captured(2).toDouble(), 0.75) << m.captured(0).toStdString();
  }
  EXPECT_GT(shows, 0);
}
