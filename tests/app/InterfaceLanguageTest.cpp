// The interface in English and German: no text of the window, its ribbon tabs
// or any dialog it opens keeps a Russian word (each is built and shown
// offscreen and every visible text of every widget is read back; the
// document's own name and text are Latin, so any Cyrillic letter is an
// untranslated text), and the failures of libraries are said in its words.
#include "RibbonTestWindow.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"
#include "UiLanguage.h"
#include "core/OpensslKeys.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <optional>

using namespace apptest;

namespace {

// A language is offered under its own name ("Русский" in every language).
bool isLanguageName(const QString& text) {
  for (const auto& [code, name] : uiLanguageList())
    if (text == name) return true;
  return false;
}

bool hasCyrillic(const QString& text) {
  static const QRegularExpression cyrillic(QStringLiteral("[А-Яа-яЁё]"));
  return text.contains(cyrillic) && !isLanguageName(text);
}

// Every text the widget and its visible children show, each with the class
// that shows it; only texts with a Cyrillic letter are kept.
QStringList russianTexts(QWidget* root) {
  QStringList found;
  const auto add = [&found](const QObject* where, const QString& text) {
    if (hasCyrillic(text)) found << QStringLiteral("%1: %2").arg(where->metaObject()->className(), text);
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (w != root && !w->isVisibleTo(root)) continue;
    if (w->isWindow()) add(w, w->windowTitle());
    add(w, w->toolTip());
    if (auto* label = qobject_cast<QLabel*>(w)) add(w, label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) add(w, button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w)) add(w, group->title());
    if (auto* edit = qobject_cast<QLineEdit*>(w)) add(w, edit->placeholderText());
    if (auto* spin = qobject_cast<QSpinBox*>(w)) add(w, spin->suffix() + spin->prefix() + spin->specialValueText());
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) add(w, spin->suffix() + spin->prefix());
    if (auto* combo = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < combo->count(); ++i) add(w, combo->itemText(i));
    if (auto* tabs = qobject_cast<QTabBar*>(w))
      for (int i = 0; i < tabs->count(); ++i) add(w, tabs->tabText(i) + tabs->tabToolTip(i));
    if (auto* list = qobject_cast<QListWidget*>(w))
      for (int i = 0; i < list->count(); ++i) add(w, list->item(i)->text());
    if (auto* header = qobject_cast<QHeaderView*>(w); header && header->model())
      for (int i = 0; i < header->count(); ++i)
        add(w, header->model()->headerData(i, header->orientation()).toString());
  }
  return found;
}

// The Russian texts of the window the action opens, modal or not; the
// window is closed again. Null when none opened.
std::optional<QStringList> russianTextsOfDialogOpenedBy(const std::function<void()>& open) {
  QList<QWidget*> before;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) before << w;
  std::optional<QStringList> texts;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible() || before.contains(w) || !qobject_cast<QDialog*>(w)) continue;
      poll.stop();
      texts = russianTexts(w);
      w->close();
      return;
    }
  });
  poll.start();
  open();
  if (!QTest::qWaitFor([&] { return texts.has_value(); }, 5000)) poll.stop();
  poll.stop();
  return texts;
}

class WalkWindow : public RibbonWindow {
 public:
  using RibbonWindow::RibbonWindow;
  using MainWindow::showCompressedPdfExportDialog;
  using MainWindow::showImportDialog;
  using MainWindow::showSignatureDialog;
  using MainWindow::showSpecialCharactersDialog;
  using MainWindow::showFreeTextDialog;
  using MainWindow::showScanDialog;
  using MainWindow::showOcrProgressDialog;
};

class InterfaceLanguageWalk : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    qputenv("SANE_CONFIG_DIR", dir.path().toUtf8());
    QSettings().setValue(QStringLiteral("ui/language"), QString::fromLatin1(GetParam()));
    applyUiLanguage(QString::fromLatin1(GetParam()));
    path = dir.filePath(QStringLiteral("letter.pdf"));
    ASSERT_TRUE(testsupport::writePdf(path, {{QStringLiteral("Quarterly letter"), false}, {QStringLiteral("Second page"), false}}));
  }
  void TearDown() override { applyUiLanguage(QStringLiteral("ru")); }

  QTemporaryDir dir;
  QString path;
};

}  // namespace

