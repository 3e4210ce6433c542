// The print run onto a PDF printer: one sheet per page at the paper size, a
// page that cannot be rendered named instead of counted, and a cancelled
// system dialog that prints nothing.
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/HandWrittenPdf.h"
#include "core/PopplerOracles.h"
#include "core/RawPdf.h"
#include "view/PdfView.h"
#include "PrintChoices.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QTimer>
#include <QElapsedTimer>
#include <QComboBox>
#include <QFile>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <memory>

using namespace apptest;

namespace {

class PrintWindow : public RibbonWindow {
 public:
  using RibbonWindow::RibbonWindow;
  using MainWindow::printPages;
  using MainWindow::handToPrinter;
};

// Every page of the window's document onto A4 sheets of a PDF file.
QList<int> printEveryPage(PrintWindow& window, const QString& out, int dpi) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(out);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setFullPage(true);  // pages stand where they stand on the paper
  printer.setResolution(dpi);
  QList<int> every;
  for (int page = 0; page < window.currentDocument->pageCount(); ++page) every << page;
  return window.printPages(printer, every);
}

int darkPixels(const QImage& image) {
  int dark = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++dark;
  return dark;
}

class PrintingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("print.pdf"));
    const QByteArray text = textLine("F1", 24, 72, 720, "Printed page");
    // The middle page is 200 inches square: at natural size it is far beyond
    // any page image the document model renders.
    ASSERT_TRUE(writeRawPdf(path, {{text}, {text, {14400, 14400}}, {text}}));
    window = std::make_unique<PrintWindow>(AppProduct::Editor);
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }

  QString printToPdf(const QString& scale, QList<int>* failed) {
    QSettings().setValue(QStringLiteral("print/scale"), scale);
    const QString out = dir.filePath(scale + QStringLiteral(".pdf"));
    *failed = printEveryPage(*window, out, 150);
    return out;
  }

  QTemporaryDir dir;
  QString path;
  std::unique_ptr<PrintWindow> window;
};

}  // namespace

TEST_F(PrintingTest, OneA4SheetPerPageAndAFailedRenderIsNamed) {
  if (!testsupport::hasTool("pdfinfo")) GTEST_SKIP() << "poppler tools missing";
  QList<int> failed;
  auto seen = answerNextDialog(QString(), QStringLiteral("Печать"));
  const QString natural = printToPdf(QStringLiteral("100"), &failed);
  EXPECT_EQ(failed, QList<int>{1});
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("страницы: 2")));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Напечатано страниц: 2 из 3"));

  const QList<oracles::PageInfo> sheets = oracles::pdfinfoPages(natural);
  ASSERT_EQ(sheets.size(), 3);
  for (const oracles::PageInfo& sheet : sheets) {
    EXPECT_NEAR(sheet.size.width(), 595.28, 1.0);
    EXPECT_NEAR(sheet.size.height(), 841.89, 1.0);
  }
  // The pages that rendered carry their text; the failed one is a blank sheet.
  EXPECT_GT(darkPixels(oracles::renderWithPoppler(natural, 0, 36)), 20);
  EXPECT_EQ(darkPixels(oracles::renderWithPoppler(natural, 1, 36)), 0);
  EXPECT_GT(darkPixels(oracles::renderWithPoppler(natural, 2, 36)), 20);

  // Fitted to the sheet, every page renders.
  const QString fitted = printToPdf(QStringLiteral("fit"), &failed);
  EXPECT_TRUE(failed.isEmpty());
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Напечатано страниц: 3"));
  EXPECT_EQ(oracles::pdfinfoPages(fitted).size(), 3);
}

