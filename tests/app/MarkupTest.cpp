// The Markup tab on turned and cropped pages: marks land on the words the user
// marked (read back by rendering with poppler), notes and free text are saved
// where they belong, and a free-text dialog never writes into another tab.
#include "EditorWindowFixture.h"
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "core/PopplerOracles.h"
#include "core/RawPdf.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDialog>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineF>
#include <QPushButton>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QToolTip>

#include <memory>
#include <tuple>

using namespace apptest;

namespace {

// A font is also chosen for an empty text object: content pdfium draws
// nothing of, which still names it.
QByteArray lines() {
  return textLine("F1", 20, 80, 700, "highlight these words") + textLine("F1", 20, 80, 600, "underline this line") +
         textLine("F1", 20, 80, 500, "strike out here") + textLine("F1", 20, 80, 400, "untouched text") +
         textLine("F1", 20, 80, 300, "one more sum") + "BT /F3 20 Tf ET\n";
}

// What poppler says on stderr while it renders every page of the file.
QString popplerWarnings(const QString& file) {
  QTemporaryDir out;
  QProcess process;
  process.start(QStringLiteral("pdftoppm"), {"-r", "20", "-png", file, out.filePath(QStringLiteral("p"))});
  if (!process.waitForStarted() || !process.waitForFinished(120000)) return QStringLiteral("<pdftoppm did not run>");
  return QString::fromUtf8(process.readAllStandardError()).trimmed();
}


// The union of poppler's boxes of the words of one line, y down from the top
// of the shown page.
QRectF lineBox(const QString& file, int page, const QStringList& words, double shownHeight) {
  QRectF box;
  for (const QString& word : words) {
    const QList<QRectF> found = oracles::wordBoxes(file, page, word, shownHeight);
    if (found.size() != 1) return {};
    const QRectF up = found.first();
    box |= QRectF(up.x(), shownHeight - up.bottom(), up.width(), up.height());
  }
  return box;
}

// Share of the pixels of a box (points at 72 dpi) tinted by the marker colour
// (0, 160, 255) over white paper.
double tintedShare(const QImage& page, const QRectF& box) {
  const QRect pixels = box.toAlignedRect().intersected(page.rect());
  int tinted = 0;
  for (int y = pixels.top(); y <= pixels.bottom(); ++y)
    for (int x = pixels.left(); x <= pixels.right(); ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.red() < 185 && c.green() > 175 && c.blue() > 230) ++tinted;
    }
  return pixels.isEmpty() ? 0.0 : double(tinted) / (pixels.width() * pixels.height());
}

class MarkupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("marks.pdf"));
    ASSERT_TRUE(writeRawPdf(path, {{lines(), {595, 842}, 90}, {lines(), {595, 842}, 0, "/CropBox [40 60 555 800]"}}));
    window = std::make_unique<RibbonWindow>(AppProduct::Editor);
    window->resize(1400, 1000);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
    window->view->setZoom(1.0);
    QTabWidget* ribbon = window->ribbon;
    for (int i = 0; i < ribbon->count(); ++i)
      if (ribbon->tabText(i) == QStringLiteral("Разметка")) ribbon->setCurrentIndex(i);
  }

  QToolButton* ribbonButton(const QString& text) {
    for (QToolButton* b : window->ribbon->currentWidget()->findChildren<QToolButton*>())
      if (b->text() == text) return b;
    return nullptr;
  }

  // Marks are red from here on, chosen as the user does: the colour dialog of
  // the marker button's context menu.
  void chooseRedMarks() {
    whenModalOpens<QColorDialog>([](QColorDialog* d) {
      d->setCurrentColor(QColor(220, 0, 0));
      d->accept();
    });
    QToolButton* marker = ribbonButton(QStringLiteral("Маркер"));
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, marker->rect().center(),
                                 marker->mapToGlobal(marker->rect().center()));
    QApplication::sendEvent(marker, &rightClick);
  }

  // Drags a region around a page-top rectangle in the view, as the user marks it.
  void markRegion(int page, const QRectF& top) {
    window->view->setCurrentPage(page);
    QApplication::processEvents();
    QWidget* viewport = window->view->viewport();
    const QRectF around = top.adjusted(-4, -4, 4, 4);
    const QPoint from = window->view->viewportPointForPageTopPoint(page, around.topLeft());
    const QPoint to = window->view->viewportPointForPageTopPoint(page, around.bottomRight());
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, (from + to) / 2);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
  }

  QTemporaryDir dir;
  QString path;
  std::unique_ptr<RibbonWindow> window;
};

}  // namespace

