// The search dialog on a real multi-page PDF: hit counts per option against
// pdftotext, stepping through every hit in page order with wrap-around, and
// one result list shared by every open dialog.
#include "MainWindowSearchRun.h"
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/HandWrittenPdf.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"
#include "core/RawPdf.h"
#include "ui/BusyRing.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>

using namespace apptest;

namespace {

class SearchWindow : public RibbonWindow {
 public:
  using RibbonWindow::RibbonWindow;
  using MainWindow::activeIndex;
  using MainWindow::currentSearchIndex;
  using MainWindow::documentTabs;
  using MainWindow::pageSpin;
  using MainWindow::searchBusyRing;
  using MainWindow::searchResults;
  using MainWindow::searchRun;
  using MainWindow::SearchRun;
  using MainWindow::setDarkTheme;
};

// Pixels of the rectangle far from the grey of its first pixel (its background).
int standingOut(const QImage& image, const QRect& rect) {
  int count = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      count += std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(rect.topLeft()))) > 90;
  return count;
}

// Occurrences in the text poppler extracts, counted without pdfium.
int popplerCount(const QStringList& pages, const QString& word, bool wholeWord, bool caseSensitive) {
  QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
  if (!caseSensitive) options |= QRegularExpression::CaseInsensitiveOption;
  const QString escaped = QRegularExpression::escape(word);
  const QRegularExpression expression(wholeWord ? QStringLiteral("(?<!\\w)%1(?!\\w)").arg(escaped) : escaped, options);
  int count = 0;
  for (const QString& page : pages)
    for (auto it = expression.globalMatch(page); it.hasNext(); it.next()) ++count;
  return count;
}

class SearchDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("contract.pdf"));
    ASSERT_TRUE(testsupport::writePdf(
        path, {{QStringLiteral("Договор поставки: договор и ДОГОВОР\nalpha Alpha alphabet")},
               {QStringLiteral("Ничего здесь\nbeta gamma")},
               {QStringLiteral("alpha договоры\nAlpha beta alpha")},
               {QStringLiteral("конец Договор\nalphas alpha")}}));
    window = std::make_unique<SearchWindow>(AppProduct::Editor);
    window->resize(1300, 900);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }

  QDialog* openDialog() {
    return dialogOpenedBy(window.get(), [this] { window->showSearchDialog(); });
  }

  template <typename W>
  static W* inTab(QDialog* dialog, int tab, const QString& text) {
    QWidget* page = dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"))->widget(tab);
    for (W* w : page->findChildren<W*>())
      if (w->text() == text) return w;
    return nullptr;
  }

  static QComboBox* findField(QDialog* dialog, int tab) {
    return dialog->findChild<QTabWidget*>(QStringLiteral("DialogTabs"))->widget(tab)->findChild<QComboBox*>();
  }

  // Typed key by key; QTest's own typing knows only ASCII.
  static void setQuery(QDialog* dialog, const QString& query, int tab = 0) {
    QLineEdit* edit = findField(dialog, tab)->lineEdit();
    edit->clear();
    for (QChar c : query) QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }

  // Clicked, and a search it began counted to its end.
  void click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window->searchRun; }, 60000));
  }

  QTemporaryDir dir;
  QString path;
  std::unique_ptr<SearchWindow> window;
};

}  // namespace

