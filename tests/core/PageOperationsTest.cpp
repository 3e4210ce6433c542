// Structural page edits, proven on the written file: page order by the marker
// text poppler reads on each page, sizes and rotations by pdfinfo.
#include "HandWrittenPdf.h"
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <functional>
#include <vector>

using namespace testsupport;

namespace {

class PageOperationsTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    source = dir.filePath("abc.pdf");
    ASSERT_TRUE(writePdf(source, {{"MARKA"}, {"MARKB", false, {300, 400}}, {"MARKC"}}));
    other = dir.filePath("xy.pdf");
    ASSERT_TRUE(writePdf(other, {{"MARKX"}, {"MARKY", false, {200, 200}}}));
  }

  // The page texts of the document as written to a fresh file, after qpdf has
  // checked that file.
  QStringList written(const PdfDocument& doc) {
    const QString out = dir.filePath(QStringLiteral("out%1.pdf").arg(++saved));
    if (!doc.saveCopy(out)) return {"<save failed>"};
    EXPECT_TRUE(oracles::qpdfCheckPasses(out)) << out.toStdString();
    lastWritten = out;
    return oracles::pageTexts(out);
  }

  QTemporaryDir dir;
  QString source;
  QString other;
  QString lastWritten;
  int saved = 0;
};

}  // namespace

TEST_F(PageOperationsTest, EditsGiveThePageOrderPopplerReads) {
  struct Case {
    const char* name;
    std::function<bool(PdfDocument&)> edit;
    QStringList pages;
  };
  const QString otherFile = other;
  const Case cases[] = {
      {"move first to last", [](PdfDocument& d) { return d.movePage(0, 2); }, {"MARKB", "MARKC", "MARKA"}},
      {"move last to first", [](PdfDocument& d) { return d.movePage(2, 0); }, {"MARKC", "MARKA", "MARKB"}},
      {"delete middle", [](PdfDocument& d) { return d.deletePage(1); }, {"MARKA", "MARKC"}},
      {"insert blank", [](PdfDocument& d) { return d.insertBlankPage(1, {200, 100}); }, {"MARKA", "", "MARKB", "MARKC"}},
      {"append one page", [&](PdfDocument& d) { return d.appendPage(otherFile, 1); }, {"MARKA", "MARKB", "MARKC", "MARKY"}},
      {"import all", [&](PdfDocument& d) { return d.importDocument(otherFile); },
       {"MARKA", "MARKB", "MARKC", "MARKX", "MARKY"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    ASSERT_TRUE(c.edit(doc));
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.pageCount(), c.pages.size());
    EXPECT_EQ(written(doc), c.pages);
    // Our cached sizes agree with pdfinfo's reading of the written file.
    const QList<oracles::PageInfo> info = oracles::pdfinfoPages(lastWritten);
    ASSERT_EQ(info.size(), doc.pageCount());
    for (int i = 0; i < doc.pageCount(); ++i) EXPECT_EQ(doc.pageSize(i), info[i].size) << "page " << i;
  }
}

TEST_F(PageOperationsTest, RefusedEditsChangeNothing) {
  const QString garbage = dir.filePath("garbage.pdf");
  {
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a pdf at all");
  }
  struct Case {
    const char* name;
    std::function<bool(PdfDocument&)> edit;
    QString message;  // empty: none expected
  };
  const QString otherFile = other;
  const QString missing = dir.filePath("missing.pdf");
  const Case cases[] = {
      {"delete past the end", [](PdfDocument& d) { return d.deletePage(3); }, {}},
      {"delete negative", [](PdfDocument& d) { return d.deletePage(-1); }, {}},
      {"rotate missing page", [](PdfDocument& d) { return d.rotatePage(7, 90); }, {}},
      {"move missing page", [](PdfDocument& d) { return d.movePage(5, 0); }, {}},
      {"move past the end", [](PdfDocument& d) { return d.movePage(0, 3); }, {}},
      {"blank page without area", [](PdfDocument& d) { return d.insertBlankPage(1, {0, 100}); }, {}},
      {"append missing page", [&](PdfDocument& d) { return d.appendPage(otherFile, 7); }, {}},
      {"append from missing file", [&](PdfDocument& d) { return d.appendPage(missing, 0); }, "файл не найден"},
      {"import non-PDF", [&](PdfDocument& d) { return d.importDocument(garbage); }, "файл не является документом PDF или повреждён"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    EXPECT_FALSE(c.edit(doc));
    EXPECT_FALSE(doc.isModified());
    if (!c.message.isEmpty()) {
      EXPECT_EQ(doc.lastError(), c.message);
    }
    EXPECT_EQ(written(doc), QStringList({"MARKA", "MARKB", "MARKC"}));
  }

  PdfDocument closed;
  EXPECT_FALSE(closed.deletePage(0));
  EXPECT_FALSE(closed.rotatePage(0, 90));
  EXPECT_FALSE(closed.movePage(0, 0));
  EXPECT_FALSE(closed.insertBlankPage(0, {100, 100}));
  EXPECT_FALSE(closed.appendPage(other, 0));
  EXPECT_FALSE(closed.importDocument(other));
  EXPECT_FALSE(closed.extractPageSubset({0}, dir.filePath("none.pdf")));
  EXPECT_FALSE(closed.isOpen());
}

TEST_F(PageOperationsTest, RotationsAddUpInQuarterTurns) {
  struct Case {
    QList<int> turns;
    int rotate;  // the /Rotate pdfinfo reads
  };
  const Case cases[] = {
      {{90, 90}, 180}, {{270, 90}, 0}, {{100}, 90}, {{-10}, 270}, {{-90}, 270}, {{360}, 0}, {{45}, 0}, {{630}, 270},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::vector<int>(c.turns.cbegin(), c.turns.cend())));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    for (int degrees : c.turns) ASSERT_TRUE(doc.rotatePage(1, degrees));
    written(doc);
    const QList<oracles::PageInfo> info = oracles::pdfinfoPages(lastWritten);
    ASSERT_EQ(info.size(), 3);
    EXPECT_EQ(info[1].rotation, c.rotate);
    EXPECT_EQ(info[0].rotation, 0);
    // The second page is 300 x 400: a quarter turn shows it as 400 x 300.
    EXPECT_EQ(doc.pageSize(1), (c.rotate % 180) ? QSizeF(400, 300) : QSizeF(300, 400));
  }
}

