// "Сохранить как / Экспорт" driven through its file dialog: text, HTML and
// per-page PNG exports read back by their own readers, and a PDF saved under
// a new name that the tab, the title and the recent list follow.
#include "../view/BlockTestData.h"
#include "ShownWindowFixture.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "export/CompressedExportDialog.h"
#include "export/ScannedExportDialog.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>


using namespace apptest;

namespace {

class SaveExportChooser : public ShownWindowTest {
 protected:
  void SetUp() override {
    ShownWindowTest::SetUp();
    path = dir.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(testsupport::writePdf(path, {{QStringLiteral("Alpha page"), false, {595, 842}},
                                             {QStringLiteral("Beta page"), false, {300, 400}}}));
    window->openFile(path);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }

  QString readText(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? QString::fromUtf8(in.readAll()) : QString();
  }

  // In edit mode, a click into the page's first line and words typed at its end.
  void typeAtEndOfFirstLine(const QString& words) {
    if (!window->editMode) QTest::keyClick(window.get(), Qt::Key_F2);
    ASSERT_TRUE(pageBlocksRead(window->view));
    const QRectF line = window->view->pdfRectToScreenRect(0, window->view->currentOcrBlocks().front().rect);
    QTest::mouseClick(window->view->viewport(), Qt::LeftButton, {}, line.center().toPoint());
    ASSERT_NE(window->view->activeTextEditor(), nullptr);
    QTest::keyClick(window->view->activeTextEditor(), Qt::Key_End);
    QTest::keyClicks(window->view->activeTextEditor(), words);
  }

  QString path;
};

TEST_F(SaveExportChooser, ExportsTextAndHtmlWithTheChosenFilter) {
  chooseFileInNextDialog(dir.filePath(QStringLiteral("notes")), QStringLiteral("Текст TXT (*.txt)"));
  window->showSaveExportDialog();
  const QString text = readText(dir.filePath(QStringLiteral("notes.txt")));
  EXPECT_TRUE(text.contains(QStringLiteral("Alpha page")));
  EXPECT_TRUE(text.contains(QStringLiteral("Beta page")));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Экспортировано: notes.txt"));

  chooseFileInNextDialog(dir.filePath(QStringLiteral("page.html")), QStringLiteral("HTML страница (*.html)"));
  window->showSaveExportDialog();
  QTextDocument html;
  html.setHtml(readText(dir.filePath(QStringLiteral("page.html"))));
  EXPECT_TRUE(html.toPlainText().contains(QStringLiteral("Alpha page")));
  EXPECT_TRUE(html.toPlainText().contains(QStringLiteral("Beta page")));
  // The suffix added to a typed name comes before the question, which names the file written.
  const auto replacing = answerNextDialog(QStringLiteral("Отмена"), QStringLiteral("Замена файла"));
  chooseFileInNextDialog(dir.filePath(QStringLiteral("page")), QStringLiteral("HTML страница (*.html)"));
  window->showSaveExportDialog();
  EXPECT_TRUE(replacing->texts.contains(QStringLiteral("«page.html»"))) << replacing->texts.toStdString();
  // A PDF saved over another existing PDF is asked about too; "Отмена" leaves it whole.
  const QString other = dir.filePath(QStringLiteral("other.pdf"));
  ASSERT_TRUE(testsupport::writePdf(other, {{QStringLiteral("Other page")}}));
  const auto overPdf = answerNextDialog(QStringLiteral("Отмена"), QStringLiteral("Замена файла"));
  chooseFileInNextDialog(other, QStringLiteral("PDF документ (*.pdf)"));
  window->showSaveExportDialog();
  EXPECT_TRUE(overPdf->shown);
  EXPECT_EQ(testsupport::pdfPageSizes(other).size(), 1);
  // The filter wins over a typed suffix: a PDF named page.html.pdf.
  chooseFileInNextDialog(dir.filePath(QStringLiteral("typed.html")), QStringLiteral("PDF документ (*.pdf)"));
  window->showSaveExportDialog();
  EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("typed.html.pdf"))));
}