TEST_F(PrintingTest, FormFieldsArePrintedWithTheInkPopplerDrawsInThem) {
  const QString form = QFileInfo(testsupport::corpusDir()).dir().filePath(QStringLiteral("form-pdfs/bug1669099.pdf"));
  window->openFile(form);
  QList<int> failed;
  const QString printed = printToPdf(QStringLiteral("100"), &failed);
  EXPECT_GE(oracles::fieldInk(oracles::renderWithPoppler(printed, 0, 150), form, 841.89, 150),
            0.9 * oracles::fieldInk(oracles::renderWithPoppler(form, 0, 150), form, 841.89, 150));
}

TEST_F(PrintingTest, CancelledSystemDialogPrintsNothing) {
  const QString before = window->statusLabel->text();
  bool offered = false;
  whenModalOpens<QPrintDialog>([&offered](QPrintDialog* d) {
    offered = true;
    d->reject();
  });
  window->onPrint();
  EXPECT_TRUE(offered);
  EXPECT_EQ(window->statusLabel->text(), before);
}

// The stored settings reach the system dialog's printer, clamped; the
// program's own dialog stores its choices before the run.
TEST_F(PrintingTest, StoredSettingsReachThePrinterClamped) {
  struct Case {
    int dpi, copies;
    const char* paper;
    const char* orientation;
    int expectedDpi, expectedCopies;
    QPageSize::PageSizeId expectedPaper;
    QPageLayout::Orientation expectedOrientation;
  };
  const Case cases[] = {
      {50, 0, "A3", "landscape", 72, 1, QPageSize::A3, QPageLayout::Landscape},
      {2400, 500, "Letter", "Альбомная", 1200, 99, QPageSize::Letter, QPageLayout::Landscape},
      {300, 2, "B5", "portrait", 300, 2, QPageSize::A4, QPageLayout::Portrait},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.paper);
    QSettings settings;
    settings.setValue("print/dpi", c.dpi);
    settings.setValue("print/copies", c.copies);
    settings.setValue("print/paper", c.paper);
    settings.setValue("print/orientation", QString::fromUtf8(c.orientation));
    QPrinter seen;
    whenModalOpens<QPrintDialog>([&seen](QPrintDialog* d) {
      QPrinter* p = d->printer();
      seen.setResolution(p->resolution());
      seen.setCopyCount(p->copyCount());
      seen.setPageSize(p->pageLayout().pageSize());
      seen.setPageOrientation(p->pageLayout().orientation());
      d->reject();
    });
    window->onPrint();
    EXPECT_EQ(seen.resolution(), c.expectedDpi);
    EXPECT_EQ(seen.copyCount(), c.expectedCopies);
    EXPECT_EQ(seen.pageLayout().pageSize().id(), c.expectedPaper);
    EXPECT_EQ(seen.pageLayout().orientation(), c.expectedOrientation);
  }

  // Copies are not carried from one print to the next: with no default set
  // in the settings window, every print starts at one copy.
  QSettings().remove("print/copies");
  window->showPrintDialog();
  auto* dialog = window->findChild<QDialog*>(QStringLiteral("PrintDialog"));
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->findChild<QSpinBox*>()->value(), 1);
  const QList<QComboBox*> combos = dialog->findChildren<QComboBox*>();
  for (QComboBox* combo : combos) {
    if (combo->findText("Letter") >= 0) combo->setCurrentText("A5");
    if (combo->findData("landscape") >= 0) combo->setCurrentIndex(combo->findData("landscape"));
    if (combo->findData("width") >= 0) combo->setCurrentIndex(combo->findData("width"));
  }
  dialog->findChild<QSpinBox*>()->setValue(3);
  whenModalOpens<QPrintDialog>([](QPrintDialog* d) { d->reject(); });
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == QStringLiteral("Печать")) QTest::mouseClick(b, Qt::LeftButton);
  QSettings stored;
  EXPECT_EQ(stored.value("print/paper").toString(), "A5");
  EXPECT_EQ(stored.value("print/orientation").toString(), "landscape");
  EXPECT_EQ(stored.value("print/scale").toString(), "width");
  EXPECT_FALSE(stored.contains("print/copies"));
  QTest::qWait(0);
  window->showPrintDialog();
  // The first dialog closed after printing and is gone.
  ASSERT_EQ(window->findChildren<QDialog*>(QStringLiteral("PrintDialog")).size(), 1);
  auto* again = window->findChild<QDialog*>(QStringLiteral("PrintDialog"));
  EXPECT_EQ(again->findChild<QSpinBox*>()->value(), 1);
  // The other choices are remembered.
  for (QComboBox* combo : again->findChildren<QComboBox*>())
    if (combo->findText("Letter") >= 0) {
      EXPECT_EQ(combo->currentText(), "A5");
    }
  again->close();
}

