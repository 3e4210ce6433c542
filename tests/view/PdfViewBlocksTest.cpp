// The block overlay: loading with font-size normalisation, the read-back with
// the open editor folded in, the first-change signal, and the tests that tell
// a changed block from an extracted one.
#include "BlockViewFixture.h"

#include <QSignalSpy>
#include <QTextCursor>

using namespace blocktest;

namespace {

TextBlock singleLine(float size, const QString& family = {}, bool bold = false, double height = 1.0) {
  return blockOfLines({plainLine(QStringLiteral("text"), height, size, family, bold)});
}

TEST_F(BlockViewTest, LoadingNormalisesFontSizesByStyle) {
  const float f196 = static_cast<float>(0.98 * 20.0);
  const float f1372 = static_cast<float>(0.98 * 14.0);
  TextBlock transparentNative = nativeBlock(QStringLiteral("hidden"), QRectF(60, 300, 100, 14), 10.0f,
                                            QStringLiteral("TimesNewRomanPSMT"));
  transparentNative.transparentText = true;
  TextBlock image;
  image.isImage = true;
  image.text = QStringLiteral("[image]");
  image.fontSize = 7.0f;
  TextBlock mixed = blockOfLines({plainLine(QStringLiteral("a"), 1.0, 10.0f, QStringLiteral("Arial")),
                                  plainLine(QStringLiteral("b"), 1.0, 12.0f, QStringLiteral("Times")),
                                  plainLine(QStringLiteral("c"), 1.0, 14.0f, QStringLiteral("Arial"), true)});
  TextBlock tall = blockOfLines({plainLine(QStringLiteral("a"), 20.0, 10.0f, QStringLiteral("Arial")),
                                 plainLine(QStringLiteral("b"), 20.0, 10.0f, QStringLiteral("Times"))});
  TextBlock withEmpty = blockOfLines({plainLine(QString(), 1.0, 10.0f), plainLine(QStringLiteral("x"), 1.0, 12.0f)});

  const struct {
    const char* name;
    std::vector<TextBlock> blocks;
    std::vector<std::vector<float>> lineSizes;
    std::vector<float> blockSizes;
  } cases[] = {
      {"clusters cut where sizes jump",
       {singleLine(24), singleLine(10), singleLine(25), singleLine(11), singleLine(10.5f)},
       {{25}, {10.5f}, {25}, {10.5f}, {10.5f}},
       {25, 10.5f, 25, 10.5f, 10.5f}},
      {"small jump stays in one run", {singleLine(2.0f), singleLine(3.5f)}, {{3.5f}, {3.5f}}, {3.5f, 3.5f}},
      {"two samples take the upper", {singleLine(10), singleLine(12)}, {{12}, {12}}, {12, 12}},
      {"styles apart keep their sizes", {mixed}, {{10, 12, 14}}, {12}},
      {"line height outweighs a small size", {tall}, {{10, 10}}, {f196}},
      {"subset and style names share a family",
       {singleLine(10, QStringLiteral("ABCDEF+TimesNewRomanPSMT")), singleLine(11, QStringLiteral("Times-Roman"))},
       {{11}, {11}},
       {11, 11}},
      {"bold is a style of its own",
       {singleLine(10, QStringLiteral("Arial")), singleLine(11, QStringLiteral("Arial"), true)},
       {{10}, {11}},
       {10, 11}},
      {"native runs keep their size",
       {nativeBlock(QStringLiteral("native"), QRectF(60, 300, 100, 14), 10.0f, QStringLiteral("TimesNewRomanPSMT")),
        singleLine(12, QStringLiteral("Times")), singleLine(12.5f, QStringLiteral("Times"))},
       {{10}, {12.5f}, {12.5f}},
       {f1372, 12.5f, 12.5f}},
      {"an invisible layer is normalised too",
       {transparentNative, singleLine(12, QStringLiteral("Times")), singleLine(12.5f, QStringLiteral("Times"))},
       {{12.5f}, {12.5f}, {12.5f}},
       {f1372, 12.5f, 12.5f}},
      {"empty lines and images are left out", {withEmpty, image}, {{10, 12}, {}}, {12, 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view->setOcrBlocks(c.blocks, 0, false);
    const auto& blocks = A::blocks(*view);
    ASSERT_EQ(blocks.size(), c.blocks.size());
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      ASSERT_EQ(blocks[b].lines.size(), c.lineSizes[b].size());
      for (std::size_t l = 0; l < blocks[b].lines.size(); ++l)
        EXPECT_FLOAT_EQ(blocks[b].lines[l].fontSize, c.lineSizes[b][l]) << "block " << b << " line " << l;
      EXPECT_FLOAT_EQ(blocks[b].fontSize, c.blockSizes[b]) << "block " << b;
    }
    EXPECT_EQ(A::groupIds(*view), std::vector<int>(c.blocks.size(), 0));
  }
}

TEST_F(BlockViewTest, LoadingAndClearingResetTheOverlay) {
  QSignalSpy edited(view.get(), &PdfView::ocrBlocksEdited);
  QSignalSpy availability(view.get(), &PdfView::undoRedoAvailabilityChanged);
  const struct {
    bool edited;
    int emitted;
  } cases[] = {{false, 0}, {true, 1}};
  for (const auto& c : cases) {
    edited.clear();
    availability.clear();
    view->setOcrBlocks({}, 2, c.edited);
    EXPECT_EQ(edited.count(), c.emitted);
    EXPECT_EQ(A::page(*view), 2);
    EXPECT_TRUE(A::blocks(*view).empty());
    EXPECT_EQ(A::dirty(*view), c.edited);
    EXPECT_FALSE(view->canUndo());
    ASSERT_FALSE(availability.isEmpty());
    EXPECT_EQ(availability.last(), (QList<QVariant>{false, false}));
  }

  // Group ids continue across pages; loading closes an open editor.
  view->setEditMode(true);
  view->setOcrBlocks(threeBlocks(), 0, false);
  A::nextGroupId(*view) = 5;
  view->activateOcrBlock(1);
  ASSERT_EQ(A::active(*view), 1);
  view->clearOcrBlocks();
  EXPECT_EQ(A::page(*view), -1);
  EXPECT_EQ(A::active(*view), -1);
  EXPECT_FALSE(A::frame(*view)->isVisible());
  view->setOcrBlocks(threeBlocks(), 0, false);
  EXPECT_EQ(A::nextGroupId(*view), 5);
  EXPECT_EQ(A::groupIds(*view), std::vector<int>(3, 0));
}

TEST_F(BlockViewTest, FirstChangeAloneSignalsEdits) {
  view->setEditMode(true);
  view->setOcrBlocks(threeBlocks(), 0, false);
  QSignalSpy edited(view.get(), &PdfView::ocrBlocksEdited);
  view->activateOcrBlock(1);
  QTextEdit* editor = view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("Second line"));
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, QStringLiteral(" plus"));
  EXPECT_EQ(edited.count(), 1);
  EXPECT_EQ(A::blocks(*view)[1].text, QStringLiteral("Second line plus"));
  EXPECT_TRUE(PdfView::blockTextEdited(A::blocks(*view)[1]));