TEST_F(SaveExportChooser, ExportsOnePngPerPageAtTheChosenResolution) {
  chooseFileInNextDialog(dir.filePath(QStringLiteral("shot.png")), QStringLiteral("Изображение PNG (*.png)"));
  whenModalOpens<QInputDialog>([](QInputDialog* question) {
    EXPECT_EQ(question->intValue(), 150);
    question->setIntValue(144);
    QMetaObject::invokeMethod(question, "accept", Qt::QueuedConnection);
  });
  window->showSaveExportDialog();
  EXPECT_EQ(window->statusLabel->text(),
            QStringLiteral("Экспортировано: shot.png (страницы пронумерованы: shot_N.png)"));
  QImageReader first(dir.filePath(QStringLiteral("shot_001.png")));
  QImageReader second(dir.filePath(QStringLiteral("shot_002.png")));
  EXPECT_EQ(first.format(), QByteArray("png"));
  EXPECT_EQ(first.size(), QSize(1190, 1684));  // 595 x 842 pt at 144 dpi
  EXPECT_EQ(second.size(), QSize(600, 800));
}

TEST_F(SaveExportChooser, SaveAsCarriesPendingEditsAndMovesTheTabToTheNewFile) {
  const QString copy = dir.filePath(QStringLiteral("renamed.pdf"));
  window->currentDocument->deletePage(1);  // an unsaved change
  // And a block edit still open in the view.
  window->view->setOcrBlocks(
      {blocktest::nativeBlock(QStringLiteral("Alpha beta gamma"), QRectF(60, 600, 300, 24), 14.0f)}, 0, false);
  window->view->setEditMode(true);
  window->view->activateOcrBlock(0);
  QTextEdit* editor = window->view->activeTextEditor();
  ASSERT_NE(editor, nullptr);
  editor->setFocus();
  editor->selectAll();
  QTest::keyClicks(editor, QStringLiteral("Gamma page"));
  ASSERT_TRUE(window->view->hasOcrEdits());
  chooseFileInNextDialog(copy, QStringLiteral("PDF документ (*.pdf)"));
  window->showSaveExportDialog();
  ASSERT_TRUE(QFile::exists(copy));
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), copy}), 0);
  const QStringList pages = pdfPageTexts(copy);
  ASSERT_EQ(pages.size(), 1);
  EXPECT_TRUE(pages.first().contains(QStringLiteral("Gamma page"))) << pages.first().toStdString();
  EXPECT_FALSE(window->view->hasOcrEdits());
  EXPECT_EQ(pdfPageTexts(path).size(), 2);  // the old file is as it was
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Сохранено: renamed.pdf"));
  EXPECT_EQ(window->documentTabs->tabText(0), QStringLiteral("renamed.pdf"));
  EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("renamed.pdf — ")));
  EXPECT_EQ(QSettings().value(QStringLiteral("recentFiles")).toStringList().value(0), copy);
  // Opening the new file again finds its tab instead of a second one.
  window->openFile(copy);
  EXPECT_EQ(window->documents.size(), 1u);
}

// Saved as a file another tab shows, the document closes that tab first, with the user's consent and that
// tab's own question; a tab whose file was replaced on disk asks before writing over it. "Отмена" writes nothing.
TEST_F(SaveExportChooser, AFileOpenInAnotherTabIsWrittenOnlyOnceThatTabIsClosed) {
  const QString facs = dir.filePath(QStringLiteral("facs.pdf"));
  ASSERT_TRUE(testsupport::writePdf(facs, {{"One"}, {"Two"}, {"Three"}}));
  window->openFile(facs);
  window->currentDocument->markModified();
  window->documentTabs->setCurrentIndex(0);
  const auto unsaved = answerNextDialog("Не сохранять", "Несохранённые изменения");
  for (const QString answer : {"Отмена", "Закрыть вкладку и заменить"}) {
    const auto asked = answerNextDialog(answer, "Файл открыт во вкладке");
    chooseFileInNextDialog(facs, "PDF документ (*.pdf)");
    ASSERT_TRUE(showActive(window.get(), QSize(1200, 800)));
    QTest::keySequence(window.get(), QKeySequence("Ctrl+Shift+S"));
    EXPECT_TRUE(asked->shown);
    EXPECT_EQ(testsupport::pdfPageSizes(facs).size(), answer == "Отмена" ? 3 : 2);
  }
  EXPECT_TRUE(unsaved->shown);
  // The question is about the tab behind, so it names that tab's file.
  EXPECT_TRUE(unsaved->texts.contains("Документ «facs.pdf» изменён")) << unsaved->texts.toStdString();
  EXPECT_EQ(window->documents.size(), 1u);
  ASSERT_TRUE(testsupport::writePdf(facs, {{"A"}, {"B"}, {"C"}, {"D"}}));
  window->currentDocument->markModified();
  for (const QString answer : {"Отмена", "Записать поверх"}) {
    const auto asked = answerNextDialog(answer, "Файл заменён на диске");
    ASSERT_TRUE(showActive(window.get(), QSize(1200, 800)));
    QTest::keySequence(window.get(), QKeySequence::Save);
    EXPECT_TRUE(asked->shown);
    EXPECT_EQ(testsupport::pdfPageSizes(facs).size(), answer == "Отмена" ? 4 : 2);
  }
}

