// Page operations through the window on a three-page PDF with an unsaved
// block edit on the page shown: each operation keeps the edit, and the saved
// file has the pages, order, sizes and rotations it should. Oracles: pdfinfo,
// pdftotext per page, qpdf --check.
#include "AppTestSupport.h"
#include "core/HandWrittenPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

using namespace apptest;
using namespace testsupport;

namespace {

class PageWindow : public TestWindow {
 public:
  using MainWindow::thumbnails;
  using MainWindow::pageSpin;
  using MainWindow::pageTotalLabel;
};

// What pdfinfo and pdftotext say of one page.
struct PageSeen {
  QString text;  // white space removed
  int rotation = 0;
  QSizeF size;
};

QList<PageSeen> pagesOf(const QString& pdf) {
  QByteArray info;
  if (runTool(QStringLiteral("pdfinfo"), {"-f", "1", "-l", "999", pdf}, &info) != 0) return {};
  QList<PageSeen> pages;
  static const QRegularExpression size(QStringLiteral("Page +(\\d+) size: +([\\d.]+) x ([\\d.]+)"));
  static const QRegularExpression rotation(QStringLiteral("Page +(\\d+) rot: +(\\d+)"));
  for (const QString& line : QString::fromUtf8(info).split('\n')) {
    if (const auto m = size.match(line); m.hasMatch()) {
      PageSeen page;
      page.size = QSizeF(m.captured(2).toDouble(), m.captured(3).toDouble());
      QByteArray text;
      runTool(QStringLiteral("pdftotext"), {"-f", m.captured(1), "-l", m.captured(1), pdf, "-"}, &text);
      page.text = QString::fromUtf8(text).remove(QRegularExpression(QStringLiteral("\\s+")));
      pages << page;
    } else if (const auto r = rotation.match(line); r.hasMatch() && !pages.isEmpty()) {
      pages.last().rotation = r.captured(2).toInt();
    }
  }
  return pages;
}

void answerQuestionYes() {
  whenModalOpens<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
}

const QString kOne = "PageONEmarkertextline";
const QString kEdited = "EditedTWOmarker";
const QString kThree = "PageTHREEmarkertextline";

struct Expected {
  QStringList texts;  // per page, white space removed; "" for a blank page
  QList<int> rotations;
  int currentPage;
};

struct Case {
  const char* name;
  std::function<void(PageWindow&)> operation;
  Expected expected;
};

class PageOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    useCleanSettings();
  }

  // A fresh copy of the three pages (the second smaller), open in edit mode
  // on page 2 with its line edited but not yet written.
  QString openWithEditOnPageTwo(PageWindow& window, const QString& name) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writePdf(path, {PageSpec{"Page ONE marker text line"},
                                PageSpec{"Page TWO marker text line", false, {500, 700}},
                                PageSpec{"Page THREE marker text line"}}));
    window.resize(1100, 760);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.openFile(path);
    window.onToggleEditMode();
    window.view->setCurrentPage(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.view->ocrBlocksPageIndex() == 1; }, 5000));
    EXPECT_TRUE(typeOverBlock(window.view, "Page TWO", "Edited TWO marker"));
    EXPECT_EQ(window.view->ocrBlocksPageIndex(), 1);
    return path;
  }

  QTemporaryDir dir;
};

}  // namespace