TEST_P(InterfaceLanguageWalk, NoShownTextKeepsARussianWord) {
  WalkWindow window(AppProduct::Editor);
  window.resize(1500, 920);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.openFile(path);
  ASSERT_TRUE(window.currentDocument->isOpen());
  QTest::qWait(50);

  QStringList russian;
  const auto note = [&russian](const QString& where, const QStringList& texts) {
    for (const QString& text : texts) russian << where + QStringLiteral(" | ") + text;
  };
  for (int tab = 0; tab < window.ribbon->count(); ++tab) {
    window.ribbon->setCurrentIndex(tab);
    QTest::qWait(10);
    note(QStringLiteral("tab %1").arg(tab), russianTexts(&window));
  }

  const std::pair<const char*, std::function<void()>> dialogs[] = {
      {"open", [&] { window.showOpenPdfDialog(); }},
      {"save as", [&] { window.showSaveExportDialog(); }},
      {"print", [&] { window.showPrintDialog(); }},
      {"password", [&] { window.showPasswordDialog(); }},
      {"page tools", [&] { window.showPageToolsDialog({}, false); }},
      {"properties", [&] { window.showDocumentPropertiesDialog(); }},
      {"settings", [&] { window.showSettingsDialog(); }},
      {"about", [&] { window.showAboutDialog(); }},
      {"search", [&] { window.showSearchDialog(); }},
      {"import", [&] { window.showImportDialog(); }},
      {"symbols", [&] { window.showSpecialCharactersDialog(); }},
      {"ocr", [&] { window.showOcrProgressDialog(); }},
      {"compress", [&] { window.showCompressedPdfExportDialog(QString(), false); }},
      {"sign", [&] { window.showSignatureDialog(false, {}, {}, QString()); }},
      {"scan", [&] { window.showScanDialog(); }},
      {"annotation", [&] { window.showAnnotationPropertiesDialog(); }},
      {"free text", [&] { window.showFreeTextDialog(); }},
  };
  for (const auto& [name, open] : dialogs) {
    const std::optional<QStringList> texts = russianTextsOfDialogOpenedBy(open);
    EXPECT_TRUE(texts.has_value()) << name << " opened no dialog";
    if (texts) note(QString::fromLatin1(name), *texts);
    QTest::qWait(20);
  }
  EXPECT_TRUE(russian.isEmpty()) << GetParam() << ": " << russian.size() << " texts\n"
                                 << russian.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EnglishAndGerman, InterfaceLanguageWalk, ::testing::Values("en", "de"));


// A failure the user meets is said in the interface language, in the
// program's words: a missing file, a file that is no PDF, a key container
// opened with a wrong password.
TEST(InterfaceLanguage, LibraryFailuresAreSaidInTheProgramsWords) {
  useCleanSettings();
  QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
  QTemporaryDir dir;
  const QString notPdf = dir.filePath(QStringLiteral("notes.pdf"));
  {
    QFile file(notPdf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("just some words");
  }
  RibbonWindow window(AppProduct::Editor);
  applyUiLanguage(QStringLiteral("en"));
  const struct {
    QString path, expected;
  } cases[] = {{dir.filePath(QStringLiteral("missing.pdf")), QStringLiteral("file not found")},
               {notPdf, QStringLiteral("the file is not a PDF document or is damaged")}};
  for (const auto& c : cases) {
    auto seen = answerNextDialog(QString());
    window.openFile(c.path);
    ASSERT_TRUE(seen->shown) << c.path.toStdString();
    EXPECT_FALSE(hasCyrillic(seen->texts)) << seen->texts.toStdString();
    EXPECT_TRUE(seen->texts.contains(c.expected, Qt::CaseInsensitive)) << seen->texts.toStdString();
  }
  X509* certificate = nullptr;
  EVP_PKEY* key = nullptr;
  QString error;
  EXPECT_FALSE(loadPkcs12(signingtest::pki().legacyPkcs12, QStringLiteral("wrong"), &certificate, &key, &error));
  EXPECT_TRUE(error.contains(QStringLiteral("wrong container password"))) << error.toStdString();
  EXPECT_FALSE(hasCyrillic(error)) << error.toStdString();
  applyUiLanguage(QStringLiteral("ru"));
}

// Every ribbon label fits its button in the application's font, in every
// language: a change of language or theme that polishes the ribbon again in
// that font cuts none of them.
TEST(InterfaceLanguage, EveryRibbonLabelFitsItsButtonInEveryLanguage) {
  useCleanSettings();
  QStringList cut;
  for (const auto& [code, name] : uiLanguageList()) {
    QSettings().setValue(QStringLiteral("ui/language"), code);
    RibbonWindow window(AppProduct::Editor);
    for (QToolButton* button : window.ribbon->findChildren<QToolButton*>()) {
      if (button->text().isEmpty() || button->toolButtonStyle() != Qt::ToolButtonTextUnderIcon) continue;
      QToolButton probe;
      probe.setObjectName(button->objectName());
      probe.setFont(QApplication::font());
      probe.setToolButtonStyle(button->toolButtonStyle());
      probe.setIconSize(button->iconSize());
      probe.setIcon(button->icon());
      probe.setText(button->text());
      probe.ensurePolished();
      if (probe.sizeHint().width() > button->maximumWidth())
        cut << QStringLiteral("%1: %2 (%3 > %4)").arg(code, button->text()).arg(probe.sizeHint().width()).arg(button->maximumWidth());
    }
  }
  applyUiLanguage(QStringLiteral("ru"));
  EXPECT_TRUE(cut.isEmpty()) << cut.join(u'\n').toStdString();
}
