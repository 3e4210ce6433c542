// Editing a block in place: where the editor opens and how it follows zoom
// and scrolling, what typing stores in the block (rich text in points), the
// format commands and their report, folding on close, and growth with text.
#include "BlockViewFixture.h"
#include "core/TurnedRect.h"

#include "view/BlockTextRenderer.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <functional>

using namespace blocktest;

namespace {

RotatedTextEdit* editorOf(const PdfView& view) { return PdfViewTestAccess::frame(view)->textEditor(); }

// Real key events also for letters QTest::keyClicks cannot spell.
void typeInto(QWidget* widget, const QString& text) {
  for (QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Pixel sizes named in stored rich text.
// Font sizes of the stored rich text, in points: whole pixels of a
// 72-dpi layout, or exact points where the text keeps its line's size.
QList<double> htmlPixelSizes(const QString& html) {
  QList<double> sizes;
  static const QRegularExpression re(QStringLiteral("font-size:([\\d.]+)p[xt]"));
  for (auto it = re.globalMatch(html); it.hasNext();) sizes.append(it.next().captured(1).toDouble());
  return sizes;
}

int firstFragmentPixelSize(QTextEdit* editor) {
  for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it)
      if (it.fragment().isValid()) return it.fragment().charFormat().font().pixelSize();
  return -1;
}

TEST_F(BlockViewTest, EditorOpensOverTheBlockAndFollowsZoomAndScroll) {
  const struct {
    double zoomBefore;
    double zoomAfter;
    int scroll;
  } cases[] = {{1.0, 1.0, 0}, {2.5, 2.5, 0}, {2.5, 2.5, 300}, {1.0, 2.5, 120}};
  for (const auto& c : cases) {
    SCOPED_TRACE(QStringLiteral("zoom %1 -> %2, scroll %3").arg(c.zoomBefore).arg(c.zoomAfter).arg(c.scroll).toStdString());
    view->setOcrBlocks(threeBlocks(), 0, false);
    view->setEditMode(true);
    view->setZoom(c.zoomBefore);
    view->verticalScrollBar()->setValue(0);
    view->activateOcrBlock(1);
    view->setZoom(c.zoomAfter);
    view->verticalScrollBar()->setValue(c.scroll);
    BlockEditorFrame* frame = A::frame(*view);
    ASSERT_TRUE(frame && frame->isVisible());
    const QRectF expected = view->pdfRectToScreenRect(0, A::blocks(*view)[1].rect);
    const QRect content = frame->contentScreenRect();
    EXPECT_NEAR(content.left(), expected.left(), 1.0);
    EXPECT_NEAR(content.top(), expected.top(), 1.0);
    EXPECT_GE(content.width(), expected.width() - 1);
    EXPECT_GE(content.height(), std::min(expected.height(), 16.0) - 1);
    view->setEditMode(false);
    EXPECT_FALSE(frame->isVisible());
    view->setZoom(1.0);
  }
}

TEST_F(BlockViewTest, BlockAboveTheViewportIsScrolledTenPixelsBelowItsTop) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  view->setEditMode(true);
  view->setZoom(2.5);
  // From the top of the content, where viewport and content coordinates agree.
  view->verticalScrollBar()->setValue(0);
  const QRectF at = view->pdfRectToScreenRect(0, A::blocks(*view)[1].rect);
  view->verticalScrollBar()->setValue(int(at.top()) + 5);
  ASSERT_LT(view->pdfRectToScreenRect(0, A::blocks(*view)[1].rect).top(), 0);
  view->activateOcrBlock(1);
  EXPECT_NEAR(A::frame(*view)->contentScreenRect().top(), 10, 1);
}

// Text typed past the end of a line drawn turned grows the block (wrapping
// at its width, so downwards in its own frame): where the line starts on the
// page stays put.
TEST_F(BlockViewTest, TurnedBlockGrowsFromWhereItsTextStarts) {
  // Recognised text flows, so it grows; a page's own line stays in its box.
  TextBlock turned = nativeBlock(QStringLiteral("Short turned"), QRectF(200, 400, 90, 16), 12.0f);
  turned.lines.clear();
  turned.rotation = turned.originalRotation = 90;
  view->setOcrBlocks({turned}, 0, false);
  view->setEditMode(true);
  const auto startOnPage = [&] {
    const TextBlock& b = A::blocks(*view)[0];
    // The unturned box's upper-left corner, turned with the block.
    return turnAbout(b.rect.center(), b.rotation).map(QPointF(b.rect.left(), b.rect.bottom()));
  };
  const QPointF start = startOnPage();
  view->activateOcrBlock(0);
  QTextEdit* editor = view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  editor->moveCursor(QTextCursor::End);
  QTest::keyClicks(editor, QStringLiteral(" and a good deal longer now"));
  QTest::qWait(20);
  const TextBlock& grown = A::blocks(*view)[0];
  EXPECT_GE(grown.rect.width(), turned.rect.width() - 0.5);
  EXPECT_GT(grown.rect.height(), 2 * turned.rect.height());
  const QPointF after = startOnPage();
  EXPECT_NEAR(after.x(), start.x(), 1.5);
  EXPECT_NEAR(after.y(), start.y(), 1.5);
}

TEST_F(BlockViewTest, TypingStoresTheTextAndRichTextInPointsAsOneUndoStep) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  view->setEditMode(true);
  view->setZoom(2.0);
  QSignalSpy edited(view.get(), &PdfView::ocrBlocksEdited);
  view->activateOcrBlock(0);
  RotatedTextEdit* editor = editorOf(*view);
  QTest::keyClick(editor, Qt::Key_End);
  typeInto(editor, QStringLiteral(" и ещё"));