TEST_F(SearchDialogTest, CountsEqualWhatPopplerFindsForEveryOption) {
  if (!testsupport::hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  QByteArray out;
  ASSERT_EQ(testsupport::runTool("pdftotext", {"-enc", "UTF-8", path, "-"}, &out), 0);
  const QStringList pages = QString::fromUtf8(out).split(QLatin1Char('\f'));
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("DialogTable"));
  struct Case {
    QString word;
    bool wholeWord;
    bool caseSensitive;
  };
  const Case cases[] = {
      {"alpha", false, false}, {"alpha", true, false}, {"alpha", false, true}, {"Alpha", true, true},
      {"договор", false, false}, {"договор", true, false}, {"Договор", false, true}, {"ДОГОВОР", true, true},
      {"zeta", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word.toStdString() + (c.wholeWord ? " word" : "") + (c.caseSensitive ? " case" : ""));
    const int expected = popplerCount(pages, c.word, c.wholeWord, c.caseSensitive);
    auto* whole = inTab<QCheckBox>(dialog, 0, QStringLiteral("Только целые слова"));
    auto* matchCase = inTab<QCheckBox>(dialog, 0, QStringLiteral("Учитывать регистр"));
    if (whole->isChecked() != c.wholeWord) click(whole);
    if (matchCase->isChecked() != c.caseSensitive) click(matchCase);
    setQuery(dialog, c.word);
    click(inTab<QPushButton>(dialog, 0, QStringLiteral("Подсчитать")));
    EXPECT_EQ(table->rowCount(), expected);
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Найдено вхождений «%1»: %2").arg(c.word).arg(expected));
    // A count shows no hit.
    EXPECT_EQ(window->currentSearchIndex, -1);
  }
  EXPECT_EQ(inTab<QLabel>(dialog, 0, QStringLiteral("«zeta» — не найдено")) != nullptr, true);
}

TEST_F(SearchDialogTest, FindNextWalksEveryHitInPageOrderAndWrapsBothWays) {
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  setQuery(dialog, QStringLiteral("alpha"));
  QPushButton* next = inTab<QPushButton>(dialog, 0, QStringLiteral("Найти далее"));
  // Expected order: page by page, each page's hits in the order found.
  QList<std::pair<int, int>> expected;
  for (int page = 0; page < window->currentDocument->pageCount(); ++page) {
    const int hits = int(window->currentDocument->findTextWithOptions(page, "alpha", {}).size());
    for (int i = 0; i < hits; ++i) expected.append({page, i});
  }
  ASSERT_EQ(expected.size(), 8);
  QList<std::pair<int, int>> walked;
  for (int step = 0; step < expected.size() + 1; ++step) {
    click(next);
    walked.append({window->view->searchHitPage(), window->view->currentSearchHitIndex()});
    EXPECT_EQ(window->view->currentPageIndex(), walked.last().first);
  }
  EXPECT_EQ(walked.mid(0, expected.size()), expected);
  EXPECT_EQ(walked.last(), expected.first());  // wrapped to the first hit
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("«alpha» — стр. 1 (1/3), всего 8"));

  click(inTab<QCheckBox>(dialog, 0, QStringLiteral("Обратное направление")));
  click(next);  // backwards from the first hit: the last one
  EXPECT_EQ(std::make_pair(window->view->searchHitPage(), window->view->currentSearchHitIndex()), expected.last());
  click(next);
  EXPECT_EQ(std::make_pair(window->view->searchHitPage(), window->view->currentSearchHitIndex()),
            expected[expected.size() - 2]);

  // Turned to page 2, the reader goes on from there, not from the hit on page 4.
  click(inTab<QCheckBox>(dialog, 0, QStringLiteral("Обратное направление")));
  for (int i = 0; i < 2; ++i) QTest::keyClick(window->pageSpin, Qt::Key_Down);
  click(next);
  EXPECT_EQ(std::make_pair(window->view->searchHitPage(), window->view->currentSearchHitIndex()), expected[3]);

  // Each query typed is kept once in the field's history.
  auto* field = findField(dialog, 0);
  EXPECT_EQ(field->findText(QStringLiteral("alpha")), 0);
  EXPECT_EQ(field->count(), 1);
}