TEST_F(PageOperationsTest, EachOperationKeepsPendingEditsAndSavesTheRightPages) {
  const QList<int> flat = {0, 0, 0};
  const std::vector<Case> cases = {
      {"rotate right", [](PageWindow& w) { w.onRotateCW(); }, {{kOne, kEdited, kThree}, {0, 90, 0}, 1}},
      {"rotate left", [](PageWindow& w) { w.onRotateCCW(); }, {{kOne, kEdited, kThree}, {0, 270, 0}, 1}},
      {"insert blank page", [](PageWindow& w) { w.onInsertBlankPage(); },
       {{kOne, "", kEdited, kThree}, {0, 0, 0, 0}, 1}},
      {"thumbnail insert", [](PageWindow& w) { emit w.thumbnails->insertPageRequested(0); },
       {{"", kOne, kEdited, kThree}, {0, 0, 0, 0}, 0}},
      {"duplicate", [](PageWindow& w) { w.onDuplicatePage(); },
       {{kOne, kEdited, kEdited, kThree}, {0, 0, 0, 0}, 2}},
      {"thumbnail move", [](PageWindow& w) { emit w.thumbnails->movePageRequested(1, 0); },
       {{kEdited, kOne, kThree}, flat, 0}},
      {"thumbnail delete of another page", [](PageWindow& w) { emit w.thumbnails->deletePageRequested(0); },
       {{kEdited, kThree}, {0, 0}, 0}},
      {"delete current page",
       [](PageWindow& w) {
         answerQuestionYes();
         w.onDeleteCurrentPage();
       },
       {{kOne, kThree}, {0, 0}, 1}},
      {"clear",
       [](PageWindow& w) {
         answerQuestionYes();
         w.onClearPage();
       },
       {{kOne, "", kThree}, flat, 1}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageWindow window;
    const QString path = openWithEditOnPageTwo(window, QString("doc%1.pdf").arg(n++));
    c.operation(window);
    EXPECT_EQ(window.view->currentPageIndex(), c.expected.currentPage);
    EXPECT_TRUE(window.currentDocument->isModified());
    EXPECT_TRUE(window.windowTitle().contains(" *"));
    window.onSave();
    ASSERT_EQ(window.statusLabel->text(), "Сохранено");

    EXPECT_EQ(runTool("qpdf", {"--check", path}), 0);
    const QList<PageSeen> pages = pagesOf(path);
    ASSERT_EQ(pages.size(), c.expected.texts.size());
    for (qsizetype i = 0; i < pages.size(); ++i) {
      SCOPED_TRACE(i + 1);
      if (c.expected.texts[i].isEmpty())
        EXPECT_TRUE(pages[i].text.isEmpty()) << pages[i].text.toStdString();
      else
        EXPECT_TRUE(pages[i].text.contains(c.expected.texts[i])) << pages[i].text.toStdString();
      EXPECT_FALSE(pages[i].text.contains("PageTWO")) << pages[i].text.toStdString();
      EXPECT_EQ(pages[i].rotation, c.expected.rotations[i]);
    }
    if (std::string(c.name) == "clear") {
      EXPECT_EQ(pages[1].size, QSizeF(500, 700));
    }
  }
}

TEST_F(PageOperationsTest, TurningInReadingModeTurnsThePageInTheFileAndAnInsertKeepsIt) {
  PageWindow window;
  const QString path = dir.filePath("plain.pdf");
  ASSERT_TRUE(writePdf(path, {PageSpec{"First page of the file"}, PageSpec{"Second page of the file"}}));
  window.resize(1300, 800);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.openFile(path);
  ASSERT_FALSE(window.editMode);
  window.view->setCurrentPage(1);

  // The Pages tab's buttons, clicked as the user clicks them.
  for (int i = 0; i < window.ribbon->count(); ++i)
    if (window.ribbon->tabText(i) == "Страницы") window.ribbon->setCurrentIndex(i);
  const auto pagesButton = [&](const QString& text) -> QToolButton* {
    for (QToolButton* button : window.ribbon->currentWidget()->findChildren<QToolButton*>())
      if (button->text() == text) return button;
    return nullptr;
  };
  ASSERT_NE(pagesButton("Вправо"), nullptr);
  QTest::mouseClick(pagesButton("Вправо"), Qt::LeftButton);
  EXPECT_TRUE(window.currentDocument->isModified());
  EXPECT_TRUE(window.windowTitle().contains(" *"));
  EXPECT_EQ(window.statusLabel->text(), "Страница 2 повёрнута");
  QTest::mouseClick(pagesButton("Вставить"), Qt::LeftButton);  // a blank page before page 2
  window.view->setCurrentPage(0);
  QTest::mouseClick(pagesButton("Влево"), Qt::LeftButton);
  window.onSave();
  ASSERT_EQ(window.statusLabel->text(), "Сохранено");

  EXPECT_EQ(runTool("qpdf", {"--check", path}), 0);
  const QList<PageSeen> pages = pagesOf(path);
  ASSERT_EQ(pages.size(), 3);
  EXPECT_EQ(pages[0].rotation, 270);
  EXPECT_EQ(pages[1].rotation, 0);
  EXPECT_EQ(pages[2].rotation, 90);
  EXPECT_TRUE(pages[2].text.startsWith("Secondpage")) << pages[2].text.toStdString();
}

TEST_F(PageOperationsTest, EditsThatCannotBeWrittenStopEveryOperation) {
  PageWindow window;
  openWithEditOnPageTwo(window, "stuck.pdf");
  // Blocks that name a page the document does not have cannot be written.
  window.view->setOcrBlocks(window.view->ocrBlocksWithEdits(), 7, true);
  const std::vector<std::function<void()>> operations = {
      [&] { window.onRotateCW(); },
      [&] { window.onInsertBlankPage(); },
      [&] { window.onDuplicatePage(); },
      [&] { emit window.thumbnails->deletePageRequested(0); },
      [&] { emit window.thumbnails->movePageRequested(0, 2); },
      [&] { emit window.thumbnails->insertPageRequested(0); },
  };
  for (size_t i = 0; i < operations.size(); ++i) {
    SCOPED_TRACE(i);
    auto warning = std::make_shared<QString>();
    whenModalOpens<QMessageBox>([warning](QMessageBox* box) {
      *warning = box->text();
      box->accept();
    });
    operations[i]();
    EXPECT_EQ(*warning, "Не удалось определить страницу текстовых правок.");
    EXPECT_EQ(window.currentDocument->pageCount(), 3);
    EXPECT_EQ(window.currentDocument->pageSize(1), QSizeF(500, 700));  // not turned
    EXPECT_TRUE(window.view->hasOcrEdits());
  }
}

TEST_F(PageOperationsTest, DraggingAThumbnailOntoAnotherMovesItsPage) {
  PageWindow window;
  const QString path = dir.filePath("four.pdf");
  ASSERT_TRUE(writePdf(path, {PageSpec{"Alpha"}, PageSpec{"Bravo"}, PageSpec{"Charlie"}, PageSpec{"Delta"}}));
  window.resize(1300, 1200);  // room below the last thumbnail
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.openFile(path);
  PageThumbnailPanel* panel = window.thumbnails;
  ASSERT_TRUE(panel->isVisible());
  ASSERT_EQ(panel->count(), 4);
  QWidget* viewport = panel->viewport();
  const auto centre = [&](int row) { return panel->visualItemRect(panel->item(row)).center(); };
  ASSERT_TRUE(viewport->rect().contains(centre(2)));

  // Page 1 dragged onto page 3 takes its place.
  QTest::mousePress(viewport, Qt::LeftButton, {}, centre(0));
  QTest::mouseMove(viewport, centre(0) + QPoint(0, 20));
  QTest::mouseMove(viewport, centre(1));
  QTest::mouseMove(viewport, centre(2));
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(2));
  EXPECT_EQ(window.view->currentPageIndex(), 2);
  EXPECT_EQ(window.pageSpin->value(), 3);
  EXPECT_EQ(window.pageTotalLabel->text().trimmed(), "/ 4");
  EXPECT_TRUE(window.windowTitle().contains(" *"));

  // A click without a drag only selects; a drop on its own place moves nothing.
  QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(3));
  EXPECT_EQ(window.view->currentPageIndex(), 3);
  QTest::mousePress(viewport, Qt::LeftButton, {}, centre(3));
  QTest::mouseMove(viewport, centre(3) + QPoint(0, 30));
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(3));

  // Dropped in the empty space below the last thumbnail, the page goes last.
  const QPoint belowLast = panel->visualItemRect(panel->item(3)).bottomLeft() + QPoint(10, 15);
  ASSERT_TRUE(viewport->rect().contains(belowLast));
  ASSERT_EQ(panel->itemAt(belowLast), nullptr);
  QTest::mousePress(viewport, Qt::LeftButton, {}, centre(0));
  QTest::mouseMove(viewport, centre(0) + QPoint(0, 20));
  QTest::mouseMove(viewport, belowLast);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, belowLast);
  EXPECT_EQ(window.view->currentPageIndex(), 3);

  window.onSave();
  ASSERT_EQ(window.statusLabel->text(), "Сохранено");
  EXPECT_EQ(runTool("qpdf", {"--check", path}), 0);
  QStringList texts;
  for (const PageSeen& page : pagesOf(path)) texts << page.text;
  EXPECT_EQ(texts, (QStringList{"Charlie", "Alpha", "Delta", "Bravo"}));
}