TEST_F(MarkupTest, MarksCoverTheMarkedWordsOnTurnedAndCroppedPages) {
  if (!testsupport::hasTool("pdftoppm")) GTEST_SKIP() << "poppler tools missing";
  QToolButton* marker = ribbonButton(QStringLiteral("Маркер"));
  ASSERT_NE(marker, nullptr);
  // The marker colour is chosen with a right click; it is no mark itself.
  whenModalOpens<QColorDialog>([](QColorDialog* d) {
    d->setCurrentColor(QColor(0, 160, 255));
    d->accept();
  });
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, marker->rect().center(),
                               marker->mapToGlobal(marker->rect().center()));
  QApplication::sendEvent(marker, &rightClick);
  EXPECT_FALSE(window->currentDocument->isModified());
  QTest::mouseClick(marker, Qt::LeftButton);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Выделите текст для разметки"));
  QTest::mouseClick(marker, Qt::LeftButton);  // pressed again: marks follow selections from here on
  EXPECT_FALSE(marker->isChecked());

  struct Mark {
    QString button;
    QString name;
    QStringList words;
    QString done;
  };
  const Mark marks[] = {{"Маркер", "Маркер", {"highlight", "these", "words"}, "Маркер добавлен"},
                        {"Подчерк.", "Подчёркивание", {"underline", "this", "line"}, "Подчёркивание добавлено"},
                        {"Зачерк.", "Зачёркивание", {"strike", "out", "here"}, "Зачёркивание добавлено"}};
  QList<std::pair<int, QRectF>> marked;
  for (int page = 0; page < 2; ++page) {
    const double shownHeight = window->currentDocument->pageSize(page).height();
    for (const Mark& m : marks) {
      SCOPED_TRACE(m.name.toStdString() + " page " + std::to_string(page));
      const QRectF box = lineBox(path, page, m.words, shownHeight);
      ASSERT_FALSE(box.isEmpty());
      markRegion(page, box);
      ASSERT_EQ(window->pendingSelectionPage, page);
      QTest::mouseClick(ribbonButton(m.button), Qt::LeftButton);
      EXPECT_EQ(window->statusLabel->text(), QStringLiteral("%1 на стр. %2").arg(m.done).arg(page + 1));
      EXPECT_EQ(window->pendingSelectionPage, -1);  // every mark needs a new selection
      // Underline and strike-out draw lines, looked at in their own test.
      if (m.button == QStringLiteral("Маркер")) marked.append({page, box});
    }
  }
  const QString saved = dir.filePath(QStringLiteral("saved.pdf"));
  ASSERT_TRUE(window->currentDocument->saveAs(saved));
  ASSERT_TRUE(oracles::qpdfCheckPasses(saved));
  for (int page = 0; page < 2; ++page) {
    SCOPED_TRACE(page);
    const QImage image = oracles::renderWithPoppler(saved, page, 72);
    const double shownHeight = window->currentDocument->pageSize(page).height();
    ASSERT_NEAR(image.height(), shownHeight, 1.5);
    for (const auto& [markedPage, box] : marked) {
      if (markedPage == page) {
        EXPECT_GT(tintedShare(image, box), 0.5);
      }
    }
    // Words nobody marked stay on white paper.
    EXPECT_LT(tintedShare(image, lineBox(saved, page, {"untouched", "text"}, shownHeight)), 0.01);
  }
}

