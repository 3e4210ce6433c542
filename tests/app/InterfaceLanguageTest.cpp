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
#include "core/PdfDocument.h"
#include "export/CompressedExportDialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
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

// The button whose Russian source is `source`, whatever language it shows.
QPushButton* buttonWithSource(QWidget* root, const char* source) {
  for (QPushButton* button : root->findChildren<QPushButton*>())
    if (button->property("_ulvo_i18n_text").toString() == QString::fromUtf8(source)) return button;
  return nullptr;
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
  // The desktop ends every window title with the application's name.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), uiTranslate(QStringLiteral("УЛВО PDF Редактор")));
  if (hasCyrillic(QGuiApplication::applicationDisplayName()))
    note(QStringLiteral("title"), {QGuiApplication::applicationDisplayName()});

  // The search dialog's counts and its not-found line, and the status.
  window.showSearchDialog();
  QTest::qWait(20);
  QDialog* search = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) search = d;
  ASSERT_NE(search, nullptr);
  QPushButton* findAll = buttonWithSource(search, "Найти все в документе");
  ASSERT_NE(findAll, nullptr);
  for (const char* query : {"Quarterly", "nowhere"}) {
    // The find field beside the button, on the same tab.
    findAll->parentWidget()->findChild<QComboBox*>()->setEditText(QString::fromLatin1(query));
    findAll->click();
    buttonWithSource(search, "Подсчитать")->click();
    QTest::qWait(10);
    note(QStringLiteral("search ") + QLatin1String(query), russianTexts(search) + russianTexts(&window));
  }
  search->close();

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

// The compressed-PDF dialog on every level, in every language: each label and
// button is as large as its text needs (a wrapped text as tall as its lines),
// and in English and German its forecasts, sampled ones too, are not Russian.
TEST(InterfaceLanguage, CompressedDialogTextsAreWholeInEveryLanguage) {
  useCleanSettings();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("long.pdf"));
  QList<testsupport::PageSpec> pages;
  for (int i = 0; i < 24; ++i) pages.append({QStringLiteral("Page %1 of a long letter").arg(i + 1), true});
  ASSERT_TRUE(testsupport::writePdf(path, pages));
  PdfDocument document;
  ASSERT_TRUE(document.open(path));
  QStringList cut, russian;
  for (const auto& [code, name] : uiLanguageList()) {
    QSettings().setValue(QStringLiteral("ui/language"), code);
    applyUiLanguage(code);
    CompressedExportDialog dialog(nullptr, &document, dir.filePath(QStringLiteral("out.pdf")), QFileInfo(path).size(),
                                  false);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    localizeWidgetTree(&dialog);
    QSlider* stages = nullptr;
    for (QSlider* slider : dialog.findChildren<QSlider*>())
      if (slider->maximum() == 5) stages = slider;
    ASSERT_NE(stages, nullptr);
    stages->setEnabled(true);
    for (int stage = 0; stage <= 5; ++stage) {
      stages->setValue(stage);
      QTest::qWait(0);
      QApplication::processEvents();
      const QString where = QStringLiteral("%1, level %2: ").arg(code).arg(stage);
      for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) continue;
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->minimumSizeHint().height();
        if (label->height() < needed || (!label->wordWrap() && label->width() < label->minimumSizeHint().width()))
          cut << where + label->text() + QStringLiteral(" (%1x%2)").arg(label->width()).arg(label->height());
      }
      for (QPushButton* button : dialog.findChildren<QPushButton*>()) {
        if (!button->isVisible()) continue;
        const QSize needed = button->sizeHint();
        if (button->width() < needed.width() || button->height() < needed.height())
          cut << where + button->text() + QStringLiteral(" (%1x%2 < %3x%4)")
                                              .arg(button->width()).arg(button->height())
                                              .arg(needed.width()).arg(needed.height());
      }
    }
    if (code == QLatin1String("en") || code == QLatin1String("de")) {
      stages->setValue(2);
      dialog.estimateCurrentSettings();
      // 24 pages are forecast from a sample, and the forecast says so.
      bool sampled = false;
      for (QLabel* label : dialog.findChildren<QLabel*>())
        sampled = sampled || label->text().contains(uiTranslate(QStringLiteral(" (по выборке страниц)")));
      EXPECT_TRUE(sampled) << code.toStdString();
      for (const QString& text : russianTexts(&dialog)) russian << code + QStringLiteral(": ") + text;
    }
    dialog.close();
  }
  applyUiLanguage(QStringLiteral("ru"));
  EXPECT_TRUE(cut.isEmpty()) << cut.join(u'\n').toStdString();
  EXPECT_TRUE(russian.isEmpty()) << russian.join(u'\n').toStdString();
}

// A print dialog left open while the language changes speaks the new one.
TEST(InterfaceLanguage, AnOpenPrintDialogFollowsALanguageChange) {
  useCleanSettings();
  QTemporaryDir dir;
  ASSERT_TRUE(testsupport::writePdf(dir.filePath(QStringLiteral("a.pdf")), {{QStringLiteral("One")}, {QStringLiteral("Two")}}));
  WalkWindow window(AppProduct::Editor);
  window.show();
  window.openFile(dir.filePath(QStringLiteral("a.pdf")));
  window.showPrintDialog();
  QSettings().setValue(QStringLiteral("ui/language"), QStringLiteral("en"));
  window.applyStoredSettings();
  const QStringList russian = russianTexts(window.findChild<QDialog*>(QStringLiteral("PrintDialog")));
  applyUiLanguage(QStringLiteral("ru"));
  EXPECT_TRUE(russian.isEmpty()) << russian.join(u'\n').toStdString();
}