  view->activateOcrBlock(2);
  QTest::keyClicks(view->activeTextEditor(), QStringLiteral("X"));
  EXPECT_EQ(edited.count(), 1);
  EXPECT_EQ(A::blocks(*view)[2].text, QStringLiteral("XТретья"));
  view->deactivateOcrBlock();
  EXPECT_EQ(view->activeTextEditor(), nullptr);
  EXPECT_EQ(A::blocks(*view)[1].text, QStringLiteral("Second line plus"));
}

TEST_F(BlockViewTest, ReadBackFoldsTheOpenEditorIntoACopy) {
  view->setEditMode(true);
  std::vector<TextBlock> blocks = threeBlocks();
  TextBlock image;
  image.isImage = true;
  image.text = QStringLiteral("[image]");
  image.image = QImage(20, 20, QImage::Format_RGB32);
  image.rect = image.originalRect = QRectF(300, 300, 80, 80);
  blocks.push_back(image);
  view->setOcrBlocks(blocks, 0, false);

  // Without an active block the read-back is the plain overlay.
  EXPECT_EQ(view->ocrBlocksWithEdits()[0].text, blocks[0].text);

  view->activateOcrBlock(0);
  QTextEdit* editor = view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  // A document the view has not yet seen (its change signal held back).
  editor->blockSignals(true);
  editor->setPlainText(QStringLiteral("Новый текст"));
  editor->blockSignals(false);
  const std::vector<TextBlock> folded = view->ocrBlocksWithEdits();
  ASSERT_EQ(folded.size(), 4u);
  EXPECT_EQ(folded[0].text, QStringLiteral("Новый текст"));
  EXPECT_EQ(folded[1].text, blocks[1].text);
  EXPECT_EQ(A::blocks(*view)[0].text, blocks[0].text) << "the view's own block is untouched";

  // Underlined no-break spaces (blanks of a form) need rich text.
  editor->blockSignals(true);
  editor->clear();
  QTextCursor cursor(editor->document());
  cursor.insertText(QStringLiteral("Name: "));
  QTextCharFormat underlined;
  underlined.setFontUnderline(true);
  cursor.insertText(QString(4, QChar(0x00A0)), underlined);
  editor->blockSignals(false);
  const TextBlock rich = view->ocrBlocksWithEdits()[0];
  EXPECT_TRUE(rich.textEdited);
  EXPECT_FALSE(rich.richTextHtml.isEmpty());

  // An active image block keeps its text.
  view->activateOcrBlock(3);
  EXPECT_EQ(view->activeTextEditor(), nullptr);
  EXPECT_EQ(view->ocrBlocksWithEdits()[3].text, QStringLiteral("[image]"));
}