TEST_F(MarkupTest, NoteAndFreeTextAreSavedAndReadBack) {
  if (!testsupport::hasTool("qpdf") || !testsupport::hasTool("pdftotext")) GTEST_SKIP() << "oracles missing";
  // A note on the turned page, where the user clicks.
  window->view->setCurrentPage(0);
  whenModalOpens<QInputDialog>([](QInputDialog* d) {
    d->setTextValue(QStringLiteral("Проверить сумму"));
    d->accept();
  });
  QTest::mouseClick(ribbonButton(QStringLiteral("Заметка")), Qt::LeftButton);
  QApplication::processEvents();
  QTest::mouseClick(window->view->viewport(), Qt::LeftButton, {},
                    window->view->viewportPointForPageTopPoint(0, QPointF(300, 300)));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Заметка добавлена на стр. 1"));

  // Free text into a region marked on the cropped page.
  const QRectF region(120, 200, 300, 40);
  markRegion(1, region.adjusted(4, 4, -4, -4));
  QDialog* dialog = dialogOpenedBy(
      window.get(), [this] { QTest::mouseClick(ribbonButton(QStringLiteral("Текст")), Qt::LeftButton); });
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Текстовая аннотация"));
  QTest::keyClicks(dialog->findChild<QTextEdit*>(), QStringLiteral("Freetext placed"));
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == QStringLiteral("Вставить")) QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Текст добавлен на стр. 2"));

  const QString saved = dir.filePath(QStringLiteral("annotated.pdf"));
  ASSERT_TRUE(window->currentDocument->saveAs(saved));
  ASSERT_TRUE(oracles::qpdfCheckPasses(saved));
  EXPECT_EQ(popplerWarnings(saved), QString());
  QByteArray json;
  ASSERT_EQ(testsupport::runTool("qpdf", {"--json", "--json-key=qpdf", saved}, &json), 0);
  int notes = 0;
  const QJsonObject objects =
      QJsonDocument::fromJson(json).object().value("qpdf").toArray().at(1).toObject();
  for (const QJsonValue& value : objects) {
    const QJsonObject dict = value.toObject().value("value").toObject();
    if (dict.value("/Subtype").toString() != QStringLiteral("/Text")) continue;
    ++notes;
    EXPECT_EQ(dict.value("/Contents").toString(), QStringLiteral("u:Проверить сумму"));
    EXPECT_EQ(dict.value("/T").toString(), QStringLiteral("u:User"));
  }
  EXPECT_EQ(notes, 1);

  // The text sits inside the marked region of the cropped page, as poppler sees it.
  const double shownHeight = window->currentDocument->pageSize(1).height();
  const QList<QRectF> placed = oracles::wordBoxes(saved, 1, QStringLiteral("Freetext"), shownHeight);
  ASSERT_EQ(placed.size(), 1);
  const QRectF top(placed[0].x(), shownHeight - placed[0].bottom(), placed[0].width(), placed[0].height());
  EXPECT_TRUE(region.adjusted(-2, -2, 2, 2).contains(top)) << top.x() << "," << top.y();
}

TEST_F(MarkupTest, FreeTextDialogOfAClosedTabWritesNothing) {
  const QString other = dir.filePath(QStringLiteral("other.pdf"));
  ASSERT_TRUE(testsupport::writePdf(other, {{QStringLiteral("Other document")}}));
  window->openFile(other);
  window->activateDocument(0);
  QDialog* dialog = dialogOpenedBy(
      window.get(), [this] { QTest::mouseClick(ribbonButton(QStringLiteral("Текст")), Qt::LeftButton); });
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Текстовая аннотация"));
  ASSERT_TRUE(window->closeDocumentAt(0));
  ASSERT_EQ(window->documents.size(), 1u);
  QTest::keyClicks(dialog->findChild<QTextEdit*>(), QStringLiteral("lost words"));
  for (QPushButton* b : dialog->findChildren<QPushButton*>())
    if (b->text() == QStringLiteral("Вставить")) QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_TRUE(window->statusLabel->text().contains(QStringLiteral("закрыт")));
  EXPECT_FALSE(window->currentDocument->isModified());
}

