// What the editor shows is what the saved page shows: a line formatted in
// part, a new text block and edited lines wider than the original face, each
// driven through a shown main window with mouse and keys, saved with Ctrl+S
// and read back with pdftoppm and pdftotext (-bbox).
#include "EditedPageFixture.h"

#include "core/HandWrittenPdf.h"
#include "core/RawPdf.h"
#include "view/BlockEditorFrame.h"

#include <QMap>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QWindow>

using namespace apptest;
using namespace testsupport;

TEST_F(EditedPageMatchesPreview, APartlyFormattedLineSavesAsTheEditorLaysItOut) {
  const QString path = dir.filePath(QStringLiteral("help.pdf"));
  const QString sentence = QStringLiteral("Gnuplot has an inbuilt help facility similar to the one in VMS systems");
  ASSERT_TRUE(writeSerifPdf(path, {{{72, 200}, QStringLiteral("The help command opens the online manual.")},
                                   {{72, 216}, sentence},
                                   {{72, 232}, QStringLiteral("Topics are listed one per line below it.")}}));
  openWindow(path);
  enterEditMode();
  ASSERT_TRUE(window->view->isEditMode());

  clickAt({90, 212});
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  ASSERT_EQ(editor->toPlainText(), sentence);
  // Select "inbuilt help facility similar t" with the keyboard.
  QTest::keyClick(editor, Qt::Key_Home);
  for (int i = 0; i < int(sentence.indexOf("inbuilt")); ++i) QTest::keyClick(editor, Qt::Key_Right);
  for (int i = 0; i < 31; ++i) QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
  ASSERT_EQ(editor->textCursor().selectedText(), QStringLiteral("inbuilt help facility similar t"));
  QTest::mouseClick(window->boldButton, Qt::LeftButton);
  QTest::mouseClick(window->italicButton, Qt::LeftButton);
  QTest::mouseClick(window->growFontButton, Qt::LeftButton);
  QTest::mouseClick(window->growFontButton, Qt::LeftButton);
  window->view->setActiveTextColor(Qt::red);
  QTest::qWait(50);  // the block grows to its text a moment later
  QTest::keyClick(editor, Qt::Key_Escape);
  ASSERT_EQ(window->view->activeTextEditor(), nullptr);

  const QRectF region(66, 203, 475, 20);
  const QImage shown = shownRegion(region);
  saveWithKeys();
  expectSavedLikePreview(shown, savedRegion(path, region), 25.0);

  const QString text = pageText(path);
  EXPECT_TRUE(text.contains(sentence)) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("inbuilt")), 1);
  const QString others =
      QStringLiteral("The help command opens the online manual. Topics are listed one per line below it.");
  for (const Word& word : bboxWords(path)) {
    if (!sentence.contains(word.text) || others.contains(word.text)) continue;
    EXPECT_GT(word.box.top(), 200) << word.text.toStdString();
    EXPECT_LT(word.box.bottom(), 224) << word.text.toStdString();
    EXPECT_LT(word.box.right(), 540) << word.text.toStdString();
  }
}

