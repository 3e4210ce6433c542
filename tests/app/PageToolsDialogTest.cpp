// The page tools dialog driven by clicks: merging real PDFs, extracting page
// lists with and without deletion, inserting another file's pages. pdfinfo,
// pdftotext (one marker per page) and qpdf --check judge the files.
#include "ShownWindowFixture.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace apptest;

namespace {

QList<testsupport::PageSpec> markedPages(const QString& prefix, int count) {
  QList<testsupport::PageSpec> pages;
  for (int i = 1; i <= count; ++i) pages.append({QStringLiteral("%1%2").arg(prefix).arg(i), false, {595, 842}});
  return pages;
}

QStringList markers(const QString& prefix, const QList<int>& numbers) {
  QStringList result;
  for (int n : numbers) result << QStringLiteral("%1%2").arg(prefix).arg(n);
  return result;
}

class PageToolsDialog : public ShownWindowTest {
 protected:
  void SetUp() override {
    ShownWindowTest::SetUp();
    document = pdf("doc.pdf", "D", 6);
    window->openFile(document);
    ASSERT_TRUE(window->currentDocument->isOpen());
  }

  QString pdf(const char* name, const QString& prefix, int pages) {
    const QString path = dir.filePath(QString::fromUtf8(name));
    EXPECT_TRUE(testsupport::writePdf(path, markedPages(prefix, pages)));
    return path;
  }

  QDialog* openTools(const QList<QString>& files = {}) {
    window->showPageToolsDialog(files, false);
    for (QDialog* dialog : window->findChildren<QDialog*>())
      if (dialog->windowTitle() == QStringLiteral("Операции со страницами") && dialog->isVisible()) return dialog;
    return nullptr;
  }

  // The open document's pages as pdftotext reads a saved copy.
  QStringList documentTexts() {
    const QString copy = dir.filePath(QStringLiteral("copy-%1.pdf").arg(++copies));
    if (!window->currentDocument->saveCopy(copy)) return {};
    return pdfPageTexts(copy);
  }

  static bool qpdfAccepts(const QString& path) {
    return testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), path}) == 0;
  }

  void extract(const QString& pages, bool deleteAfter, const QString& output) {
    QDialog* dialog = openTools();
    ASSERT_NE(dialog, nullptr);
    QPointer<QDialog> alive(dialog);
    dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
    auto* field = dialog->findChild<QTabWidget*>()->widget(1)->findChild<QLineEdit*>();
    EXPECT_EQ(field->text(), QStringLiteral("1-%1").arg(window->currentDocument->pageCount()));
    field->clear();
    QTest::keyClicks(field, pages);
    if (deleteAfter) {
      for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
        if (box->text() == QStringLiteral("Удалить страницы после извлечения")) QTest::keyClick(box, Qt::Key_Space);
    }
    chooseFileInNextDialog(output);
    QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(!alive || !alive->isVisible());
  }

  QString document;
  int copies = 0;
};

TEST_F(PageToolsDialog, MergesThreePdfsInListOrderAndOpensTheResult) {
  const QString a = pdf("a.pdf", "A", 2);
  const QString b = pdf("b.pdf", "B", 3);
  const QString c = pdf("c.pdf", "C", 1);
  QDialog* dialog = openTools({a, b});
  ASSERT_NE(dialog, nullptr);
  auto* list = dialog->findChild<QListWidget*>();
  EXPECT_EQ(dialog->findChild<QTabWidget*>()->currentIndex(), 2);
  // The third file through the dialog's own button; adding a file twice keeps one entry.
  chooseFileInNextDialog(c);
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Добавить PDF")), Qt::LeftButton);
  chooseFileInNextDialog(a);
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Добавить PDF")), Qt::LeftButton);
  ASSERT_EQ(list->count(), 3);
  // c moves up before b.
  list->setCurrentRow(2);
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("↑ Вверх")), Qt::LeftButton);
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("c.pdf"));

  const QString output = dir.filePath(QStringLiteral("joined.pdf"));
  chooseFileInNextDialog(output);
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);
  ASSERT_TRUE(QFile::exists(output));
  EXPECT_TRUE(qpdfAccepts(output));
  EXPECT_EQ(pdfPageTexts(output), markers("A", {1, 2}) + markers("C", {1}) + markers("B", {1, 2, 3}));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Объединено 6 стр. → joined.pdf"));
  // The result opens in a tab of its own; the document stays as it was.
  ASSERT_EQ(window->documents.size(), 2u);
  EXPECT_EQ(window->currentDocument->filePath(), output);
  EXPECT_FALSE(window->documents.front().document->isModified());
}