// A mark changes the page: a block edit still pending in the view is written
// into the page first, never lost under the mark.
TEST_F(EditorWindowTest, MarkWritesPendingBlockEditsFirst) {
  if (!testsupport::hasTool("pdftotext")) GTEST_SKIP() << "pdftotext missing";
  QTextEdit* editor = openEditor();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, QStringLiteral("Rewritten line"));
  ASSERT_TRUE(window->view->hasOcrEdits());
  window->pendingSelectionPage = 0;
  window->pendingSelectionRect = QRectF(60, 100, 200, 30);
  QTabWidget* ribbon = window->ribbon;
  for (int i = 0; i < ribbon->count(); ++i)
    if (ribbon->tabText(i) == QStringLiteral("Разметка")) ribbon->setCurrentIndex(i);
  for (QToolButton* b : ribbon->currentWidget()->findChildren<QToolButton*>())
    if (b->text() == QStringLiteral("Маркер")) QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Маркер добавлен на стр. 1"));
  EXPECT_FALSE(window->view->hasOcrEdits());
  const QString saved = dir.filePath(QStringLiteral("edited-and-marked.pdf"));
  ASSERT_TRUE(window->currentDocument->saveAs(saved));
  EXPECT_TRUE(oracles::pageText(saved, 0).contains(QStringLiteral("Rewritten line")));
}

namespace {

// Rows of the page image (72 dpi, y down) in which most pixels across the
// box's width are the mark colour: pure red ink.
QList<int> redRows(const QImage& page, const QRectF& box, double from, double to) {
  QList<int> rows;
  const int left = int(box.left()) + 1;
  const int right = int(box.right()) - 1;
  for (int y = std::max(0, int(from)); y <= std::min(page.height() - 1, int(to)); ++y) {
    int red = 0;
    for (int x = left; x <= right; ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.red() > 150 && c.red() - c.green() > 60 && c.red() - c.blue() > 60) ++red;
    }
    if (red > (right - left) / 2) rows.append(y);
  }
  return rows;
}

}  // namespace