  const TextBlock& block = A::blocks(*view)[0];
  EXPECT_EQ(block.text, QStringLiteral("Первая строка и ещё"));
  EXPECT_TRUE(block.textEdited);
  // The editor holds pixels of zoom 2, the block points.
  const QList<double> stored = htmlPixelSizes(block.richTextHtml);
  ASSERT_FALSE(stored.isEmpty());
  EXPECT_NEAR(stored.last(), firstFragmentPixelSize(editor) / 2.0, 1.0);
  EXPECT_EQ(edited.count(), 1);
  EXPECT_EQ(A::undoLabels(*view), QStringList{QStringLiteral("Редактирование текста")});

  // Opened at 1.5 and stored again unchanged, the sizes stay in points.
  view->deactivateOcrBlock();
  view->setZoom(1.5);
  view->activateOcrBlock(0);
  view->deactivateOcrBlock();
  const QList<double> again = htmlPixelSizes(A::blocks(*view)[0].richTextHtml);
  ASSERT_FALSE(again.isEmpty());
  EXPECT_EQ(again.last(), stored.last());

  view->undo();
  EXPECT_EQ(A::blocks(*view)[0].text, QStringLiteral("Первая строка"));
}

TEST_F(BlockViewTest, FormatCommandsChangeTheSelectionAndAreReported) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  view->setEditMode(true);
  view->setZoom(2.0);
  view->activateOcrBlock(0);
  RotatedTextEdit* editor = editorOf(*view);
  editor->selectAll();
  QSignalSpy report(view.get(), &PdfView::activeTextFormatChanged);

  struct Case {
    const char* name;
    std::function<void()> apply;
    std::function<bool(const QTextCursor&)> inEditor;
    std::function<bool(const QList<QVariant>&)> reported;
  };
  const auto at = [](int i) { return [i](const QList<QVariant>& a) { return a.at(i).toBool(); }; };
  const Case cases[] = {
      {"family", [&] { view->setActiveTextFontFamily(QStringLiteral("DejaVu Sans")); },
       [](const QTextCursor& c) { return c.charFormat().fontFamilies().toStringList().contains("DejaVu Sans"); },
       [](const QList<QVariant>& a) { return a.at(0).toString() == "DejaVu Sans"; }},
      {"size", [&] { view->setActiveTextFontSize(18); },
       [](const QTextCursor& c) { return c.charFormat().font().pixelSize() == 36; },
       [](const QList<QVariant>& a) { return a.at(1).toInt() == 18; }},
      {"size capped", [&] { view->setActiveTextFontSize(500); },
       [](const QTextCursor& c) { return c.charFormat().font().pixelSize() == 600; },
       [](const QList<QVariant>& a) { return a.at(1).toInt() == 300; }},
      {"bold", [&] { view->setActiveTextBold(true); },
       [](const QTextCursor& c) { return c.charFormat().fontWeight() == QFont::Bold; }, at(2)},
      {"italic", [&] { view->setActiveTextItalic(true); },
       [](const QTextCursor& c) { return c.charFormat().fontItalic(); }, at(3)},
      {"underline", [&] { view->setActiveTextUnderline(true); },
       [](const QTextCursor& c) { return c.charFormat().fontUnderline(); }, at(4)},
      {"strike-out", [&] { view->setActiveTextStrikeOut(true); },
       [](const QTextCursor& c) { return c.charFormat().fontStrikeOut(); }, at(5)},
      {"superscript", [&] { view->setActiveTextSuperscript(true); },
       [](const QTextCursor& c) { return c.charFormat().verticalAlignment() == QTextCharFormat::AlignSuperScript; },
       at(6)},
      {"subscript", [&] { view->setActiveTextSubscript(true); },
       [](const QTextCursor& c) { return c.charFormat().verticalAlignment() == QTextCharFormat::AlignSubScript; },
       at(7)},
      {"colour", [&] { view->setActiveTextColor(QColor(200, 0, 0)); },
       [](const QTextCursor& c) { return c.charFormat().foreground().color() == QColor(200, 0, 0); },
       [](const QList<QVariant>&) { return true; }},
      {"alignment", [&] { view->setActiveTextAlignment(Qt::AlignHCenter); },
       [](const QTextCursor& c) { return c.blockFormat().alignment() == Qt::AlignHCenter; },
       [](const QList<QVariant>& a) { return a.at(8).value<Qt::Alignment>() == Qt::AlignHCenter; }},
      {"indent", [&] { view->adjustActiveTextIndent(18); },
       [](const QTextCursor& c) { return c.blockFormat().leftMargin() == 18; },
       [](const QList<QVariant>&) { return true; }},
      {"bullets", [&] { view->setActiveTextBulletedList(); },
       [](const QTextCursor& c) { return c.currentList() && c.currentList()->format().style() == QTextListFormat::ListDisc; },
       [](const QList<QVariant>&) { return true; }},
      {"numbers", [&] { view->setActiveTextNumberedList(); },
       [](const QTextCursor& c) {
         return c.currentList() && c.currentList()->format().style() == QTextListFormat::ListDecimal;
       },
       [](const QList<QVariant>&) { return true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    report.clear();
    c.apply();
    EXPECT_TRUE(c.inEditor(editor->textCursor()));
    ASSERT_GE(report.count(), 1);
    EXPECT_TRUE(c.reported(report.last()));
  }
  const TextBlock& block = A::blocks(*view)[0];
  EXPECT_TRUE(block.textEdited);
  EXPECT_TRUE(A::dirty(*view));
  EXPECT_TRUE(block.richTextHtml.contains(QStringLiteral("DejaVu Sans")));
  EXPECT_TRUE(htmlPixelSizes(block.richTextHtml).contains(300));
  // Every command is an undo step of its own, named by its kind.
  const QStringList labels = A::undoLabels(*view);
  EXPECT_EQ(labels.size(), qsizetype(std::size(cases)));
  EXPECT_EQ(labels.value(0), QStringLiteral("Форматирование текста"));
  EXPECT_TRUE(labels.contains(QStringLiteral("Форматирование абзаца")));
  EXPECT_TRUE(labels.contains(QStringLiteral("Маркированный список")));
  EXPECT_TRUE(labels.last() == QStringLiteral("Нумерованный список"));

  // Without an open editor the commands touch nothing.
  view->deactivateOcrBlock();
  const QString html = A::blocks(*view)[0].richTextHtml;
  view->setActiveTextBold(false);
  view->setActiveTextAlignment(Qt::AlignRight);
  EXPECT_EQ(A::blocks(*view)[0].richTextHtml, html);
}

TEST_F(BlockViewTest, ZoomRescalesTheOpenEditorOnlyForARealChange) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  view->setEditMode(true);
  view->activateOcrBlock(0);
  RotatedTextEdit* editor = editorOf(*view);
  const int atOne = firstFragmentPixelSize(editor);
  ASSERT_GT(atOne, 0);
  QSignalSpy report(view.get(), &PdfView::activeTextFormatChanged);
  view->setZoom(2.0);
  EXPECT_EQ(firstFragmentPixelSize(editor), 2 * atOne);
  ASSERT_GE(report.count(), 1);
  EXPECT_NEAR(report.last().at(1).toInt(), atOne, 1);
  view->setZoom(2.0009);
  EXPECT_EQ(firstFragmentPixelSize(editor), 2 * atOne);
}

