// Paging through the import dialog: page counts per paper, orientation and
// scaling, and page breaks dragged in the preview with the mouse.
#include "XlsxTestSupport.h"
#include "XlsxZipWriter.h"
#include "xlsx/XlsxImportDialog.h"
#include "xlsx/XlsxPreviewWidget.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace xlsxtest;

namespace {

QByteArray rowsOf(int rows, int columns) {
  QByteArray body = "<sheetData>";
  for (int r = 1; r <= rows; ++r) {
    body += "<row r=\"" + QByteArray::number(r) + "\">";
    for (int c = 0; c < columns; ++c)
      body += "<c r=\"" + QByteArray(1, char('A' + c % 26)) + (c >= 26 ? "A" : "") + QByteArray::number(r) +
              "\"><v>" + QByteArray::number(r * 100 + c) + "</v></c>";
    body += "</row>";
  }
  return body + "</sheetData>";
}

class PagingDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    // 200 rows of 20 preview pixels; 200 rows 25 columns wide (1600 pixels); 3 rows.
    path = dir.filePath(QStringLiteral("paging.xlsx"));
    ASSERT_TRUE(writeZipParts(path, minimalWorkbook({rowsOf(200, 3), rowsOf(200, 25), rowsOf(3, 2)})));
    dialog = std::make_unique<XlsxImportDialog>(path);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    preview = dialog->previewWidget();
  }

  QString countText() const { return labelStartingWith(QStringLiteral("Страниц: ")); }
  QString labelStartingWith(const QString& start) const {
    for (const QLabel* label : dialog->findChildren<QLabel*>())
      if (label->isVisibleTo(dialog.get()) && label->text().startsWith(start)) return label->text();
    return {};
  }
  QRadioButton* radio(const QString& text) const {
    for (QRadioButton* button : dialog->findChildren<QRadioButton*>())
      if (button->text() == text) return button;
    return nullptr;
  }
  void choosePaper(int index) {
    auto* combo = dialog->findChild<QComboBox*>();
    combo->setFocus();
    while (combo->currentIndex() < index) QTest::keyClick(combo, Qt::Key_Down);
    while (combo->currentIndex() > index) QTest::keyClick(combo, Qt::Key_Up);
  }
  // Looks at every sheet in turn, adding up the page counts the dialog
  // shows, and comes back to the sheet shown before.
  int pagesShownForEverySheet() {
    const QList<QToolButton*> buttons = dialog->findChildren<QToolButton*>();
    int shown = 0, total = 0;
    for (qsizetype i = 0; i < buttons.size(); ++i)
      if (buttons[i]->isChecked()) shown = int(i);
    for (QToolButton* button : buttons) {
      QTest::mouseClick(button, Qt::LeftButton);
      total += countText().mid(QStringLiteral("Страниц: ").size()).toInt();
    }
    QTest::mouseClick(buttons[shown], Qt::LeftButton);
    return total;
  }
  QList<QImage> pages(QSizeF* size) {
    QSizeF pageSize(-1, -1);
    QList<QImage> images = dialog->buildPages(pageSize);
    if (size) *size = pageSize;
    return images;
  }

  QTemporaryDir dir;
  QString path;
  std::unique_ptr<XlsxImportDialog> dialog;
  XlsxPreviewWidget* preview = nullptr;
};

TEST_F(PagingDialog, PageCountsFollowPaperAndOrientation) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Импорт Excel: paging.xlsx"));
  EXPECT_EQ(countText(), QStringLiteral("Страниц: 4"));
  // Usable heights at 96 dpi less 20-point margins, 20-pixel rows:
  // A4 1069 (53 rows), A3 1533 (76), Letter 1003 (50), Legal 1291 (64);
  // turned: A4 740 (37), A3 1069 (53), Letter 763 (38), Legal 763 (38).
  struct Case {
    int paper;
    bool landscape;
    int pages;
    QSizeF sizePt;
  } cases[] = {{0, false, 4, {595, 842}},  {1, false, 3, {842, 1190}}, {2, false, 4, {612, 792}},
               {3, false, 4, {612, 1008}}, {0, true, 6, {842, 595}},   {1, true, 4, {1190, 842}},
               {2, true, 6, {792, 612}},   {3, true, 6, {1008, 612}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.paper * 10 + c.landscape);
    QTest::mouseClick(radio(c.landscape ? QStringLiteral("Альбомная") : QStringLiteral("Книжная")), Qt::LeftButton);
    choosePaper(c.paper);
    EXPECT_EQ(countText(), QStringLiteral("Страниц: %1").arg(c.pages));
    QSizeF size;
    const QList<QImage> images = pages(&size);
    // Every sheet is cut where its preview shows the breaks: the import adds
    // as many pages as the dialog shows for all sheets.
    EXPECT_EQ(images.size(), pagesShownForEverySheet());
    // ...and says so before the import, beside the shown sheet's count.
    EXPECT_EQ(labelStartingWith(QStringLiteral("Всего к импорту: ")),
              QStringLiteral("Всего к импорту: %1").arg(images.size()));
    EXPECT_GT(images.size(), c.pages + 2);
    EXPECT_EQ(size, c.sizePt);
    EXPECT_EQ(images.first().size(), QSize(int(c.sizePt.width() * 150 / 72), int(c.sizePt.height() * 150 / 72)));
  }
}