TEST_F(EditedPageMatchesPreview, ANewTextBlockIsWrittenAtTheRibbonSizeInsideItsBox) {
  const QString path = dir.filePath(QStringLiteral("blank.pdf"));
  ASSERT_TRUE(writeSerifPdf(path, {{{72, 100}, QStringLiteral("Heading of the page")}}));
  openWindow(path);
  const int size = window->fontSizeSpin->value();

  // A click with the text tool opens the editor over a box of the default size.
  QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
  clickAt({300, 600});
  auto* clickEditor = viewport()->findChild<QTextEdit*>(QStringLiteral("InlineTextEditor"));
  ASSERT_NE(clickEditor, nullptr);
  EXPECT_TRUE(clickEditor->isVisible());
  QTest::keyClick(clickEditor, Qt::Key_Escape);
  QTest::qWait(10);

  // Insert tab, Текст, a drag of about 250 x 20 pixels, lower than the text.
  QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier);
  const QPoint from = screenRect(QRectF(100, 200, 1, 1)).topLeft();
  const QPoint to = from + QPoint(250, 20);
  QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(viewport(), from + QPoint(120, 40));
  QTest::mouseMove(viewport(), to);
  QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
  auto* inlineEditor = viewport()->findChild<QTextEdit*>(QStringLiteral("InlineTextEditor"));
  ASSERT_NE(inlineEditor, nullptr);
  QTest::keyClicks(inlineEditor, QStringLiteral("Inserted note ZEBRA-42 "));
  typeText(inlineEditor, QStringLiteral("Вторая строка"));
  // The lines as typed: the page breaks them in the same places.
  QStringList typedLines;
  for (QTextBlock b = inlineEditor->document()->begin(); b.isValid(); b = b.next())
    for (int i = 0; i < b.layout()->lineCount(); ++i)
      typedLines << b.text().mid(b.layout()->lineAt(i).textStart(), b.layout()->lineAt(i).textLength()).trimmed();
  auto* confirm = viewport()->findChild<QPushButton*>(QStringLiteral("InlineEditorConfirm"));
  ASSERT_NE(confirm, nullptr);
  QTest::mouseClick(confirm, Qt::LeftButton);
  QTest::qWait(10);
  TextBlock block;
  for (const TextBlock& b : window->view->currentOcrBlocks())
    if (b.text.contains(QStringLiteral("ZEBRA"))) block = b;
  ASSERT_TRUE(block.textEdited);
  if (QTextEdit* editor = window->view->activeTextEditor()) QTest::keyClick(editor, Qt::Key_Escape);
  const QRectF box(block.rect.x(), kPage.height() - block.rect.bottom(), block.rect.width(), block.rect.height());
  const QRectF region = box.adjusted(-4, -4, 4, 40);
  const QImage shown = shownRegion(region);
  saveWithKeys();
  // The region holds the outline edit mode draws around an edited block.
  expectSavedLikePreview(shown, savedRegion(path, region), 10.5);

  const QString text = pageText(path);
  EXPECT_TRUE(text.contains(QStringLiteral("Inserted note ZEBRA-42 Вторая строка"))) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("ZEBRA")), 1);
  int inBox = 0;
  QMap<int, QString> savedLines;  // by the words' top, whole points
  for (const Word& word : bboxWords(path)) {
    if (word.box.top() < 150) continue;  // the heading
    ++inBox;
    QString& line = savedLines[qRound(word.box.top())];
    line += (line.isEmpty() ? "" : " ") + word.text;
    EXPECT_TRUE(box.adjusted(-1, -1, 1, 1).contains(word.box)) << word.text.toStdString();
    // The ribbon's size, not the box's height.
    EXPECT_NEAR(word.box.height(), size * 1.15, size * 0.35) << word.text.toStdString();
  }
  EXPECT_EQ(inBox, 5);
  EXPECT_EQ(savedLines.values(), typedLines);
}

TEST_F(EditedPageMatchesPreview, EditedLinesKeepTheirBoxAndAlignment) {
  const QString path = dir.filePath(QStringLiteral("report.pdf"));
  const QString body = QStringLiteral("The quarterly figures were reviewed by the board in detail");
  ASSERT_TRUE(writeSerifPdf(path, {{{523, 120}, QStringLiteral("Annual report 2026"), true},
                                   {{297.5, 160}, QStringLiteral("Minutes of the meeting of the board"), false, true},
                                   {{72, 300}, body},
                                   {{72, 284}, QStringLiteral("A line above the edited one, set in the body column.")},
                                   {{72, 316}, QStringLiteral("and approved without further changes.")}}));
  PdfDocument probe;
  ASSERT_TRUE(probe.open(path));
  const std::vector<TextBlock> original = probe.extractText(0);
  ASSERT_GE(original.size(), 2u);
  double bodyRight = 0;
  for (const TextBlock& b : original)
    if (b.text.contains(QStringLiteral("quarterly"))) bodyRight = b.rect.right();
  ASSERT_GT(bodyRight, 200);
  openWindow(path);
  enterEditMode();

  const struct {
    QPointF click;
    QString text;
    QRectF region;  // top-origin points around the line
  } edits[] = {{{500, 116}, QStringLiteral("Annual report 2026, final edition"), QRectF(300, 104, 230, 22)},
               {{100, 296}, QStringLiteral("The quarterly figures were reviewed by the whole board in great detail"),
                QRectF(66, 289, 400, 16)},
               {{297, 156}, QStringLiteral("Board minutes"), QRectF(150, 146, 295, 20)}};
  for (const auto& edit : edits) {
    clickAt(edit.click);
    QTextEdit* editor = window->view->activeTextEditor();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, edit.text);
    QTest::qWait(50);
    QTest::keyClick(editor, Qt::Key_Escape);
  }
  QImage shown[3];
  for (int i = 0; i < 3; ++i) shown[i] = shownRegion(edits[i].region);
  saveWithKeys();
  // The preview shows the lines in the page's face (Liberation Serif), the
  // page gets DejaVu Serif: both at the line's own 11 pt.
  for (int i = 0; i < 3; ++i) expectSavedLikePreview(shown[i], savedRegion(path, edits[i].region), 30.0);

  const QString text = pageText(path);
  for (const auto& edit : edits) EXPECT_EQ(text.count(edit.text), 1) << text.toStdString();
  // A longer line grows into its row's free room, inside the page's text
  // column (the heading's right edge); the heading stays centred.
  const QList<Word> words = bboxWords(path);
  double boardLeft = -1, minutesRight = -1;
  for (const Word& word : words) {
    if (word.text == QStringLiteral("edition")) {
      EXPECT_NEAR(word.box.right(), 523, 2.5);
    } else if (word.text == QStringLiteral("detail")) {
      EXPECT_GT(word.box.right(), bodyRight + 2.5);
      EXPECT_LT(word.box.right(), 523 + 2.5);
    } else if (word.text == QStringLiteral("Board")) {
      boardLeft = word.box.left();
    } else if (word.text == QStringLiteral("minutes")) {
      minutesRight = word.box.right();
    }
  }
  EXPECT_NEAR((boardLeft + minutesRight) / 2, 297.5, 3.0);
}