// Saved under a new name from edit mode, the page's thumbnail shows the edit
// and editing goes on as after Ctrl+S: a click opens a line for typing.
TEST_F(SaveExportChooser, AfterSavingUnderANewNameTheThumbnailShowsTheEditAndEditingGoesOn) {
  const QString letter = dir.filePath(QStringLiteral("letter.pdf")), copy = dir.filePath(QStringLiteral("copy.pdf"));
  ASSERT_TRUE(testsupport::writePdf(letter, {{QStringLiteral("Dear customer, the invoice follows\nPayment is due soon")}}));
  window->openFile(letter);
  QListWidgetItem* thumbnail = window->findChild<PageThumbnailPanel*>()->item(0);
  const auto look = [thumbnail] { return thumbnail->icon().pixmap(120, 160).toImage(); };
  const auto drawn = [&look] { return look().pixel(60, 80) == 0xffffffff; };  // the page's rendering is in
  ASSERT_TRUE(QTest::qWaitFor(drawn, 5000));
  const QImage before = look();
  typeAtEndOfFirstLine(QStringLiteral(" with many more words"));
  chooseFileInNextDialog(copy, QStringLiteral("PDF документ (*.pdf)"));
  QTest::keyClick(window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(pdfPageTexts(copy).value(0).contains(QStringLiteral("invoice follows with many more words")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return drawn() && look() != before; }, 5000));
  typeAtEndOfFirstLine(QStringLiteral(" still"));
}

// The PDF kinds with dialogs of their own, chosen with keys in Russian,
// English and German, each write their own kind, never a plain copy.
TEST_F(SaveExportChooser, EachPdfKindIsWrittenByItsOwnRoadInEveryLanguage) {
  for (const QString& language : {QStringLiteral("ru"), QStringLiteral("en"), QStringLiteral("de")}) {
    applyUiLanguage(language);
    for (const int row : {1, 2}) {
      SCOPED_TRACE(QStringLiteral("%1 row %2").arg(language).arg(row).toStdString());
      window->activateDocument(0);
      const QString typed = dir.filePath(QStringLiteral("%1-%2.pdf").arg(language).arg(row));
      whenModalOpens<QFileDialog>([&](QFileDialog* chooser) {
        QTest::qWait(30);  // the language pass runs once the chooser is shown
        auto* types = chooser->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(types && name);
        for (int step = 0; step < row; ++step) QTest::keyClick(types, Qt::Key_Down);
        name->selectAll();
        QTest::keyClicks(name, typed);
        QTest::keyClick(name, Qt::Key_Return);
      });
      QString written;
      whenModalOpens([&](QWidget* modal) {
        if (auto* scanned = qobject_cast<ScannedExportDialog*>(modal)) written = scanned->readBack().outputPath;
        if (auto* compressed = qobject_cast<CompressedExportDialog*>(modal)) written = compressed->outputPathText();
        if (!written.isEmpty()) QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
        return !written.isEmpty();
      });
      window->activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
      QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Shift+S")));
      ASSERT_FALSE(written.isEmpty()) << "the kind's own dialog did not open";
      EXPECT_EQ(window->documents.front().path, path);
      if (row == 2) {
        EXPECT_EQ(written, typed);
        EXPECT_EQ(testsupport::listPdfImages(written).size(), 2);
        EXPECT_TRUE(pdfPageTexts(written).join(QString()).trimmed().isEmpty());
      } else {
        EXPECT_NE(written, typed);
        EXPECT_FALSE(QFile::exists(typed));
      }
    }
  }
  applyUiLanguage(QStringLiteral("ru"));
}

}  // namespace
