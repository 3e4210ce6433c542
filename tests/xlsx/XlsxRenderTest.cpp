// Cells as they come out on the page images: text read back by tesseract,
// fills, borders, fonts, alignment, merges and wrapping checked by pixels.
#include "XlsxTestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace xlsxtest;

namespace {

// Four columns of 25 characters, rows of 30 points (row 5: 60 points).
const char* kStyledSheet = R"(
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Styles"
for c in "ABCD":
    ws.column_dimensions[c].width = 25
for r in range(1, 12):
    ws.row_dimensions[r].height = 30
ws.row_dimensions[5].height = 60
ws["A1"] = "Quarterly report"
ws["A1"].font = Font(bold=True, size=16)
ws["A1"].alignment = Alignment(horizontal="center")
ws.merge_cells("A1:D1")
ws["B2"].fill = PatternFill("solid", fgColor="FF0000")
ws["C2"].fill = PatternFill("solid", fgColor=openpyxl.styles.colors.Color(theme=4, tint=0.5))
ws["D2"] = "White"
ws["D2"].fill = PatternFill("solid", fgColor="202020")
ws["D2"].font = Font(color=openpyxl.styles.colors.Color(theme=0))
ws["A3"] = "Themed"
ws["A3"].font = Font(color=openpyxl.styles.colors.Color(theme=1))
ws["B3"].border = Border(bottom=Side(style="thick", color="0000FF"))
ws["B4"] = "Right"
ws["B4"].alignment = Alignment(horizontal="right")
ws["C4"] = "Left"
ws["D4"] = "Middle"
ws["D4"].alignment = Alignment(horizontal="center")
ws["A5"] = "Sample"
ws["A6"] = "Sample"
ws["A6"].font = Font(bold=True)
ws["A7"] = "Sample"
ws["A7"].font = Font(size=20)
ws["A8"] = "Green"
ws["A8"].font = Font(color="00AA00", italic=True)
ws["B5"] = 45000
ws["B5"].number_format = "mm-dd-yy"
ws["B6"] = 0.256
ws["B6"].number_format = "0.0%"
ws["B7"] = 1234.5
ws["B7"].number_format = "#,##0.00"
ws["B8"] = 1234
ws["B8"].number_format = "#,##0"
ws["B9"] = 3.14159
ws["B9"].number_format = "0.00"
ws["C5"] = "alpha beta gamma delta epsilon zeta"
ws["C5"].alignment = Alignment(wrap_text=True)
ws["C6"] = "alpha beta gamma delta epsilon zeta"
ws["A10"] = "Monday"
ws["B10"] = "Tuesday"
ws["C10"] = "Wednesday"
ws["D10"] = "Thursday"
ws["A11"] = "Friday"
ws["B11"] = "Saturday"
ws["C11"] = "Sunday"
ws["D11"] = "Holiday"
wb.save(path)
)";

class StyledSheet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir;
    const QString path = dir->filePath(QStringLiteral("styled.xlsx"));
    const QString error = writeWithOpenpyxl(path, QString::fromUtf8(kStyledSheet));
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    book = new XlsxWorkbook(loadXlsxWorkbook(path));
    pages = new QList<QImage>(renderAll(*book));
  }
  static void TearDownTestSuite() {
    delete pages;
    delete book;
    delete dir;
  }
  const QImage& page() const { return pages->first(); }
  QRect cell(int row, int col) const {
    PageGrid grid{{25, 25, 25, 25}, {30, 30, 30, 30, 60, 30, 30, 30, 30, 30, 30}};
    return grid.cell(row, col);
  }

  static QTemporaryDir* dir;
  static XlsxWorkbook* book;
  static QList<QImage>* pages;
};
QTemporaryDir* StyledSheet::dir = nullptr;
XlsxWorkbook* StyledSheet::book = nullptr;
QList<QImage>* StyledSheet::pages = nullptr;

TEST_F(StyledSheet, OnePageOfTheChosenPaperWithEveryWordReadable) {
  ASSERT_TRUE(book->notes.isEmpty()) << book->messages().join('\n').toStdString();
  ASSERT_EQ(pages->size(), 1);
  EXPECT_EQ(page().size(), QSize(1239, 1754));
  EXPECT_EQ(page().dotsPerMeterX(), 5906);
  // White on black is left to the pixel probes: tesseract reads dark on light.
  const QStringList expected = {"quarterly", "report", "themed",  "right",    "left",     "middle",
                                "sample",    "sample", "sample", "green",  "15.03.2023", "25.6%",  "1,234.50",
                                "1,234",     "3.14",   "alpha",  "beta",   "monday",   "tuesday",  "wednesday",
                                "thursday",  "friday", "saturday", "sunday", "holiday"};
  const QStringList read = ocrWords(page());
  EXPECT_GE(wordRecall(expected, read), 0.95) << read.join(' ').toStdString();
}

TEST_F(StyledSheet, FillsAndThemeColoursWithTints) {
  // Solid red, and accent 1 of the workbook's theme (#4f81bd) lightened
  // halfway towards white in HSL: #a7c0de.
  const QRect red = cell(1, 1).adjusted(4, 4, -4, -4), tinted = cell(1, 2).adjusted(4, 4, -4, -4);
  EXPECT_GT(countColor(page(), red, QColor(255, 0, 0), 10), red.width() * red.height() * 9 / 10);
  EXPECT_GT(countColor(page(), tinted, QColor(0xa7, 0xc0, 0xde), 6), tinted.width() * tinted.height() * 9 / 10);
  // Theme colour 0 is the light background colour: white text on the dark fill.
  const QRect dark = cell(1, 3).adjusted(4, 4, -4, -4);
  EXPECT_GT(countColor(page(), dark, QColor(0x20, 0x20, 0x20), 10), dark.width() * dark.height() * 7 / 10);
  EXPECT_GT(countColor(page(), dark, QColor(255, 255, 255), 30), 100);
  // Theme colour 1 is the dark text colour: the default text is black, not white on white.
  EXPECT_GT(countInk(page(), cell(2, 0), 80), 100);
}

