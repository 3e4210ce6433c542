// Links under a point and the bookmark tree. Link areas are painted in their
// own colours, so poppler's rendering of the shown page says where they are.
#include "HandWrittenPdf.h"
#include "PopplerOracles.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

struct Area {
  const char* name;
  QString rect;    // user space: x0 y0 x1 y1
  QString colour;  // fill painted under the link: "r g b"
  QString action;  // the annotation's entries besides /Rect
  LinkTarget expected;
};

LinkTarget pageTarget(int page, double top = -1) { return {LinkTarget::Page, page, {}, {}, top}; }
LinkTarget urlTarget(const QString& url) { return {LinkTarget::Url, -1, QUrl(url), {}}; }
LinkTarget fileTarget(const QString& path) { return {LinkTarget::File, -1, {}, path}; }

const QList<Area>& areas() {
  static const QList<Area> list = {
      {"destination beats URI", "40 500 140 540", "1 0 0",
       "/Dest [4 0 R /Fit] /A << /S /URI /URI (https://ignored.example/) >>", pageTarget(1)},
      {"go-to action", "200 500 300 540", "0 1 1", "/A << /S /GoTo /D [4 0 R /Fit] >>", pageTarget(1)},
      {"remote go-to", "40 440 140 480", "0 1 0", "/A << /S /GoToR /F (other.pdf) /D [1 /Fit] >>",
       fileTarget("other.pdf")},
      {"embedded go-to", "200 440 300 480", "0.5 0.5 0",
       "/A << /S /GoToE /D [0 /Fit] /T << /R /C /N (attached) >> >>", LinkTarget{}},
      {"launch", "40 380 140 420", "0 0 1", "/A << /S /Launch /F (  notes.txt  ) >>", fileTarget("notes.txt")},
      {"URI", "200 380 300 420", "1 0 1", "/A << /S /URI /URI ( https://example.com/x ) >>",
       urlTarget("https://example.com/x")},
      {"page the document lacks", "40 320 140 360", "1 0.5 0", "/Dest [7 /Fit]", LinkTarget{}},
      // 450 pt above the foot of a 600 pt page: 150 pt below its top.
      {"a place on the page", "200 320 300 360", "0.2 0.6 0.2", "/Dest [4 0 R /XYZ 0 450 null]", pageTarget(1, 150)},
  };
  return list;
}

// A page with every kind of link annotation, a script link over a web
// address in the text, and a web address without any annotation.
QString writeLinkPdf(const QString& path, int rotate) {
  QByteArray content;
  QString annots;
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                         QString(), "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 600] >>",
                         "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", QString()};
  for (const Area& a : areas()) {
    const QStringList c = a.rect.split(' ');
    content += QStringLiteral("%1 rg %2 %3 %4 %5 re f\n")
                   .arg(a.colour, c[0], c[1])
                   .arg(c[2].toDouble() - c[0].toDouble())
                   .arg(c[3].toDouble() - c[1].toDouble())
                   .toLatin1();
    objects.append(QStringLiteral("<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [%1] %2 >>").arg(a.rect, a.action));
    annots += QStringLiteral("%1 0 R ").arg(objects.size());
  }
  objects.append("<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [40 255 300 290] "
                 "/A << /S /JavaScript /JS (app.alert 1) >> >>");
  annots += QStringLiteral("%1 0 R ").arg(objects.size());
  content += "0 g BT /F1 12 Tf 45 265 Td (https://fallback.example/path) Tj ET\n"
             "BT /F1 12 Tf 45 150 Td (see https://example.net/page here) Tj ET\n";
  objects[2] = QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 600] /CropBox [20 30 380 580] "
                              "/Rotate %1 /Resources << /Font << /F1 5 0 R >> >> /Contents 6 0 R /Annots [%2] >>")
                   .arg(rotate)
                   .arg(annots.trimmed());
  objects[5] = handwritten::stream(content);
  EXPECT_TRUE(handwritten::writePdf(path, objects));
  return path;
}

// Where poppler paints a colour on the shown page, as a rectangle with y up.
QRectF paintedArea(const QImage& page, const QString& colour) {
  const QStringList c = colour.split(' ');
  const QColor wanted = QColor::fromRgbF(c[0].toFloat(), c[1].toFloat(), c[2].toFloat());
  QRect found;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QColor p = page.pixelColor(x, y);
      if (std::abs(p.red() - wanted.red()) < 8 && std::abs(p.green() - wanted.green()) < 8 &&
          std::abs(p.blue() - wanted.blue()) < 8)
        found |= QRect(x, y, 1, 1);
    }
  return QRectF(found.x(), page.height() - found.bottom() - 1, found.width(), found.height());
}

