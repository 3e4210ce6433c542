// The window frame: ribbon tabs by edition and the remembered tab, the
// button factories with their auto-connect table and hints, the floating bar,
// the edit-mode button and the restore of the last document.
#include "AppTestSupport.h"
#include "RibbonFactories.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace apptest;
using namespace testsupport;

namespace {

QStringList ribbonTabs(const TestWindow& window) {
  QStringList tabs;
  for (int i = 0; i < window.ribbon->count(); ++i) tabs << window.ribbon->tabText(i);
  return tabs;
}

class MainWindowFrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    useCleanSettings();
  }
  QString pdf(const QString& name) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writePdf(path, {{name}}));
    return path;
  }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(MainWindowFrameTest, EachEditionBuildsItsRibbonTabsAndFlags) {
  struct Case {
    AppProduct product;
    QStringList tabs;
    bool editing;
  };
  const QList<Case> cases = {
      {AppProduct::Editor, {"Главная", "Вставка", "Страницы", "Разметка", "Вид"}, true},
      {AppProduct::Viewer, {"Главная", "Вставка", "Разметка", "Вид"}, false},
      {AppProduct::Ecp, {"Главная", "Разметка", "Вид"}, false},
  };
  for (const Case& c : cases) {
    TestWindow window(c.product);
    EXPECT_EQ(ribbonTabs(window), c.tabs);
    EXPECT_EQ(window.ribbon->objectName(), "Ribbon");
    EXPECT_EQ(window.ribbon->height(), 144);
    EXPECT_EQ(window.allowPdfEditing(), c.editing);
    EXPECT_EQ(window.allowSignatures(), c.product != AppProduct::Viewer);
    EXPECT_EQ(window.windowTitle(), productDisplayName(c.product));
  }
}

TEST_F(MainWindowFrameTest, RibbonRemembersItsTabOnlyWhenAsked) {
  {
    TestWindow window;
    window.ribbon->setCurrentIndex(3);
    EXPECT_FALSE(QSettings().contains("ui/lastRibbonTab"));
  }
  QSettings().setValue("ui/rememberTab", true);
  {
    TestWindow window;
    window.ribbon->setCurrentIndex(3);
    EXPECT_EQ(QSettings().value("ui/lastRibbonTab").toInt(), 3);
  }
  struct Case {
    AppProduct product;
    int stored;
    int expected;
  };
  const QList<Case> cases = {{AppProduct::Editor, 3, 3},
                             {AppProduct::Viewer, 4, 0},  // the viewer has four tabs
                             {AppProduct::Editor, -1, 0}};
  for (const Case& c : cases) {
    QSettings().setValue("ui/lastRibbonTab", c.stored);
    TestWindow window(c.product);
    EXPECT_EQ(window.ribbon->currentIndex(), c.expected) << c.stored;
  }
}

TEST_F(MainWindowFrameTest, ToolButtonsConnectByIconOrLabel) {
  TestWindow window;
  window.resize(1200, 800);
  window.openFile(pdf("a.pdf"));

  std::unique_ptr<QToolButton> checkable(window.toolButton("select", "Выбор", true));
  EXPECT_TRUE(checkable->isChecked());
  EXPECT_EQ(checkable->objectName(), "RibbonToolButton");
  EXPECT_EQ(checkable->toolTip(), "Выбор");
  EXPECT_EQ(checkable->iconSize(), QSize(32, 32));
  std::unique_ptr<QToolButton> plain(window.toolButton("select", "Выбор"));
  EXPECT_FALSE(plain->isCheckable());

  struct Case {
    const char* icon;
    const char* text;
    double zoomAfterClick;  // from 1.0; 1.0 when the click does nothing
  };
  const double widthZoom = [&] {
    window.view->zoomFitWidth();
    return window.view->zoomFactor();
  }();
  const QList<Case> cases = {
      {"zoom-in", "Больше", 1.25}, {"zoom-out", "Меньше", 0.8}, {"fit-width", "Ширина", widthZoom},
      {"fit-width", "По ширине", 1.0}, {"area-select", "Область", 1.0}, {"delete", "Удалить", 1.0},
  };
  for (const Case& c : cases) {
    window.view->setZoom(1.0);
    std::unique_ptr<QToolButton> button(window.toolButton(c.icon, QString::fromUtf8(c.text), false, true));
    button->click();
    EXPECT_NEAR(window.view->zoomFactor(), c.zoomAfterClick, 1e-9) << c.icon << " " << c.text;
  }

  // Rows are tested in order: the icon "print" wins over the label "Открыть".
  std::unique_ptr<QToolButton> print(window.toolButton("print", "Открыть", false, true));
  print->click();
  auto* printDialog = window.findChild<QDialog*>(QStringLiteral("PrintDialog"));
  ASSERT_NE(printDialog, nullptr);
  printDialog->close();
  std::unique_ptr<QToolButton> open(window.toolButton("open", "PDF", false, true));
  open->click();
  QStringList shown;
  for (QDialog* dialog : window.findChildren<QDialog*>())
    if (dialog->isVisible()) shown << dialog->windowTitle();
  EXPECT_EQ(shown, QStringList{"Открыть PDF"});
}

