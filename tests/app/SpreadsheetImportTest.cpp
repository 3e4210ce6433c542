// The Insert tab's document import with a workbook: the file chooser, the
// spreadsheet dialog, and the pages it adds to the open document, checked by
// pdfinfo and pdfimages on a saved copy.
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "xlsx/XlsxImportDialog.h"
#include "xlsx/XlsxPreviewWidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace apptest;

namespace {

class SpreadsheetImport : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    pdf = dir.filePath(QStringLiteral("doc.pdf"));
    ASSERT_TRUE(testsupport::writePdf(pdf, {testsupport::PageSpec{QStringLiteral("First page"), false, {595, 842}}}));
    book = dir.filePath(QStringLiteral("book.xlsx"));
    // Two sheets: 80 rows (two A4 pages) and a short one (one page). The
    // columns keep the default width (Calibri 11), where the spreadsheet
    // program shows a date and a rouble sum of thousands whole.
    ASSERT_NO_FATAL_FAILURE(writeBook(
        book, "import datetime\nws.title = 'Data'\nfor r in range(1, 81):\n"
              "    ws.append(['Row %d' % r, r * 10, datetime.date(2024, 12, 1 + r % 28), 1000 + r * 37.25])\n"
              "    ws.cell(r, 3).number_format = 'dd.mm.yyyy'\n"
              "    ws.cell(r, 4).number_format = '#,##0.00 \"\u20bd\"'\n"));
    window = std::make_unique<RibbonWindow>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->openFile(pdf);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }
  void TearDown() override { window.reset(); }

  // A workbook written by openpyxl: `firstSheet` fills its first sheet `ws`,
  // and a second sheet "Notes" holds one line.
  void writeBook(const QString& path, const QByteArray& firstSheet) {
    const QString script = path + QStringLiteral(".py");
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("import sys, openpyxl\nwb = openpyxl.Workbook()\nws = wb.active\n" + firstSheet +
               "wb.create_sheet('Notes').append(['Signed off'])\nwb.save(sys.argv[1])\n");
    file.close();
    ASSERT_EQ(testsupport::runTool(QStringLiteral("/usr/bin/python3"), {script, path}), 0);
  }

  QToolButton* documentButton() const {
    for (QToolButton* button : window->findChildren<QToolButton*>())
      if (button->text() == QStringLiteral("Документ")) return button;
    return nullptr;
  }

  QTemporaryDir dir;
  QString pdf, book;
  std::unique_ptr<RibbonWindow> window;
};

TEST_F(SpreadsheetImport, AcceptedWorkbookAddsItsPagesToTheOpenDocument) {
  QToolButton* button = documentButton();
  ASSERT_NE(button, nullptr);
  chooseFileInNextDialog(book);
  auto seen = answerNextDialog(QStringLiteral("Импортировать"), QStringLiteral("Импорт Excel: book.xlsx"));
  QTest::mouseClick(button, Qt::LeftButton);
  ASSERT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("Страниц: 2")));
  EXPECT_EQ(window->currentDocument->pageCount(), 4);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Импортировано: book.xlsx"));

  const QString copy = dir.filePath(QStringLiteral("copy.pdf"));
  ASSERT_TRUE(window->currentDocument->saveCopy(copy));
  QByteArray info;
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdfinfo"),
                                 {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("4"),
                                  copy},
                                 &info),
            0);
  const QString text = QString::fromUtf8(info);
  EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Pages:\\s+4")))) << text.toStdString();
  for (int page = 2; page <= 4; ++page)
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("Page\\s+%1 size:\\s+595 x 842 pts").arg(page))))
        << text.toStdString();
  // One 150-dpi page image on each new page, none on the first.
  const QList<testsupport::PdfImageInfo> images = testsupport::listPdfImages(copy);
  QList<int> pagesWithImages;
  for (const auto& image : images) {
    if (image.type != QLatin1String("image")) continue;
    pagesWithImages.append(image.page);
    EXPECT_EQ(image.size, QSize(1239, 1754));
  }
  EXPECT_EQ(pagesWithImages, (QList<int>{2, 3, 4}));

  // The sheet's first rows as tesseract reads them: dates and sums as written, no "###".
  const QString strip = dir.filePath(QStringLiteral("rows"));
  ASSERT_EQ(testsupport::runTool("pdftoppm", {"-f", "2", "-l", "2", "-r", "300", "-H", "600", "-png", "-singlefile", copy, strip}), 0);
  qputenv("OMP_THREAD_LIMIT", "1");
  QByteArray read;
  testsupport::runTool(QStringLiteral("tesseract"), {strip + QStringLiteral(".png"), "-", "--psm", "6"}, &read);
  EXPECT_FALSE(read.contains("##")) << read.toStdString();
  for (const int r : {1, 2, 3, 4})
    EXPECT_TRUE(read.contains(QStringLiteral("%1.12.2024 %2").arg(1 + r % 28, 2, 10, QLatin1Char('0')).arg(QLocale(QLocale::English).toString(1000 + r * 37.25, 'f', 2)).toUtf8())) << read.toStdString();
}

