// An edited line keeps what the page gave it: its size and colour as the
// content stream writes them, its runs when it is opened again (also from
// the saved file), its line box when it grows, and the face of every run when
// one word of it is replaced. Driven through a shown
// main window with mouse and keys on a page of the gnuplot manual (TeX's
// Computer Modern, justified) and on a page with a red heading, saved with
// Ctrl+S and read back with qpdf, pdftotext -bbox and mutool trace.
#include "EditedPageFixture.h"
#include "core/HandWrittenPdf.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTransform>

#include <optional>

using namespace apptest;
using namespace testsupport;

namespace {

const QString kManual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
// Page 31 of the manual, "Batch/Interactive Operation"; this line is set
// justified across the body column.
constexpr int kManualPage = 31;
const QString kJustified = QStringLiteral("Any command-line arguments are assumed to be either program");

// One text-showing operator of a content stream, as it lands on the page.
struct ShownText {
  double size = 0;  // Tf size times the vertical scale of text matrix and CTM
  QPointF origin;   // of the text matrix, in user space
  QList<double> fill;  // the operands of the last fill colour operator
};

// A small reader of content streams: enough of the graphics state (q/Q, cm,
// fill colour) and text state (Tf, Tm, Td, TD, T*, TL) to say where each
// show operator writes, at which size and in which colour.
QList<ShownText> readShownText(const QByteArray& content) {
  struct State {
    QTransform ctm;
    QList<double> fill{0};
  };
  QList<State> stack{State{}};
  QList<double> operands;
  QTransform tm, tlm;
  double fontSize = 0, leading = 0;
  QList<ShownText> shown;
  const auto newLine = [&](double tx, double ty) {
    tlm = QTransform::fromTranslate(tx, ty) * tlm;
    tm = tlm;
  };
  qsizetype i = 0;
  const qsizetype n = content.size();
  while (i < n) {
    const char c = content.at(i);
    if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
    if (c == '%') { while (i < n && content.at(i) != '\n') ++i; continue; }
    if (c == '(') {
      int depth = 0;
      for (; i < n; ++i) {
        if (content.at(i) == '\\') { ++i; continue; }
        if (content.at(i) == '(') ++depth;
        if (content.at(i) == ')' && --depth == 0) break;
      }
      ++i;
      continue;
    }
    if (c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}') {
      if (c == '<' && i + 1 < n && content.at(i + 1) != '<') while (i < n && content.at(i) != '>') ++i;
      ++i;
      continue;
    }
    qsizetype end = i + 1;
    while (end < n && !std::isspace(static_cast<unsigned char>(content.at(end))) && !QByteArray("()<>[]{}/%").contains(content.at(end)))
      ++end;
    const QByteArray token = content.mid(i, end - i);
    i = end;
    bool number = false;
    const double value = token.toDouble(&number);
    if (number) { operands << value; continue; }
    if (token.startsWith('/')) continue;
    State& state = stack.last();
    const auto take = [&](int count) { return operands.size() >= count ? operands.mid(operands.size() - count) : QList<double>(); };
    if (token == "q") stack << state;
    else if (token == "Q" && stack.size() > 1) stack.removeLast();
    else if (token == "cm" && take(6).size() == 6) {
      const QList<double> m = take(6);
      state.ctm = QTransform(m[0], m[1], m[2], m[3], m[4], m[5]) * state.ctm;
    } else if (token == "rg" || token == "g" || token == "k" || token == "sc" || token == "scn") {
      state.fill = take(token == "rg" ? 3 : token == "k" ? 4 : token == "g" ? 1 : int(operands.size()));
    } else if (token == "BT") { tm = tlm = QTransform(); }
    else if (token == "Tf" && !operands.isEmpty()) fontSize = operands.last();
    else if (token == "TL" && !operands.isEmpty()) leading = operands.last();
    else if (token == "Tm" && take(6).size() == 6) {
      const QList<double> m = take(6);
      tm = tlm = QTransform(m[0], m[1], m[2], m[3], m[4], m[5]);
    } else if ((token == "Td" || token == "TD") && take(2).size() == 2) {
      if (token == "TD") leading = -take(2)[1];
      newLine(take(2)[0], take(2)[1]);
    } else if (token == "T*" || token == "'" || token == "\"") newLine(0, -leading);
    if (token == "Tj" || token == "TJ" || token == "'" || token == "\"") {
      const QTransform full = tm * state.ctm;
      shown << ShownText{fontSize * std::hypot(full.m21(), full.m22()), QPointF(full.dx(), full.dy()), state.fill};
    }
    operands.clear();
  }
  return shown;
}

