// Edited lines keep their place in the line box: wider text is narrowed into
// it, a line of a right-aligned or centred paragraph keeps its edge, and a
// shorter line keeps its glyphs' width. Checked with pdftotext -bbox.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/EditedLineFit.h"
#include "core/LineRoom.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

// A three-line block whose lines sit in [left, right] by the given offsets.
TextBlock paragraph(const QList<std::pair<double, double>>& lineSpans, double top) {
  TextBlock block;
  QRectF all;
  for (qsizetype i = 0; i < lineSpans.size(); ++i) {
    TextBlock::Line line;
    line.rect = QRectF(lineSpans[i].first, top - 16 * (i + 1), lineSpans[i].second - lineSpans[i].first, 12);
    line.fontSize = 11;
    line.text = QStringLiteral("line %1").arg(i);
    block.lines.push_back(line);
    all = all.united(line.rect);
  }
  block.rect = block.originalRect = all;
  block.fontSize = 11;
  return block;
}

}  // namespace

// A longer line may run up to the first ink of its row (not ink above or
// below it), inside what it stands on and the page's margins (mirroring the
// line's own or the text column's, whichever reach further); the fit follows it on
// the line's aligned side and narrows only what still does not fit.
TEST(EditedLineFit, ALongerLineTakesTheFreeRoomOfItsRowFirst) {
  const QRectF line(100, 700, 200, 12);  // y up
  const auto room = [&](const std::vector<QPointF>& words, const std::vector<QRectF>& ink, const QRectF& column) {
    const LineRoom r = freeRoom(line, words, ink, column, 600);
    return std::pair(r.left, r.right);
  };
  EXPECT_EQ(room({}, {}, {}), std::pair(100.0, 500.0));
  EXPECT_EQ(room({}, {}, QRectF(72, 100, 468, 650)), std::pair(60.0, 540.0));
  EXPECT_EQ(room({}, {}, QRectF(100, 100, 220, 650)), std::pair(100.0, 500.0));  // a narrow column
  // Half a letter and a blank short of the next word's first letter.
  EXPECT_EQ(room({{400, 706}, {350, 730}, {60, 704}}, {}, {}), std::pair(100.0, 391.6));
  EXPECT_EQ(room({{303, 706}, {97, 704}}, {}, {}), std::pair(100.0, 300.0));
  EXPECT_EQ(room({}, {QRectF(450, 600, 1, 200), QRectF(320, 720, 100, 5)}, {}), std::pair(100.0, 450.0));
  EXPECT_EQ(room({}, {QRectF(90, 695, 290, 22)}, {}), std::pair(100.0, 380.0));

  TextBlock left = paragraph({{100, 300}}, 720);
  left.lines[0].freeRight = 50;
  EXPECT_EQ(fitEditedLine(left, 0, 100, 200, 240).scale, 1.0);
  EXPECT_NEAR(fitEditedLine(left, 0, 100, 200, 300).scale, 250.0 / 300, 1e-9);
  EXPECT_NEAR(fitEditedLine(left, 0, 200, 400, 600, {}, 2).scale, 500.0 / 600, 1e-9);  // at twice the size
  left.lines[0].freeLeft = 80;  // room on the other side is not taken
  EXPECT_NEAR(fitEditedLine(left, 0, 100, 200, 300).scale, 250.0 / 300, 1e-9);
}

TEST(EditedLineFit, AlignmentComesFromTheParagraphsEdges) {
  const struct {
    QList<std::pair<double, double>> spans;
    Qt::Alignment second;
  } cases[] = {
      {{{100, 400}, {250, 400}, {180, 400}}, Qt::AlignRight},
      {{{100, 400}, {150, 350}, {120, 380}}, Qt::AlignHCenter},
      {{{100, 400}, {100, 300}, {100, 390}}, Qt::AlignLeft},
      {{{100, 400}}, Qt::AlignLeft},
  };
  for (const auto& c : cases) {
    const TextBlock block = paragraph(c.spans, 700);
    EXPECT_EQ(editedLineAlignment(block, c.spans.size() > 1 ? 1 : 0), c.second);
  }
  // Wider than its box: narrowed to it; about as wide as a stored box: never widened to it.
  const TextBlock left = paragraph({{100, 400}, {100, 400}}, 700);
  EXPECT_NEAR(fitEditedLine(left, 0, 100, 300, 400).scale, 0.75, 1e-9);
  EXPECT_EQ(fitEditedLine(left, 0, 100, 300, 280).scale, 1.0);
  EXPECT_EQ(fitEditedLine(left, 0, 100, 300, 150).scale, 1.0);
  EXPECT_EQ(fitEditedLine(left, 5, 100, 300, 280).scale, 1.0);  // a typed line below the stored ones
}

