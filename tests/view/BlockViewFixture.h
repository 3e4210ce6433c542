#pragma once
// A shown page view on a one-page document, with helpers that build blocks
// the way native extraction and recognition deliver them.

#include "BlockTestData.h"
#include "TestSupport.h"
#include "ViewTestAccess.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace blocktest {

// A line as recognition gives it: no style runs.
inline TextBlock::Line plainLine(const QString& text, double height, float size, const QString& family = {},
                                 bool bold = false) {
  TextBlock::Line line;
  line.text = text;
  line.rect = QRectF(50, 500, 200, height);
  line.fontSize = size;
  line.fontFamily = family;
  line.bold = bold;
  return line;
}

inline TextBlock blockOfLines(std::vector<TextBlock::Line> lines) {
  TextBlock block;
  QStringList texts;
  for (const auto& line : lines) texts.append(line.text);
  block.text = texts.join(QLatin1Char('\n'));
  block.lines = std::move(lines);
  block.rect = block.originalRect = QRectF(50, 400, 300, 120);
  return block;
}

class BlockViewTest : public ::testing::Test {
protected:
  using A = PdfViewTestAccess;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    ASSERT_TRUE(testsupport::writePdf(path, {testsupport::PageSpec{QStringLiteral("Page text"), false, {595, 842}}}));
    ASSERT_TRUE(doc.open(path));
    view = std::make_unique<PdfView>();
    view->setFrameShape(QFrame::NoFrame);
    view->resize(800, 1000);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    view->setDocument(&doc);
    view->setZoom(1.0);
  }

  void TearDown() override {
    view.reset();
  }

  // Three native lines down the page, the second in Arial.
  std::vector<TextBlock> threeBlocks() const {
    return {nativeBlock(QStringLiteral("Первая строка"), QRectF(60, 700, 200, 20)),
            nativeBlock(QStringLiteral("Second line"), QRectF(60, 650, 180, 20), 12.0f, QStringLiteral("ArialMT")),
            nativeBlock(QStringLiteral("Третья"), QRectF(60, 600, 120, 20))};
  }

  QTemporaryDir dir;
  PdfDocument doc;
  std::unique_ptr<PdfView> view;
};

}  // namespace blocktest