// Underline and strike-out are lines in the chosen colour, under and through
// the marked words as poppler boxes them; a note sits where the user clicked
// and tells its text when pointed at; every saved page names only resources
// it has.
TEST_F(MarkupTest, LinesUnderAndThroughWordsNotesWhereClickedPagesValid) {
  if (!testsupport::hasTool("pdftoppm") || !testsupport::hasTool("qpdf")) GTEST_SKIP() << "oracles missing";
  chooseRedMarks();

  // Page 2 is upright with a crop box; page 1 turned. Both get every kind.
  const double height = window->currentDocument->pageSize(1).height();
  const QRectF under = lineBox(path, 1, {"underline", "this", "line"}, height);
  const QRectF strike = lineBox(path, 1, {"strike", "out", "here"}, height);
  const QRectF high = lineBox(path, 1, {"highlight", "these", "words"}, height);
  ASSERT_FALSE(under.isEmpty());
  ASSERT_FALSE(strike.isEmpty());
  for (int page = 0; page < 2; ++page) {
    const double shownHeight = window->currentDocument->pageSize(page).height();
    const std::pair<const char*, QStringList> marks[] = {{"Маркер", {"highlight", "these", "words"}},
                                                         {"Подчерк.", {"underline", "this", "line"}},
                                                         {"Зачерк.", {"strike", "out", "here"}}};
    for (const auto& [button, words] : marks) {
      markRegion(page, lineBox(path, page, words, shownHeight));
      QTest::mouseClick(ribbonButton(QString::fromUtf8(button)), Qt::LeftButton);
      ASSERT_EQ(window->pendingSelectionPage, -1) << button << " on page " << page + 1;
    }
  }

  // Two notes on page 2, each placed by a click after "Заметка".
  const QPointF clicks[] = {{300, 200}, {420, 260}};
  window->view->setCurrentPage(1);
  QApplication::processEvents();
  for (const QPointF& click : clicks) {
    QTest::mouseClick(ribbonButton(QStringLiteral("Заметка")), Qt::LeftButton);
    whenModalOpens<QInputDialog>([click](QInputDialog* d) {
      d->setTextValue(QStringLiteral("Note at %1 <b>x</b>").arg(click.x()));
      d->accept();
    });
    QTest::mouseClick(window->view->viewport(), Qt::LeftButton, {},
                      window->view->viewportPointForPageTopPoint(1, click));
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Заметка добавлена на стр. 2"));
  }
  // Pointing at the first note shows its words.
  const QPoint pointed = window->view->viewportPointForPageTopPoint(1, clicks[0]);
  QHelpEvent help(QEvent::ToolTip, pointed, window->view->viewport()->mapToGlobal(pointed));
  QApplication::sendEvent(window->view->viewport(), &help);
  // The words as typed, markup included: what the tip shows once Qt reads it.
  QTextDocument shown;
  shown.setHtml(QToolTip::text());
  EXPECT_TRUE(shown.toPlainText().contains(QStringLiteral("Note at 300 <b>x</b>"))) << QToolTip::text().toStdString();

  const QString saved = dir.filePath(QStringLiteral("lines.pdf"));
  ASSERT_TRUE(window->currentDocument->saveAs(saved));
  EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
  EXPECT_EQ(popplerWarnings(saved), QString());
  // Marked again after saving in place, and saved again: still valid.
  markRegion(1, lineBox(path, 1, {"untouched", "text"}, height));
  QTest::mouseClick(ribbonButton(QStringLiteral("Маркер")), Qt::LeftButton);
  markRegion(0, lineBox(path, 0, {"untouched", "text"}, window->currentDocument->pageSize(0).height()));
  QTest::mouseClick(ribbonButton(QStringLiteral("Подчерк.")), Qt::LeftButton);
  ASSERT_TRUE(window->currentDocument->save(saved));
  EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
  EXPECT_EQ(popplerWarnings(saved), QString());

  // The words' boxes measure from the page's top, as the image: at 72 dpi
  // one pixel per point.
  const QImage image = oracles::renderWithPoppler(saved, 1, 72);
  const QRectF& underTop = under;
  const QRectF& strikeTop = strike;
  const QList<int> underRows = redRows(image, underTop, underTop.top() - 4, underTop.bottom() + 8);
  ASSERT_FALSE(underRows.isEmpty());
  for (int y : underRows) {
    EXPECT_GT(y, underTop.top() + 0.7 * underTop.height()) << "underline row " << y;
    EXPECT_LT(y, underTop.bottom() + 0.3 * underTop.height()) << "underline row " << y;
  }
  const QList<int> strikeRows = redRows(image, strikeTop, strikeTop.top() - 4, strikeTop.bottom() + 8);
  ASSERT_FALSE(strikeRows.isEmpty());
  for (int y : strikeRows) {
    EXPECT_GT(y, strikeTop.top() + 0.25 * strikeTop.height()) << "strike-out row " << y;
    EXPECT_LT(y, strikeTop.top() + 0.75 * strikeTop.height()) << "strike-out row " << y;
  }
  // Lines, not tinted boxes: a few rows each, while the highlight still tints its box.
  EXPECT_LE(underRows.size(), 4);
  EXPECT_LE(strikeRows.size(), 4);
  EXPECT_GT(redRows(image, high, high.top() + 2, high.bottom() - 2).size(), high.height() / 2);

  // The notes' /Rect hold the clicked points, in user space (crop box at 40, 60).
  QByteArray json;
  ASSERT_EQ(testsupport::runTool("qpdf", {"--json", "--json-key=qpdf", saved}, &json), 0);
  const QJsonObject objects = QJsonDocument::fromJson(json).object().value("qpdf").toArray().at(1).toObject();
  QList<QRectF> rects;
  for (const QJsonValue& value : objects) {
    const QJsonObject dict = value.toObject().value("value").toObject();
    if (dict.value("/Subtype").toString() != QStringLiteral("/Text")) continue;
    const QJsonArray r = dict.value("/Rect").toArray();
    rects.append(QRectF(QPointF(r[0].toDouble(), r[1].toDouble()), QPointF(r[2].toDouble(), r[3].toDouble())));
  }
  ASSERT_EQ(rects.size(), 2);
  for (const QPointF& click : clicks) {
    const QPointF user(click.x() + 40, 60 + height - click.y());
    EXPECT_TRUE(rects[0].contains(user) || rects[1].contains(user)) << user.x() << "," << user.y();
  }
  EXPECT_FALSE(rects[0].intersects(rects[1]));  // the second note does not cover the first
}