QRectF popplerWord(const QString& file, const QString& word, double shownHeight) {
  return oracles::wordBoxes(file, 0, word, shownHeight).value(0);
}

void expectTarget(const LinkTarget& actual, const LinkTarget& expected) {
  EXPECT_EQ(actual.kind, expected.kind);
  EXPECT_NEAR(actual.top, expected.top, 0.5);
  EXPECT_EQ(actual.page, expected.page);
  EXPECT_EQ(actual.url, expected.url);
  EXPECT_EQ(actual.filePath, expected.filePath);
}

class LinksTest : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QTemporaryDir dir;
};

}  // namespace

TEST_P(LinksTest, EveryLinkLeadsWhereItsActionSaysAtItsShownPlace) {
  const int rotate = GetParam();
  const QString file = writeLinkPdf(dir.filePath("links.pdf"), rotate);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  const QImage shown = oracles::renderWithPoppler(file, 0, 72);
  ASSERT_EQ(QSizeF(shown.size()), doc.pageSize(0));

  for (const Area& a : areas()) {
    SCOPED_TRACE(a.name);
    const QRectF area = paintedArea(shown, a.colour);
    ASSERT_GT(area.width(), 30);
    expectTarget(doc.linkAtPoint(0, area.center()), a.expected);
  }
  const double height = doc.pageSize(0).height();
  // A link whose action we cannot follow gives way to the address written under it.
  const LinkTarget fallback = doc.linkAtPoint(0, popplerWord(file, "https://fallback.example/path", height).center());
  EXPECT_EQ(fallback.kind, LinkTarget::Url);
  EXPECT_EQ(fallback.url.host(), "fallback.example");
  const LinkTarget web = doc.linkAtPoint(0, popplerWord(file, "https://example.net/page", height).center());
  EXPECT_EQ(web.kind, LinkTarget::Url);
  EXPECT_EQ(web.url, QUrl("https://example.net/page"));
  // Plain text and empty paper lead nowhere.
  expectTarget(doc.linkAtPoint(0, popplerWord(file, "see", height).center()), LinkTarget{});
  expectTarget(doc.linkAtPoint(0, QPointF(5, 5)), LinkTarget{});
}

INSTANTIATE_TEST_SUITE_P(Rotations, LinksTest, ::testing::Values(0, 90, 270));

TEST(Links, WebAddressesInTextAreHitWithASmallMargin) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = writeLinkPdf(dir.filePath("links.pdf"), 0);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  const QRectF word = popplerWord(file, "https://example.net/page", doc.pageSize(0).height());
  ASSERT_FALSE(word.isEmpty());
  const double y = word.center().y();
  // The link's own box is pdfium's glyph box: it starts at the first glyph and
  // ends at the last one, within a point of poppler's word box.
  EXPECT_EQ(doc.linkAtPoint(0, {word.left() - 0.4, y}).kind, LinkTarget::Url);
  EXPECT_EQ(doc.linkAtPoint(0, {word.right() + 0.4, y}).kind, LinkTarget::Url);
  EXPECT_EQ(doc.linkAtPoint(0, {word.left() - 3.5, y}).kind, LinkTarget::None);
  EXPECT_EQ(doc.linkAtPoint(0, {word.right() + 3.5, y}).kind, LinkTarget::None);

  expectTarget(doc.linkAtPoint(-1, word.center()), LinkTarget{});
  expectTarget(doc.linkAtPoint(2, word.center()), LinkTarget{});
  PdfDocument closed;
  expectTarget(closed.linkAtPoint(0, word.center()), LinkTarget{});
}