TEST_F(PagingDialog, AWideSheetIsFittedToThePaperWidthOnlyWhenAsked) {
  QTest::mouseClick(dialog->findChildren<QToolButton*>().at(1), Qt::LeftButton);
  EXPECT_TRUE(dialog->findChildren<QToolButton*>().at(1)->isChecked());
  EXPECT_FALSE(dialog->findChildren<QToolButton*>().at(0)->isChecked());
  // 1600 pixels on 740 usable: each page holds 1600 / 740 times as many rows (115).
  EXPECT_EQ(countText(), QStringLiteral("Страниц: 2"));
  const auto rightEdgeInk = [](const QImage& page) {
    return countInk(page, QRect(page.width() - 30, 60, 28, 300), 240);
  };
  // Pages: four of the first sheet, then the wide sheet's two, then one.
  QList<QImage> fitted = pages(nullptr);
  ASSERT_EQ(fitted.size(), 7);
  EXPECT_EQ(rightEdgeInk(fitted[5]), 0);
  QTest::mouseClick(dialog->findChild<QCheckBox*>(), Qt::LeftButton);
  EXPECT_EQ(countText(), QStringLiteral("Страниц: 2"));
  const QList<QImage> cut = pages(nullptr);
  ASSERT_EQ(cut.size(), 7);
  // Its second page (85 rows) is shrunk only to the paper's height, so its
  // right part runs past the image's edge.
  EXPECT_GT(rightEdgeInk(cut[5]), 0);
}

TEST_F(PagingDialog, DraggingBreaksMovesAndMergesPages) {
  ASSERT_EQ(preview->breaks(), (QList<int>{54, 107, 160}));
  // Pressing 7 pixels off the line grabs nothing.
  const int y54 = preview->breakYForRow(54);
  QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(100, y54 + 7));
  QTest::mouseMove(preview, QPoint(100, preview->breakYForRow(40) + 5));
  QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(100, preview->breakYForRow(40) + 5));
  EXPECT_EQ(preview->breaks(), (QList<int>{54, 107, 160}));

  QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(100, y54 + 6));
  QTest::mouseMove(preview, QPoint(100, preview->breakYForRow(40) + 5));
  QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(100, preview->breakYForRow(40) + 5));
  EXPECT_EQ(preview->breaks(), (QList<int>{40, 107, 160}));
  EXPECT_EQ(countText(), QStringLiteral("Страниц: 4"));
  // The first page now ends after row 39: its last grid line lies 39 rows of
  // 31.25 pixels below the top margin, and nothing is painted under it.
  const QList<QImage> moved = pages(nullptr);
  const double bottom = 41.667 + 39 * 31.25;
  EXPECT_GT(countInk(moved.first(), QRect(60, int(bottom) - 1, 200, 3), 240), 0);
  EXPECT_EQ(countInk(moved.first(), QRect(0, int(bottom) + 3, moved.first().width(), 200), 250), 0);

  // Dragging the second break onto the first merges them: one page less.
  QTest::mousePress(preview, Qt::LeftButton, {}, QPoint(100, preview->breakYForRow(107)));
  QTest::mouseMove(preview, QPoint(100, preview->breakYForRow(40) + 5));
  QTest::mouseRelease(preview, Qt::LeftButton, {}, QPoint(100, preview->breakYForRow(40) + 5));
  EXPECT_EQ(preview->breaks(), (QList<int>{40, 160}));
  EXPECT_EQ(countText(), QStringLiteral("Страниц: 3"));
  // The dragged breaks stay with their sheet while the others are looked at.
  EXPECT_EQ(pages(nullptr).size(), pagesShownForEverySheet());
  EXPECT_EQ(preview->breaks(), (QList<int>{40, 160}));
  EXPECT_EQ(pages(nullptr).size(), 3 + 2 + 1);

  // A change of paper puts the automatic breaks back.
  choosePaper(1);
  choosePaper(0);
  EXPECT_EQ(preview->breaks(), (QList<int>{54, 107, 160}));
}

// Marks every text that goes through the interface's translation.
QString markTranslated(const QString& source) { return QStringLiteral("‹") + source + QStringLiteral("›"); }