TEST_F(SpreadsheetImport, PagesFollowABreakDraggedInThePreview) {
  // 200 rows: four pages of the shown sheet before any drag, and a second sheet.
  const QString longBook = dir.filePath(QStringLiteral("long.xlsx"));
  ASSERT_NO_FATAL_FAILURE(writeBook(longBook, "for r in range(1, 201):\n    ws.append(['Row %d' % r, r])\n"));

  QList<int> autoBreaks, draggedBreaks;
  QString shownCount, notesCount;
  whenModalOpens<XlsxImportDialog>([&](XlsxImportDialog* dialog) {
    XlsxPreviewWidget* preview = dialog->previewWidget();
    autoBreaks = preview->breaks();
    if (autoBreaks.size() < 2) return dialog->reject();
    // Drag the second break twenty rows up with the mouse: the first page
    // stays, the second shrinks, and the rest of the sheet follows.
    const int from = preview->breakYForRow(autoBreaks[1]);
    const int to = preview->breakYForRow(autoBreaks[1] - 20) + 2;
    QTest::mouseMove(preview, QPoint(120, from));
    QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(120, from));
    for (int y = from; y >= to; y -= 4) QTest::mouseMove(preview, QPoint(120, y));
    QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(120, to));
    draggedBreaks = preview->breaks();
    for (const QLabel* label : dialog->findChildren<QLabel*>())
      if (label->text().startsWith(QStringLiteral("Страниц: "))) shownCount = label->text();
    // A look at the second sheet before importing: the first keeps its breaks.
    for (QToolButton* button : dialog->findChildren<QToolButton*>())
      if (button->text() == QStringLiteral("Notes")) QTest::mouseClick(button, Qt::LeftButton);
    for (const QLabel* label : dialog->findChildren<QLabel*>())
      if (label->text().startsWith(QStringLiteral("Страниц: "))) notesCount = label->text();
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
      if (button->text() == QStringLiteral("Импортировать")) QTest::mouseClick(button, Qt::LeftButton);
  });
  chooseFileInNextDialog(longBook);
  QTest::mouseClick(documentButton(), Qt::LeftButton);
  ASSERT_GE(autoBreaks.size(), 2);
  EXPECT_NE(draggedBreaks, autoBreaks);
  EXPECT_EQ(draggedBreaks.value(1), autoBreaks[1] - 20);
  const int previewPages = int(draggedBreaks.size()) + 1;
  EXPECT_EQ(shownCount, QStringLiteral("Страниц: %1").arg(previewPages));
  EXPECT_EQ(notesCount, QStringLiteral("Страниц: 1"));

  // The saved document holds its first page, the first sheet's pages as the
  // preview cut them, and the second sheet's page.
  const QString copy = dir.filePath(QStringLiteral("long.pdf"));
  ASSERT_TRUE(window->currentDocument->saveCopy(copy));
  QByteArray info;
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdfinfo"), {copy}, &info), 0);
  const QRegularExpressionMatch pages =
      QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(info));
  ASSERT_TRUE(pages.hasMatch()) << info.toStdString();
  EXPECT_EQ(pages.captured(1).toInt(), 1 + previewPages + 1);
  // The sheet's third page opens with the row the break was dragged to, as
  // tesseract reads the top of that page.
  const QString prefix = dir.filePath(QStringLiteral("third"));
  ASSERT_EQ(testsupport::runTool(QStringLiteral("pdftoppm"),
                                 {QStringLiteral("-f"), QStringLiteral("4"), QStringLiteral("-l"), QStringLiteral("4"),
                                  QStringLiteral("-r"), QStringLiteral("150"), QStringLiteral("-y"), QStringLiteral("0"),
                                  QStringLiteral("-H"), QStringLiteral("120"), QStringLiteral("-png"),
                                  QStringLiteral("-singlefile"), copy, prefix}),
            0);
  qputenv("OMP_THREAD_LIMIT", "1");
  QByteArray read;
  // One block of lines: the strip holds the page's first rows.
  testsupport::runTool(QStringLiteral("tesseract"), {prefix + QStringLiteral(".png"), QStringLiteral("-"), QStringLiteral("--psm"), QStringLiteral("6")},
                       &read);
  EXPECT_TRUE(QString::fromUtf8(read).contains(QStringLiteral("Row %1").arg(draggedBreaks.value(1))))
      << read.toStdString();
}