// A double click on a word of a line with a 16 pt bold-italic run selects
// that word, and the highlight lies on it as poppler boxes it: the run's own
// width is where the page draws it, not where one face would put it.
TEST_F(EditedPageMatchesPreview, ADoubleClickInALineWithALargeRunHighlightsTheWordItSelects) {
  const QString path = dir.filePath(QStringLiteral("run.pdf"));
  const QStringList pieces = {QStringLiteral("Each plot command takes "), QStringLiteral("Several Large Words"),
                              QStringLiteral(" as its argument and then draws the curve")};
  ASSERT_TRUE(testsupport::writeDrawnPdf(path, 1, kPage, 11, [&pieces](QPainter& painter, int) {
    double x = 72;
    for (int i = 0; i < pieces.size(); ++i) {
      QFont font(QStringLiteral("Liberation Serif"));
      font.setPointSizeF(i == 1 ? 16 : 11);
      font.setBold(i == 1);
      font.setItalic(i == 1);
      painter.setFont(font);
      painter.drawText(QPointF(x, 200), pieces[i]);
      x += painter.fontMetrics().horizontalAdvance(pieces[i]);
    }
    painter.setFont(QFont(QStringLiteral("Liberation Serif"), 11));
    painter.drawText(QPointF(72, 216), QStringLiteral("a next line close below"));
  }));
  openWindow(path);
  enterEditMode();
  ASSERT_TRUE(window->view->isEditMode());
  QWindow* handle = window->windowHandle();
  double nextLineTop = 0;
  for (const Word& w : bboxWords(path))
    if (w.text == QStringLiteral("next")) nextLineTop = screenRect(w.box).top();
  ASSERT_GT(nextLineTop, 0);
  // Once unchanged, shown by the page's glyphs; then typed into, drawn by the editor.
  bool typed = false;
  for (const QString& word : {QStringLiteral("argument"), QStringLiteral("Large"), QStringLiteral("plot"),
                              QStringLiteral("argument"), QStringLiteral("Large")}) {
    SCOPED_TRACE(word.toStdString() + (typed ? " typed" : ""));
    QRectF box;
    for (const Word& w : bboxWords(path))
      if (w.text == word) box = w.box;
    ASSERT_FALSE(box.isEmpty());
    const QRect onScreen = screenRect(box);
    const QPoint at = onScreen.center();
    QTest::mouseDClick(handle, Qt::LeftButton, {}, handle->mapFromGlobal(viewport()->mapToGlobal(at)));
    QTextEdit* editor = window->view->activeTextEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->textCursor().selectedText(), word);
    const QImage shot = viewport()->grab().toImage();
    int left = -1, right = -1;
    for (int x = onScreen.left() - 15; x <= onScreen.right() + 15; ++x) {
      const QRgb p = shot.pixel(x, at.y());
      if (qBlue(p) <= qRed(p) + 40) continue;
      if (left < 0) left = x;
      right = x;
    }
    // Typed into, the line is drawn anew, narrowed into its box.
    EXPECT_NEAR(left, onScreen.left(), typed ? 20 : 4) << "highlight " << left << ".." << right;
    EXPECT_NEAR(right, onScreen.right(), typed ? 30 : 4) << "highlight " << left << ".." << right;
    int bottom = at.y();  // down from the word's middle to bare paper: the tint's bottom
    while (bottom < at.y() + 60 && qGray(shot.pixel(at.x(), bottom + 1)) < 245) ++bottom;
    EXPECT_LE(bottom, nextLineTop + 1) << "the highlight reaches into the next line";
    if (word == QStringLiteral("plot")) {
      // Typed at the end of the line: the frame stays on it.
      QTest::keyClick(editor, Qt::Key_End);
      typeText(editor, QStringLiteral(" now"));
      typed = true;
      QTest::qWait(50);
      EXPECT_LE(window->view->findChild<BlockEditorFrame*>()->contentScreenRect().bottom(), nextLineTop + 2);
    }
    QTest::keyClick(editor, Qt::Key_Escape);
  }
}