// The content of one page (1-based), all its streams decoded and joined.
QByteArray pageContent(const QString& path, int page) {
  QByteArray json;
  if (runTool("qpdf", {"--json=2", "--json-stream-data=inline", "--decode-level=generalized", path, "-"}, &json) != 0)
    return {};
  const QJsonObject root = QJsonDocument::fromJson(json).object();
  const QJsonArray pages = root.value("pages").toArray();
  if (page < 1 || page > pages.size()) return {};
  const QJsonObject objects = root.value("qpdf").toArray().at(1).toObject();
  QByteArray content;
  for (const QJsonValue ref : pages.at(page - 1).toObject().value("contents").toArray()) {
    const QJsonObject stream = objects.value("obj:" + ref.toString()).toObject().value("stream").toObject();
    content += QByteArray::fromBase64(stream.value("data").toString().toLatin1()) + '\n';
  }
  return content;
}

// The text shown with its baseline inside [bottom, top] (user space).
QList<ShownText> shownBetween(const QString& path, int page, double bottom, double top) {
  QList<ShownText> hits;
  for (const ShownText& t : readShownText(pageContent(path, page)))
    if (t.origin.y() >= bottom && t.origin.y() <= top && t.size > 0) hits << t;
  return hits;
}

// The extent of the words of one line (pdftotext -bbox, top-left origin):
// every word whose vertical middle lies between top and bottom.
QRectF lineExtent(const QString& path, double top, double bottom, int page = 1) {
  QRectF extent;
  for (const Word& word : bboxWords(path, page))
    if (word.box.center().y() > top && word.box.center().y() < bottom) extent = extent.united(word.box);
  return extent;
}

// Mean grey difference of two images of one size at the best shift of up to
// two pixels either way: a pixel of rounding between the view's and poppler's
// placement is no difference in face. Blue outline pixels are left out.
double alignedDifference(const QImage& shown, const QImage& saved) {
  const QImage a = shown.convertToFormat(QImage::Format_RGB32);
  const QImage b = saved.convertToFormat(QImage::Format_RGB32);
  double best = 255;
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx) {
      double sum = 0;
      int count = 0;
      for (int y = 2; y < a.height() - 2; ++y)
        for (int x = 2; x < a.width() - 2; ++x) {
          const QRgb p = a.pixel(x, y);
          if (qBlue(p) > qRed(p) + 40) continue;
          sum += std::abs(qGray(p) - qGray(b.pixel(x + dx, y + dy)));
          ++count;
        }
      if (count > 0) best = std::min(best, sum / count);
    }
  return best;
}

class EditedLineKeepsStyle : public EditedPageMatchesPreview {
 protected:
  void SetUp() override {
    EditedPageMatchesPreview::SetUp();
    if (IsSkipped()) return;
    if (!hasTool("qpdf")) GTEST_SKIP() << "qpdf missing";
  }

  // One page of the gnuplot manual as a document of its own.
  QString manualPage(int number = kManualPage) {
    if (!QFile::exists(kManual)) return {};
    const QString path = dir.filePath(QStringLiteral("manual.pdf"));
    const QString page = QString::number(number);
    if (runTool("qpdf", {kManual, "--pages", kManual, page, "--", path}) != 0) return {};
    return path;
  }

  // The top-origin box pdftotext gives the line holding `word` (unique on the page).
  QRectF lineOf(const QString& path, const QString& word) {
    for (const Word& w : bboxWords(path))
      if (w.text == word) return lineExtent(path, w.box.top() + 1, w.box.bottom() - 1);
    return {};
  }