// A form of `widgets` widgets under a chain of `chain` fields named `letters`
// letters each; the last field holds `value` (when given) for them to inherit.
QString fieldKidsForm(const QString& path, int chain, int letters, int widgets, const QByteArray& value) {
  const auto ref = [](int object) { return QStringLiteral("%1 0 R").arg(object); };
  QStringList annots, objects = {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] >> >>",
                                 "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", QString(), handwritten::stream("")};
  for (int w = 0; w < widgets; ++w) annots << ref(5 + chain + w);
  objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R /Annots [" + annots.join(' ') + "] >>";
  for (int f = 0; f < chain; ++f)
    objects << "<< /T (" + QString(letters, QChar('a' + f % 26)) + ") /Kids [" +
                   (f == chain - 1 ? annots.join(' ') : ref(6 + f)) + "]" + (f > 0 ? " /Parent " + ref(4 + f) : "") +
                   (f == chain - 1 && !value.isEmpty() ? " /FT /Tx /V (" + QString::fromLatin1(value) + ")" : "") + " >>";
  for (int w = 0; w < widgets; ++w)
    objects << QStringLiteral("<< /Type /Annot /Subtype /Widget /Parent %1 /Rect [%2 %3 %4 %5] /P 3 0 R >>")
                   .arg(ref(4 + chain)).arg(w % 25 * 12).arg(w / 25 * 12).arg(w % 25 * 12 + 10).arg(w / 25 * 12 + 10);
  return handwritten::writePdf(path, objects) ? path : QString();
}

