// Editions, their names and capability flags, the language helpers and the
// splash's step delay.
#include "AppProduct.h"
#include "StartupSplash.h"
#include "UiLanguage.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>
#include <QObject>

#include <algorithm>

TEST(Startup, EditionIsTheLastExactSwitch) {
  struct Case {
    QStringList arguments;
    AppProduct expected;
  };
  const QList<Case> cases = {
      {{"ulvo"}, AppProduct::Editor},
      {{"ulvo", "--ulvo-product=viewer"}, AppProduct::Viewer},
      {{"ulvo", "--ulvo-product=ecp", "a.pdf"}, AppProduct::Ecp},
      {{"ulvo", "--ulvo-product=viewer", "x.pdf", "--ulvo-product=editor"}, AppProduct::Editor},
      {{"ulvo", "--ulvo-product=Viewer"}, AppProduct::Editor},
      {{"ulvo", "--ulvo-product=ecp", "--ulvo-product=reader"}, AppProduct::Ecp},
      {{"ulvo", "--ulvo-cert-list", "--ulvo-product=ecp"}, AppProduct::Ecp},
      {{"--ulvo-product=viewer"}, AppProduct::Viewer},  // argument 0 counts too
  };
  for (const Case& c : cases)
    EXPECT_EQ(productFromArguments(c.arguments), c.expected) << c.arguments.join(' ').toStdString();
}

TEST(Startup, EachEditionHasItsNamesAndFlags) {
  struct Case {
    AppProduct product;
    const char* applicationName;
    const char* displayName;
    ProductCapabilities flags;
  };
  const QList<Case> cases = {
      {AppProduct::Editor, "ulvo-pdf-editor", "УЛВО PDF Редактор", {true, true, true, true, true, true, true}},
      {AppProduct::Viewer, "ulvo-pdf-viewer", "УЛВО PDF Просмотр", {false, false, false, false, false, true, true}},
      {AppProduct::Ecp, "ulvo-ecp", "УЛВО ЭЦП", {false, false, true, false, false, false, false}},
      {AppProduct(7), "ulvo-pdf-editor", "УЛВО PDF Редактор", {true, true, true, true, true, true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.product));
    EXPECT_EQ(productApplicationName(c.product), QString::fromUtf8(c.applicationName));
    EXPECT_EQ(productDisplayName(c.product), QString::fromUtf8(c.displayName));
    const ProductCapabilities f = capabilitiesFor(c.product);
    EXPECT_EQ(f.pdfEditing, c.flags.pdfEditing);
    EXPECT_EQ(f.ocr, c.flags.ocr);
    EXPECT_EQ(f.signatures, c.flags.signatures);
    EXPECT_EQ(f.pageEditing, c.flags.pageEditing);
    EXPECT_EQ(f.imports, c.flags.imports);
    EXPECT_EQ(f.facsimiles, c.flags.facsimiles);
    EXPECT_EQ(f.comments, c.flags.comments);
  }
}

TEST(Startup, LanguageCodeComesFromThePropertyOrTheSystemLocale) {
  QCoreApplication* app = QCoreApplication::instance();
  const QString systemCode = QLocale::system().name().replace('_', '-').section('-', 0, 0).toLower();
  struct Case {
    const char* property;
    QString expected;
  };
  const QList<Case> cases = {{"pt_BR", "pt"}, {"EN", "en"}, {"ru", "ru"}, {"de-AT", "de"},
                             {"   ", systemCode}, {"", systemCode}};
  for (const Case& c : cases) {
    app->setProperty("uiLanguage", QString::fromUtf8(c.property));
    EXPECT_EQ(currentUiLanguageCode(), c.expected) << c.property;
  }
  app->setProperty("uiLanguage", QVariant());
}

TEST(Startup, RememberedTextKeepsTheFirstText) {
  QObject object;
  EXPECT_EQ(rememberedText(&object, "_ulvo_i18n_text", "Открыть"), "Открыть");
  EXPECT_EQ(rememberedText(&object, "_ulvo_i18n_text", "Open"), "Открыть");
  QObject empty;
  EXPECT_EQ(rememberedText(&empty, "_ulvo_i18n_text", ""), "");
  EXPECT_EQ(rememberedText(&empty, "_ulvo_i18n_text", "later"), "");
}

TEST(Startup, LanguagesAreOrderedRussianEnglishThenByName) {
  QList<QPair<QString, QString>> languages = {
      {"de", "Deutsch"}, {"en", "English"}, {"kk", "Қазақ"}, {"ru", "Русский"}, {"be", "Беларуская"}, {"fr", "Français"}};
  std::sort(languages.begin(), languages.end(), uiLanguageComesBefore);
  QStringList codes;
  for (const auto& language : languages) codes << language.first;
  EXPECT_EQ(codes.mid(0, 2), QStringList({"ru", "en"}));
  EXPECT_EQ(codes.mid(2, 2), QStringList({"de", "fr"}));  // Latin names before Cyrillic ones
  EXPECT_FALSE(uiLanguageComesBefore({"ru", "Русский"}, {"ru", "Русский"}));
  EXPECT_FALSE(uiLanguageComesBefore({"en", "English"}, {"en", "English"}));
}

TEST(Startup, SplashStepDelayFallsBackTo120) {
  struct Case {
    const char* value;  // nullptr: unset
    int expected;
  };
  const QList<Case> cases = {{nullptr, 120}, {"0", 0}, {"35", 35}, {"-5", 120}, {"fast", 120}, {"", 120}};
  for (const Case& c : cases) {
    if (c.value)
      qputenv("ULVO_PRELOADER_STEP_MS", c.value);
    else
      qunsetenv("ULVO_PRELOADER_STEP_MS");
    EXPECT_EQ(StartupSplash::stepDelayFromEnvironment(), c.expected) << (c.value ? c.value : "unset");
  }
  qunsetenv("ULVO_PRELOADER_STEP_MS");
}

TEST(Startup, SplashEndsOnItsLastStage) {
  StartupSplash splash(productDisplayName(AppProduct::Editor));
  EXPECT_EQ(splash.stageText(), "Загрузка модулей просмотра PDF...");
  splash.runStages(0);
  EXPECT_EQ(splash.progressValue(), 100);
  EXPECT_EQ(splash.stageText(), "Готово");
}