TEST_F(SearchDialogTest, TwoOpenDialogsShareOneResultList) {
  QDialog* first = openDialog();
  ASSERT_NE(first, nullptr);
  setQuery(first, QStringLiteral("договор"));
  click(inTab<QPushButton>(first, 0, QStringLiteral("Найти все в документе")));
  auto* table = first->findChild<QTableWidget*>(QStringLiteral("DialogTable"));
  ASSERT_GT(table->rowCount(), 2);
  EXPECT_EQ(window->currentSearchIndex, 0);
  // A row of the table shows its hit; the page column is one-based.
  QTableWidgetItem* third = table->item(2, 0);
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(third).center());
  EXPECT_EQ(window->currentSearchIndex, 2);
  EXPECT_EQ(table->item(2, 1)->text().toInt(), window->view->searchHitPage() + 1);

  click(inTab<QPushButton>(first, 0, QStringLiteral("Найти далее")));
  EXPECT_EQ(window->currentSearchIndex, 3);
  // The second dialog starts with the last query and continues the same list.
  QDialog* second = openDialog();
  ASSERT_NE(second, nullptr);
  auto* secondField = findField(second, 0);
  EXPECT_EQ(secondField->currentText(), QStringLiteral("договор"));
  const auto resultsBefore = window->searchResults.size();
  click(inTab<QPushButton>(second, 0, QStringLiteral("Найти далее")));
  EXPECT_EQ(window->currentSearchIndex, 4);
  EXPECT_EQ(window->searchResults.size(), resultsBefore);
  // The first dialog's next step goes on from where the second one left it.
  click(inTab<QPushButton>(first, 0, QStringLiteral("Найти далее")));
  EXPECT_EQ(window->currentSearchIndex, 5 % int(resultsBefore));
  EXPECT_TRUE(table->item(window->currentSearchIndex, 0)->isSelected());

  // Replacing works on the blocks of the page being edited: off with its
  // reason in reading mode, on after F2, where "Заменить все" replaces every
  // hit of the page, as the saved file reads.
  QTabWidget* tabs = second->findChild<QTabWidget*>(QStringLiteral("DialogTabs"));
  tabs->setCurrentIndex(1);
  QPushButton* replaceAll = inTab<QPushButton>(second, 1, QStringLiteral("Заменить все"));
  EXPECT_FALSE(replaceAll->isEnabled());
  EXPECT_TRUE(replaceAll->toolTip().contains(QStringLiteral("в режиме редактирования")));
  window->view->setCurrentPage(0);
  QApplication::setActiveWindow(window.get());
  QTest::keyClick(window.get(), Qt::Key_F2);
  setQuery(second, QStringLiteral("договор"), 1);
  tabs->widget(1)->findChildren<QComboBox*>().at(1)->setEditText(QStringLiteral("контракт"));
  click(replaceAll);
  QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(oracles::pageText(path, 0).count(QStringLiteral("контракт"), Qt::CaseInsensitive), 3);

  // Activating another document forgets the hits.
  window->openFile(path);  // the same file: activates its tab again, nothing else
  const QString other = dir.filePath(QStringLiteral("other.pdf"));
  ASSERT_TRUE(testsupport::writePdf(other, {{QStringLiteral("договор")}}));
  window->openFile(other);
  EXPECT_TRUE(window->searchResults.isEmpty());
  EXPECT_EQ(window->currentSearchIndex, -1);
}

// "На странице" numbers each page's hits from one, as poppler counts them;
// in the dark theme every row, every second one included, stays readable.
TEST_F(SearchDialogTest, PlaceOnPageCountsEachPagesHitsFromOneOnReadableRows) {
  window->setDarkTheme();
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  setQuery(dialog, QStringLiteral("alpha"));
  click(inTab<QPushButton>(dialog, 0, QStringLiteral("Найти все в документе")));
  auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("DialogTable"));
  ASSERT_NE(table, nullptr);
  QStringList expected;
  for (const QString& page : oracles::pageTexts(path))
    for (int place = 1; place <= popplerCount({page}, QStringLiteral("alpha"), false, false); ++place)
      expected << QString::number(place);
  QStringList shown;
  for (int row = 0; row < table->rowCount(); ++row) shown << table->item(row, 2)->text();
  EXPECT_EQ(shown, expected);
  ASSERT_GE(table->rowCount(), 4);
  const QImage rows = table->viewport()->grab().toImage();
  for (int i = 0; i < 4; ++i)
    EXPECT_GT(standingOut(rows, table->visualItemRect(table->item(i, 1)).adjusted(1, 1, -1, -1)), 10) << "row " << i;
}

