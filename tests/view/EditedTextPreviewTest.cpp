// The view's own drawing of edited text: which line carries each display
// line (added lines follow the paragraph's pitch), where the preview puts the
// text, where the caret stands, and the chrome of a turned active block.
#include "BlockTestData.h"
#include "view/EditedTextPreview.h"
#include "core/EditedLineFit.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QTest>
#include <QTextEdit>

using namespace blocktest;

namespace {

TextBlock::Line lineWithTop(double top, double height = 10) {
  TextBlock::Line line;
  line.text = QStringLiteral("строка");
  line.rect = QRectF(50, top - height, 200, height);
  line.fontSize = 10;
  return line;
}

TEST(EditedTextPreview, AddedLinesFollowTheStoredPitch) {
  const struct {
    const char* name;
    std::vector<double> tops;
    int index;
    double expectedTop;
  } cases[] = {
      {"upper median of 20 and 14", {700, 680, 666}, 3, 666 - 20},
      {"second added line", {700, 680, 666}, 4, 666 - 40},
      {"1 and 90 point gaps ignored", {700, 699, 609, 595}, 4, 595 - 14},
      {"no usable gap: 1.25 x height", {700}, 1, 700 - 12.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextBlock block;
    block.rect = QRectF(40, 500, 300, 220);
    for (double top : c.tops) block.lines.push_back(lineWithTop(top));
    const TextBlock::Line line = visualLineForIndex(block, c.index);
    EXPECT_DOUBLE_EQ(line.rect.y() + line.rect.height(), c.expectedTop);
    EXPECT_DOUBLE_EQ(line.rect.x(), block.rect.x());
    EXPECT_DOUBLE_EQ(line.rect.width(), block.rect.width());
    EXPECT_TRUE(line.text.isEmpty());
  }
  TextBlock empty;
  empty.rect = QRectF(1, 2, 3, 4);
  EXPECT_EQ(visualLineForIndex(empty, 0).rect, empty.rect);
}

TEST(EditedTextPreview, DisplayLinesComeFromTheTextOrTheLines) {
  const struct {
    QString text;
    int lines;
    QStringList expected;
  } cases[] = {
      {QStringLiteral("a\nb"), 2, {"a", "b"}},
      {QStringLiteral("a\nb\nc"), 2, {"a", "b", "c"}},
      {QStringLiteral("a b"), 2, {"строка", "строка"}},
      {QStringLiteral("a b"), 0, {"a b"}},
      {QStringLiteral("a\n"), 1, {"a", ""}},
  };
  for (const auto& c : cases) {
    TextBlock block;
    block.text = c.text;
    for (int i = 0; i < c.lines; ++i) block.lines.push_back(lineWithTop(700 - 20 * i));
    EXPECT_EQ(displayLines(block), c.expected) << c.text.toStdString();
  }
}

// Rows of the image with dark pixels, as [first, last].
std::pair<int, int> inkRows(const QImage& image, int fromRow = 0) {
  int first = -1, last = -1;
  for (int y = fromRow; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qGray(image.pixel(x, y)) < 128) {
        if (first < 0) first = y;
        last = y;
        break;
      }
  return {first, last};
}

TEST(EditedTextPreview, ThirdDisplayLineIsDrawnBelowTheSecondAtThePitch) {
  TextBlock block;
  block.rect = QRectF(0, 600, 300, 100);
  block.lines = {lineWithTop(700, 14), lineWithTop(680, 14)};
  block.text = QStringLiteral("первая\nвторая\nтретья");
  block.textEdited = true;  // with blank HTML it is still drawn line by line
  QImage image(300, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  drawEditedTextPreview(painter, block, QRectF(0, 0, 300, 100), 1.0);
  painter.end();
  // The third line's box: top 40 px below the block's top, 14 high.
  const auto [first, last] = inkRows(image, 36);
  EXPECT_GE(first, 38);
  EXPECT_LE(last, 56);
  EXPECT_LE(inkRows(image).first, 2);  // the first line's ink starts at its box
}

// A line of the page with a larger bold-italic run in it.
TextBlock lineWithALargeRun() {
  TextBlock runs = nativeBlock(QStringLiteral("Call it with one argument only"), QRectF(10, 700, 260, 18), 11.0f,
                               QStringLiteral("LiberationSerif"));
  TextBlock::Line& line = runs.lines.front();
  line.spans.front().text = QStringLiteral("Call it with one ");
  TextBlock::Line::Span large;
  large.text = QStringLiteral("argument");
  large.fontSize = 16.0f;
  large.fontFamily = QStringLiteral("LiberationSerif-BoldItalic");
  large.bold = large.italic = true;
  TextBlock::Line::Span rest = line.spans.front();
  rest.text = QStringLiteral(" only");
  line.spans.push_back(large);
  line.spans.push_back(rest);
  return runs;
}

// Columns of the image with dark pixels, as [first, last].
std::pair<int, int> inkColumns(const QImage& image) {
  int first = -1, last = -1;
  for (int x = 0; x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (qGray(image.pixel(x, y)) < 128) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

// The line and the same line as rich text after a format command, drawn at
// zoom 1 and 2: each is drawn twice as tall (and as wide) at 2.
TEST(EditedTextPreview, AMixedFormatLineAtZoomTwoIsDrawnTwiceAsLarge) {
  TextBlock runs = lineWithALargeRun();
  runs.textEdited = true;  // moved or reformatted elsewhere: the view draws it
  TextBlock rich = runs;
  rich.richTextHtml = QStringLiteral(
      "<p style=\"margin:0\"><span style=\"font-family:'Liberation Serif'; font-size:11pt\">Call it with one "
      "</span><span style=\"font-family:'Liberation Serif'; font-size:16pt; font-weight:700; "
      "font-style:italic\">argument</span><span style=\"font-family:'Liberation Serif'; font-size:11pt\"> "
      "only</span></p>");

  const auto inkBox = [](const TextBlock& block, double zoom) {
    QImage image(int(300 * zoom) + 20, int(40 * zoom) + 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawEditedTextPreview(painter, block, QRectF(10, 10, 260 * zoom, 18 * zoom), zoom);
    painter.end();
    QRect box;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    return box;
  };
  for (const TextBlock* block : {&runs, &rich}) {
    SCOPED_TRACE(block == &runs ? "runs of the page" : "rich text");
    const QRect one = inkBox(*block, 1.0);
    const QRect two = inkBox(*block, 2.0);
    ASSERT_GT(one.height(), 8);
    EXPECT_NEAR(double(two.height()) / one.height(), 2.0, 0.15) << one.height() << " " << two.height();
    EXPECT_NEAR(double(two.width()) / one.width(), 2.0, 0.1) << one.width() << " " << two.width();
  }
}

// Moved as it is, the line is drawn run by run; the caret stands where the
// runs are drawn: at the start and at the end of the line's ink.
TEST(EditedTextPreview, TheCaretInALineOfRunsStandsWhereTheRunsAreDrawn) {
  TextBlock block = lineWithALargeRun();
  block.rect.translate(40, -100);
  for (TextBlock::Line& line : block.lines) line.rect.translate(40, -100);
  const QRectF rect(10, 10, 260, 18);
  QImage image(320, 40, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  drawEditedTextPreview(painter, block, rect, 1.0);
  painter.end();
  const auto [first, last] = inkColumns(image);
  ASSERT_GT(last, 100);
  EXPECT_NEAR(previewCaretRect(block.text, block, 0, rect, 1.0).x(), first, 2.0);
  EXPECT_NEAR(previewCaretRect(block.text, block, int(block.text.size()), rect, 1.0).x(), last, 3.0);
}

// A line of runs whose words were replaced (in its block's text, or in its
// line's too) is drawn with the new words, not from runs holding the old.
TEST(EditedTextPreview, AReplacedLineOfRunsIsDrawnWithItsNewText) {
  for (const bool lineTextToo : {false, true}) {
    TextBlock block = lineWithALargeRun();
    block.text = QStringLiteral("Call it");
    if (lineTextToo) block.lines.front().text = block.text;
    block.textEdited = true;
    QImage image(320, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawEditedTextPreview(painter, block, QRectF(10, 10, 260, 18), 1.0);
    painter.end();
    EXPECT_LT(inkColumns(image).second - inkColumns(image).first, 80) << lineTextToo;
  }
}

TEST(EditedTextPreview, CaretStandsAtTheCursorInTheDrawnText) {
  TextBlock block;
  block.rect = QRectF(0, 600, 300, 100);
  block.lines = {lineWithTop(700, 14), lineWithTop(680, 14)};
  block.text = QStringLiteral("абв\nгде\n");
  QTextEdit editor;
  editor.setPlainText(block.text);
  editor.show();
  editor.activateWindow();
  editor.setFocus();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));

  const auto caretColumns = [&](int position, bool select) {
    QTextCursor cursor = editor.textCursor();
    cursor.setPosition(position);
    if (select) cursor.setPosition(0, QTextCursor::KeepAnchor);
    editor.setTextCursor(cursor);
    QImage image(300, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawPreviewEditorCaret(painter, &editor, block, QRectF(0, 0, 300, 100), 1.0);
    painter.end();
    QList<QPoint> found;
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 300; ++x)
        if (image.pixel(x, y) != qRgb(255, 255, 255)) found.append(QPoint(x, y));
    return found;
  };
  const QList<QPoint> start = caretColumns(0, false);
  ASSERT_FALSE(start.isEmpty());
  EXPECT_LE(start.first().y(), 0);
  const QList<QPoint> end = caretColumns(3, false);
  ASSERT_FALSE(end.isEmpty());
  EXPECT_GT(end.first().x(), start.first().x() + 10);  // after the last letter
  // After the trailing line feed: the start of the synthesized third line.
  const QList<QPoint> next = caretColumns(8, false);
  ASSERT_FALSE(next.isEmpty());
  EXPECT_GE(next.first().y(), 38);
  EXPECT_TRUE(caretColumns(3, true).isEmpty());
}

// A Hebrew line the page drew from x 20 to 80: its caret starts at the
// right and walks left, on the page's letters and on a letter typed at the
// line's end (its left), which leaves the kept letters where they were.
TEST(EditedTextPreview, TheCaretOfAHebrewLineWalksLeftFromItsRightEdge) {
  TextBlock block;
  block.rect = block.originalRect = QRectF(10, 600, 80, 14);
  TextBlock::Line line;
  line.text = QStringLiteral("אבג");
  line.rect = QRectF(20, 600, 60, 14);
  line.fontSize = 12;
  line.freeLeft = 15;
  line.words = {{line.text, QRectF(20, 602, 60, 11)}};
  block.lines = {line};
  block.text = line.text;
  const QRectF rect(0, 0, 80, 14);  // the block at zoom 1, 10 points left of the page's
  const auto caretX = [&](int position) { return previewCaretRect(block.text, block, position, rect, 1.0).x(); };
  EXPECT_NEAR(caretX(0), 70, 0.5);
  EXPECT_NEAR(caretX(3), 10, 0.5);
  EXPECT_GT(caretX(1), caretX(2));
  block.text = QStringLiteral("אבגז");
  block.textEdited = true;
  EXPECT_NEAR(caretX(0), 70, 0.5);
  EXPECT_NEAR(caretX(3), 10, 0.5);
  EXPECT_LT(caretX(4), caretX(3) - 2);
}

TEST(EditedTextPreview, TurnedBlockChromeOnlyForARealRectangle) {
  const struct {
    QRectF rect;
    bool drawn;
  } cases[] = {{QRectF(60, 60, 100, 40), true}, {QRectF(60, 60, 1, 40), false}, {QRectF(60, 60, 100, 1), false}};
  for (const auto& c : cases) {
    QImage image(240, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawActiveTextBlockChrome(painter, c.rect, 30.0);
    painter.end();
    bool any = false;
    for (int y = 0; y < image.height() && !any; ++y)
      for (int x = 0; x < image.width() && !any; ++x) any = image.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_EQ(any, c.drawn);
  }
}

}  // namespace
