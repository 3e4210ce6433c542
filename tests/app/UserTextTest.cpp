// The user's own words reach the interface as written: a file, a sheet, a
// search or a certificate holding "%1", "%2", "&" or a word the interface
// also uses ("Отмена") is neither filled in a second time nor translated.
#include "RibbonTestWindow.h"
#include "TestSupport.h"
#include "UiLanguage.h"
#include "signature/Facsimiles.h"
#include "ui/UniqueSiblingPath.h"
#include "xlsx/XlsxImportDialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace apptest;

namespace {

class UserTextWindow : public RibbonWindow {
 public:
  using RibbonWindow::RibbonWindow;
  using MainWindow::onFindNext;
  using MainWindow::searchRun;
  using MainWindow::showSearchDialog;
  using MainWindow::showDocumentPropertiesDialog;
};

// Every label text and list line of a shown tool dialog, read on the next
// turn of the event loop (after its translation pass), then the dialog closes.
QStringList textsOfNewDialog(const std::function<void()>& open) {
  QStringList texts;
  QTimer::singleShot(0, [&texts] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<QDialog*>(top);
      if (!dialog || !dialog->isVisible()) continue;
      localizeWidgetTree(dialog);
      for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
      for (QListWidget* list : dialog->findChildren<QListWidget*>())
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
      dialog->close();
    }
  });
  open();
  QTest::qWait(50);
  return texts;
}

class UserText : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
  }
  void TearDown() override {
    QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("ru"));
    applyUiLanguage(QStringLiteral("ru"));
  }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(UserText, NamesWithPercentSignsKeepThemInProposedNames) {
  // A taken name gets a number; the name's own "%1" is not that number.
  for (const QString& name : {QStringLiteral("rep%1_объединённый.pdf"), QStringLiteral("a %2 & %1.pdf")}) {
    QFile taken(dir.filePath(name));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.close();
    const QString base = name.chopped(4);
    EXPECT_EQ(uniqueSiblingPathLikeChrome(dir.filePath(name)), dir.filePath(base + QStringLiteral(" (1).pdf")));
  }
}

TEST_F(UserText, ASearchForPercentSignsIsShownAsTyped) {
  const QString pdf = dir.filePath(QStringLiteral("rates.pdf"));
  ASSERT_TRUE(testsupport::writePdf(pdf, {{QStringLiteral("rate %1 then %2 & more"), false},
                                          {QStringLiteral("again %1 here"), false}}));
  UserTextWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.openFile(pdf);
  ASSERT_TRUE(window.currentDocument->isOpen());
  // Two hits, one per page: the status names the query, its page, its place
  // and the total, each once.
  window.onFindNext(QStringLiteral("%1"), false, false, false, false);
  ASSERT_TRUE(QTest::qWaitFor([&window] { return !window.searchRun; }));
  EXPECT_EQ(window.statusLabel->text(), QStringLiteral("«%1» — стр. 1 (1/1), всего 2"));
  window.onFindNext(QStringLiteral("%2 &"), false, false, false, false);
  ASSERT_TRUE(QTest::qWaitFor([&window] { return !window.searchRun; }));
  EXPECT_EQ(window.statusLabel->text(), QStringLiteral("«%2 &» — стр. 1 (1/1), всего 1"));
  window.onFindNext(QStringLiteral("%9"), false, false, false, false);
  ASSERT_TRUE(QTest::qWaitFor([&window] { return !window.searchRun; }));
  EXPECT_EQ(window.statusLabel->text(), QStringLiteral("«%9» — не найдено"));

  // Counted in the dialog: the status, the results line and the table's
  // query column.
  window.showSearchDialog();
  QDialog* search = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QDialog*>(top); dialog && dialog->isVisible()) search = dialog;
  ASSERT_NE(search, nullptr);
  QPushButton* count = nullptr;
  for (QPushButton* button : search->findChildren<QPushButton*>())
    if (button->text() == QStringLiteral("Подсчитать")) count = button;
  ASSERT_NE(count, nullptr);
  count->parentWidget()->findChild<QComboBox*>()->setEditText(QStringLiteral("%2 &"));
  count->click();
  EXPECT_EQ(window.statusLabel->text(), QStringLiteral("Найдено вхождений «%2 &»: 1"));
  auto* table = search->findChild<QTableWidget*>();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(table->item(0, 3)->text(), QStringLiteral("%2 &"));
  search->close();
}