// "Зациклить поиск" off stops at the last hit (or the first, backwards) and
// says so; the extended mode reads \xHH and \n as the characters they name,
// counted against pdftotext; searching every open tab is shown unavailable.
TEST_F(SearchDialogTest, WrapOffStopsAtTheEndsAndExtendedModeReadsEscapes) {
  if (!testsupport::hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  click(inTab<QCheckBox>(dialog, 0, QStringLiteral("Зациклить поиск")));
  setQuery(dialog, QStringLiteral("alpha"));
  QPushButton* next = inTab<QPushButton>(dialog, 0, QStringLiteral("Найти далее"));
  for (int step = 0; step < 8; ++step) click(next);
  ASSERT_EQ(window->currentSearchIndex, 7);
  const std::pair<int, int> last{window->view->searchHitPage(), window->view->currentSearchHitIndex()};
  click(next);
  EXPECT_EQ(window->currentSearchIndex, 7);
  EXPECT_EQ(std::make_pair(window->view->searchHitPage(), window->view->currentSearchHitIndex()), last);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("«alpha» — достигнут конец документа"));
  click(inTab<QCheckBox>(dialog, 0, QStringLiteral("Обратное направление")));
  for (int step = 0; step < 8; ++step) click(next);
  EXPECT_EQ(window->currentSearchIndex, 0);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("«alpha» — достигнуто начало документа"));
  click(inTab<QCheckBox>(dialog, 0, QStringLiteral("Обратное направление")));

  QByteArray out;
  ASSERT_EQ(testsupport::runTool("pdftotext", {"-enc", "UTF-8", path, "-"}, &out), 0);
  const QStringList pages = QString::fromUtf8(out).split(QLatin1Char('\f'));
  click(inTab<QRadioButton>(dialog, 0, QStringLiteral("Расширенный (\\n, \\t, \\0, \\x...)")));
  auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("DialogTable"));
  click(inTab<QCheckBox>(dialog, 0, QStringLiteral("Учитывать регистр")));
  setQuery(dialog, QStringLiteral("\\x41lpha"));
  click(inTab<QPushButton>(dialog, 0, QStringLiteral("Подсчитать")));
  EXPECT_EQ(table->rowCount(), popplerCount(pages, QStringLiteral("Alpha"), false, true));
  EXPECT_GT(table->rowCount(), 0);
  setQuery(dialog, QStringLiteral("ДОГОВОР\\nalpha"));
  click(inTab<QPushButton>(dialog, 0, QStringLiteral("Подсчитать")));
  EXPECT_EQ(table->rowCount(), popplerCount(pages, QStringLiteral("ДОГОВОР\nalpha"), false, true));
  EXPECT_EQ(table->rowCount(), 1);

  QPushButton* replaceInAll = inTab<QPushButton>(dialog, 1, QStringLiteral("Заменить во всех открытых"));
  ASSERT_NE(replaceInAll, nullptr);
  EXPECT_FALSE(replaceInAll->isEnabled());
  EXPECT_EQ(replaceInAll->toolTip(), QStringLiteral("Команда пока недоступна"));
}

