// Saving a LaTeX manual again and again through the window: each round
// opens the file, changes one word with mouse and keys, saves with Ctrl+S
// and closes; then two saves follow in one session. The font the first save
// embedded serves the later ones, so they grow the file by a few kilobytes
// and no font program is stored twice.
#include "EditedPageFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace apptest;
using namespace testsupport;

namespace {

const QString kManual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");

class RepeatedSaves : public EditedPageMatchesPreview {
 protected:
  // Pages 31 and 32 of the manual ("Batch/Interactive Operation"), a
  // document of their own.
  QString manualPages() {
    if (!QFile::exists(kManual) || !hasTool("qpdf")) return {};
    const QString path = dir.filePath(QStringLiteral("manual.pdf"));
    if (runTool("qpdf", {kManual, "--pages", kManual, "31-32", "--", path}) != 0) return {};
    return path;
  }

  // Opens the line holding `anchor` in the editor and selects `word` in it.
  QTextEdit* selectWord(const QString& file, const QString& anchor, const QString& word) {
    const QList<Word> words = bboxWords(file);
    const auto line = std::find_if(words.begin(), words.end(), [&](const Word& w) { return w.text == anchor; });
    if (line == words.end() || !pageBlocksRead(window->view)) return nullptr;
    for (const Word& w : words) {
      if (w.text != word || std::abs(w.box.center().y() - line->box.center().y()) > 3) continue;
      clickAt(w.box.center());
      QTextEdit* editor = window->view->activeTextEditor();
      if (!editor) return nullptr;
      QTest::keyClick(editor, Qt::Key_Home);
      const int start = int(editor->toPlainText().indexOf(word));
      if (start < 0) return nullptr;
      for (int i = 0; i < start; ++i) QTest::keyClick(editor, Qt::Key_Right);
      for (int i = 0; i < word.size(); ++i) QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
      return editor;
    }
    return nullptr;
  }
};

}  // namespace

TEST_F(RepeatedSaves, EachLaterOneWordSaveAddsAFewKilobytesAndNoFontTwice) {
  const QString manual = manualPages();
  if (manual.isEmpty()) GTEST_SKIP() << "the gnuplot manual (gnuplot-doc) or qpdf is missing";
  // A word in another line each round, every line in the same faces: each
  // earlier line keeps its font in use.
  const struct {
    QString anchor, word, replacement;
  } rounds[] = {{QStringLiteral("arguments"), QStringLiteral("either"), QStringLiteral("surely")},
                {QStringLiteral("remaining"), QStringLiteral("remaining"), QStringLiteral("leftover")},
                {QStringLiteral("Otherwise"), QStringLiteral("error"), QStringLiteral("warning")}};
  qint64 previous = QFileInfo(manual).size();
  for (const auto& round : rounds) {
    SCOPED_TRACE(round.replacement.toStdString());
    openWindow(manual);
    QTest::keyClick(window.get(), Qt::Key_F2);
    QTextEdit* editor = selectWord(manual, round.anchor, round.word);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, round.replacement);
    QTest::qWait(50);
    QTest::keyClick(editor, Qt::Key_Escape);
    saveWithKeys();
    window.reset();

    const qint64 size = QFileInfo(manual).size();
    std::printf("%s: the file grew by %lld bytes\n", qPrintable(round.replacement), (long long)(size - previous));
    if (&round != &rounds[0]) {
      EXPECT_LE(size - previous, 4096);
    }
    previous = size;
    EXPECT_EQ(oracles::repeatedFontPrograms(manual), 0);
    EXPECT_EQ(pageText(manual).count(round.replacement), 1) << pageText(manual).toStdString();
  }
  // Two more saves in one session, in lines of the same faces.
  openWindow(manual);
  QTest::keyClick(window.get(), Qt::Key_F2);
  for (const auto& [anchor, word] : {std::pair{QStringLiteral("session:"), QStringLiteral("interactive")},
                                     std::pair{QStringLiteral("metrics."), QStringLiteral("bad")}}) {
    QTextEdit* editor = selectWord(manual, anchor, word);
    ASSERT_NE(editor, nullptr) << word.toStdString();
    QTest::keyClicks(editor, QStringLiteral("odd"));
    QTest::qWait(50);
    QTest::keyClick(editor, Qt::Key_Escape);
    saveWithKeys();
    const qint64 size = QFileInfo(manual).size();
    std::printf("a save in the same session grew the file by %lld bytes\n", (long long)(size - previous));
    EXPECT_LE(size - previous, 4096);
    previous = size;
  }
  EXPECT_EQ(oracles::repeatedFontPrograms(manual), 0);
  const QString text = pageText(manual);
  for (const QString& line : {QStringLiteral("arguments are assumed to be surely program"),
                              QStringLiteral("close any leftover interactive"), QStringLiteral("prints an warning and"),
                              QStringLiteral("To launch an odd session:"), QStringLiteral("with odd font metrics")})
    EXPECT_EQ(text.count(line), 1) << line.toStdString() << "\n" << text.toStdString();
  EXPECT_TRUE(oracles::qpdfCheckPasses(manual));
}
