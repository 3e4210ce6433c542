// The turned editor: pointer input is mapped back through the turn so that
// clicks, drags and double clicks land on the turned characters, and its own
// painting follows the turn or stays away entirely when suppressed.
#include "BlockTestData.h"
#include "view/BlockGeometry.h"
#include "view/RotatedTextEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QTest>

#include <memory>

namespace {

class RotatedTextEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    host = blocktest::whiteHost(400, 400);
    editor = new RotatedTextEdit(host.get());
    editor->setFrameShape(QFrame::NoFrame);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    editor->setLineWrapMode(QTextEdit::NoWrap);
    editor->document()->setDocumentMargin(0);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(20);
    editor->setFont(font);
    editor->document()->setDefaultFont(font);
    editor->setGeometry(0, 0, 400, 400);
    host->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    metrics = std::make_unique<QFontMetricsF>(font);
  }

  // Where the middle of the left part of character k (of the first line) is
  // shown on the viewport.
  QPoint shownPointOfChar(int k, double leftFraction = 0.3) const {
    const double cw = metrics->horizontalAdvance(QLatin1Char('M'));
    const QPointF inDocument(k * cw + leftFraction * cw, metrics->height() / 2);
    const QRect r = editor->effectiveContentRect();
    const QPointF topLeft(r.topLeft());
    const QPointF centre = topLeft + QPointF(r.width() * 0.5, r.height() * 0.5);
    if (!editor->isRotated()) return (topLeft + inDocument).toPoint();
    return rotatePoint(topLeft + inDocument, centre, editor->rotation()).toPoint();
  }

  void pressMoveRelease(const QPoint& from, const QPoint& to) {
    QWidget* viewport = editor->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(viewport->mapTo(host.get(), to)),
                     QPointF(viewport->mapToGlobal(to)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
  }

  // Bounding box of the dark pixels the host shows.
  QRect inkBox() const {
    const QImage image = host->grab().toImage();
    QRect box;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 100) box = box.united(QRect(x, y, 1, 1));
    return box;
  }

  std::unique_ptr<QWidget> host;
  RotatedTextEdit* editor = nullptr;
  std::unique_ptr<QFontMetricsF> metrics;
};

TEST_F(RotatedTextEditTest, ClicksLandOnTheTurnedCharacter) {
  editor->setPlainText(QStringLiteral("ABCDEFGHIJ"));
  editor->setPaintContentRect(QRect(80, 120, 240, 60));
  for (double angle : {90.0, -45.0, 180.0, 30.0}) {
    editor->setRotationAngle(angle);
    for (int k : {0, 3, 7}) {
      QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier, shownPointOfChar(k));
      EXPECT_EQ(editor->textCursor().position(), k) << "angle " << angle << " char " << k;
      // The right half of a character puts the caret after it.
      QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier, shownPointOfChar(k, 0.8));
      EXPECT_EQ(editor->textCursor().position(), k + 1) << "angle " << angle << " char " << k;
    }
  }
}

TEST_F(RotatedTextEditTest, AlmostUnturnedEditorIsAnOrdinaryTextEdit) {
  editor->setPlainText(QStringLiteral("ABCDEFGHIJ"));
  editor->setPaintContentRect(QRect(80, 120, 240, 60));
  editor->setRotationAngle(0.05);
  EXPECT_FALSE(editor->isRotated());
  // No mapping: the document answers at its own place, not the content's.
  const double cw = metrics->horizontalAdvance(QLatin1Char('M'));
  QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier,
                    QPoint(static_cast<int>(4.3 * cw), static_cast<int>(metrics->height() / 2)));
  EXPECT_EQ(editor->textCursor().position(), 4);
  EXPECT_EQ(editor->mapFromRotatedViewport(QPointF(90, 130)), QPointF(10, 10));

  // A full turn and a bit is no change at all.
  editor->setRotationAngle(0.0);
  editor->setRotationAngle(360.005);
  EXPECT_DOUBLE_EQ(editor->rotation(), 0.0);
  editor->setRotationAngle(190);
  EXPECT_NEAR(editor->rotation(), -170.0, 1e-9);
}

TEST_F(RotatedTextEditTest, DragsAndDoubleClicksSelectTurnedText) {
  editor->setPlainText(QStringLiteral("alpha beta gamma"));
  editor->setPaintContentRect(QRect(40, 160, 340, 40));
  for (double angle : {90.0, -30.0}) {
    editor->setRotationAngle(angle);
    pressMoveRelease(shownPointOfChar(2), shownPointOfChar(9));
    EXPECT_EQ(editor->textCursor().selectedText(), QStringLiteral("pha bet")) << angle;
    QTest::mouseDClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier, shownPointOfChar(7));
    EXPECT_EQ(editor->textCursor().selectedText(), QStringLiteral("beta")) << angle;
  }
}

TEST_F(RotatedTextEditTest, PaintsTurnedOrNotAtAll) {
  editor->setPlainText(QStringLiteral("MMMMMMMMMM"));
  editor->setPaintContentRect(QRect(100, 180, 200, 40));
  editor->setRotationAngle(0.0);
  const QRect flat = inkBox();
  ASSERT_FALSE(flat.isEmpty());
  EXPECT_GT(flat.width(), 3 * flat.height());
  EXPECT_TRUE(QRect(100, 180, 200, 40).contains(flat.center())) << "drawn inside the content rectangle";

  editor->setRotationAngle(90.0);
  const QRect turned = inkBox();
  ASSERT_FALSE(turned.isEmpty());
  EXPECT_GT(turned.height(), 3 * turned.width());
  EXPECT_NEAR(turned.height(), flat.width(), 3);
  // A quarter turn clockwise about the content's centre (200, 200): the
  // text now reads downwards, right of the centre line.
  const QPointF head = rotatePoint(QPointF(flat.topLeft()), QPointF(200, 200), 90.0);
  const QPointF foot = rotatePoint(QPointF(flat.bottomLeft()), QPointF(200, 200), 90.0);
  EXPECT_NEAR(turned.right(), head.x(), 3);
  EXPECT_NEAR(turned.left(), foot.x(), 3);
  EXPECT_NEAR(turned.top(), head.y(), 3);

  // Suppressed: nothing shows, yet keys and clicks still edit.
  editor->setPaintingSuppressed(true);
  EXPECT_TRUE(inkBox().isEmpty());
  editor->moveCursor(QTextCursor::End);
  QTest::keyClicks(editor, QStringLiteral("ab"));
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("MMMMMMMMMMab"));
  QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier, shownPointOfChar(2));
  EXPECT_EQ(editor->textCursor().position(), 2);
}

}  // namespace
