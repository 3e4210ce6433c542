#include "OcrTestLines.h"

#include "ocr/LineInk.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>

namespace {

// One pixel per point keeps the arithmetic readable.
constexpr double kScale = 1.0;
constexpr int kWidth = 900;
constexpr int kHeight = 200;

struct Page {
  QImage image{kWidth, kHeight, QImage::Format_RGB32};
  QRect ink;  // pixel bounds of the drawn text
};

Page pageWithText(const QString& text, int left, int top, const std::function<void(QPainter&)>& extra = {}) {
  Page page;
  page.image.fill(Qt::white);
  QPainter painter(&page.image);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(24);
  painter.setFont(font);
  painter.setPen(Qt::black);
  const QRectF tight = QFontMetricsF(font).tightBoundingRect(text);
  painter.drawText(QPointF(left - tight.x(), top - tight.y()), text);
  page.ink = QRect(left, top, int(std::ceil(tight.width())), int(std::ceil(tight.height())));
  if (extra) extra(painter);
  return page;
}

// A line whose box covers pixels [x0, x1) horizontally and the ink's rows.
TextBlock::Line lineOver(const Page& page, const char* text, int x0, int x1) {
  return ocrtest::makeLine(text, x0, kHeight - page.ink.bottom() - 1, x1 - x0, page.ink.height());
}

}  // namespace

TEST(LineInk, EdgesFollowTheInk) {
  const QString text = QStringLiteral("Recognised line of text");
  struct Case {
    const char* name;
    std::function<void(QPainter&)> extra;
  } cases[] = {
      {"plain", {}},
      {"dense bar beside the line", [](QPainter& p) { p.fillRect(QRect(460, 10, 5, 60), Qt::black); }},
      {"rule through the line", [](QPainter& p) { p.fillRect(QRect(0, 40, kWidth, 2), Qt::black); }},
  };
  for (const Case& c : cases) {
    const Page page = pageWithText(text, 100, 30, c.extra);
    // The words missed the last letters of the line.
    std::vector<TextBlock::Line> lines = {lineOver(page, "Recognised line of te", 100, page.ink.right() - 25)};
    const QRectF before = lines[0].rect;
    refineOcrLineInkRects(lines, page.image, kScale, kHeight);
    EXPECT_NEAR(lines[0].rect.left(), page.ink.left() - 1, 1.5) << c.name;
    EXPECT_NEAR(lines[0].rect.right(), page.ink.right() + 2, 1.5) << c.name;
    EXPECT_EQ(lines[0].rect.y(), before.y()) << c.name;
    EXPECT_EQ(lines[0].rect.height(), before.height()) << c.name;
  }
}

TEST(LineInk, LinesLeftAlone) {
  const Page page = pageWithText(QStringLiteral("Short words in a long row of close text that runs far on"), 20, 30);
  struct Case {
    const char* name;
    TextBlock::Line line;
    QImage image;
    double scale;
  } cases[] = {
      {"span far wider than the line", lineOver(page, "words", 120, 170), page.image, kScale},
      {"empty text", lineOver(page, "  ", 120, 170), page.image, kScale},
      {"zero width", lineOver(page, "words", 120, 120), page.image, kScale},
      {"null image", lineOver(page, "words", 120, 170), QImage(), kScale},
      {"no scale", lineOver(page, "words", 120, 170), page.image, 0.0},
      {"no ink around", ocrtest::makeLine("words", 300, 10, 50, 20), page.image, kScale},
  };
  for (const Case& c : cases) {
    std::vector<TextBlock::Line> lines = {c.line};
    refineOcrLineInkRects(lines, c.image, c.scale, kHeight);
    EXPECT_EQ(lines[0].rect, c.line.rect) << c.name;
  }
}