// A page the view shows turned is printed turned, in its own proportions:
// a 2:1 bar on the page prints as a 1:2 bar.
TEST_F(PrintingTest, PageTurnedInTheViewPrintsTurnedNotSqueezed) {
  const QString tall = dir.filePath(QStringLiteral("tall.pdf"));
  ASSERT_TRUE(writeRawPdf(tall, {{"0 g 50 450 200 100 re f", {300, 600}}}));
  window->openFile(tall);
  ASSERT_TRUE(window->currentDocument->isOpen());
  window->view->setRotation(90);
  QSettings().setValue(QStringLiteral("print/scale"), QStringLiteral("fit"));
  const QString out = dir.filePath(QStringLiteral("turned.pdf"));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(out);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setResolution(150);
  EXPECT_TRUE(window->printPages(printer, {0}).isEmpty());

  const QImage sheet = oracles::renderWithPoppler(out, 0, 72);
  ASSERT_FALSE(sheet.isNull());
  QRect ink;
  for (int y = 0; y < sheet.height(); ++y)
    for (int x = 0; x < sheet.width(); ++x)
      if (qGray(sheet.pixel(x, y)) < 128) ink |= QRect(x, y, 1, 1);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_NEAR(double(ink.height()) / ink.width(), 2.0, 0.15) << ink.width() << "x" << ink.height();
}

// A PDF file that cannot be written is said, and no sheet counts as printed.
TEST_F(PrintingTest, APdfFileThatCannotBeWrittenIsReportedAsAFailure) {
  const QString out = dir.filePath(QStringLiteral("folder.pdf"));
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.pdf")));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(out);
  printer.setResolution(72);
  auto seen = answerNextDialog(QString(), QStringLiteral("Печать"));
  EXPECT_EQ(window->printPages(printer, {0, 2}), QList<int>({0, 2}));
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(out)) << seen->texts.toStdString();
  EXPECT_TRUE(QFileInfo(out).isDir());
}

// Cancel in the run's dialog stops it after the sheet being drawn: the
// printer is given no further sheet, and nothing reaches the file.
TEST_F(PrintingTest, CancelInTheProgressStopsTheSheetsComing) {
  // Counts the sheets it is given; as the second begins, Cancel is pressed
  // on the window's thread, which shows the run's dialog meanwhile.
  struct CancellingPrinter : QPrinter {
    PrintWindow* window = nullptr;
    std::atomic<int> sheets{1};
    bool newPage() override {
      if (++sheets == 2)
        QMetaObject::invokeMethod(window, [this] {
          auto* progress = window->findChild<QDialog*>(QStringLiteral("PrintProgressDialog"));
          for (QPushButton* b : progress ? progress->findChildren<QPushButton*>() : QList<QPushButton*>())
            if (b->text() == QStringLiteral("Отмена")) b->click();
        }, Qt::BlockingQueuedConnection);
      return QPrinter::newPage();
    }
  } printer;
  printer.window = window.get();
  const QString out = dir.filePath(QStringLiteral("cancelled.pdf"));
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(out);
  printer.setResolution(72);
  const QList<int> sheets{0, 2, 0, 2, 0, 2};
  EXPECT_EQ(window->printPages(printer, sheets), sheets);
  EXPECT_EQ(printer.sheets, 2);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Печать отменена"));
  EXPECT_FALSE(QFileInfo::exists(out));

  // A printer is handed nothing of a cancelled run; a finished one is handed
  // the file whole, which is gone after, and a refusal is said.
  QList<oracles::PageInfo> handed;
  QString refusal, file;
  window->handToPrinter = [&](const PrinterJob&, const QString& sheetsFile) {
    handed = oracles::pdfinfoPages(file = sheetsFile);
    return refusal;
  };
  const PrinterJob job{QStringLiteral("office"), QStringLiteral("print.pdf"), {}};
  printer.sheets = 1;
  printer.setOutputFileName(QString());
  EXPECT_EQ(window->printPages(printer, sheets, &job), sheets);
  EXPECT_TRUE(handed.isEmpty());
  printer.sheets = 100;  // no Cancel this time
  EXPECT_TRUE(window->printPages(printer, {0, 2, 0}, &job).isEmpty());
  EXPECT_EQ(handed.size(), 3);
  EXPECT_FALSE(QFileInfo::exists(file));
  refusal = QStringLiteral("office\nclient-error-not-possible");
  auto seen = answerNextDialog(QString(), QStringLiteral("Печать"));
  EXPECT_EQ(window->printPages(printer, {0}, &job), QList<int>({0}));
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("client-error-not-possible"))) << seen->texts.toStdString();
}