TEST_F(UserText, SheetNamesAndFileNamesAreNeverTranslated) {
  const QString book = dir.filePath(QStringLiteral("book.xlsx"));
  const QString script = book + QStringLiteral(".py");
  {
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("import sys, openpyxl\nwb = openpyxl.Workbook()\nwb.active.title = '\xd0\x9e\xd1\x82\xd0\xbc\xd0\xb5"
               "\xd0\xbd\xd0\xb0'\nfor name in ['\xd0\x98\xd0\xbc\xd0\xbf\xd0\xbe\xd1\x80\xd1\x82\xd0\xb8\xd1\x80"
               "\xd0\xbe\xd0\xb2\xd0\xb0\xd1\x82\xd1\x8c', '%1 & %2']:\n    wb.create_sheet(name).append(['x'])\n"
               "wb.save(sys.argv[1])\n");
  }
  ASSERT_EQ(testsupport::runTool(QStringLiteral("/usr/bin/python3"), {script, book}), 0);

  // The window applies the stored language when it is built.
  QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
  applyUiLanguage(QStringLiteral("en"));
  XlsxImportDialog dialog(book);
  dialog.show();
  localizeWidgetTree(&dialog);
  QStringList sheetButtons;
  for (QToolButton* button : dialog.findChildren<QToolButton*>())
    if (button->isCheckable() && button->autoExclusive()) sheetButtons << button->text();
  // The dialog's own words are in English; the sheets keep their names (an
  // ampersand doubled so that it shows and is no shortcut).
  EXPECT_EQ(sheetButtons, QStringList({QStringLiteral("Отмена"), QStringLiteral("Импортировать"),
                                       QStringLiteral("%1 && %2")}));
  dialog.close();

  // A file named as an interface word keeps its name in the properties.
  const QString pdf = dir.filePath(QStringLiteral("Отмена"));
  ASSERT_TRUE(testsupport::writePdf(pdf, {{QStringLiteral("Name test"), false}}));
  UserTextWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.openFile(pdf);
  ASSERT_TRUE(window.currentDocument->isOpen());
  const QStringList texts = textsOfNewDialog([&] { window.showDocumentPropertiesDialog(); });
  EXPECT_TRUE(texts.contains(QStringLiteral("Отмена"))) << texts.join(u'|').toStdString();
  EXPECT_FALSE(texts.contains(QStringLiteral("Cancel"))) << texts.join(u'|').toStdString();
  EXPECT_TRUE(texts.contains(QStringLiteral("File name:"))) << texts.join(u'|').toStdString();
}

TEST_F(UserText, FacsimileAndGroupNamesKeepTheirWords) {
  const QString store = dir.filePath(QStringLiteral("facsimiles"));
  ASSERT_TRUE(QDir(store).mkpath(QStringLiteral("groups")));
  QImage picture(60, 30, QImage::Format_RGB32);
  picture.fill(Qt::red);
  ASSERT_TRUE(picture.save(store + QStringLiteral("/Отмена.png")));
  QFile group(facsimileGroupDir(store) + QStringLiteral("/g.json"));
  ASSERT_TRUE(group.open(QIODevice::WriteOnly));
  group.write(R"({"items": ["Отмена.png"], "name": "%1 & %2"})");
  group.close();

  applyUiLanguage(QStringLiteral("en"));
  std::unique_ptr<QDialog> picker(
      buildFacsimilePickerDialog(store, listFacsimileFiles(store), nullptr, true, true, true, false));
  localizeWidgetTree(picker.get());
  auto* list = qobject_cast<QListWidget*>(picker->property("listWidget").value<QObject*>());
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("Отмена"));
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("Group\n%1 & %2 (1)"));
}