TEST_F(StyledSheet, ThickBorderAndMergedTitle) {
  const QRect b3 = cell(2, 1);
  // A thick line along the cell's bottom edge: at least 3 pixel rows of blue
  // at every probed column (a thin line makes one or two).
  for (int x = b3.left() + 20; x < b3.right() - 20; x += 40) {
    int blueRows = 0;
    for (int y = b3.bottom() - 4; y <= b3.bottom() + 4; ++y) {
      const QColor c = page().pixelColor(x, y);
      if (c.blue() - c.red() > 80 && c.blue() - c.green() > 80) ++blueRows;
    }
    EXPECT_GE(blueRows, 3) << x;
  }
  // The merged title has no grid line between A1 and B1, while row 2 has one.
  const int edgeX = cell(0, 1).left();
  const QRect inTitle(edgeX - 2, cell(0, 0).top() + 5, 4, cell(0, 0).height() - 10);
  const QRect inRow4(edgeX - 2, cell(3, 0).top() + 5, 4, cell(3, 0).height() - 10);
  EXPECT_EQ(countInk(page(), inTitle, 250), 0);
  EXPECT_GT(countInk(page(), inRow4, 250), 0);
  // The bold title is centred over the four merged columns.
  const QRect title = inkBox(page(), cell(0, 0).united(cell(0, 3)));
  ASSERT_FALSE(title.isEmpty());
  const int middle = (cell(0, 0).left() + cell(0, 3).right()) / 2;
  EXPECT_NEAR(title.center().x(), middle, 6);
}

TEST_F(StyledSheet, AlignmentBoldSizeAndColour) {
  const QRect right = inkBox(page(), cell(3, 1).adjusted(2, 2, -2, -2));
  const QRect left = inkBox(page(), cell(3, 2).adjusted(2, 2, -2, -2));
  const QRect centre = inkBox(page(), cell(3, 3).adjusted(2, 2, -2, -2));
  EXPECT_GT(right.left(), cell(3, 1).center().x());
  EXPECT_LT(left.right(), cell(3, 2).center().x());
  EXPECT_NEAR(centre.center().x(), cell(3, 3).center().x(), 4);
  // Numbers without an alignment stand at the right edge.
  EXPECT_GT(inkBox(page(), cell(7, 1).adjusted(2, 2, -2, -2)).left(), cell(7, 1).center().x());

  const int regular = countInk(page(), cell(4, 0));
  const int bold = countInk(page(), cell(5, 0));
  EXPECT_GT(bold, regular * 115 / 100);
  const int regularHeight = inkBox(page(), cell(4, 0).adjusted(2, 2, -2, -2)).height();
  const int largeHeight = inkBox(page(), cell(6, 0).adjusted(2, 2, -2, -2)).height();
  EXPECT_GT(largeHeight, regularHeight * 3 / 2);
  EXPECT_GT(countColor(page(), cell(7, 0), QColor(0, 0xaa, 0), 50), 40);
}

TEST_F(StyledSheet, WrappedTextStaysInsideItsCellOverSeveralLines) {
  const QRect wrapped = cell(4, 2), single = cell(5, 2);
  // Text bands: rows of the cell that carry ink, counted as separate runs.
  const auto bands = [this](const QRect& r) {
    int count = 0;
    bool inBand = false;
    for (int y = r.top() + 2; y < r.bottom() - 2; ++y) {
      const bool ink = countInk(page(), QRect(r.left() + 2, y, r.width() - 4, 1)) > 0;
      if (ink && !inBand) ++count;
      inBand = ink;
    }
    return count;
  };
  EXPECT_GE(bands(wrapped), 2);
  EXPECT_EQ(bands(single), 1);
  // The wrapped text stays in its column; the single line runs on into the
  // empty D6, as in the spreadsheet program.
  EXPECT_EQ(countInk(page(), cell(4, 3).adjusted(3, 3, -3, -3)), 0);
  EXPECT_GT(countInk(page(), cell(5, 3).adjusted(3, 3, -3, -3)), 0);
}

}  // namespace

namespace {

TEST(XlsxHiddenRowsAndColumns, AreLeftOffThePage) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("hidden.xlsx"));
  const QString error = writeWithOpenpyxl(path, QStringLiteral(R"(
wb = openpyxl.Workbook()
ws = wb.active
ws["A1"] = "Shown"
ws["B1"].fill = PatternFill("solid", fgColor="FF0000")
ws["A2"].fill = PatternFill("solid", fgColor="FF0000")
ws["C3"] = "Visible"
ws.column_dimensions["B"].hidden = True
ws.row_dimensions[2].hidden = True
wb.save(path)
)"));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  const XlsxWorkbook book = loadXlsxWorkbook(path);
  const QList<QImage> pages = renderAll(book);
  ASSERT_EQ(pages.size(), 1);
  const QImage& page = pages.first();
  EXPECT_EQ(countColor(page, page.rect(), QColor(255, 0, 0), 60), 0);
  // C3 moves up and left into the place of B2.
  const PageGrid grid{{8.43, 8.43}, {15, 15}};
  EXPECT_GT(countInk(page, grid.cell(1, 1)), 50);
  const QStringList read = ocrWords(page);
  EXPECT_TRUE(read.contains(QStringLiteral("visible"))) << read.join(' ').toStdString();
}

}  // namespace