// Dark bands down the middle of a printed sheet, as poppler renders it.
int darkBands(const QImage& sheet) {
  int bands = 0;
  bool inBand = false;
  const int x = sheet.width() / 2;
  for (int y = 0; y < sheet.height(); ++y) {
    const bool dark = qGray(sheet.pixel(x, y)) < 100;
    if (dark && !inBand) ++bands;
    inBand = dark;
  }
  return bands;
}

// The program's own dialog decides what is printed: "2-3" with two copies
// gives four sheets, collated or not, and only those pages; the current page
// gives that page alone; the preview shows the first page of the choice.
// Printed sheets are pictures, so each page says who it is by its number of
// bars (page n has n), counted on poppler's render of the printed file.
TEST(PrintDialogChoicesTest, RangeCurrentPageAndCopiesReachTheSheets) {
  if (!testsupport::hasTool("pdfinfo") || !testsupport::hasTool("pdftoppm")) GTEST_SKIP() << "poppler tools missing";
  useCleanSettings();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("five.pdf"));
  ASSERT_TRUE(testsupport::writeDrawnPdf(path, 5, {595, 842}, 12, [](QPainter& painter, int page) {
    for (int bar = 0; bar <= page; ++bar) painter.fillRect(QRectF(100, 100 + 120 * bar, 395, 50), Qt::black);
  }));
  TestWindow window(AppProduct::Editor);
  window.openFile(path);
  ASSERT_TRUE(window.currentDocument->isOpen());
  const QString out = dir.filePath(QStringLiteral("five-print.pdf"));

  struct Case {
    QString radio;
    QString range;
    int copies;
    bool collate;
    QList<int> expected;  // bars on each printed sheet
  };
  const QList<Case> cases = {
      {QStringLiteral("Страницы:"), QStringLiteral("2-3"), 2, true, {2, 3, 2, 3}},
      {QStringLiteral("Страницы:"), QStringLiteral("2-3"), 2, false, {2, 2, 3, 3}},
      {QStringLiteral("Текущая страница"), QString(), 1, true, {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE((c.radio + " " + c.range + " collate " + QString::number(c.collate)).toStdString());
    QFile::remove(out);
    window.view->setCurrentPage(3);
    window.showPrintDialog();
    auto* dialog = window.findChild<QDialog*>(QStringLiteral("PrintDialog"));
    ASSERT_NE(dialog, nullptr);
    for (QComboBox* combo : dialog->findChildren<QComboBox*>())
      if (combo->findText(QStringLiteral("PDF (файл)")) >= 0) combo->setCurrentIndex(0);
    for (QRadioButton* radio : dialog->findChildren<QRadioButton*>())
      if (radio->text() == c.radio) QTest::mouseClick(radio, Qt::LeftButton);
    if (!c.range.isEmpty()) {
      auto* range = dialog->findChild<QLineEdit*>();
      range->selectAll();
      QTest::keyClicks(range, c.range);
    }
    // The preview is the first page of the choice, drawn from the document.
    auto* preview = dialog->findChild<QLabel*>(QStringLiteral("PrintPreviewPage"));
    ASSERT_TRUE(QTest::qWaitFor([preview] { return !preview->pixmap().isNull(); }));
    EXPECT_EQ(darkBands(preview->pixmap().toImage()), c.expected.first());
    dialog->findChild<QSpinBox*>()->setValue(c.copies);
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
      if (box->text() == QStringLiteral("Разобрать по копиям")) box->setChecked(c.collate);
    bool offered = false;
    // Answered as a user would, once the dialog has settled on what it offers.
    whenModalOpens<QPrintDialog>([&offered](QPrintDialog* d) {
      offered = true;
      QMetaObject::invokeMethod(d, &QDialog::accept, Qt::QueuedConnection);
    });
    for (QPushButton* b : dialog->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("Печать")) QTest::mouseClick(b, Qt::LeftButton);
    ASSERT_TRUE(offered);
    ASSERT_TRUE(QFileInfo::exists(out));
    ASSERT_EQ(oracles::pdfinfoPages(out).size(), c.expected.size());
    for (int i = 0; i < c.expected.size(); ++i)
      EXPECT_EQ(darkBands(oracles::renderWithPoppler(out, i, 30)), c.expected[i]) << "sheet " << i + 1;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

// Run by the test below in a child of its own: the window zooms to 800 %
// with the keys, shows each page there, and prints them all at 300 dpi.
TEST(PrintingChild, DISABLED_ZoomsAndPrintsCostlyPages) {
  const QString path = qEnvironmentVariable("ULVO_COSTLY_PAGES");
  if (path.isEmpty()) GTEST_SKIP();
  useCleanSettings();
  PrintWindow window(AppProduct::Editor);
  window.resize(1100, 760);
  window.show();
  window.openFile(path);
  PdfDocument* document = window.currentDocument;
  ASSERT_TRUE(document->isOpen());
  EventLoopStall stall;
  stall.start();
  QTest::qWait(300);
  const double openMb = testsupport::peakResidentMb("VmRSS");
  for (int i = 0; i < 20 && window.view->zoomFactor() < 7.99; ++i)
    QTest::keyClick(window.view->viewport(), Qt::Key_Plus, Qt::ControlModifier);
  ASSERT_DOUBLE_EQ(window.view->zoomFactor(), 8.0);
  for (int page = 0; page < document->pageCount(); ++page) {
    window.view->setCurrentPage(page);
    // Drawn, or saying it is not: the text page and the cheap ones are drawn.
    EXPECT_TRUE(QTest::qWaitFor([&] {
      window.view->viewport()->repaint();
      return !document->isPageBeingChecked(page) &&
             (document->isRenderRefused(page, 8.0) || !window.view->cachedPage(page).isNull());
    }, 60000)) << page;
    EXPECT_EQ(window.view->cachedPage(page).isNull(), page > 0 && page < 5) << page;
    // One not drawn says so in the part in sight (its centre is metres away
    // at this zoom); the status bar says a smaller zoom shows it.
    if (document->isRenderRefused(page, 8.0)) {
      // Dark, unsaturated pixels (HSV value below 150, saturation 255 * (hi -
      // lo) / hi rounding below 40), counted straight from the scan lines:
      // the count runs on the window's thread and must not pass for a wait.
      const QImage shot = window.view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
      int grey = 0;
      for (int y = 0; y < shot.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
          const int hi = std::max({qRed(line[x]), qGreen(line[x]), qBlue(line[x])});
          const int lo = std::min({qRed(line[x]), qGreen(line[x]), qBlue(line[x])});
          grey += hi < 150 && (hi - lo) * 510 < 79 * std::max(hi, 1);
        }
      }
      EXPECT_GT(grey, 100) << page;
      if (!document->isPageRefused(page)) {
        EXPECT_TRUE(QTest::qWaitFor([&] {
          return window.statusLabel->text() ==
                 QStringLiteral("Стр. %1 не показана при масштабе 800%: уменьшите масштаб, чтобы её увидеть").arg(page + 1);
        }, 20000)) << page;
      }
    }
    // The text of a page read beside a costly drawing still reaches the view.
    if (page == 0 || page >= 5) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return window.view->ocrBlocksPageIndex() == page; }, 20000)) << page;
    }
  }
  // The sheets themselves are the print road's: here, which pages are named.
  // How long the groups take depends on the machine: within the bound they
  // print, beyond it they are refused; the field and the fills never fit.
  answerNextDialog(QString(), QStringLiteral("Печать"));
  const QList<int> refused = printEveryPage(window, path + ".print.pdf", 300);
  EXPECT_TRUE(refused.contains(1) && refused.contains(4)) << testing::PrintToString(refused);
  for (int page : refused) EXPECT_TRUE(page >= 1 && page <= 4) << page;
  // A Cancel in the run's dialog stops it after the sheet being drawn, and
  // nothing reaches the file.
  bool cancelled = false;
  whenModalOpens<QDialog>([&cancelled](QDialog* progress) {
    for (QPushButton* b : progress->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("Отмена")) {
        QTest::mouseClick(b, Qt::LeftButton);
        cancelled = true;
      }
  });
  EXPECT_EQ(printEveryPage(window, path + ".cancelled.pdf", 300).size(), document->pageCount());
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(QFileInfo::exists(path + ".cancelled.pdf"));
  EXPECT_EQ(window.statusLabel->text(), QStringLiteral("Печать отменена"));
  // No wait for a check (150 s before the window stopped drawing these pages
  // for itself), nor for the document behind a drawing of a costly page (the
  // thumbnail of the fills held a page change for 2-10 s), nor for a sheet.
  EXPECT_LT(stall.longestMs(), 1000) << "ms the window waited while showing and printing the pages";
  std::printf("peak memory %.0f MB, open %.0f MB, window waited %lld ms at most\n", testsupport::peakResidentMb(),
              openMb, stall.longestMs());
  EXPECT_LT(testsupport::peakResidentMb() - openMb, 1024);
}