  // Clicks into the line at `top`, puts the caret after `after` and selects `count` characters.
  QTextEdit* openLineAt(const QPointF& top, const QString& after, int count) {
    if (!pageBlocksRead(window->view)) return nullptr;
    clickAt(top);
    QTextEdit* editor = window->view->activeTextEditor();
    if (!editor) return nullptr;
    QTest::keyClick(editor, Qt::Key_Home);
    const int start = int(editor->toPlainText().indexOf(after)) + int(after.size());
    for (int i = 0; i < start; ++i) QTest::keyClick(editor, Qt::Key_Right);
    for (int i = 0; i < count; ++i) QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
    return editor;
  }

  void closeEditor() {
    QTest::qWait(50);
    if (QTextEdit* editor = window->view->activeTextEditor()) QTest::keyClick(editor, Qt::Key_Escape);
    ASSERT_EQ(window->view->activeTextEditor(), nullptr);
  }

  void shoot(const QString& name) {
    if (!qEnvironmentVariableIsSet("ULVO_SHOTS")) return;
    for (int i = 0; i < 10; ++i) QTest::qWait(50);
    window->grab().save(qEnvironmentVariable("ULVO_SHOTS") + "/" + name + ".png");
  }
};

}  // namespace

TEST_F(EditedLineKeepsStyle, AnEditedLineKeepsItsSizeAndColour) {
  const QString manual = manualPage();
  if (manual.isEmpty()) GTEST_SKIP() << "the gnuplot manual (gnuplot-doc) is not installed";
  const QRectF line = lineOf(manual, QStringLiteral("arguments"));
  ASSERT_FALSE(line.isEmpty());
  const double baseBottom = 792 - line.bottom(), baseTop = 792 - line.top();
  const QList<ShownText> before = shownBetween(manual, 1, baseBottom, baseTop);
  ASSERT_FALSE(before.isEmpty());

  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  shoot("item1-manual-before");
  // A word whose letters the line's embedded subset draws is set in that
  // subset; a word with a blank it has no glyph for ("a script") is not.
  const auto runsOf = [&](const QString& text, bool whole = false) {
    QStringList fonts;
    for (const TracedRun& run : tracedRuns(manual))
      if (whole ? run.text == text : run.text.contains(text)) fonts << run.font;
    return fonts;
  };
  const QStringList font = runsOf(QStringLiteral("arguments"));
  ASSERT_EQ(font.size(), 1);
  ASSERT_NE(openLineAt(line.center() - QPointF(100, 0), QStringLiteral("command-line "), 9), nullptr);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("scripts"));
  closeEditor();
  saveWithKeys();
  EXPECT_EQ(runsOf(QStringLiteral("scrip"), true), font);  // the last "s" is the one "arguments" ended with
  // So in the paragraph's next line, whose "gnuplot" is in another face.
  const QStringList typewriter = runsOf(QStringLiteral("gnuplot"), true);
  ASSERT_NE(openLineAt(lineOf(manual, QStringLiteral("containing")).center(), QStringLiteral("names of "), 5), nullptr);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("scripts"));
  closeEditor();
  saveWithKeys();
  EXPECT_TRUE(pageText(manual).contains(QStringLiteral("names of scripts containing gnuplot commands.")));
  EXPECT_EQ(runsOf(QStringLiteral("script"), true), font);
  EXPECT_EQ(runsOf(QStringLiteral("gnuplot"), true), typewriter);
  ASSERT_NE(openLineAt(line.center() - QPointF(100, 0), QStringLiteral("either "), 7), nullptr);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("a script"));
  closeEditor();
  shoot("item1-manual-after");
  saveWithKeys();
  EXPECT_TRUE(pageText(manual).contains(QStringLiteral("command-line scripts are assumed to be either a script")))
      << pageText(manual).toStdString();
  // TeX's roman face says it is serif only in its name: the typed words take a serif face.
  const QStringList typed = runsOf(QStringLiteral("a script"));
  ASSERT_EQ(typed.size(), 1);
  EXPECT_NE(typed.first(), font.first());
  EXPECT_TRUE(typed.first().contains(QStringLiteral("Serif"))) << typed.first().toStdString();

  const QList<ShownText> after = shownBetween(manual, 1, baseBottom - 1, baseTop);
  ASSERT_FALSE(after.isEmpty());
  for (const ShownText& t : after) {
    EXPECT_NEAR(t.size, before.first().size, 0.2);
    // Black as the page set it: kept glyphs and typed words share the page's own fill.
    EXPECT_TRUE(t.fill == QList<double>({0}) || t.fill == QList<double>({0, 0, 0})) << t.fill.size();
    EXPECT_NEAR(t.origin.y(), before.first().origin.y(), 0.5);  // on the line's own baseline
  }


  // A red heading stays the same red.
  const QString red = dir.filePath(QStringLiteral("red.pdf"));
  ASSERT_TRUE(writeSerifPdf(red, {{{72, 100}, QStringLiteral("Warning: read this first"), false, false, QColor(255, 0, 0), 16},
                                  {{72, 140}, QStringLiteral("Body text follows the heading in black.")}}));
  const QList<ShownText> redBefore = shownBetween(red, 1, 842 - 104, 842 - 96);
  ASSERT_FALSE(redBefore.isEmpty());
  EXPECT_EQ(redBefore.first().fill, QList<double>({1, 0, 0}));
  openWindow(red);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_NE(openLineAt({120, 95}, QStringLiteral("read "), 4), nullptr);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("study"));
  closeEditor();
  saveWithKeys();
  const QList<ShownText> redAfter = shownBetween(red, 1, 842 - 104, 842 - 96);
  ASSERT_FALSE(redAfter.isEmpty());
  for (const ShownText& t : redAfter) {
    EXPECT_NEAR(t.size, redBefore.first().size, 0.2);
    EXPECT_EQ(t.fill, redBefore.first().fill);
  }
}