namespace {

struct Expected {
  QString title;
  int page;
  QString url;
  QList<Expected> children;
};

void expectTree(const QList<PdfDocument::OutlineItem>& items, const QList<Expected>& expected) {
  ASSERT_EQ(items.size(), expected.size());
  for (qsizetype i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(expected[i].title.toStdString());
    EXPECT_EQ(items[i].title, expected[i].title);
    EXPECT_EQ(items[i].page, expected[i].page);
    EXPECT_EQ(items[i].url, QUrl(expected[i].url));
    expectTree(items[i].children, expected[i].children);
  }
}

// An outline of `count` items, each the only child of the one before.
QStringList chainedOutline(int count) {
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>",
                         "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
                         "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>"};
  for (int level = 0; level < count; ++level) {
    const int self = 5 + level;
    const QString child = level + 1 < count ? QStringLiteral("/First %1 0 R /Last %1 0 R").arg(self + 1) : QString();
    objects.append(QStringLiteral("<< /Title (Level %1) /Parent %2 0 R /Dest [3 0 R /Fit] %3 >>")
                       .arg(level + 1)
                       .arg(self - 1)
                       .arg(child));
  }
  return objects;
}

int depth(const QList<PdfDocument::OutlineItem>& items) {
  int deepest = 0;
  for (const auto& item : items) deepest = std::max(deepest, 1 + depth(item.children));
  return deepest;
}

}  // namespace

TEST(Outline, MatchesTheBookmarksGhostscriptWrote) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  if (!hasTool("gs")) GTEST_SKIP() << "ghostscript is not installed";
  const QString plain = dir.filePath("plain.pdf");
  ASSERT_TRUE(writePdf(plain, {{"one"}, {"two"}, {"three"}}));
  const QString marks = dir.filePath("marks.ps");
  {
    QFile f(marks);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[/Title (Chapter 1) /Page 1 /Count 2 /OUT pdfmark\n"
            "[/Title (Section 1.1) /Page 2 /OUT pdfmark\n"
            "[/Title (  Section 1.2  ) /Page 3 /Count -1 /OUT pdfmark\n"
            "[/Title (Deep) /Page 3 /OUT pdfmark\n"
            "[/Title <FEFF0413043B043004320430002000320020> /Page 2 /OUT pdfmark\n"
            "[/Title (Web) /Action << /Subtype /URI /URI (https://example.org/) >> /OUT pdfmark\n"
            "[/Title (Other file) /Action /GoToR /File (other.pdf) /Page 2 /OUT pdfmark\n");
  }
  const QString marked = dir.filePath("marked.pdf");
  ASSERT_EQ(runTool("gs", {"-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=pdfwrite", "-o", marked, "-f", plain,
                           marks}),
            0);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(marked));
  expectTree(doc.outline(), {
                                {"Chapter 1", 0, {}, {{"Section 1.1", 1, {}, {}}, {"Section 1.2", 2, {}, {{"Deep", 2, {}, {}}}}}},
                                {"Глава 2", 1, {}, {}},
                                {"Web", -1, "https://example.org/", {}},
                                // Its page number is one of the other file: none of ours.
                                {"Other file", -1, {}, {}},
                            });
  PdfDocument closed;
  EXPECT_TRUE(closed.outline().isEmpty());
}

TEST(Outline, DepthIsCutAt33LevelsAndLoopsEnd) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct Case {
    int levels;
    int depth;
  };
  for (const Case c : {Case{40, 33}, Case{33, 33}, Case{5, 5}}) {
    const QString file = dir.filePath("deep.pdf");
    ASSERT_TRUE(handwritten::writePdf(file, chainedOutline(c.levels)));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file));
    EXPECT_EQ(depth(doc.outline()), c.depth) << c.levels;
  }

  // Damaged: the only bookmark is its own child and its own sibling.
  const QString looped = dir.filePath("looped.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      looped, {"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
               "<< /Type /Outlines /First 5 0 R /Last 5 0 R /Count 1 >>",
               "<< /Title (Loop) /Parent 4 0 R /First 5 0 R /Last 5 0 R /Next 5 0 R /Dest [3 0 R /Fit] >>"}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(looped));
  expectTree(doc.outline(), {{"Loop", 0, {}, {}}});
}

TEST(Outline, EmptyBookmarksAreLeftOutUnlessTheyHoldOthers) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath("empty.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      file, {"<< /Type /Catalog /Pages 2 0 R /Outlines 4 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
             "<< /Type /Outlines /First 5 0 R /Last 6 0 R /Count 3 >>",
             "<< /Title () /Parent 4 0 R /Next 6 0 R >>",
             "<< /Parent 4 0 R /Prev 5 0 R /First 7 0 R /Last 7 0 R >>",
             "<< /Title (Child) /Parent 6 0 R /Dest [3 0 R /Fit] >>"}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  expectTree(doc.outline(), {{"", -1, {}, {{"Child", 0, {}, {}}}}});
}