TEST(EditedLineFit, ARightAlignedLineKeepsItsRightEdgeInTheFile) {
  if (!hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString source = dir.filePath(QStringLiteral("blank.pdf"));
  ASSERT_TRUE(writeRawPdf(source, {{"0 0 1 rg 10 10 5 5 re f\n"}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  TextBlock block = paragraph({{200, 500}, {330, 500}, {260, 500}}, 700);
  block.text = QStringLiteral(
      "Signed at the office of the notary\nShort CEDAR\nA far longer second line WILLOW than its box allows");
  block.textEdited = true;
  ASSERT_TRUE(doc.overlayOcrText(0, {block}, false));
  const QString saved = dir.filePath(QStringLiteral("right.pdf"));
  ASSERT_TRUE(doc.saveCopy(saved));
  const double height = doc.pageSize(0).height();
  const QList<QRectF> cedar = oracles::wordBoxes(saved, 0, QStringLiteral("CEDAR"), height);
  ASSERT_EQ(cedar.size(), 1);
  EXPECT_NEAR(cedar[0].right(), 500, 2.0);
  const QList<QRectF> willow = oracles::wordBoxes(saved, 0, QStringLiteral("allows"), height);
  ASSERT_EQ(willow.size(), 1);
  EXPECT_NEAR(willow[0].right(), 500, 2.0);
  EXPECT_GT(oracles::wordBoxes(saved, 0, QStringLiteral("A"), height).value(0).left(), 259);
}

TEST(EditedLineFit, ShorterOneLineEditsKeepTheirPlaceInThePagesColumn) {
  if (!hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString source = dir.filePath(QStringLiteral("title.pdf"));
  {
    QPdfWriter writer(source);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
    QPainter painter(&writer);
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSizeF(12);
    painter.setFont(font);
    const QFontMetricsF metrics(font, &writer);
    const QString title = QStringLiteral("An Interactive Plotting Program");
    const QString date = QStringLiteral("Version of June 2022");
    const QString body = QStringLiteral("A body line runs across the whole column of the page from its");
    const double right = 72 + metrics.horizontalAdvance(body);
    painter.drawText(QPointF((72 + right - metrics.horizontalAdvance(title)) / 2, 100), title);
    painter.drawText(QPointF(right - metrics.horizontalAdvance(date), 130), date);
    painter.drawText(QPointF(72, 200), body);
    painter.drawText(QPointF(72, 216), QStringLiteral("and a second body line below it."));
  }
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  std::vector<TextBlock> blocks = doc.extractText(0);
  const QRectF column = pageTextColumn(blocks);
  const struct {
    const char* old;
    QString text;
    const char* last;
    Qt::Alignment align;
  } edits[] = {{"Interactive", QStringLiteral("Plotting FIG"), "FIG", Qt::AlignHCenter},
               {"Version", QStringLiteral("June OAK"), "OAK", Qt::AlignRight}};
  QRectF places[2];
  for (int e = 0; e < 2; ++e) {
    for (TextBlock& block : blocks) {
      if (!block.text.contains(QLatin1String(edits[e].old))) continue;
      EXPECT_EQ(editedLineAlignment(block, 0, column), edits[e].align) << edits[e].old;
      places[e] = block.rect;
      block.text = edits[e].text;
      block.textEdited = true;
    }
  }
  ASSERT_TRUE(doc.overlayOcrText(0, blocks, false));
  const QString saved = dir.filePath(QStringLiteral("title-saved.pdf"));
  ASSERT_TRUE(doc.saveCopy(saved));
  const double height = doc.pageSize(0).height();
  const QRectF fig = oracles::wordBoxes(saved, 0, QStringLiteral("FIG"), height).value(0);
  const QRectF plotting = oracles::wordBoxes(saved, 0, QStringLiteral("Plotting"), height).value(0);
  EXPECT_NEAR((plotting.left() + fig.right()) / 2, places[0].center().x(), 3.0);
  EXPECT_NEAR(oracles::wordBoxes(saved, 0, QStringLiteral("OAK"), height).value(0).right(), places[1].right(), 2.0);
}