// "Найти во всех открытых" lists the hits of every open tab, as many as
// pdftotext finds in each file, and a row of another tab brings it forward
// on the hit's page.
TEST_F(SearchDialogTest, FindInAllOpenListsEveryTabAndARowOpensItsTab) {
  if (!testsupport::hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  const QString other = dir.filePath(QStringLiteral("other.pdf"));
  ASSERT_TRUE(testsupport::writePdf(other, {{QStringLiteral("nothing")}, {QStringLiteral("beta alpha")},
                                            {QStringLiteral("alpha and alpha")}}));
  window->openFile(other);
  window->activateDocument(0);
  const auto count = [](const QString& file) {
    QByteArray out;
    testsupport::runTool("pdftotext", {"-enc", "UTF-8", file, "-"}, &out);
    return popplerCount(QString::fromUtf8(out).split(QLatin1Char('\f')), QStringLiteral("alpha"), false, false);
  };
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  setQuery(dialog, QStringLiteral("alpha"));
  click(inTab<QPushButton>(dialog, 0, QStringLiteral("Найти во всех открытых")));
  auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("DialogTable"));
  ASSERT_EQ(table->rowCount(), count(path) + count(other));
  const int last = table->rowCount() - 1;
  EXPECT_EQ(table->item(last, 3)->text(), QStringLiteral("other.pdf"));
  EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("contract.pdf"));
  QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(last, 0)).center());
  EXPECT_EQ(window->activeIndex, 1);
  EXPECT_EQ(window->view->searchHitPage(), 2);
  EXPECT_EQ(window->view->currentPageIndex(), 2);
  EXPECT_EQ(window->view->currentSearchHitIndex(), 1);
}

// Ctrl+F, a word and Return on the page shown find that page's first hit,
// once. On a page turned by /Rotate 90, where lines run down the screen,
// "Найти далее" walks the hits in the order poppler reads the words.
TEST_F(SearchDialogTest, ReturnFindsThePageShownsFirstHitAndTurnedPagesAreWalkedInReadingOrder) {
  if (!testsupport::hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  for (int i = 0; i < 2; ++i) QTest::keyClick(window->pageSpin, Qt::Key_Up);  // to page 3
  ASSERT_EQ(window->view->currentPageIndex(), 2);
  QDialog* dialog = dialogOpenedBy(window.get(), [this] { QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier); });
  ASSERT_NE(dialog, nullptr);
  setQuery(dialog, QStringLiteral("alpha"));
  QTest::keyClick(findField(dialog, 0)->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !window->searchRun; }));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("«alpha» — стр. 3 (1/3), всего 8"));
  dialog->close();

  QByteArray lines;
  for (int i = 0; i < 5; ++i) lines += textLine("F1", 14, 72, 760 - 30 * i, "line with marker and marker");
  const QString turned = dir.filePath(QStringLiteral("turned.pdf"));
  ASSERT_TRUE(writeRawPdf(turned, {{lines, {595, 842}, 90}}));
  window->openFile(turned);
  const QList<QRectF> read = oracles::wordBoxes(turned, 0, QStringLiteral("marker"), 595);  // shown 842 x 595
  ASSERT_EQ(read.size(), 10);
  ASSERT_NE(dialog = openDialog(), nullptr);
  setQuery(dialog, QStringLiteral("marker"));
  QTest::keyClick(findField(dialog, 0)->lineEdit(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !window->searchRun; }));
  for (int k = 0; k < read.size(); ++k) {
    const QRectF hit = window->view->searchHitRects().value(window->view->currentSearchHitIndex());
    EXPECT_TRUE(read[k].contains(hit.center())) << k;
    click(inTab<QPushButton>(dialog, 0, QStringLiteral("Найти далее")));
  }
}