TEST_F(EditedLineKeepsStyle, ALineWithMixedFormattingOpensAgainAsTextWithItsRuns) {
  const QString manual = manualPage();
  if (manual.isEmpty()) GTEST_SKIP() << "the gnuplot manual (gnuplot-doc) is not installed";
  const QRectF line = lineOf(manual, QStringLiteral("arguments"));
  ASSERT_FALSE(line.isEmpty());
  const QPointF inLine = line.center() - QPointF(150, 0);
  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  shoot("item2-manual-before");
  ASSERT_NE(openLineAt(inLine, QStringLiteral("Any "), 21), nullptr);  // "command-line arguments"
  QTest::mouseClick(window->boldButton, Qt::LeftButton);
  QTest::mouseClick(window->growFontButton, Qt::LeftButton);
  QTest::mouseClick(window->growFontButton, Qt::LeftButton);
  closeEditor();
  saveWithKeys();
  shoot("item2-manual-saved");

  // Opened again in the same window, then after reopening the file: text
  // with a bold run, edited again and saved.
  const auto expectEditableWithRuns = [&](const char* when) {
    ASSERT_TRUE(pageBlocksRead(window->view)) << when;
    clickAt(inLine);
    QTextEdit* editor = window->view->activeTextEditor();
    ASSERT_NE(editor, nullptr) << when;
    EXPECT_TRUE(editor->toPlainText().contains(kJustified)) << when << editor->toPlainText().toStdString();
    QTextCursor cursor(editor->document());
    cursor.setPosition(int(editor->toPlainText().indexOf(QStringLiteral("arguments"))) + 2);
    EXPECT_GE(cursor.charFormat().fontWeight(), QFont::DemiBold) << when;
    const int grownPixels = cursor.charFormat().font().pixelSize();
    cursor.setPosition(int(editor->toPlainText().indexOf(QStringLiteral("assumed"))) + 2);
    EXPECT_LT(cursor.charFormat().fontWeight(), QFont::DemiBold) << when;
    EXPECT_GT(grownPixels, cursor.charFormat().font().pixelSize()) << when;
    for (const TextBlock& b : window->view->currentOcrBlocks()) {
      const QRectF top(b.rect.x(), 792 - b.rect.bottom(), b.rect.width(), b.rect.height());
      EXPECT_FALSE(b.isImage && top.contains(inLine)) << when;
    }
  };
  expectEditableWithRuns("after saving");
  closeEditor();
  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  expectEditableWithRuns("after reopening");
  shoot("item2-manual-reopened");
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, QStringLiteral(" code"));
  closeEditor();
  saveWithKeys();
  const QString text = pageText(manual);
  EXPECT_EQ(text.count(QStringLiteral("command-line-options) or code")), 1) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("command-line arguments are assumed")), 1) << text.toStdString();
  // Saved twice, the grown run is still larger than the rest of the line.
  const QList<ShownText> runs = shownBetween(manual, 1, 792 - line.bottom(), 792 - line.top());
  ASSERT_FALSE(runs.isEmpty());
  const auto [smallest, largest] = std::minmax_element(runs.begin(), runs.end(),
                                                       [](const ShownText& a, const ShownText& b) { return a.size < b.size; });
  EXPECT_GT(largest->size, smallest->size + 1.5);
  EXPECT_NEAR(smallest->size, 9.9626, 0.2);
  // Saved twice, the line still stands in its box.
  const QRectF saved = lineExtent(manual, line.top() + 1, line.bottom() - 1);
  EXPECT_GE(saved.left(), line.left() - 0.5);
  EXPECT_LE(saved.right(), line.right() + 0.5);
}