TEST_F(MainWindowFrameTest, FactoriesBuildTheirRolesAndHints) {
  std::unique_ptr<QToolButton> italic(iconOnlyButton("italic", "Курсив"));
  setShortcutHint(italic.get(), "Курсив", QKeySequence());
  EXPECT_EQ(italic->toolTip(), "Курсив");
  setShortcutHint(italic.get(), "Курсив", QKeySequence(QKeySequence::Italic));
  EXPECT_EQ(italic->toolTip(), "Курсив (" + QKeySequence(QKeySequence::Italic).toString(QKeySequence::NativeText) + ")");
  EXPECT_EQ(italic->statusTip(), italic->toolTip());
  setShortcutHint(nullptr, "x", QKeySequence());  // no crash

  struct Case {
    std::unique_ptr<QToolButton> button;
    QSize size;
    QSize icon;
  };
  Case cases[] = {{std::unique_ptr<QToolButton>(largeIconButton("open", "Открыть")), {72, 76}, {40, 40}},
                  {std::unique_ptr<QToolButton>(iconOnlyButton("open", "Открыть")), {32, 32}, {24, 24}},
                  {std::unique_ptr<QToolButton>(floatingIconButton("open", "Открыть")), {30, 30}, {16, 16}}};
  for (Case& c : cases) {
    EXPECT_EQ(c.button->objectName(), "IconOnlyButton");
    EXPECT_EQ(c.button->minimumSize(), c.size);
    // A large button grows for a longer word; the small ones keep their square.
    EXPECT_EQ(c.button->maximumHeight(), c.size.height());
    if (c.button->toolButtonStyle() != Qt::ToolButtonTextUnderIcon) {
      EXPECT_EQ(c.button->maximumWidth(), c.size.width());
    }
    EXPECT_EQ(c.button->iconSize(), c.icon);
    EXPECT_FALSE(c.button->icon().isNull());
    EXPECT_EQ(c.button->toolTip(), "Открыть");
  }
  EXPECT_EQ(I("zoom-in"), ":/resources/icons/zoom-in.svg");

  std::unique_ptr<QWidget> empty(ribbonMultiRowGroup("Шрифт", {}));
  EXPECT_EQ(empty->objectName(), "RibbonGroup");
  const QList<QLabel*> labels = empty->findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels.first()->objectName(), "RibbonGroupTitle");
  EXPECT_EQ(labels.first()->text(), "Шрифт");
  std::unique_ptr<QWidget> lead(ribbonLeadGroup("Файл", new QLabel("lead"), {{new QLabel("a"), new QLabel("b")}}));
  EXPECT_NE(lead->findChild<QWidget*>("RibbonGroupBody"), nullptr);
  EXPECT_EQ(lead->findChildren<QLabel*>().size(), 4);
}

TEST_F(MainWindowFrameTest, IconsExistForEveryKeyOfTheFrame) {
  const QStringList keys = {"ulvo-app", "select", "hand", "zoom-in", "zoom-out", "fit-width", "first-page",
                            "prev-page", "next-page", "last-page", "print", "fullscreen", "edit-mode",
                            "read-mode", "open", "search", "rotate-left", "rotate-right", "area-select", "delete"};
  for (const QString& key : keys) {
    const QIcon icon(I(key));
    EXPECT_FALSE(icon.pixmap(24, 24).isNull()) << key.toStdString();
  }
}