// A grey box drawn after a line over "JOHN SMITH": the edited line stays
// under it while typed, after the editor closes and in the saved file.
TEST_F(EditedPageMatchesPreview, WhatCoversALineStillCoversItOnceEdited) {
  const QString path = dir.filePath(QStringLiteral("covered.pdf"));
  const QString line = QStringLiteral("Patient name: JOHN SMITH, age 42, room 7.");
  QRectF cover;
  ASSERT_TRUE(writeDrawnPdf(path, 1, kPage, 11, [&](QPainter& painter, int) {
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSizeF(14);
    painter.setFont(font);
    painter.drawText(QPointF(72, 200), line);
    const QFontMetricsF metrics = painter.fontMetrics();
    cover = QRectF(72 + metrics.horizontalAdvance(QStringLiteral("Patient name: ")) - 2, 184,
                   metrics.horizontalAdvance(QStringLiteral("JOHN SMITH")) + 4, 22);
    painter.fillRect(cover, QColor(170, 170, 170));
  }));
  const auto darkIn = [](const QImage& image) {
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 120;
    return dark;
  };
  // The capitals' bodies above the baseline at 200, clear of the editor's frame.
  const QRectF inside(cover.x() + 4, 192, cover.width() - 8, 7);
  openWindow(path);
  enterEditMode();
  clickAt({300, 195});
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  ASSERT_EQ(editor->toPlainText(), line);
  QTest::keyClick(editor, Qt::Key_End);
  for (int i = 0; i < 9; ++i) QTest::keyClick(editor, Qt::Key_Left);
  QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClicks(editor, QStringLiteral("3"));
  EXPECT_EQ(darkIn(shownRegion(inside)), 0) << "the name shows through while typed";
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_EQ(darkIn(shownRegion(inside)), 0) << "the name shows through the edited page";
  saveWithKeys();
  EXPECT_TRUE(pageText(path).contains(QStringLiteral("age 43"))) << pageText(path).toStdString();
  EXPECT_EQ(darkIn(savedRegion(path, inside)), 0) << "the name shows through in the file";
}

// On a tinted page an edited and a deleted line show as the saved file has them.
TEST_F(EditedPageMatchesPreview, OnATintedPageEditedAndDeletedLinesShowAsSaved) {
  const QString path = dir.filePath(QStringLiteral("tinted.pdf"));
  ASSERT_TRUE(testsupport::writeDrawnPdf(path, 1, kPage, 11, [](QPainter& painter, int) {
    painter.fillRect(QRectF(QPointF(0, 0), kPage), QColor(250, 235, 200));
    painter.drawText(QPointF(72, 200), QStringLiteral("WORD and TERM stand here on the first line"));
    painter.drawText(QPointF(72, 230), QStringLiteral("TERM and WORD on the line that goes away"));
  }));
  openWindow(path);
  enterEditMode();
  clickAt({100, 196});
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("New text"));
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Escape);
  clickAt({100, 226});
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Escape);
  QTest::keyClick(window->view, Qt::Key_Delete);
  const QRectF edited(66, 188, 300, 16), deleted(66, 218, 300, 16);
  const QImage shown[] = {shownRegion(edited), shownRegion(deleted)};
  saveWithKeys();
  expectSavedLikePreview(shown[0], savedRegion(path, edited), 25.0);
  EXPECT_LT(meanDifference(shown[1], savedRegion(path, deleted)), 4.0) << "the deleted line";
}