// The review's forms, through the window in a child process: 600 widgets
// under 60 fields named 30,000 letters each would take 1.8 MB of name each,
// and "Дубль" says why it copies nothing; one 10 MB value inherited by 300
// widgets is shared, and the copy is made. They took 36 s and 4 GB.
TEST_F(PageOperationsTest, DuplicatesOfFieldKidsStayWithinTheirBudget) {
  if (!qEnvironmentVariableIsSet("ULVO_COPY_BUDGET_CHILD")) {
    QProcess child;
    child.setProcessEnvironment([] { auto e = QProcessEnvironment::systemEnvironment(); e.insert("ULVO_COPY_BUDGET_CHILD", "1"); return e; }());
    child.start("prlimit", {"--cpu=10", "--", QFile::symLinkTarget("/proc/self/exe"),
                            "--gtest_filter=PageOperationsTest.DuplicatesOfFieldKidsStayWithinTheirBudget"});
    ASSERT_TRUE(child.waitForFinished(300000));
    EXPECT_TRUE(child.readAllStandardOutput().contains("[  PASSED  ] 1 test"));
    rusage usage{};
    ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
    std::printf("window's peak resident memory: %ld MB\n", usage.ru_maxrss / 1024);
    EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "KiB";
    return;
  }
  PageWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  for (const bool fits : {false, true}) {
    window.openFile(fits ? fieldKidsForm(dir.filePath("value.pdf"), 1, 5, 300, QByteArray(10 << 20, 'v'))
                         : fieldKidsForm(dir.filePath("names.pdf"), 60, 30000, 600, {}));
    for (int i = 0; i < window.ribbon->count(); ++i)
      if (window.ribbon->tabText(i) == "Страницы") window.ribbon->setCurrentIndex(i);
    for (QToolButton* button : window.ribbon->currentWidget()->findChildren<QToolButton*>())
      if (button->text() == "Дубль") {
        std::shared_ptr<DialogSeen> seen = answerNextDialog("OK");
        QTest::mouseClick(button, Qt::LeftButton);
        seen->stopWaiting = true;
        EXPECT_EQ(seen->texts.contains("Поля формы на странице слишком велики для копии"), !fits) << seen->texts.toStdString();
      }
    EXPECT_EQ(window.currentDocument->pageCount(), fits ? 2 : 1);
  }
  const QString out = dir.filePath("copied.pdf");
  ASSERT_TRUE(window.currentDocument->saveCopy(out));
  EXPECT_LT(QFileInfo(out).size(), 3 * (10 << 20));  // the value once in the form, once in the copy
  EXPECT_EQ(runTool("qpdf", {"--check", out}), 0);
}