namespace {

// Where the red mark colour shows (72 dpi, y down) within an area of the page.
QRect redExtent(const QImage& page, const QRectF& area) {
  QRect found;
  const QRect pixels = area.toAlignedRect().intersected(page.rect());
  for (int y = pixels.top(); y <= pixels.bottom(); ++y)
    for (int x = pixels.left(); x <= pixels.right(); ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.red() > 150 && c.red() - c.green() > 60 && c.red() - c.blue() > 60) found |= QRect(x, y, 1, 1);
    }
  return found;
}

void dragAcross(PdfView* view, int page, QPointF from, QPointF to) {
  const QPoint a = view->viewportPointForPageTopPoint(page, from), b = view->viewportPointForPageTopPoint(page, to);
  QTest::mousePress(view->viewport(), Qt::LeftButton, {}, a);
  QTest::mouseMove(view->viewport(), (a + b) / 2);
  QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, b);
}

}  // namespace

// A drag along a line from its first letter to its last selects its text, on
// a page turned by /Rotate 90 too, where the line runs down the screen; on the
// upright page the drags run in edit mode with the mark's button chosen first
// (it marks the text, not the blocks). Each mark then runs from the first
// selected letter to the last, as poppler boxes the words, and a highlight
// covers the words' whole height, down to the font's descent under letters
// that have none. A region drawn over no text is marked as drawn.
TEST_F(MarkupTest, DragAlongALineMarksItsLettersFromFirstToLast) {
  if (!testsupport::hasTool("pdftoppm") || !testsupport::hasTool("pdftotext")) GTEST_SKIP() << "poppler missing";
  chooseRedMarks();
  const std::pair<const char*, QStringList> marks[] = {{"Маркер", {"highlight", "these", "words"}},
                                                       {"Подчерк.", {"underline", "this", "line"}},
                                                       {"Зачерк.", {"strike", "out", "here"}},
                                                       {"Маркер", {"one", "more", "sum"}}};
  QWidget* viewport = window->view->viewport();
  for (int page : {1, 0}) {
    const bool turned = page == 0;
    window->view->setCurrentPage(page);
    QApplication::setActiveWindow(window.get());
    QTest::keyClick(window.get(), Qt::Key_F2);  // on for the upright page, off again for the turned one
    ASSERT_EQ(window->view->isEditMode(), !turned);
    for (const auto& [button, words] : marks) {
      SCOPED_TRACE(std::string(button) + " page " + std::to_string(page + 1));
      const QRectF box = lineBox(path, page, words, window->currentDocument->pageSize(page).height());
      QToolButton* mark = ribbonButton(QString::fromUtf8(button));
      if (!turned) QTest::mouseClick(mark, Qt::LeftButton);  // chosen
      // Pressed on the first letter past its middle, released on the last one
      // before its middle: both letters are still selected, and marked.
      const QPoint from = window->view->viewportPointForPageTopPoint(
          page, turned ? QPointF(box.center().x(), box.top() + 7.0) : QPointF(box.left() + 7.0, box.center().y()));
      const QPoint to = window->view->viewportPointForPageTopPoint(
          page, turned ? QPointF(box.center().x(), box.bottom() - 7.0) : QPointF(box.right() - 7.0, box.center().y()));
      QTest::mousePress(viewport, Qt::LeftButton, {}, from);
      QTest::mouseMove(viewport, (from + to) / 2);
      QTest::mouseMove(viewport, to);
      QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
      EXPECT_TRUE(!turned || QApplication::clipboard()->text() == words.join(QLatin1Char(' '))) << "copied";
      QTest::mouseClick(mark, Qt::LeftButton);  // marks the selection, or lets the chosen mark go
      EXPECT_FALSE(mark->isChecked());
      EXPECT_TRUE(window->statusLabel->text().endsWith(QStringLiteral("на стр. %1").arg(page + 1)));
      EXPECT_FALSE(window->view->hasOcrEdits());  // no block moved or resized
    }
  }
  const QRectF blank(100, 520, 200, 60);
  markRegion(1, blank);
  QTest::mouseClick(ribbonButton(QStringLiteral("Маркер")), Qt::LeftButton);
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Маркер добавлен на стр. 2"));

  const QString saved = dir.filePath(QStringLiteral("level.pdf"));
  ASSERT_TRUE(window->currentDocument->saveAs(saved));
  for (int page : {1, 0}) {
    const bool turned = page == 0;
    const QImage image = oracles::renderWithPoppler(saved, page, 72);
    for (const auto& [button, words] : marks) {
      SCOPED_TRACE(std::string(button) + " " + words.first().toStdString() + " page " + std::to_string(page + 1));
      const QRectF box = lineBox(path, page, words, window->currentDocument->pageSize(page).height());
      const QRect ink = redExtent(image, turned ? box.adjusted(-8, -20, 8, 20) : box.adjusted(-20, -8, 20, 8));
      ASSERT_FALSE(ink.isEmpty());
      // Along the text from the first letter to the last; a highlight across
      // it over the letters' whole height.
      EXPECT_NEAR(turned ? ink.top() : ink.left(), turned ? box.top() : box.left(), 2.0);
      EXPECT_NEAR(turned ? ink.bottom() + 1 : ink.right() + 1, turned ? box.bottom() : box.right(), 2.0);
      if (QString::fromUtf8(button) != QStringLiteral("Маркер")) continue;
      EXPECT_LE(turned ? ink.left() : ink.top(), (turned ? box.left() : box.top()) + 2.0);
      EXPECT_GE(turned ? ink.right() + 1 : ink.bottom() + 1, (turned ? box.right() : box.bottom()) - 2.0);
    }
  }
  const QRect drawn = redExtent(oracles::renderWithPoppler(saved, 1, 72), blank.adjusted(-10, -10, 10, 10));
  EXPECT_GT(drawn.width(), blank.width() - 2);
  EXPECT_GT(drawn.height(), blank.height() - 2);
}