// Yellow boxes under every line and under a form field are paper in edit
// mode: the lines show, are framed rather than recognised and open for
// typing; a blue square with no text on it is a picture to lift.
TEST_F(EditedPageMatchesPreview, BoxesUnderTextStayPaperAndALogoIsLifted) {
  const QString path = dir.filePath(QStringLiteral("boxes.pdf"));
  ASSERT_TRUE(writeRawPdf(path, {RawPage("1 1 0.6 rg 60 660 260 60 re f 60 560 200 30 re f 0 0 0.8 rg 420 640 60 60 re f 0 g " +
                                             textLine("F1", 12, 72, 700, "Delivery address follows") +
                                             textLine("F1", 12, 72, 680, "Invoice total due today"),
                                         kPage, 0, "/Annots [<</Subtype/Widget/FT/Tx/V(Lucia)/Rect[62 562 258 588]>>]")}));
  openWindow(path);
  const QImage reading = shownRegion({60, 130, 420, 80});
  enterEditMode();
  EXPECT_GT(darkChange(reading, shownRegion({60, 130, 420, 80})).first, 0.97) << "text covered in edit mode";
  const std::vector<TextBlock>& blocks = window->view->currentOcrBlocks();
  ASSERT_EQ(blocks.size(), 3u) << "two lines and the logo";
  EXPECT_TRUE(blocks[2].isImage && blocks[2].inkLayer && blocks[2].rect.contains(QPointF(450, 670)));
  const QPoint onBox = screenRect(QRectF(120, 158, 1, 1)).topLeft();
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, onBox);
  QWidget* under = viewport()->childAt(onBox);
  ASSERT_NE(under, nullptr);
  QTest::mouseDClick(under, Qt::LeftButton, {}, under->mapFrom(viewport(), onBox));
  ASSERT_NE(window->view->activeTextEditor(), nullptr);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("sum"));
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Escape);
  saveWithKeys();
  EXPECT_TRUE(pageText(path).contains(QStringLiteral("Invoice sum due today"))) << pageText(path).toStdString();
}

// A line in a table cell's clip dragged 200 points out of the cell shows
// where it was dropped, in the editor and the saved page, and not in the cell.
TEST_F(EditedPageMatchesPreview, ALineDraggedOutOfItsCellShowsWhereItWasDropped) {
  const QString path = dir.filePath(QStringLiteral("cell.pdf"));
  ASSERT_TRUE(writeDrawnPdf(path, 1, kPage, 11, [&](QPainter& painter, int) {
    painter.setClipRect(QRectF(72, 184, 130, 24));
    painter.setFont(QFont(QStringLiteral("Liberation Serif"), 11));
    painter.drawText(QPointF(80, 200), QStringLiteral("Cell value 42"));
  }));
  openWindow(path);
  enterEditMode();
  clickAt({90, 196});
  const QPoint from = screenRect(QRectF(90, 196, 1, 1)).topLeft();
  QWidget* frame = viewport()->childAt(from);
  ASSERT_NE(frame, nullptr);
  QTest::mousePress(frame, Qt::LeftButton, {}, frame->mapFrom(viewport(), from));
  for (int x : {100, 200, 300}) QTest::mouseMove(frame, frame->mapFrom(viewport(), from + QPoint(x, 0)));
  QTest::mouseRelease(frame, Qt::LeftButton, {}, frame->mapFrom(viewport(), from + QPoint(300, 0)));
  QTest::keyClick(window->view, Qt::Key_Escape);
  const QRectF dropped(274, 188, 90, 16), cell(74, 188, 90, 16);
  const int shown = inkColumns(shownRegion(dropped)).first;
  saveWithKeys();
  EXPECT_LT(shown, 20);
  EXPECT_NEAR(inkColumns(savedRegion(path, dropped)).first, shown, 6);
  EXPECT_EQ(inkColumns(savedRegion(path, cell)).second, -1) << "ink left in the cell";
  EXPECT_EQ(pageText(path), QStringLiteral("Cell value 42"));
}