TEST_F(EditedLineKeepsStyle, ALengthenedJustifiedLineStaysInsideItsLineBox) {
  const QString manual = manualPage();
  if (manual.isEmpty()) GTEST_SKIP() << "the gnuplot manual (gnuplot-doc) is not installed";
  const QRectF line = lineOf(manual, QStringLiteral("arguments"));
  ASSERT_GT(line.width(), 400);
  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_NE(openLineAt(line.center(), QStringLiteral("assumed "), 0), nullptr);
  QTextEdit* editor = window->view->activeTextEditor();
  QTest::keyClicks(editor, QStringLiteral("always and everywhere "));
  // End goes to the end of the line as it is written, narrowed, not to
  // where a wider layout would break it.
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, QStringLiteral(" fin"));
  EXPECT_TRUE(editor->toPlainText().endsWith(QStringLiteral(" fin"))) << editor->toPlainText().toStdString();
  closeEditor();
  saveWithKeys();
  EXPECT_TRUE(pageText(manual).contains(QStringLiteral("assumed always and everywhere to be")));
  const QRectF saved = lineExtent(manual, line.top() + 1, line.bottom() - 1);
  std::printf("line %.2f..%.2f, saved %.2f..%.2f\n", line.left(), line.right(), saved.left(), saved.right());
  EXPECT_GE(saved.left(), line.left() - 0.5);
  EXPECT_LE(saved.right(), line.right() + 0.5);
}

TEST_F(EditedLineKeepsStyle, UntouchedRunsOfAnEditedLineKeepTheirItalicInTheFileAndThePreview) {
  // Page 22: "backslash must be the *last* character on each line. The effect is ..."
  const QString manual = manualPage(22);
  if (manual.isEmpty()) GTEST_SKIP() << "the gnuplot manual (gnuplot-doc) is not installed";
  if (!hasTool("mutool") || !hasTool("pdffonts")) GTEST_SKIP() << "mutool or pdffonts missing";
  const QRectF line = lineOf(manual, QStringLiteral("character"));
  ASSERT_FALSE(line.isEmpty());
  const double top = 792 - line.bottom() - 1, bottom = 792 - line.top() + 1;  // user space
  const auto runsOnLine = [&](const QString& path) {
    QList<TracedRun> runs;
    for (const TracedRun& run : tracedRuns(path))
      if (run.baseline > top && run.baseline < bottom && !run.text.trimmed().isEmpty()) runs << run;
    return runs;
  };
  const QList<TracedRun> before = runsOnLine(manual);
  const auto italicRun = [](const QList<TracedRun>& runs, const QString& word) {
    for (const TracedRun& run : runs)
      if (run.text.contains(word)) return run;
    return TracedRun{};
  };
  ASSERT_TRUE(italicRun(before, "last").font.contains("CMTI")) << italicRun(before, "last").font.toStdString();

  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_NE(openLineAt(line.center() - QPointF(150, 0), QStringLiteral("The "), 6), nullptr);  // "effect"
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("result"));
  closeEditor();
  // The line, and its italic word alone, as the editor shows them.
  const QRectF region = line.adjusted(-4, -3, 4, 3);
  QRectF lastWord;
  for (const Word& w : bboxWords(manual))
    if (w.text == "last" && std::abs(w.box.center().y() - line.center().y()) < 3) lastWord = w.box;
  ASSERT_FALSE(lastWord.isEmpty());
  const QRectF wordRegion = lastWord.adjusted(-3, -3, 3, 3);
  const QImage shown = shownRegion(region);
  const QImage shownWord = shownRegion(wordRegion);
  saveWithKeys();
  EXPECT_TRUE(pageText(manual).contains(QStringLiteral("last character on each line. The result is as if")))
      << pageText(manual).toStdString();

  // The italic word keeps its italic glyphs, the retyped one ("resul", its
  // "t" kept) is upright.
  const QList<TracedRun> after = runsOnLine(manual);
  const TracedRun italic = italicRun(after, "last");
  const TracedRun retyped = italicRun(after, "resul");
  ASSERT_FALSE(italic.font.isEmpty());
  ASSERT_FALSE(retyped.font.isEmpty());
  EXPECT_EQ(italic.font, italicRun(before, "last").font);
  EXPECT_FALSE(retyped.font.contains("Italic") || retyped.font.contains("CMTI")) << retyped.font.toStdString();
  EXPECT_FALSE(italic.text.contains("resul")) << italic.text.toStdString();
  // The preview showed the line as the page now shows it, and the italic word in its face.
  const QImage saved = savedRegion(manual, region);
  const QImage savedWord = savedRegion(manual, wordRegion);
  const double lineDifference = alignedDifference(shown, saved);
  const double wordDifference = alignedDifference(shownWord, savedWord);
  std::printf("aligned grey difference: line %.2f, italic word %.2f\n", lineDifference, wordDifference);
  // The preview draws installed faces at their own width, the page keeps its
  // own glyphs: the line and its italic word stand where the page now draws
  // them, to the few pixels the faces' widths differ by over the line.
  for (const auto& [was, now] : {std::pair(shown, saved), std::pair(shownWord, savedWord)}) {
    EXPECT_NEAR(inkColumns(was).first, inkColumns(now).first, 2);
    EXPECT_NEAR(inkColumns(was).second, inkColumns(now).second, 4);
  }
}