// Commands the tab does not carry yet are greyed out and say so.
TEST_F(MarkupTest, CommandsWithoutActionAreDisabledAndSaySo) {
  for (const char* text : {"Область", "Удалить", "Права", "Редакция", "Проверить"}) {
    SCOPED_TRACE(text);
    QToolButton* button = ribbonButton(QString::fromUtf8(text));
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(button->toolTip().contains(QStringLiteral("Команда пока недоступна")));
  }
  for (const char* text : {"Заметка", "Маркер", "Подчерк.", "Зачерк.", "Найти", "Пароль", "Свойства"})
    EXPECT_TRUE(ribbonButton(QString::fromUtf8(text))->isEnabled()) << text;
}


// Letters are not equally wide: a drag copies from the letter under the press
// to the one under the release, where poppler places the words. A chosen mark
// is let go by its button (after a drag that marked nothing too), by Escape
// and by another tab, where it marks nothing; a level drag begun beside a line
// marks the letters it crosses, and Undo takes that back in reading mode.
TEST_F(MarkupTest, DragsCopyWhatTheyShowAndAChosenMarkIsLetGoAndUndone) {
  if (!testsupport::hasTool("pdftoppm") || !testsupport::hasTool("qpdf")) GTEST_SKIP() << "oracles missing";
  const double height = window->currentDocument->pageSize(1).height();
  const QRectF these = lineBox(path, 1, {"these"}, height), words = lineBox(path, 1, {"words"}, height);
  chooseRedMarks();
  QApplication::setActiveWindow(window.get());
  const QRectF box = lineBox(path, 1, {"untouched", "text"}, height);
  QToolButton* marker = ribbonButton(QStringLiteral("Маркер"));
  QTest::mouseClick(marker, Qt::LeftButton);
  dragAcross(window->view, 1, {box.left() - 6, box.center().y()}, box.center());
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Маркер добавлен на стр. 2"));
  dragAcross(window->view, 1, {box.left(), box.center().y() + 50}, {box.right(), box.center().y() + 50});
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Выделите текст для разметки"));
  QTest::mouseClick(marker, Qt::LeftButton);
  EXPECT_FALSE(marker->isChecked());
  QToolButton* underline = ribbonButton(QStringLiteral("Подчерк."));
  QTest::mouseClick(underline, Qt::LeftButton);
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_FALSE(underline->isChecked() || window->view->markupToolChosen());
  QTest::mouseClick(underline, Qt::LeftButton);
  const QString other = dir.filePath(QStringLiteral("other.pdf")), undone = dir.filePath(QStringLiteral("undone.pdf"));
  ASSERT_TRUE(writeRawPdf(other, {{lines()}}));
  window->openFile(other);
  EXPECT_FALSE(underline->isChecked());
  markRegion(0, lineBox(other, 0, {"strike", "out", "here"}, 842));
  EXPECT_FALSE(window->currentDocument->isModified());
  window->activateDocument(0);
  QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
  ASSERT_TRUE(window->currentDocument->saveAs(undone));
  EXPECT_TRUE(oracles::qpdfCheckPasses(undone));
  EXPECT_TRUE(redExtent(oracles::renderWithPoppler(undone, 1, 72), box.adjusted(-20, -8, 20, 8)).isEmpty());
  window->view->setCurrentPage(1);  // "h" fills 11-34 % of "these", "o" 27-48 % of "words"
  dragAcross(window->view, 1, {these.left() + 0.3 * these.width(), these.center().y()},
             {words.left() + 0.38 * words.width(), words.center().y()});
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("hese wo"));
}