// A thousand sheets, as many as are read: the dialog stays within the screen
// with its own buttons on it, and a click on "Импортировать" imports them.
TEST_F(SpreadsheetImport, AThousandSheetsKeepTheDialogOnTheScreen) {
  ASSERT_NO_FATAL_FAILURE(writeBook(book, "ws.title = 'Data'\nws.append(['Only row'])\n"
                                          "for i in range(998):\n    wb.create_sheet('Sheet number %d' % i)\n"));
  chooseFileInNextDialog(book);
  auto checked = std::make_shared<bool>(false);
  whenModalOpens<XlsxImportDialog>([checked](XlsxImportDialog* dialog) {
    const QRect screen = dialog->screen()->availableGeometry();
    EXPECT_LE(dialog->width(), screen.width());
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
      const QRect place(button->mapTo(dialog, QPoint(0, 0)), button->size());
      EXPECT_TRUE(dialog->rect().contains(place)) << button->text().toStdString();
      if (button->text() == QStringLiteral("Импортировать")) {
        *checked = true;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
      }
    }
  });
  QTest::mouseClick(documentButton(), Qt::LeftButton);
  ASSERT_TRUE(*checked);
  EXPECT_EQ(pdfPageTexts([this] {
              const QString copy = dir.filePath(QStringLiteral("thousand.pdf"));
              EXPECT_TRUE(window->currentDocument->saveCopy(copy));
              return copy;
            }()).size(), 3);
}

TEST_F(SpreadsheetImport, CancelledDialogLeavesTheDocumentAsItWas) {
  chooseFileInNextDialog(book);
  auto seen = answerNextDialog(QString(), QStringLiteral("Импорт Excel: book.xlsx"));
  QTest::mouseClick(documentButton(), Qt::LeftButton);
  ASSERT_TRUE(seen->shown);
  EXPECT_EQ(window->currentDocument->pageCount(), 1);
  EXPECT_FALSE(window->currentDocument->isModified());

  // An empty ZIP: one message says what is wrong, none contradicts it.
  const QString empty = dir.filePath(QStringLiteral("empty.xlsx"));
  QFile zip(empty);
  ASSERT_TRUE(zip.open(QIODevice::WriteOnly) && zip.write(QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0')) == 22);
  zip.close();
  chooseFileInNextDialog(empty);
  seen = answerNextDialog(QString(), QStringLiteral("Импорт Excel: empty.xlsx"));
  QTest::mouseClick(documentButton(), Qt::LeftButton);
  ASSERT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("В файле «empty.xlsx» нет книги"))) << seen->texts.toStdString();
  EXPECT_FALSE(seen->texts.contains(QStringLiteral("поврежден"))) << seen->texts.toStdString();
}

}  // namespace
