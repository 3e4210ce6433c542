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
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QDialog>
#include <QInputDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolButton>

#include <memory>

using namespace apptest;

namespace {

QByteArray lines() {
  return textLine("F1", 20, 80, 700, "highlight these words") + textLine("F1", 20, 80, 600, "underline this line") +
         textLine("F1", 20, 80, 500, "strike out here") + textLine("F1", 20, 80, 400, "untouched text");
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

  struct Mark {
    QString button;
    QString name;
    QStringList words;
  };
  const Mark marks[] = {{"Маркер", "Маркер", {"highlight", "these", "words"}},
                        {"Подчерк.", "Подчёркивание", {"underline", "this", "line"}},
                        {"Зачерк.", "Зачёркивание", {"strike", "out", "here"}}};
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
      EXPECT_EQ(window->statusLabel->text(), QStringLiteral("%1 добавлен на стр. %2").arg(m.name).arg(page + 1));
      EXPECT_EQ(window->pendingSelectionPage, -1);  // every mark needs a new selection
      marked.append({page, box});
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
  // A note on the turned page, at its centre.
  window->view->setCurrentPage(0);
  whenModalOpens<QInputDialog>([](QInputDialog* d) {
    d->setTextValue(QStringLiteral("Проверить сумму"));
    d->accept();
  });
  QTest::mouseClick(ribbonButton(QStringLiteral("Заметка")), Qt::LeftButton);
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