// Pages that cost gigabytes or minutes to draw at a larger size, and cheap
// ones that take 128 MB each at 800 %, shown at that zoom and printed at
// 300 dpi through the window: each drawn or refused with the window live and
// within a gigabyte beyond the open document.
TEST(PrintingCostlyPages, ZoomedAndPrintedWithinBoundsWithTheWindowLive) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "memory is measured without the sanitizer's shadow";
#endif
  QTemporaryDir dir;
  const QString path = dir.filePath("costly.pdf");
  using enum handwritten::CostlyPage;
  ASSERT_TRUE(handwritten::writeCostlyPages(path, QList{Text, SelfDrawingField, Groups, PosterGroups, Fills} +
                                                      QList<handwritten::CostlyPage>(9, Text)));
  qputenv("ULVO_COSTLY_PAGES", path.toLocal8Bit());
  QByteArray out;
  const int exit = testsupport::runTool(QCoreApplication::applicationFilePath(),
      {"--gtest_also_run_disabled_tests", "--gtest_filter=PrintingChild.*"}, &out, 300000);
  qunsetenv("ULVO_COSTLY_PAGES");
  EXPECT_EQ(exit, 0) << out.right(3000).constData();
  std::printf("child's %s\n", out.mid(out.indexOf("peak memory")).split('\n').first().constData());
}