// Enter at the end of a paragraph's first line: the words typed there are
// laid out below it at the page's pitch and the lines under it make room as
// far as the gap below them does not; Enter inside a line splits it. Every glyph the user did not type stays in the page's own font
// (mutool), the lines pushed down with it.
TEST_F(EditedPageMatchesPreview, ALineAddedByEnterPushesTheLinesBelowDown) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  const QString path = dir.filePath(QStringLiteral("enter.pdf"));
  ASSERT_TRUE(writeSerifPdf(path, {{{72, 200}, QStringLiteral("The help command opens the online manual.")},
                                   {{72, 216}, QStringLiteral("Second line of the same paragraph.")},
                                   {{72, 248}, QStringLiteral("Another block below it.")}}));
  // Each word's font (mutool) and top (poppler).
  const auto fontsOf = [](const QString& file) {
    QMap<QString, QString> fonts;
    for (const TracedRun& run : tracedRuns(file))
      for (const QString& word : QString(run.text).replace("&#x9;", " ").split(' ', Qt::SkipEmptyParts))
        fonts[word] = run.font;
    return fonts;
  };
  const auto topOf = [](const QString& file, const QString& word) {
    for (const Word& w : bboxWords(file))
      if (w.text == word) return w.box.top();
    return -1.0;
  };
  const QMap<QString, QString> fontsBefore = fontsOf(path);
  ASSERT_FALSE(fontsBefore.isEmpty());
  const double secondTop = topOf(path, "Second"), anotherTop = topOf(path, "Another");
  openWindow(path);
  enterEditMode();
  clickAt({90, 196});
  ASSERT_NE(window->view->activeTextEditor(), nullptr);
  for (int key : {int(Qt::Key_End), int(Qt::Key_Return)}) QTest::keyClick(window->view->activeTextEditor(), Qt::Key(key));
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("New words typed"));
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Escape);
  // The gap above the next block takes the new line: it stays.
  clickAt({80, 244});
  ASSERT_NE(window->view->activeTextEditor(), nullptr);
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Home);
  for (int i = 0; i < 14; ++i) QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Right);
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Return);
  QTest::keyClick(window->view->activeTextEditor(), Qt::Key_Escape);
  const QRectF paragraph(66, 188, 300, 80);
  const QImage shown = shownRegion(paragraph);
  saveWithKeys();
  EXPECT_LT(meanDifference(shown, savedRegion(path, paragraph)), 25.0);
  EXPECT_EQ(pageText(path), QStringLiteral("The help command opens the online manual. New words typed Second line of "
                                           "the same paragraph. Another block below it."));
  const QMap<QString, QString> fontsAfter = fontsOf(path);
  for (auto it = fontsBefore.begin(); it != fontsBefore.end(); ++it)
    EXPECT_EQ(fontsAfter.value(it.key()), it.value()) << it.key().toStdString();
  EXPECT_NE(fontsAfter.value("typed"), fontsBefore.value("The"));
  // Pushed down by a line, the second half of the split line below its first.
  // The added line keeps the paragraph's leading above and below it.
  const double leading = secondTop - topOf(path, "The");
  EXPECT_NEAR(topOf(path, "New") - topOf(path, "The"), leading, 1.0);
  EXPECT_NEAR(topOf(path, "Second") - topOf(path, "New"), leading, 1.0);
  EXPECT_GT(topOf(path, "Second"), secondTop + 8);
  EXPECT_NEAR(topOf(path, "Another"), anotherTop, 1.0);
  EXPECT_GT(topOf(path, "below"), topOf(path, "Another") + 8);
}

// A line the page draws faint, then again dark inside optional content: a
// word typed at its end through the window keeps both copies' glyphs as they
// were and is drawn dark, as the preview shows it.
TEST_F(EditedPageMatchesPreview, AWordTypedIntoALineDrawnTwiceKeepsBothCopies) {
  if (!hasTool("mutool")) GTEST_SKIP() << "mupdf-tools missing";
  const QString path = dir.filePath(QStringLiteral("twice.pdf"));
  const QByteArray line = "BT /F1 12 Tf 72 700 Td (A and \\(not C\\)) Tj ET\n";
  ASSERT_TRUE(handwritten::writePdf(
      path, {QStringLiteral("<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [6 0 R] /D << /ON [6 0 R] >> >> >>"),
             QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
             QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> "
                            "/Properties << /L1 6 0 R >> >> /Contents 4 0 R >>"),
             handwritten::stream("0.8 g " + line + "/OC /L1 BDC 0.2 g " + line + "EMC\n"),
             QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"),
             QStringLiteral("<< /Type /OCG /Name (Visible) >>")}));
  openWindow(path);
  enterEditMode();
  clickAt({100, 138});
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, QStringLiteral(" okapi"));
  QTest::keyClick(editor, Qt::Key_Escape);
  const QRectF region(66, 126, 200, 22);
  const QImage shown = shownRegion(region);
  saveWithKeys();
  expectSavedLikePreview(shown, savedRegion(path, region), 30.0);
  QMap<QString, QString> painted;  // the letters drawn in each paint
  for (const oracles::TracedGlyph& g : oracles::tracedGlyphs(path, 0)) painted[g.paint.section(' ', 1)] += g.text;
  EXPECT_EQ(painted.value(QStringLiteral(".8")).remove(' '), QStringLiteral("Aand(notC)"));
  EXPECT_EQ(painted.value(QStringLiteral(".2")).remove(' '), QStringLiteral("Aand(notC)okapi"));
}