TEST_F(PageToolsDialog, MergeOfOneFileIsRefused) {
  QDialog* dialog = openTools({pdf("only.pdf", "O", 1)});
  ASSERT_NE(dialog, nullptr);
  auto seen = answerNextDialog(QString(), QStringLiteral("Объединение"));
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);
  EXPECT_TRUE(seen->texts.contains(QStringLiteral("Добавьте PDF для объединения")));
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(PageToolsDialog, ExtractsRangesAndDeletesExactlyTheNamedPages) {
  const QString first = dir.filePath(QStringLiteral("first.pdf"));
  extract(QStringLiteral("1-3,5"), false, first);
  EXPECT_TRUE(qpdfAccepts(first));
  EXPECT_EQ(pdfPageTexts(first), markers("D", {1, 2, 3, 5}));
  EXPECT_EQ(documentTexts(), markers("D", {1, 2, 3, 4, 5, 6}));
  EXPECT_FALSE(window->currentDocument->isModified());

  // Unsorted with repeats: the file holds the list as written, and each named
  // page leaves the document once; page 4 and 6 stay.
  const QString second = dir.filePath(QStringLiteral("second"));
  extract(QStringLiteral("5, 2, 5, 1, 3, 2"), true, second);
  EXPECT_TRUE(qpdfAccepts(second + QStringLiteral(".pdf")));
  EXPECT_EQ(pdfPageTexts(second + QStringLiteral(".pdf")), markers("D", {5, 2, 5, 1, 3, 2}));
  EXPECT_EQ(documentTexts(), markers("D", {4, 6}));
  EXPECT_TRUE(window->currentDocument->isModified());
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Извлечено 6 стр. → second.pdf"));
}

TEST_F(PageToolsDialog, ExtractionWithDeletionOfRangesKeepsTheRest) {
  const QString out = dir.filePath(QStringLiteral("cut.pdf"));
  extract(QStringLiteral("1-3,5"), true, out);
  EXPECT_EQ(pdfPageTexts(out), markers("D", {1, 2, 3, 5}));
  EXPECT_EQ(documentTexts(), markers("D", {4, 6}));
}

TEST_F(PageToolsDialog, ExtractionNeverWritesOverTheOpenDocument) {
  QDialog* dialog = openTools();
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
  // The user has already agreed to replace the file in the file dialog.
  whenModalOpens<QFileDialog>([this](QFileDialog* chooser) {
    chooser->setOption(QFileDialog::DontConfirmOverwrite);
    chooser->selectFile(document);
    QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
  });
  auto refused = answerNextDialog(QString(), QStringLiteral("Ошибка"));
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);
  EXPECT_TRUE(refused->shown);
  EXPECT_EQ(pdfPageTexts(document), markers("D", {1, 2, 3, 4, 5, 6}));
}

TEST_F(PageToolsDialog, InsertsAtTheStartTheMiddleAndTheEnd) {
  const QString insert = pdf("ins.pdf", "I", 2);
  const auto run = [&](int position) {
    QDialog* dialog = openTools();
    ASSERT_NE(dialog, nullptr);
    auto* file = dialog->findChild<QTabWidget*>()->widget(0)->findChild<QLineEdit*>();
    file->setText(insert);
    dialog->findChild<QComboBox*>()->setCurrentIndex(position);
    auto unexpected = answerNextDialog(QString());
    QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);
    EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Вставлено 2 стр. из ins.pdf"));
    EXPECT_FALSE(unexpected->shown) << unexpected->title.toStdString() << unexpected->texts.toStdString();
    unexpected->stopWaiting = true;
  };
  // "Перед текущей страницей" on page 1: the start.
  window->view->setCurrentPage(0);
  run(1);
  EXPECT_EQ(documentTexts(), markers("I", {1, 2}) + markers("D", {1, 2, 3, 4, 5, 6}));
  // "После текущей страницы" on page 4 (D2): the middle.
  window->view->setCurrentPage(3);
  run(0);
  EXPECT_EQ(documentTexts(),
            markers("I", {1, 2}) + markers("D", {1, 2}) + markers("I", {1, 2}) + markers("D", {3, 4, 5, 6}));
  // "В конец документа".
  run(2);
  EXPECT_EQ(documentTexts().mid(10), markers("I", {1, 2}));
  EXPECT_EQ(window->currentDocument->pageCount(), 12);
}

}  // namespace

