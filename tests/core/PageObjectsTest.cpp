// Image and markup objects, checked on the saved file by pdfimages, qpdf and
// poppler's rendering of the shown page.
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

// Pixel of a 72 dpi rendering at a point of the shown page (y up).
QRgb pixelAt(const QImage& page, QPointF shown) {
  return page.pixel(int(shown.x()), int(page.height() - shown.y()));
}

bool isWhite(QRgb c) { return qRed(c) > 245 && qGreen(c) > 245 && qBlue(c) > 245; }

class PageObjectsTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString saveCopy(const PdfDocument& doc, const QString& name) {
    const QString out = dir.filePath(name);
    EXPECT_TRUE(doc.saveCopy(out));
    EXPECT_TRUE(oracles::qpdfCheckPasses(out));
    return out;
  }

  // The values of every fill alpha (/ca) and the presence of a multiply blend,
  // from qpdf's uncompressed form of the file.
  QString uncompressed(const QString& file) {
    const QString qdf = file + ".qdf";
    EXPECT_EQ(runTool("qpdf", {"--qdf", "--object-streams=disable", file, qdf}), 0);
    QFile f(qdf);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
  }

  QTemporaryDir dir;
};

}  // namespace

TEST_F(PageObjectsTest, ImagesStandUprightWhereTheShownPageWantsThem) {
  const QString file = dir.filePath("blank.pdf");
  ASSERT_TRUE(writePdf(file, {{QString(), false, {400, 300}}, {QString(), false, {400, 300}}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  ASSERT_TRUE(doc.rotatePage(1, 90));

  QImage image(40, 20, QImage::Format_RGB32);
  image.fill(QColor(220, 20, 20));
  QPainter(&image).fillRect(20, 0, 20, 20, QColor(20, 20, 220));
  for (int page = 0; page < 2; ++page) ASSERT_TRUE(doc.addImageToPage(page, {100, 50}, {80, 40}, image));
  EXPECT_TRUE(doc.isModified());

  const QString out = saveCopy(doc, "images.pdf");
  EXPECT_EQ(oracles::imageSizes(out), QList<QSize>({QSize(40, 20), QSize(40, 20)}));
  for (int page = 0; page < 2; ++page) {
    SCOPED_TRACE(page);
    const QImage drawn = oracles::renderWithPoppler(out, page, 72);
    ASSERT_EQ(QSizeF(drawn.size()), doc.pageSize(page));
    const QRgb left = pixelAt(drawn, {115, 70});
    const QRgb right = pixelAt(drawn, {165, 70});
    EXPECT_GT(qRed(left), 150);
    EXPECT_LT(qBlue(left), 100);
    EXPECT_GT(qBlue(right), 150);
    EXPECT_LT(qRed(right), 100);
    EXPECT_TRUE(isWhite(pixelAt(drawn, {60, 70})));
    EXPECT_TRUE(isWhite(pixelAt(drawn, {140, 110})));
  }
}

TEST_F(PageObjectsTest, ImagePlacementRefusesOnlyWhatCannotBeShown) {
  const QString file = dir.filePath("blank.pdf");
  ASSERT_TRUE(writePdf(file, {{QString(), false, {200, 200}}}));
  QImage image(4, 4, QImage::Format_RGB32);
  image.fill(Qt::black);
  struct Case {
    const char* name;
    int page;
    QSizeF size;
    QImage image;
    bool accepted;
  };
  const Case cases[] = {
      {"hairline", 0, {0.05, 50}, image, true},  {"no width", 0, {0, 50}, image, false},
      {"negative", 0, {-5, 50}, image, false},   {"null image", 0, {10, 10}, QImage(), false},
      {"missing page", 3, {10, 10}, image, false}, {"negative page", -1, {10, 10}, image, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    EXPECT_EQ(doc.addImageToPage(c.page, {20, 20}, c.size, c.image), c.accepted);
    EXPECT_EQ(doc.isModified(), c.accepted);
  }
  PdfDocument closed;
  EXPECT_FALSE(closed.addImageToPage(0, {0, 0}, {10, 10}, image));
  EXPECT_FALSE(closed.addStickyNote(0, {10, 10}, "text", "author"));
  EXPECT_FALSE(closed.lastError().isEmpty());  // a refused note always says why
}

TEST_F(PageObjectsTest, OnlyPicturesWithSeeThroughPixelsGetASoftMask) {
  const QString file = dir.filePath("blank.pdf");
  ASSERT_TRUE(writePdf(file, {{QString(), false, {200, 200}}}));
  QImage opaque(30, 20, QImage::Format_ARGB32);  // an alpha channel, every pixel opaque
  opaque.fill(QColor(200, 30, 30));
  QImage seeThrough = opaque;
  seeThrough.setPixelColor(3, 4, QColor(0, 0, 0, 0));
  QImage noAlpha(30, 20, QImage::Format_RGB888);
  noAlpha.fill(QColor(30, 200, 30));
  const struct Case {
    const char* name;
    QImage image;
    int softMasks;
  } cases[] = {{"opaque ARGB", opaque, 0}, {"one clear pixel", seeThrough, 1}, {"no alpha", noAlpha, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    ASSERT_TRUE(doc.addImageToPage(0, {20, 20}, {60, 40}, c.image));
    int images = 0, masks = 0;
    for (const PdfImageInfo& info : listPdfImages(saveCopy(doc, QStringLiteral("%1.pdf").arg(c.name)))) {
      EXPECT_EQ(info.size, QSize(30, 20));
      if (info.type == QLatin1String("image")) ++images;
      if (info.type == QLatin1String("smask")) ++masks;
    }
    EXPECT_EQ(images, 1);
    EXPECT_EQ(masks, c.softMasks);
  }
}

// A scanned page is one image covering everything: a mark must lie over it,
// tinting the paper and leaving the ink dark.
TEST_F(PageObjectsTest, MarkupTintsAScannedPageAndKeepsItsInkDark) {
  QImage scan(400, 300, QImage::Format_RGB32);
  scan.fill(QColor(235, 235, 235));
  QPainter(&scan).fillRect(0, 140, 400, 20, Qt::black);  // a line of "text" across the page
  for (int rotate : {0, 90}) {
    SCOPED_TRACE(rotate);
    PdfDocument doc;
    ASSERT_TRUE(doc.createEmpty());
    ASSERT_TRUE(doc.appendRenderedPage(scan, {400, 300}));
    ASSERT_TRUE(doc.rotatePage(0, rotate));
    // On the shown page the mark covers x 50..250, y 100..200 (y up).
    // A highlight: underline and strike-out draw lines instead of tinting.
    ASSERT_TRUE(doc.addMarkupAnnot(0, QRectF(50, 100, 200, 100), QColor(255, 230, 0, 200), 0));
    const QString out = saveCopy(doc, QStringLiteral("marked%1.pdf").arg(rotate));
    const QImage drawn = oracles::renderWithPoppler(out, 0, 72);
    ASSERT_EQ(QSizeF(drawn.size()), doc.pageSize(0));

    // Paper inside the mark: yellowish. Paper outside: grey as scanned.
    const QPointF paperInside(60, 110);
    const QRgb inside = pixelAt(drawn, paperInside);
    EXPECT_GT(qRed(inside), 200);
    EXPECT_LT(qBlue(inside), qRed(inside) - 60);
    const QRgb outside = pixelAt(drawn, {280, 250});
    EXPECT_NEAR(qBlue(outside), qRed(outside), 6);
    // Ink under the mark: still black. Find it on the shown page (it runs
    // across the scan, which may be turned).
    int darkUnderMark = 0;
    for (int y = 101; y < 200; ++y)
      for (int x = 51; x < 250; ++x)
        if (qGray(pixelAt(drawn, QPointF(x, y))) < 40) ++darkUnderMark;
    EXPECT_GT(darkUnderMark, 1000);
  }
}

TEST_F(PageObjectsTest, MarkupAlphaIsHeldInRangeAndBlendsByMultiplying) {
  struct Case {
    QColor color;
    double alpha;
    QString fill;
  };
  const Case cases[] = {
      {QColor(255, 230, 0, 200), 120 / 255.0, {}},
      {QColor(0, 0, 255, 5), 20 / 255.0, "0 0 1 rg"},
      {QColor(), 90 / 255.0, {}},
      {QColor(10, 200, 10, 60), 60 / 255.0, {}},
  };
  const QString file = dir.filePath("text.pdf");
  ASSERT_TRUE(writePdf(file, {{"Marked words"}}));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.color.name(QColor::HexArgb).toStdString());
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    ASSERT_TRUE(doc.addHighlightAnnot(0, QRectF(40, 740, 200, 40), c.color));
    EXPECT_TRUE(doc.isModified());
    const QString qdf = uncompressed(saveCopy(doc, "alpha.pdf"));
    EXPECT_TRUE(qdf.contains(QRegularExpression(R"(/BM\s*/Multiply)")));
    bool found = false;
    const QRegularExpression fillAlpha(R"(/ca\s+([\d.]+))");
    for (auto it = fillAlpha.globalMatch(qdf); it.hasNext();)
      if (std::abs(it.next().captured(1).toDouble() - c.alpha) < 0.002) found = true;
    EXPECT_TRUE(found);
    if (!c.fill.isEmpty()) {
      EXPECT_TRUE(qdf.contains(c.fill));
    }
    // The text under the mark is still there to read.
    EXPECT_EQ(oracles::pageTexts(dir.filePath("alpha.pdf")), QStringList({"Marked words"}));
  }
  PdfDocument closed;
  EXPECT_FALSE(closed.addMarkupAnnot(0, QRectF(0, 0, 10, 10), Qt::yellow, 0));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  EXPECT_FALSE(doc.addMarkupAnnot(4, QRectF(0, 0, 10, 10), Qt::yellow, 0));
  EXPECT_FALSE(doc.isModified());
}

// A note's text comes back exactly as typed, after a save and a fresh open:
// a leading U+FFFE or U+FEFF is the user's character, not a byte-order mark.
// Text a PDF string cannot take through pdfium (NUL, a lone surrogate) is
// refused with the characters named, never cut short without a word.
TEST_F(PageObjectsTest, NoteTextIsKeptAsTypedOrTheUnstorableCharactersAreNamed) {
  if (!hasTool("qpdf")) GTEST_SKIP() << "qpdf missing";
  const QString file = dir.filePath("notes.pdf");
  ASSERT_TRUE(writePdf(file, {{QString(), false, {400, 300}}}));
  const QStringList kept = {QStringLiteral("\uFFFEначало с U+FFFE"), QStringLiteral("\uFEFFstarts with U+FEFF"),
                            QStringLiteral("две\nстроки и 😀"), QStringLiteral("\uFFFE")};
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  for (int i = 0; i < kept.size(); ++i)
    ASSERT_TRUE(doc.addStickyNote(0, QPointF(40 + 60 * i, 150), kept[i], QStringLiteral("User"))) << i;

  const struct {
    QString text;
    QString named;
  } refused[] = {{QStringLiteral("before") + QChar(0) + QStringLiteral("after"), QStringLiteral("U+0000")},
                 {QStringLiteral("lone ") + QChar(0xD800) + QStringLiteral(" and ") + QChar(0) + QChar(0),
                  QStringLiteral("U+D800, U+0000")}};
  for (const auto& c : refused) {
    EXPECT_FALSE(doc.addStickyNote(0, QPointF(300, 40), c.text, QStringLiteral("User")));
    EXPECT_TRUE(doc.lastError().contains(c.named)) << doc.lastError().toStdString();
  }

  const QString saved = saveCopy(doc, "notes-saved.pdf");
  PdfDocument reread;
  ASSERT_TRUE(reread.open(saved));
  QStringList read;
  for (const PdfDocument::Note& note : reread.notes(0)) read << note.text;
  EXPECT_EQ(read, kept);

  // qpdf reads the stored strings the same way. Its JSON is read as text:
  // Qt's JSON reader refuses U+FFFE, which the notes rightly hold.
  QByteArray json;
  ASSERT_EQ(runTool("qpdf", {"--json", "--json-key=qpdf", saved}, &json), 0);
  QStringList stored;
  const QRegularExpression contents(QStringLiteral("\"/Contents\": \"(u:[^\"]*)\""));
  for (auto match = contents.globalMatch(QString::fromUtf8(json)); match.hasNext();)
    stored << match.next().captured(1).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
  QStringList expected;
  for (const QString& text : kept) expected << QStringLiteral("u:") + text;
  stored.sort();
  expected.sort();
  EXPECT_EQ(stored, expected);
}