TEST_F(MainWindowFrameTest, FloatingBarCarriesHintsAndFollowsThePage) {
  TestWindow window;
  window.resize(1200, 800);
  ASSERT_NE(window.floatingBar, nullptr);
  EXPECT_EQ(window.floatingBar->objectName(), "FloatingBar");
  QToolButton* fitWidth = nullptr;
  for (QToolButton* button : window.floatingBar->findChildren<QToolButton*>())
    if (button->toolTip().startsWith("По ширине")) fitWidth = button;
  ASSERT_NE(fitWidth, nullptr);
  EXPECT_EQ(fitWidth->toolTip(), "По ширине (" + QKeySequence("Ctrl+2").toString(QKeySequence::NativeText) + ")");

  auto* total = window.floatingBar->findChild<QLabel*>("FloatingPageTotal");
  auto* spin = window.floatingBar->findChild<QSpinBox*>("FloatingPageSpin");
  ASSERT_NE(total, nullptr);
  ASSERT_NE(spin, nullptr);
  const QString path = dir.filePath("three.pdf");
  ASSERT_TRUE(writePdf(path, {{"1"}, {"2"}, {"3"}}));
  window.openFile(path);
  EXPECT_EQ(total->text(), " / 3 ");
  EXPECT_EQ(spin->maximum(), 3);
  window.onLastPage();
  EXPECT_EQ(window.view->currentPageIndex(), 2);
  EXPECT_EQ(spin->value(), 3);
  window.onNextPage();  // past the end: nothing
  EXPECT_EQ(window.view->currentPageIndex(), 2);
  spin->setValue(2);
  EXPECT_EQ(window.view->currentPageIndex(), 1);
  window.onFirstPage();
  window.onPrevPage();
  EXPECT_EQ(window.view->currentPageIndex(), 0);

  QSettings().setValue("ui/floatingBar", false);
  window.applyStoredSettings();
  EXPECT_TRUE(window.floatingBar->isHidden());
}

TEST_F(MainWindowFrameTest, EditModeButtonFollowsTheMode) {
  TestWindow window;
  window.editModeButton = window.toolButton("edit-mode", "Редакт.", true);
  window.editModeButton->setParent(&window);
  window.updateEditModeUi();
  EXPECT_FALSE(window.editModeButton->isEnabled());
  EXPECT_FALSE(window.editModeButton->isChecked());
  EXPECT_EQ(window.editModeButton->text(), "Редакт.");
  EXPECT_EQ(window.editModeButton->toolTip(), "Редактировать документ (F2)");

  window.openFile(pdf("a.pdf"));
  window.editMode = true;
  window.updateEditModeUi();
  EXPECT_TRUE(window.editModeButton->isEnabled());
  EXPECT_TRUE(window.editModeButton->isChecked());
  EXPECT_EQ(window.editModeButton->text(), "Чтение");
  EXPECT_EQ(window.editModeButton->toolTip(), "Перейти в режим чтения (F2)");
}

TEST_F(MainWindowFrameTest, LastDocumentReopensUnlessAFileWasOpenedFirst) {
  const QString last = pdf("last.pdf");
  const QString named = pdf("named.pdf");
  QSettings().setValue("recentFiles", QStringList{last});
  QSettings().setValue("doc/restoreLastDocument", true);
  {
    TestWindow window;
    QCoreApplication::processEvents();
    ASSERT_EQ(window.documents.size(), 1u);
    EXPECT_EQ(window.documents.front().path, last);
  }
  {
    TestWindow window;
    window.openFile(named);  // as main does right after showing the window
    QCoreApplication::processEvents();
    ASSERT_EQ(window.documents.size(), 1u);
    EXPECT_EQ(window.documents.front().path, named);
  }
  {
    TestWindow window(AppProduct::Ecp);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.documents.empty());
  }
}

TEST_F(MainWindowFrameTest, SampleDialogsAreModelessAndTheirButtonsClose) {
  struct Case {
    const char* label;  // the ribbon label that reaches the dialog
    const char* title;
    const char* button;
    size_t tabsAfter;  // one tab is open before
  };
  const QList<Case> cases = {
      {"Ошибка", "Ошибка PDF", "Восстановить", 1},
      {"Ошибка", "Ошибка PDF", "Только чтение", 1},
      {"Закрыть", "Несохранённые изменения", "Отмена", 1},
      {"Закрыть", "Несохранённые изменения", "Не сохранять", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    TestWindow window;
    window.openFile(pdf("a.pdf"));
    std::unique_ptr<QToolButton> button(window.toolButton("x", QString::fromUtf8(c.label), false, true));
    button->click();  // returns at once: the dialog is modeless
    QDialog* dialog = window.findChild<QDialog*>("AppDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(c.title));
    EXPECT_TRUE(dialog->isVisible());
    QPointer<QDialog> guard(dialog);
    for (QPushButton* answer : dialog->findChildren<QPushButton*>())
      if (answer->text() == QString::fromUtf8(c.button)) answer->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());  // deleted on close
    EXPECT_EQ(window.documents.size(), c.tabsAfter);
  }
}