// The first "Найти далее" of a new word in a long document jumps to its first
// hit, on page 10, while the rest are still being counted; the window goes
// on meanwhile: its timers tick, the busy ring spins and repaints, and
// Escape, pressed in the dialog, stops the count at once instead of closing it.
TEST_F(SearchDialogTest, LongSearchKeepsTheWindowLiveAndEscapeStopsIt) {
  QList<testsupport::PageSpec> pages;
  for (int i = 0; i < 2415; ++i)
    pages.append({QStringLiteral("Глава %1: условия договора%2").arg(i + 1).arg(i >= 9 ? " поставки" : "")});
  const QString longPath = dir.filePath(QStringLiteral("long.pdf"));
  ASSERT_TRUE(testsupport::writePdf(longPath, pages));
  window->openFile(longPath);
  QDialog* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  setQuery(dialog, QStringLiteral("поставки"));

  PaintCounter ringPaints;
  bool escapeSent = false, jumpedWhileCounting = false;
  std::shared_ptr<SearchWindow::SearchRun> run;  // kept to see how far it read
  EventLoopStall stall([&] {
    if (!window->searchRun || escapeSent) return;
    run = window->searchRun;
    jumpedWhileCounting = jumpedWhileCounting || window->view->searchHitPage() == 9;
    if (window->searchBusyRing) window->searchBusyRing->installEventFilter(&ringPaints);
    if (jumpedWhileCounting && ringPaints.paints >= 3 && window->searchBusyRing->isSpinning()) {
      escapeSent = true;
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog, Qt::Key_Escape);
    }
  });
  stall.start();
  click(inTab<QPushButton>(dialog, 0, QStringLiteral("Найти далее")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return escapeSent && !window->searchRun; }, 120000));
  stall.stop();
  EXPECT_TRUE(jumpedWhileCounting);
  EXPECT_EQ(window->view->currentPageIndex(), 9);
  EXPECT_LT(stall.longestMs(), 250) << "ms the window waited while searching and stopping";
  ASSERT_TRUE(run);
  EXPECT_LT(run->pagesDone.load(), run->pages) << "Escape left the worker reading every page";
  EXPECT_FALSE(window->searchBusyRing->isVisible());
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("«поставки» — поиск остановлен"));
  EXPECT_TRUE(dialog->isVisible());
  // Stopped, the same word searches again; a small document answers at once.
  window->openFile(path);
  click(inTab<QPushButton>(dialog, 0, QStringLiteral("Найти далее")));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("«поставки» — стр. 1 (1/1), всего 1"));

  // A count that reaches a page whose check is under way (1,500,000 fills:
  // the check runs out its 15 s bound) is stopped without waiting for that
  // check: by Escape, by a newer search, and by closing its tab.
  using enum handwritten::CostlyPage;
  const QString costly = dir.filePath(QStringLiteral("costly.pdf"));
  ASSERT_TRUE(handwritten::writeCostlyPages(costly, {Text, Text, Text, SharedSlowFills, Text, Text}));
  window->openFile(costly);
  const PdfDocument* document = window->currentDocument;
  // (or past it: once the check has ended, a count of six pages ends at once)
  const auto atSlowPage = [this] { return !window->searchRun || window->searchRun->pagesDone.load() >= 3; };
  const auto search = [&](const char* word) {
    setQuery(dialog, QString::fromLatin1(word));
    QTest::mouseClick(inTab<QPushButton>(dialog, 0, QStringLiteral("Найти далее")), Qt::LeftButton);
  };
  int step = 0;
  bool checkingAtEscape = false;
  QString statusAfterEscape;
  EventLoopStall stopping([&] {
    if (step == 0 && window->searchRun && atSlowPage()) {
      step = 1;
      checkingAtEscape = document->isPageBeingChecked(3);
      QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog, Qt::Key_Escape);
      statusAfterEscape = window->statusLabel->text();
    } else if (step == 1) {
      step = 2;
      search("here");
    } else if (step == 2 && atSlowPage()) {
      step = 3;
      search("read");
    } else if (step == 3 && atSlowPage()) {
      step = 4;
      QTest::mouseClick(window->documentTabs->tabButton(window->activeIndex, QTabBar::RightSide), Qt::LeftButton);
    }
  });
  stopping.start();
  search("still");
  ASSERT_TRUE(QTest::qWaitFor([&] { return step == 4 && !window->searchRun; }, 120000)) << step;
  stopping.stop();
  EXPECT_TRUE(checkingAtEscape) << "the count met the page after its check had ended";
  EXPECT_EQ(statusAfterEscape, QStringLiteral("«still» — поиск остановлен"));
  EXPECT_EQ(window->documentTabs->count(), 2);
  EXPECT_LT(stopping.longestMs(), 250) << "ms the window waited for a page's check while stopping a search";
  std::printf("stopping searches at a page being checked: the window waited %lld ms at most\n", stopping.longestMs());
}