TEST_F(BlockViewTest, ClosingOrSwitchingFoldsTheEditorIntoItsBlock) {
  view->setOcrBlocks(threeBlocks(), 0, false);
  view->setEditMode(true);
  QSignalSpy available(view.get(), &PdfView::activeTextEditorAvailable);
  view->activateOcrBlock(0);
  ASSERT_GE(available.count(), 1);
  EXPECT_TRUE(available.last().at(0).toBool());
  RotatedTextEdit* editor = editorOf(*view);
  QTest::keyClick(editor, Qt::Key_End);
  typeInto(editor, QStringLiteral("!"));
  view->activateOcrBlock(2);
  EXPECT_EQ(A::blocks(*view)[0].text, QStringLiteral("Первая строка!"));
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("Третья"));
  QTest::keyClick(editor, Qt::Key_Home);
  typeInto(editor, QStringLiteral("*"));
  view->setEditMode(false);
  EXPECT_EQ(A::blocks(*view)[2].text, QStringLiteral("*Третья"));
  EXPECT_EQ(A::active(*view), -1);
  EXPECT_FALSE(available.last().at(0).toBool());
  // Each activation gave its own undo step.
  EXPECT_EQ(A::undoLabels(*view).size(), 2);
}

TEST_F(BlockViewTest, EditorIsFilledByTheKindOfBlock) {
  TextBlock recognised = blockOfLines({plainLine(QStringLiteral("первая строка абзаца"), 14, 12.0f),
                                      plainLine(QStringLiteral("вторая строка"), 14, 12.0f)});
  recognised.lines[1].rect.translate(0, -20);
  TextBlock form = nativeBlock(QStringLiteral("Подпись ____ дата"), QRectF(60, 300, 250, 20));
  view->setOcrBlocks({recognised, form}, 0, false);
  view->setEditMode(true);

  // Recognised lines: one fixed-height paragraph per line, no wrapping.
  view->activateOcrBlock(0);
  RotatedTextEdit* editor = editorOf(*view);
  EXPECT_TRUE(view->activeBlockUsesFixedLineLayout());
  EXPECT_EQ(editor->lineWrapMode(), QTextEdit::NoWrap);
  EXPECT_EQ(editor->document()->blockCount(), 2);
  for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next())
    EXPECT_EQ(b.blockFormat().lineHeightType(), int(QTextBlockFormat::FixedHeight));
  EXPECT_GT(editor->document()->lastBlock().blockFormat().topMargin(), 0);

  // A form line: its blanks become underlined no-break spaces and keep rich text.
  view->activateOcrBlock(1);
  EXPECT_FALSE(view->activeBlockUsesFixedLineLayout());
  EXPECT_EQ(editor->document()->toRawText().count(QChar(0x00A0)), 4);
  QTextCursor cursor(editor->document());
  cursor.setPosition(9);
  EXPECT_TRUE(cursor.charFormat().fontUnderline());
  view->deactivateOcrBlock();
  EXPECT_TRUE(A::blocks(*view)[1].textEdited);
  EXPECT_FALSE(A::blocks(*view)[1].richTextHtml.isEmpty());
}