TEST(BlockChangeTest, MovedAndTextEditedBlocks) {
  const QRectF original(100, 100, 50, 20);
  const struct {
    QRectF rect, original;
    bool moved;
  } moves[] = {
      {original, original, false},
      {original.translated(0.5, 0.5), original, false},
      {original.adjusted(-0.51, 0, 0, 0), original, true},
      {original.adjusted(0, 0, 0, 0.51), original, true},
      {original.translated(40, 0), QRectF(100, 100, 0, 20), false},
  };
  for (const auto& c : moves) {
    TextBlock b;
    b.rect = c.rect;
    b.originalRect = c.original;
    EXPECT_EQ(PdfView::blockMoved(b), c.moved);
  }

  const struct {
    QStringList lines;
    QString text;
    bool textEdited;
    double rotation;
    bool isImage;
    bool edited;
  } texts[] = {
      {{QStringLiteral(" a "), QString(), QStringLiteral("b ")}, QStringLiteral("a\nb"), false, 0.0, false, false},
      {{QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("  a\nb  "), false, 0.0, false, false},
      {{QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("a \nb"), false, 0.0, false, true},
      {{QStringLiteral("a")}, QStringLiteral("a"), true, 0.0, false, true},
      {{QStringLiteral("a")}, QStringLiteral("a"), false, 0.2, false, true},
      {{QStringLiteral("a")}, QStringLiteral("a"), false, 0.1, false, false},
      {{QStringLiteral("a")}, QStringLiteral("b"), false, 0.0, true, false},
      {{}, QStringLiteral("b"), false, 0.0, false, false},
  };
  for (const auto& c : texts) {
    TextBlock b;
    b.text = c.text;
    b.textEdited = c.textEdited;
    b.rotation = c.rotation;
    b.isImage = c.isImage;
    for (const QString& t : c.lines) {
      TextBlock::Line line;
      line.text = t;
      b.lines.push_back(line);
    }
    EXPECT_EQ(PdfView::blockTextEdited(b), c.edited) << c.text.toStdString();
  }
}

}  // namespace