TEST_F(EditedLineKeepsStyle, ATypewriterRunKeepsItsGlyphsWhenItsLineIsEdited) {
  // Page 22: "The canonical gnuplot home page can be found at http://www.gnuplot.info",
  // the address set in TeX's typewriter face.
  const QString manual = manualPage(22);
  if (manual.isEmpty()) GTEST_SKIP() << "the gnuplot manual (gnuplot-doc) is not installed";
  if (!hasTool("mutool")) GTEST_SKIP() << "mutool missing";
  const QRectF line = lineOf(manual, QStringLiteral("canonical"));
  ASSERT_FALSE(line.isEmpty());
  const auto addressRun = [&](const QString& path) {
    for (const TracedRun& run : tracedRuns(path))
      if (run.text.contains("gnuplot.info") && run.baseline > 792 - line.bottom() - 1 && run.baseline < 792 - line.top() + 1)
        return run.font;
    return QString();
  };
  const QString typewriter = addressRun(manual);
  ASSERT_TRUE(typewriter.contains("CMTT")) << typewriter.toStdString();
  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_NE(openLineAt(line.center() - QPointF(100, 0), QStringLiteral("The "), 9), nullptr);  // "canonical"
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("official"));
  closeEditor();
  QRectF address;
  for (const Word& w : bboxWords(manual))
    if (w.text.startsWith("http://www.gnuplot.info") && std::abs(w.box.center().y() - line.center().y()) < 3)
      address = w.box;
  ASSERT_FALSE(address.isEmpty());
  saveWithKeys();
  EXPECT_TRUE(pageText(manual).contains(QStringLiteral("The official gnuplot home page can be found at")));

  // The address keeps its typewriter glyphs and its width, moved left by
  // what the shorter word gave back.
  EXPECT_EQ(addressRun(manual), typewriter);
  QRectF moved;
  for (const Word& w : bboxWords(manual))
    if (w.text.startsWith("http://www.gnuplot.info") && std::abs(w.box.center().y() - line.center().y()) < 3)
      moved = w.box;
  EXPECT_NEAR(moved.width(), address.width(), 0.5);
  EXPECT_LT(moved.left(), address.left() - 1);
}