TEST_F(BlockViewTest, FittingGrowsTheBlockWithItsTextButNeverShrinksIt) {
  TextBlock block = nativeBlock(QStringLiteral("Коротко"), QRectF(60, 600, 120, 20));
  block.lines.clear();  // recognised text, which flows
  view->setOcrBlocks({block}, 0, false);
  view->setEditMode(true);
  view->activateOcrBlock(0);
  RotatedTextEdit* editor = editorOf(*view);
  view->setActiveTextBold(true);
  QTest::keyClick(editor, Qt::Key_End);
  typeInto(editor, QStringLiteral(" и намного более длинное продолжение строки"));
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  const QRectF grown = A::blocks(*view)[0].rect;
  EXPECT_GT(grown.width() * grown.height(), 120 * 20 * 1.5);
  EXPECT_LE(grown.right(), 595.5);
  EXPECT_GE(grown.y(), 0);
  editor->selectAll();
  QTest::keyClick(editor, Qt::Key_Delete);
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(A::blocks(*view)[0].rect, grown);
}

}  // namespace

namespace {

// The caret the view draws over the active block: columns holding a run of
// its colour at least `length` pixels long.
QList<int> caretColumnsIn(const QImage& shot, int length) {
  QList<int> columns;
  for (int x = 0; x < shot.width(); ++x) {
    int run = 0, best = 0;
    for (int y = 0; y < shot.height(); ++y) {
      run = (shot.pixel(x, y) & 0xFFFFFF) == (qRgb(15, 23, 42) & 0xFFFFFF) ? run + 1 : 0;
      best = std::max(best, run);
    }
    if (best >= length) columns << x;
  }
  return columns;
}

TEST_F(BlockViewTest, AClickIntoAFormattedLinePutsTheCaretUnderThePointer) {
  view->setOcrBlocks({nativeBlock(QStringLiteral("Alpha beta gamma delta epsilon"), QRectF(60, 700, 320, 22), 14.0f)},
                     0, false);
  view->setEditMode(true);
  view->activateOcrBlock(0);
  view->setActiveTextBold(true);  // rich text from here on
  ASSERT_FALSE(A::blocks(*view)[0].richTextHtml.isEmpty());
  ASSERT_FALSE(view->activeBlockOpenedForTyping());
  EXPECT_TRUE(caretColumnsIn(view->viewport()->grab().toImage(), 8).isEmpty());

  const QRect block = view->ocrBlockScreenRect(0);
  for (const double share : {0.2, 0.35, 0.5}) {  // all within the text
    const QPoint at(block.left() + int(share * block.width()), block.center().y());
    QWidget* under = view->viewport()->childAt(at);
    ASSERT_NE(under, nullptr);
    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFrom(view->viewport(), at));
    ASSERT_TRUE(view->activeBlockOpenedForTyping());
    const QList<int> caret = caretColumnsIn(view->viewport()->grab().toImage(), 8);
    ASSERT_EQ(caret.size(), 1) << share;
    // Within half a character of the pointer.
    EXPECT_LE(std::abs(caret.first() - at.x()), 5) << share << ": " << caret.first() << " " << at.x();
  }
}

}  // namespace