TEST_F(PageToolsDialog, PagesTabReachesExtractionWhichWritesOneFilePerPageWhenAsked) {
  QTabWidget* ribbon = window->ribbon;
  for (int i = 0; i < ribbon->count(); ++i)
    if (ribbon->tabText(i) == QStringLiteral("Страницы")) ribbon->setCurrentIndex(i);
  QToolButton* extractButton = nullptr;
  for (QToolButton* button : ribbon->currentWidget()->findChildren<QToolButton*>())
    if (button->text() == QStringLiteral("Извлечение")) extractButton = button;
  ASSERT_NE(extractButton, nullptr);
  QTest::mouseClick(extractButton, Qt::LeftButton);
  QDialog* dialog = nullptr;
  for (QDialog* candidate : window->findChildren<QDialog*>())
    if (candidate->windowTitle() == QStringLiteral("Операции со страницами") && candidate->isVisible()) dialog = candidate;
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(dialog->findChild<QTabWidget*>()->currentIndex(), 1);

  auto* field = dialog->findChild<QTabWidget*>()->widget(1)->findChild<QLineEdit*>();
  field->clear();
  QTest::keyClicks(field, QStringLiteral("5, 2, 4-5"));
  for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
    if (box->text() == QStringLiteral("Сохранить каждую стр. отдельным файлом")) QTest::keyClick(box, Qt::Key_Space);
  const QString chosen = dir.filePath(QStringLiteral("parts.pdf"));
  chooseFileInNextDialog(chosen);
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);

  EXPECT_FALSE(QFile::exists(chosen));
  for (int page : {2, 4, 5}) {
    SCOPED_TRACE(page);
    const QString part = dir.filePath(QStringLiteral("parts-%1.pdf").arg(page));
    ASSERT_TRUE(QFile::exists(part));
    EXPECT_TRUE(qpdfAccepts(part));
    EXPECT_EQ(pdfPageTexts(part), markers("D", {page}));
  }
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("parts-1.pdf"))));
  EXPECT_EQ(window->statusLabel->text(), QStringLiteral("Извлечено 3 стр. в отдельные файлы: parts-2.pdf … parts-5.pdf"));
  EXPECT_FALSE(window->currentDocument->isModified());
}

TEST_F(PageToolsDialog, ExtractionWithNoDocumentOpenUsesTheGivenFileOrSaysWhy) {
  ASSERT_TRUE(window->closeDocumentAt(0));
  ASSERT_FALSE(window->currentDocument->isOpen());
  const QString source = pdf("source.pdf", "S", 4);

  // Nothing to extract from: a message, and the dialog stays.
  window->showPageToolsDialog({}, true);
  QDialog* empty = nullptr;
  for (QDialog* candidate : window->findChildren<QDialog*>())
    if (candidate->isVisible() && candidate->windowTitle() == QStringLiteral("Операции со страницами")) empty = candidate;
  ASSERT_NE(empty, nullptr);
  empty->findChild<QTabWidget*>()->setCurrentIndex(1);
  auto why = answerNextDialog(QString(), QStringLiteral("Извлечение"));
  QTest::mouseClick(buttonIn(empty, QStringLiteral("Применить")), Qt::LeftButton);
  EXPECT_TRUE(why->texts.contains(QStringLiteral("Нет открытого документа"))) << why->texts.toStdString();
  EXPECT_TRUE(empty->isVisible());
  empty->close();

  // The file manager's action names a PDF: its pages are extracted, the file is left alone.
  window->showPageToolsDialog({source, pdf("other.pdf", "O", 1)}, true);
  QDialog* dialog = nullptr;
  for (QDialog* candidate : window->findChildren<QDialog*>())
    if (candidate->isVisible() && candidate->windowTitle() == QStringLiteral("Операции со страницами")) dialog = candidate;
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QTabWidget*>()->setCurrentIndex(1);
  auto* field = dialog->findChild<QTabWidget*>()->widget(1)->findChild<QLineEdit*>();
  EXPECT_EQ(field->text(), QStringLiteral("1-4"));
  field->clear();
  QTest::keyClicks(field, QStringLiteral("3,1"));
  const QString output = dir.filePath(QStringLiteral("picked.pdf"));
  chooseFileInNextDialog(output);
  QTest::mouseClick(buttonIn(dialog, QStringLiteral("Применить")), Qt::LeftButton);
  ASSERT_TRUE(QFile::exists(output));
  EXPECT_TRUE(qpdfAccepts(output));
  EXPECT_EQ(pdfPageTexts(output), markers("S", {3, 1}));
  EXPECT_EQ(pdfPageTexts(source), markers("S", {1, 2, 3, 4}));
}