// Lines in a font no installed face resembles (drawn boxes), each ending in
// a glyph read as nothing: a word typed at one's end, the other's last word
// retyped, show the lines' own glyphs as the page draws them while the editor is open
// and after, and the saved page looks as the preview did (the typed word's
// face is the one guess left).
TEST_F(EditedPageMatchesPreview, ALineTypedIntoShowsItsUntouchedGlyphsAsThePageDrawsThem) {
  const QString path = dir.filePath(QStringLiteral("boxes.pdf"));
  ASSERT_TRUE(handwritten::writePdf(
      path, {QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"), QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
             QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> >> "
                            "/Contents 4 0 R >>"),
             handwritten::stream("BT /F1 24 Tf 72 600 Td (abcab abcab d) Tj 0 -40 Td (abcab abcab d) Tj ET\n"),
             QStringLiteral("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 600 700] /FontMatrix [0.001 0 0 0.001 0 0] "
                            "/CharProcs << /a 6 0 R /b 7 0 R /c 6 0 R /d 7 0 R /space 8 0 R >> /Encoding << /Differences [32 /space "
                            "97 /a /b /c /d] >> /FirstChar 32 /LastChar 100 /Widths [") +
                 QByteArray("600 ").repeated(69) + "] /ToUnicode 9 0 R >>",
             handwritten::stream("600 0 0 0 500 700 d1 0 0 500 700 re f"),
             handwritten::stream("600 0 0 0 500 700 d1 0 0 500 350 re f"), handwritten::stream("600 0 d0"),
             // A map that reads "d" as nothing: the line ends with a glyph no text holds.
             handwritten::stream("/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /Broken def "
                                 "1 begincodespacerange <00> <FF> endcodespacerange 2 beginbfrange <20> <20> <0020> "
                                 "<61> <63> <0061> endbfrange 1 beginbfchar <64> <0000> endbfchar endcmap CMapName "
                                 "currentdict /CMap defineresource pop end end")}));
  const QRectF region(66, 212, 250, 80);
  openWindow(path);
  const QImage page = shownRegion(region);
  enterEditMode();
  clickAt({100, 230});
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, QStringLiteral(" ok"));
  // The boxes stay the page's own while typing, then once the editor closes.
  const QRectF boxes(66, 212, 150, 40);
  const QImage typing = shownRegion(boxes);
  // The typed word and the glyph after it reach past the line's box: a click
  // at their end puts the caret there, the block open or not yet.
  const QRect row = screenRect(QRectF(66, 228, 250, 10));
  const QImage rowShown = viewport()->grab().toImage().copy(row);
  int inkEnd = -1;
  for (int x = 0; x < rowShown.width(); ++x)
    for (int y = 0; y < rowShown.height(); ++y)
      if (qGray(rowShown.pixel(x, y)) < 60) inkEnd = x;
  ASSERT_GT(inkEnd, 0);
  const QPoint end = row.topLeft() + QPoint(inkEnd, row.height() / 2);
  ASSERT_FALSE(window->view->ocrBlockScreenRect(0).contains(end));
  QTest::keyClick(editor, Qt::Key_Home);
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, end);
  QTest::keyClicks(editor, QStringLiteral("x"));
  clickAt({400, 500});
  EXPECT_EQ(window->view->activeTextEditor(), nullptr);
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, end);
  editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::mouseClick(viewport(), Qt::LeftButton, {}, end);
  QTest::keyClicks(editor, QStringLiteral("y"));  // where "x" has begun since
  EXPECT_EQ(editor->toPlainText(), QStringLiteral("abcab abcab okyx"));
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_LT(meanDifference(typing, page.copy(0, 0, typing.width(), typing.height())), 4.0);
  // The second line's last word retyped shorter: the glyph after it follows it.
  clickAt({100, 270});
  editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  for (int i = 0; i < 3; ++i) QTest::keyClick(editor, Qt::Key_Backspace);
  QTest::keyClicks(editor, QStringLiteral("c"));
  QTest::keyClick(editor, Qt::Key_Escape);
  const QImage shown = shownRegion(region);
  EXPECT_LT(meanDifference(shown.copy(0, 0, typing.width(), typing.height()), typing), 4.0);
  saveWithKeys();
  const QImage saved = savedRegion(path, region);
  for (const int row : {0, 1})  // line by line, each where its ink ends
    expectSavedLikePreview(shown.copy(0, row * shown.height() / 2, shown.width(), shown.height() / 2),
                           saved.copy(0, row * saved.height() / 2, saved.width(), saved.height() / 2), 16.0);
  // Poppler reads the word after the wide gap the unread glyph leaves as a column of its own.
  QStringList words = pageText(path).split(QLatin1Char(' '));
  words.sort();
  EXPECT_EQ(words.join(QLatin1Char(' ')), QStringLiteral("abc abcab abcab abcab okyx"));
}