TEST_F(PageOperationsTest, DeletingTheOnlyPageLeavesNone) {
  const QString one = dir.filePath("one.pdf");
  ASSERT_TRUE(writePdf(one, {{"ONLY"}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(one));
  EXPECT_TRUE(doc.deletePage(0));
  EXPECT_EQ(doc.pageCount(), 0);
  EXPECT_TRUE(doc.isModified());
}

TEST_F(PageOperationsTest, SubsetHoldsExactlyTheNamedPagesAndLeavesTheDocumentAlone) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  const QString subset = dir.filePath("subset.pdf");
  ASSERT_TRUE(doc.extractPageSubset({2, 0, 2}, subset));
  EXPECT_TRUE(oracles::qpdfCheckPasses(subset));
  EXPECT_EQ(oracles::pageTexts(subset), QStringList({"MARKC", "MARKA", "MARKC"}));
  EXPECT_EQ(doc.filePath(), source);
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(doc.pageCount(), 3);
  EXPECT_FALSE(QFile::exists(subset + ".~tmp"));

  // Over an existing file: a refused subset leaves it as it was.
  QFile before(subset);
  ASSERT_TRUE(before.open(QIODevice::ReadOnly));
  const QByteArray original = before.readAll();
  before.close();
  EXPECT_FALSE(doc.extractPageSubset({}, subset));
  EXPECT_FALSE(doc.extractPageSubset({0, 9}, subset));
  QFile after(subset);
  ASSERT_TRUE(after.open(QIODevice::ReadOnly));
  EXPECT_EQ(after.readAll(), original);
}

TEST_F(PageOperationsTest, ImagesBecomePagesAt150Dpi) {
  const QString png = dir.filePath("tall.png");
  QImage image(1500, 3000, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.fillRect(0, 0, 750, 1500, QColor(200, 30, 30));
  }
  ASSERT_TRUE(image.save(png));

  // Into a closed object: a new one-page document, unsaved and unnamed.
  PdfDocument fresh;
  ASSERT_TRUE(fresh.importDocument(png));
  EXPECT_TRUE(fresh.isOpen());
  EXPECT_TRUE(fresh.isModified());
  EXPECT_TRUE(fresh.filePath().isEmpty());
  ASSERT_EQ(fresh.pageCount(), 1);
  EXPECT_EQ(fresh.pageSize(0), QSizeF(720, 1440));
  const QString out = dir.filePath("image-page.pdf");
  ASSERT_TRUE(fresh.saveCopy(out));
  EXPECT_TRUE(oracles::qpdfCheckPasses(out));
  const QList<oracles::PageInfo> info = oracles::pdfinfoPages(out);
  ASSERT_EQ(info.size(), 1);
  EXPECT_EQ(info[0].size, QSizeF(720, 1440));
  EXPECT_EQ(oracles::imageSizes(out), QList<QSize>({QSize(1500, 3000)}));
  // The red quarter is the top-left one of the page as poppler draws it.
  const QImage drawn = oracles::renderWithPoppler(out, 0, 18);
  ASSERT_EQ(drawn.size(), QSize(180, 360));
  EXPECT_GT(qRed(drawn.pixel(40, 80)), 150);
  EXPECT_LT(qGreen(drawn.pixel(40, 80)), 80);
  EXPECT_GT(qGreen(drawn.pixel(140, 280)), 230);

  // Onto an open document: appended after its pages.
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  ASSERT_TRUE(doc.importDocument(png));
  EXPECT_EQ(doc.pageCount(), 4);
  EXPECT_EQ(doc.pageSize(3), QSizeF(720, 1440));
  EXPECT_EQ(written(doc), QStringList({"MARKA", "MARKB", "MARKC", ""}));
  EXPECT_EQ(oracles::imageSizes(lastWritten), QList<QSize>({QSize(1500, 3000)}));
}

// Widgets that are kids of a field keep their /Parent when pdfium copies
// their page, pointing at whatever object has that number in the host: the
// imported page and a duplicate are drawn with their fields' ink, never a
// crash, by us and by poppler from the saved file.
TEST_F(PageOperationsTest, AnImportedOrDuplicatedPageKeepsTheInkOfItsFieldsKids) {
  const QString form = dir.filePath("form.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      form, {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] >> >>",
             "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R /Annots [6 0 R 7 0 R] >>",
             handwritten::stream(""),
             "<< /T (parent) /FT /Tx /Kids [6 0 R 7 0 R] >>",
             "<< /Type /Annot /Subtype /Widget /Parent 5 0 R /Rect [20 20 120 120] /AP << /N 8 0 R >> /P 3 0 R >>",
             "<< /Type /Annot /Subtype /Widget /Parent 5 0 R /Rect [150 150 250 250] /AP << /N 8 0 R >> /P 3 0 R >>",
             handwritten::stream("0 g 0 0 100 100 re f", "/Type /XObject /Subtype /Form /BBox [0 0 100 100]")}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  ASSERT_TRUE(doc.importDocument(form));
  ASSERT_EQ(doc.pageCount(), 4);
  QList<QImage> pages = {doc.renderPage(3, 1.0, 0)};
  // Duplicated in the form itself: shown first (its widgets read), and
  // behind a password before anything was shown.
  const QString locked = dir.filePath("locked.pdf");
  ASSERT_EQ(runTool("qpdf", {"--encrypt", "secret", "owner", "256", "--", form, locked}), 0);
  for (const auto& [file, password] : {std::pair{form, QByteArray()}, std::pair{locked, QByteArray("secret")}}) {
    PdfDocument copied;
    ASSERT_TRUE(copied.open(file, password));
    if (password.isEmpty()) pages << copied.renderPage(0, 1.0, 0);
    ASSERT_TRUE(copied.duplicatePage(0));
    ASSERT_EQ(copied.pageCount(), 2);
    const QString out = dir.filePath("duplicated.pdf");
    ASSERT_TRUE(copied.saveCopy(out));
    EXPECT_TRUE(oracles::qpdfCheckPasses(out, QString::fromLatin1(password)));
    pages << copied.renderPage(1, 1.0, 0) << copied.renderPage(0, 1.0, 0) << oracles::renderWithPoppler(out, 1, 72);
  }
  for (const QImage& page : pages) {
    ASSERT_EQ(page.size(), QSize(300, 300));
    for (const QPoint at : {QPoint(70, 230), QPoint(200, 100)}) EXPECT_LT(qGray(page.pixel(at)), 64) << at.x();
  }
}