// Stems as wide as a bold face's (/StemV 140, 500) keep a regular line
// regular; a stated /FontWeight 700 makes one bold.
TEST_F(EditedLineKeepsStyle, AnEditedLineKeepsTheWeightItsFontStatesNotTheOneItsStemSuggests) {
  if (!hasTool("pdffonts")) GTEST_SKIP() << "pdffonts missing";
  const auto font = [](const char* type, const char* name, const char* more) {
    return QStringLiteral("<< /Type /Font /Subtype /%1 /BaseFont /%2 /Encoding /WinAnsiEncoding /FontDescriptor << "
                          "/Type /FontDescriptor /FontName /%2 /ItalicAngle 0 %3 >> >>").arg(type, name, more);
  };
  const QString path = dir.filePath(QStringLiteral("stems.pdf"));
  ASSERT_TRUE(handwritten::writePdf(path, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 0 R /F2 6 0 R /F3 7 0 R >> >> >>",
      handwritten::stream("BT /F1 14 Tf 72 742 Td (Plain words of a letter) Tj 0 -40 Td /F2 14 Tf (Plain words of a memo) Tj "
                          "0 -40 Td /F3 14 Tf (Heavy words of a title) Tj ET"),
      font("TrueType", "TimesNewRoman", "/Flags 4 /StemV 140"), font("Type1", "Times-Roman", "/Flags 34 /StemV 500"),
      font("TrueType", "Frutiger", "/Flags 32 /StemV 70 /FontWeight 700")}));
  openWindow(path);
  QTest::keyClick(window.get(), Qt::Key_F2);
  QByteArray fonts;
  for (const double top : {96.0, 136.0, 176.0}) {  // "words" of each line retyped and saved
    ASSERT_NE(openLineAt({140, top}, QStringLiteral(" "), 5), nullptr);
    QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral("lines"));
    closeEditor();
    saveWithKeys();
    ASSERT_EQ(runTool("pdffonts", {path}, &fonts), 0);
    EXPECT_EQ(fonts.contains("Bold"), top > 170) << top << fonts.toStdString();
  }
  EXPECT_EQ(pageText(path), QStringLiteral("Plain lines of a letter Plain lines of a memo Heavy lines of a title"));
}