// A level drag begun a few points before a line's first letter marks it on
// pages turned every way; Ctrl+Z takes back the newest mark first.
TEST_F(MarkupTest, ALevelDragBegunBeforeALineMarksItOnEveryTurnAndUndoTakesTheNewest) {
  const QString file = dir.filePath(QStringLiteral("turned.pdf"));
  ASSERT_TRUE(writeRawPdf(file, {{lines(), {595, 842}, 90}, {lines(), {595, 842}, 180}, {lines(), {595, 842}, 270}}));
  window->openFile(file);
  QApplication::setActiveWindow(window.get());
  QTest::mouseClick(ribbonButton(QStringLiteral("Маркер")), Qt::LeftButton);
  for (int page = 0; page < 3; ++page) {
    const QRectF box = lineBox(file, page, {"untouched", "text"}, window->currentDocument->pageSize(page).height());
    const QPointF c = box.center(), start[] = {{c.x(), box.top()}, {box.right(), c.y()}, {c.x(), box.bottom()}};
    window->view->setCurrentPage(page);
    dragAcross(window->view, page, start[page] - 6 * (c - start[page]) / QLineF(start[page], c).length(), c);
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Маркер добавлен на стр. %1").arg(page + 1));
  }
  for (int page : {3, 2, 1}) {
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Разметка на стр. %1 отменена").arg(page));
  }
}

// Highlights, an ink drawing and the program's own marks stay see-through in
// edit mode: no picture block is cut from them, and a click on a word under
// one opens that word's text block.
TEST_F(MarkupTest, MarksAndAnnotationsLeaveTheWordsUnderThemEditable) {
  const QString file = dir.filePath(QStringLiteral("annotated.pdf"));
  ASSERT_TRUE(writeRawPdf(file, {{lines(), {595, 842}, 0,
      "/Annots [<< /Subtype /Highlight /Rect [76 694 300 720] /QuadPoints [76 720 300 720 76 694 300 694] /CA 0.4"
      " /C [0 0.8 0] >> << /Subtype /Ink /Rect [70 590 300 630] /C [0.9 0 0] /InkList [[80 598 150 626 220 594 290 622]] >>]"}}));
  window->openFile(file);
  markRegion(0, lineBox(file, 0, {"strike", "out", "here"}, 842));
  QTest::mouseClick(ribbonButton(QStringLiteral("Маркер")), Qt::LeftButton);
  QApplication::setActiveWindow(window.get());
  QTest::keyClick(window.get(), Qt::Key_F2);
  ASSERT_TRUE(pageBlocksRead(window->view));
  for (const TextBlock& block : window->view->currentOcrBlocks()) EXPECT_FALSE(block.isImage);
  QTest::mouseClick(window->view->viewport(), Qt::LeftButton, {},
                    window->view->viewportPointForPageTopPoint(0, lineBox(file, 0, {"highlight"}, 842).center()));
  const int active = window->view->activeOcrBlockIndex();
  EXPECT_EQ(active >= 0 ? window->view->currentOcrBlocks()[size_t(active)].text : QString(), "highlight these words");
}