TEST(XlsxNothingToImport, OffersNoImportAndSaysWhyInTheInterfaceLanguage) {
  QTemporaryDir dir;
  const QString notZip = dir.filePath(QStringLiteral("text.xlsx"));
  QFile file(notZip);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a workbook at all");
  file.close();
  const QString empty = dir.filePath(QStringLiteral("empty.xlsx"));
  ASSERT_TRUE(writeZipParts(empty, minimalWorkbook({"<sheetData/>"})));
  const QString broken = dir.filePath(QStringLiteral("broken.xlsx"));
  ASSERT_TRUE(writeZipParts(broken, minimalWorkbook({"<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row><row r=\"2\"><c r=\"A2\"><v>2</row>"})));

  setXlsxTranslator(&markTranslated);
  struct Case {
    QString path;
    bool importable;
    QString count;
  } cases[] = {{notZip, false, QStringLiteral("‹Страниц: 0›")},
               {empty, false, QStringLiteral("‹Страниц: 0›")},
               {broken, true, QStringLiteral("‹Страниц: 1›")}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    XlsxImportDialog dialog(c.path);
    dialog.show();
    QPushButton* importButton = nullptr;
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
      if (button->text() == QStringLiteral("Импортировать")) importButton = button;
    ASSERT_NE(importButton, nullptr);
    EXPECT_EQ(importButton->isEnabled(), c.importable);
    if (!c.importable) {
      EXPECT_FALSE(importButton->toolTip().isEmpty());
    }
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains(c.count)) << labels.join('|').toStdString();
    // Every message and every reason in it went through the translation:
    // no English text of libzip or of the XML reader is left.
    for (const QString& message : dialog.loadMessageTexts()) {
      EXPECT_TRUE(message.startsWith(QStringLiteral("‹"))) << message.toStdString();
      QString rest = message;
      rest.remove(QStringLiteral("xl/worksheets/sheet1.xml")).remove(QFileInfo(c.path).fileName());
      static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{2,}"));
      for (auto it = latinWord.globalMatch(rest); it.hasNext();) {
        const QString word = it.next().captured();
        EXPECT_TRUE(QStringList({"XML", "ZIP", "Excel", "DTD"}).contains(word)) << message.toStdString();
      }
    }
  }
  // The reasons themselves are translated, not only the sentences around them.
  XlsxImportDialog notZipDialog(notZip);
  ASSERT_EQ(notZipDialog.loadMessageTexts().size(), 1);
  EXPECT_EQ(notZipDialog.loadMessageTexts().first().count(QStringLiteral("‹")), 2);
  setXlsxTranslator(nullptr);
}

// Unfitted, 26 columns lose those past the page's edge: the dialog says how many (whole ones
// counted by the grid lines across the page's empty row 2), the preview shades them. 2,000 pages import, 2,001 not.
TEST(XlsxImportBounds, CutColumnsAreToldAndShadedAndTwoThousandPagesImport) {
  const QString rows = QString::fromLatin1(rowsOf(3, 26)).remove(QRegularExpression("<row r=\"2\">.*?</row>"));
  QTemporaryDir dir;
  ASSERT_TRUE(writeZipParts(dir.filePath("w.xlsx"), minimalWorkbook({rows.toLatin1()})));
  XlsxImportDialog dialog(dir.filePath("w.xlsx"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const auto grey = [&dialog](int column) {  // preview: 64-pixel columns, 20-pixel rows
    const double zoom = dialog.previewWidget()->zoomFactor();
    return qGray(dialog.previewWidget()->grab().toImage().pixel(int((column - 0.5) * 64 * zoom), int(30 * zoom)));
  };
  QTest::mouseClick(dialog.findChild<QCheckBox*>(), Qt::LeftButton);
  QSizeF size;
  const QImage page = dialog.buildPages(size).value(0);
  int lines = 0;
  for (int x = 1, y = int(41.667 + 31.25 * 1.5); x < page.width(); ++x)
    lines += qGray(page.pixel(x, y)) < 254 && qGray(page.pixel(x - 1, y)) >= 254;
  QStringList labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.join('|').contains(QStringLiteral("краем страницы: %1 ").arg(27 - lines))) << lines;
  EXPECT_GT(grey(lines - 1) - grey(lines + 1), 25);  // the last whole column clear, the one after shaded
  ASSERT_TRUE(writeZipParts(dir.filePath("b.xlsx"), minimalWorkbook({rowsOf(2001, 1)})));
  XlsxImportDialog bound(dir.filePath("b.xlsx"));
  for (const int pages : {2000, 2001}) {
    QList<int> breaks;
    for (int row = 2; row <= pages; ++row) breaks << row;
    bound.previewWidget()->setBreaks(breaks);
    EXPECT_EQ(bound.renderPages(size, [](const QImage&) { return false; }), pages == 2000 ? 1 : -1) << pages;
  }
}

}  // namespace