// Words typed into a line filled with a shading pattern and a word deleted
// from a plain one, with real keys: every glyph the user left stays as the
// page drew it (same font, same characters, per mutool), the typed word
// joins the line in its pattern fill, and what followed the deleted word
// closes up to where it stood. A gradient line made bold whole is written
// anew in a bold sans, in its gradient; a line retyped whole in its own font.
TEST_F(EditedLineKeepsStyle, UntouchedGlyphsStayAsDrawnAndTypedWordsTakeTheLinesFill) {
  if (!hasTool("mutool") || !hasTool("pdftoppm")) GTEST_SKIP() << "mupdf-tools or poppler-utils missing";
  const QString path = dir.filePath(QStringLiteral("pattern.pdf"));
  ASSERT_TRUE(QFile::copy(corpusDir() + QStringLiteral("/../real-world-pdfs/ShowText-ShadingPattern.pdf"), path));
  QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
  const auto glyphsByFont = [](const QString& file) {
    QMap<QString, QString> text;
    for (const TracedRun& run : tracedRuns(file)) text[run.font] += run.text;
    return text;
  };
  const QMap<QString, QString> before = glyphsByFont(path);
  const QList<Word> wordsBefore = bboxWords(path);
  // The nth word `text` on the row of `row` (any row when empty).
  const auto wordAt = [](const QList<Word>& words, const QString& text, int nth, const QRectF& row = {}) {
    for (const Word& w : words)
      if (w.text == text && (row.isEmpty() || std::abs(w.box.center().y() - row.center().y()) < 3) && nth-- == 0)
        return w.box;
    return QRectF();
  };
  const QRectF one = wordAt(wordsBefore, "1", 0), three = wordAt(wordsBefore, "3", 0);
  const QRectF deleted = wordAt(wordsBefore, "Helvetica", 1, three);
  ASSERT_FALSE(one.isEmpty() || three.isEmpty() || deleted.isEmpty());

  openWindow(path);
  enterEditMode();
  // The editor shows the gradient line in a colour of its gradient, never white on the page.
  int patterned = 0;
  for (const TextBlock& b : window->view->currentOcrBlocks())
    for (const TextBlock::Line& line : b.lines)
      if (line.text.startsWith(QStringLiteral("1 Helvetica")) && ++patterned) {
        EXPECT_GT(line.color.blue(), line.color.green() + 60) << line.color.name().toStdString();
      }
  EXPECT_EQ(patterned, 1);
  ASSERT_NE(openLineAt(one.center() + QPointF(20, 0), QStringLiteral("1 Helvetica"), 0), nullptr);
  QTest::keyClicks(window->view->activeTextEditor(), QStringLiteral(" okapi"));
  closeEditor();
  QTextEdit* editor = openLineAt(three.center() + QPointF(20, 0), QStringLiteral("3 Helvetica "), 10);
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_Delete);
  closeEditor();
  const QRectF two = wordAt(wordsBefore, "2", 0);
  editor = openLineAt(two.center() + QPointF(20, 0), QStringLiteral("2"), 0);
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(editor, Qt::Key_B, Qt::ControlModifier);
  closeEditor();
  editor = openLineAt(wordAt(wordsBefore, "4", 0).center() + QPointF(20, 0), QStringLiteral("4"), 0);
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(editor, QStringLiteral("Aria lira 42"));
  closeEditor();
  saveWithKeys();

  EXPECT_TRUE(pageText(path).contains(QStringLiteral("1 Helvetica okapi Helvetica"))) << pageText(path).toStdString();
  EXPECT_TRUE(oracles::mupdfReading(path, 0).text.contains(QStringLiteral("okapi")));
  EXPECT_TRUE(pageText(path).simplified().contains(QStringLiteral("3 Helvetica Helvetica Aria lira 42")));
  // The page's own fonts draw what they drew, less the deleted word; the
  // typed word is set in a face of its own.
  const QMap<QString, QString> after = glyphsByFont(path);
  EXPECT_TRUE(after.key(QStringLiteral("2 Arial Arial Arial Arial Arial Arial Arial")).contains("Sans-Bold"));
  for (auto it = before.begin(); it != before.end(); ++it) {
    const QString expected = QString(it.value()).remove(' ').replace(QStringLiteral("3HelveticaHelveticaHelvetica"),
                                                                      QStringLiteral("3HelveticaHelvetica"))
                                 .remove(QStringLiteral("2ArialArialArialArialArialArialArial"))
                                 .replace(QStringLiteral("4ArialArialArialArialArialArial"), "Arialira42");
    EXPECT_EQ(after.value(it.key()).remove(' '), expected) << it.key().toStdString();
  }
  EXPECT_EQ(after.size(), before.size() + 2);

  const QList<Word> wordsAfter = bboxWords(path);
  const QRectF typed = wordAt(wordsAfter, "okapi", 0);
  ASSERT_FALSE(typed.isEmpty());
  // On the line's own baseline.
  double lineBaseline = -1, typedBaseline = -2;
  for (const TracedRun& run : tracedRuns(path)) {
    if (run.text.startsWith(QStringLiteral("1 Helvetica"))) lineBaseline = run.baseline;
    if (run.text.contains(QStringLiteral("okapi"))) typedBaseline = run.baseline;
  }
  EXPECT_NEAR(typedBaseline, lineBaseline, 0.01);
  EXPECT_NEAR(wordAt(wordsAfter, "Helvetica", 1, three).left(), deleted.left(), 0.5);
  // The typed word is painted in the line's gradient: coloured, neither white nor black.
  const QImage render = savedRegion(path, typed);
  int coloured = 0;
  for (int y = 0; y < render.height(); ++y)
    for (int x = 0; x < render.width(); ++x) {
      const QColor c = render.pixelColor(x, y);
      coloured += c.blue() > c.green() + 60 ? 1 : 0;
    }
  EXPECT_GT(coloured, 20);
  // The bold line ends red as its gradient does, which no one colour read from it would.
  const QImage boldEnd = savedRegion(path, wordAt(wordsAfter, "Arial", 5, two));
  int red = 0;
  for (int y = 0; y < boldEnd.height(); ++y)
    for (int x = 0; x < boldEnd.width(); ++x)
      red += boldEnd.pixelColor(x, y).red() > boldEnd.pixelColor(x, y).blue() + 60;
  EXPECT_GT(red, 20);
}