// A Hebrew page: a letter typed at the end of one line (its left) and over
// the middle letter of the next. The letters the user did not type stay the
// page's own pixels where the page drew them, and the saved page shows what
// the preview did.
TEST_F(EditedPageMatchesPreview, AHebrewLineTypedIntoShowsItsUntouchedLettersWhereThePageDrawsThem) {
  const QString path = dir.filePath(QStringLiteral("hebrew.pdf"));
  ASSERT_TRUE(QFile::copy(corpusDir() + QStringLiteral("/../script-pdfs/issue10301.pdf"), path));
  ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
  // "אבג" spans x 520 to 544 above the baseline at 65.2, "דהו" 527 to 544
  // under it; the kept letters are looked at clear of the editor's handles.
  const QRectF lines(500, 52, 50, 30), kept(528, 59, 13.5, 4.5);
  openWindow(path);
  window->view->verticalScrollBar()->setValue(0);  // the lines stand at the top of the page
  const QImage keptBefore = shownRegion(kept);
  enterEditMode();
  const auto typeHebrew = [&](const QString& letters) {
    for (const QChar c : letters)
      QTest::sendKeyEvent(QTest::Click, window->view->activeTextEditor(), Qt::Key_unknown, QString(c), {});
  };
  clickAt({535, 60});
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  typeHebrew(QStringLiteral("ז"));
  // The letters are the page's pixels as the view drew them (the installed
  // face here differs by 50 and more); the editor's frame above is left out.
  EXPECT_LT(meanDifference(keptBefore, shownRegion(kept)), 1.0) << "the letters kept, while typing";
  QTest::keyClick(editor, Qt::Key_Escape);
  clickAt({535, 75});
  editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTextCursor cursor = editor->textCursor();
  cursor.setPosition(1);
  cursor.setPosition(2, QTextCursor::KeepAnchor);  // "ה", the middle letter
  editor->setTextCursor(cursor);
  typeHebrew(QStringLiteral("חט"));
  QTest::keyClick(editor, Qt::Key_Escape);
  const QImage shown = shownRegion(lines);
  saveWithKeys();
  const QImage saved = savedRegion(path, lines);
  // The view's drawing of these lines differs from poppler's by 13.5 before
  // any edit.
  for (const int row : {0, 1})
    expectSavedLikePreview(shown.copy(0, row * shown.height() / 2, shown.width(), shown.height() / 2),
                           saved.copy(0, row * saved.height() / 2, saved.width(), saved.height() / 2), 18.0);
  EXPECT_TRUE(pageText(path).contains(QStringLiteral("דחטו"))) << pageText(path).toStdString();
  // Read back, each line is one block reading as typed, where the page
  // draws the kept letters in its order and the typed ones in reading order.
  PdfDocument reopened;
  ASSERT_TRUE(reopened.open(path));
  QStringList texts;
  for (const TextBlock& block : reopened.extractText(0)) texts << block.text;
  EXPECT_EQ(texts.join(QLatin1Char('|')), QStringLiteral("אבגז|דחטו|abc|def"));
  // Typed into again once the view has read the saved page, the line keeps
  // the page's letters in the page's font.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    const std::vector<TextBlock>& blocks = window->view->currentOcrBlocks();
    return std::any_of(blocks.begin(), blocks.end(), [](const TextBlock& b) { return b.text == QStringLiteral("דחטו"); });
  }, 60000));
  clickAt({535, 75});
  ASSERT_NE(editor = window->view->activeTextEditor(), nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  typeHebrew(QStringLiteral("י"));
  QTest::keyClick(editor, Qt::Key_Escape);
  saveWithKeys();
  QString pageFont;
  for (const TracedRun& run : tracedRuns(path))
    if (run.font == QLatin1String("ArialMT")) pageFont += run.text;
  for (const QChar letter : QStringLiteral("אבגדו")) EXPECT_TRUE(pageFont.contains(letter)) << pageFont.toStdString();
  EXPECT_TRUE(pageText(path).contains(QStringLiteral("דחטוי"))) << pageText(path).toStdString();
}
