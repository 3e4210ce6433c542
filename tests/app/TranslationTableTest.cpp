// The shipped translation table against the sources: every Russian text of
// src/ has an entry and a real English translation, the languages translate
// the ribbon, bars, tabs, message dialogs and settings, and placeholders and
// line breaks survive in every language.
#include "UiLanguage.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace {

const QString kSourceRoot = QStringLiteral(ULVO_SOURCE_ROOT);

bool hasCyrillicLetter(const QString& text) {
  static const QRegularExpression cyrillic(QStringLiteral("[А-Яа-яЁё]"));
  return text.contains(cyrillic);
}

// The string literals of one C++ file, adjacent ones joined as the compiler
// joins them; comments, character literals and raw strings are skipped.
QStringList stringLiterals(const QString& text) {
  QStringList found;
  QString pending;
  bool inLiteral = false;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n;) {
    const QChar c = text[i];
    if (text.mid(i, 2) == QLatin1String("//")) {
      const qsizetype end = text.indexOf(u'\n', i);
      i = end < 0 ? n : end;
      continue;
    }
    if (text.mid(i, 2) == QLatin1String("/*")) {
      const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
      i = end < 0 ? n : end + 2;
      continue;
    }
    if (c == u'"' && i > 0 && text[i - 1] == u'R') {
      const qsizetype open = text.indexOf(u'(', i);
      const QString close = u')' + text.mid(i + 1, open - i - 1) + u'"';
      const qsizetype end = text.indexOf(close, open);
      i = end < 0 ? n : end + close.size();
      continue;
    }
    if (c == u'\'') {
      qsizetype j = i + 1;
      while (j < n && text[j] != u'\'') j += text[j] == u'\\' ? 2 : 1;
      i = j + 1;
      continue;
    }
    if (c == u'"') {
      qsizetype j = i + 1;
      while (j < n && text[j] != u'"') {
        if (text[j] == u'\\' && j + 1 < n) {
          const QChar e = text[j + 1];
          if (e == u'n') pending += u'\n';
          else if (e == u'"' || e == u'\\') pending += e;
          else pending += QString(u'\\') + e;
          j += 2;
        } else {
          pending += text[j++];
        }
      }
      inLiteral = true;
      i = j + 1;
      continue;
    }
    if (!c.isSpace() && inLiteral) {
      found << pending;
      pending.clear();
      inLiteral = false;
    }
    ++i;
  }
  if (inLiteral) found << pending;
  return found;
}

// Russian literals of the sources, each with the first file (relative to
// src/) that uses it.
QMap<QString, QString> harvestRussianLiterals(const QStringList& onlyFiles = {}) {
  QMap<QString, QString> literals;
  QDirIterator it(kSourceRoot, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString relative = path.mid(kSourceRoot.size() + 1);
    if (!onlyFiles.isEmpty() && !onlyFiles.contains(relative)) continue;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    for (const QString& literal : stringLiterals(QString::fromUtf8(file.readAll())))
      if (hasCyrillicLetter(literal) && !literals.contains(literal)) literals.insert(literal, relative);
  }
  return literals;
}

// Russian literals that are never shown as interface text.
bool isExcluded(const QString& literal, const QString& file) {
  // The recogniser's tables of misread words, abbreviations and patterns.
  if (file.startsWith(QLatin1String("ocr/"))) return true;
  // The words of the localised export file names, one per language.
  if (file == QLatin1String("export/ExportFileNames.cpp")) return true;
  static const QSet<QString> notShown = {
      QStringLiteral("[А-Яа-яЁё]"),                 // the Cyrillic test of the lookup rule
      QStringLiteral("Нолвского областного суда"),  // sample text for measuring fonts
      QStringLiteral("М.П."),                       // a seal mark the overlay recognises
      QStringLiteral("_подписан"),                  // file-name suffix of Russian sessions
      QStringLiteral("рутокен"),                    // provider names the certificate list groups by
      QStringLiteral("крипто"),
  };
  return notShown.contains(literal);
}

QJsonObject resource() {
  QFile file(QString::fromLatin1(kUiTranslationsResource));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return QJsonDocument::fromJson(file.readAll()).object();
}

QStringList placeholders(const QString& text) {
  static const QRegularExpression marker(QStringLiteral("%\\d+"));
  QStringList found;
  for (auto it = marker.globalMatch(text); it.hasNext();) found << it.next().captured();
  found.sort();
  return found;
}

}  // namespace

TEST(TranslationTable, HarvesterReadsLiteralsAsTheCompilerDoes) {
  const QString code = QStringLiteral(
      "// \"Комментарий\"\n"
      "auto a = QStringLiteral(\"Первая \" /* x */ \"часть\\n\\\"вторая\\\"\");\n"
      "char q = '\"'; auto b = R\"(сырой \"текст\")\"; auto c = tr(\"Готово\");");
  EXPECT_EQ(stringLiterals(code), QStringList({QStringLiteral("Первая часть\n\"вторая\""), QStringLiteral("Готово")}));
}

TEST(TranslationTable, EveryRussianTextOfTheSourcesHasAnEnglishEntry) {
  const QJsonObject translations = resource().value("translations").toObject();
  const QJsonObject russian = translations.value("ru").toObject();
  const QJsonObject english = translations.value("en").toObject();
  const QMap<QString, QString> literals = harvestRussianLiterals();
  ASSERT_GT(literals.size(), 500);
  QStringList missing;
  for (auto it = literals.begin(); it != literals.end(); ++it) {
    if (isExcluded(it.key(), it.value())) continue;
    const QString inEnglish = english.value(it.key()).toString();
    // "context|text" shows as its text in Russian.
    if (russian.value(it.key()).toString() != it.key().section(u'|', -1))
      missing << it.value() + QStringLiteral(": no source entry: ") + it.key();
    else if (inEnglish.isEmpty() || hasCyrillicLetter(inEnglish))
      missing << it.value() + QStringLiteral(": no English translation: ") + it.key();
  }
  EXPECT_TRUE(missing.isEmpty()) << missing.size() << " texts:\n" << missing.join(u'\n').toStdString();
}

// A Russian text is looked up before anything is filled into it or added to
// it: a template filled first ("Не удалось открыть файл:\n%1" with a path),
// or a Russian piece glued to a name, is no entry of the table, and a
// translation pass can never find it again.
TEST(TranslationTable, NoRussianTextIsFilledOrJoinedBeforeItIsTranslated) {
  const QString literal = QStringLiteral("(?:QStringLiteral|QString::fromUtf8)\\(\"((?:[^\"\\\\]|\\\\.)*)\"\\)");
  const QRegularExpression filled(literal + QStringLiteral("\\s*\\.arg\\("));
  const QRegularExpression appended(QStringLiteral("\\+\\s*") + literal);
  const QRegularExpression prepended(literal + QStringLiteral("\\s*\\+"));
  const QRegularExpression translating(QStringLiteral("(uiTranslate|uiText|tr|coreText|translate)\\(\\s*$"));
  // A piece that starts a line of its own is translated line by line.
  const QString newLine = QStringLiteral("QStringLiteral(\"\\n\")");
  QStringList found;
  QDirIterator it(kSourceRoot, {QStringLiteral("*.cpp")}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    const QString relative = path.mid(kSourceRoot.size() + 1);
    if (isExcluded(QString(), relative)) continue;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    const QString text = QString::fromUtf8(file.readAll());
    const auto report = [&](const QRegularExpressionMatch& match) {
      const int line = int(text.left(match.capturedStart()).count(u'\n')) + 1;
      found << QStringLiteral("%1:%2: %3").arg(relative, QString::number(line), match.captured(0));
    };
    for (auto m = filled.globalMatch(text); m.hasNext();) {
      const auto match = m.next();
      const QString before = text.mid(std::max<qsizetype>(0, match.capturedStart() - 40), std::min<qsizetype>(40, match.capturedStart()));
      if (hasCyrillicLetter(match.captured(1)) && !translating.match(before).hasMatch()) report(match);
    }
    for (auto m = appended.globalMatch(text); m.hasNext();) {
      const auto match = m.next();
      if (hasCyrillicLetter(match.captured(1)) && !text.left(match.capturedStart()).trimmed().endsWith(newLine))
        report(match);
    }
    for (auto m = prepended.globalMatch(text); m.hasNext();) {
      const auto match = m.next();
      const QString before = text.mid(std::max<qsizetype>(0, match.capturedStart() - 40), std::min<qsizetype>(40, match.capturedStart()));
      if (hasCyrillicLetter(match.captured(1)) && !translating.match(before).hasMatch() &&
          !text.mid(match.capturedEnd()).trimmed().startsWith(newLine))
        report(match);
    }
  }
  EXPECT_TRUE(found.isEmpty()) << found.size() << " texts:\n" << found.join(u'\n').toStdString();
}

// A text that names a button in quotes names it as the button reads in the
// same language ("Find settings" picks a level, not "Fit").
TEST(TranslationTable, AQuotedButtonNameReadsAsTheButton) {
  const QJsonObject translations = resource().value("translations").toObject();
  static const QRegularExpression quoted(QStringLiteral("«([^»]+)»"));
  QStringList wrong;
  for (auto language = translations.begin(); language != translations.end(); ++language) {
    const QJsonObject table = language.value().toObject();
    for (auto entry = table.begin(); entry != table.end(); ++entry)
      for (auto m = quoted.globalMatch(entry.key()); m.hasNext();) {
        const QString name = table.value(m.next().captured(1)).toString();
        if (!name.isEmpty() && !entry.value().toString().contains(name))
          wrong << language.key() + QStringLiteral(": ") + entry.key() + QStringLiteral(" -> ") + entry.value().toString();
      }
  }
  EXPECT_TRUE(wrong.isEmpty()) << wrong.join(u'\n').toStdString();
}

TEST(TranslationTable, EveryLanguageTranslatesTheRibbonBarsTabsMessagesAndSettings) {
  const QStringList files = {"app/MainWindowRibbon.cpp",    "app/MainWindowRibbonTabs.cpp", "app/MainWindowHomeTab.cpp",
                             "app/RibbonFactories.cpp",     "app/MainWindowWorkspace.cpp",  "app/MainWindowLeftPanel.cpp",
                             "ui/DialogHelpers.cpp",        "app/SettingsDialog.cpp",       "app/MainWindowMarkup.cpp",
                             "app/UpdateCheck.cpp",         "app/MainWindowOpenDialog.cpp", "app/AppProduct.cpp",
                             "app/MainWindowPending.cpp"};
  const QMap<QString, QString> literals = harvestRussianLiterals(files);
  ASSERT_GT(literals.size(), 150);
  const QJsonObject translations = resource().value("translations").toObject();
  for (const QString& code : resource().value("meta").toObject().value("locales").toObject().keys()) {
    if (code == QLatin1String("ru")) continue;
    const QJsonObject table = translations.value(code).toObject();
    QStringList missing;
    for (auto it = literals.begin(); it != literals.end(); ++it) {
      const QString text = table.value(it.key()).toString();
      // Ukrainian, Belarusian and Kazakh share many words with Russian; any
      // other language showing Cyrillic letters kept the Russian source.
      const bool cyrillicScript = code == QLatin1String("uk") || code == QLatin1String("be") || code == QLatin1String("kk");
      if (text.isEmpty() || (!cyrillicScript && hasCyrillicLetter(text)))
        missing << it.value() + QStringLiteral(": ") + it.key();
    }
    EXPECT_TRUE(missing.isEmpty()) << code.toStdString() << " lacks:\n" << missing.join(u'\n').toStdString();
  }
}

TEST(TranslationTable, PlaceholdersAndLineBreaksSurviveInEveryLanguage) {
  const QJsonObject root = resource();
  const QJsonObject translations = root.value("translations").toObject();
  ASSERT_EQ(translations.size(), 16);
  int checked = 0;
  for (auto language = translations.begin(); language != translations.end(); ++language) {
    const QJsonObject table = language.value().toObject();
    for (auto entry = table.begin(); entry != table.end(); ++entry) {
      const QString source = entry.key();
      const QString text = entry.value().toString();
      EXPECT_EQ(placeholders(text), placeholders(source)) << language.key().toStdString() << ": " << source.toStdString();
      EXPECT_EQ(text.count(u'\n'), source.count(u'\n')) << language.key().toStdString() << ": " << source.toStdString();
      // A unit after a number keeps its leading space (" мин"), a label
      // followed by a value its trailing one ("Ошибка: ").
      EXPECT_EQ(text.startsWith(u' '), source.startsWith(u' ')) << language.key().toStdString() << ": " << source.toStdString();
      EXPECT_EQ(text.endsWith(u' '), source.endsWith(u' ')) << language.key().toStdString() << ": " << source.toStdString();
      ++checked;
    }
  }
  EXPECT_GT(checked, 3000);
  // The per-entry view carries the same texts.
  for (const QJsonValue& value : root.value("entries").toArray()) {
    const QJsonObject entry = value.toObject();
    const QJsonObject tr = entry.value("tr").toObject();
    for (auto it = tr.begin(); it != tr.end(); ++it)
      EXPECT_EQ(it.value(), translations.value(it.key()).toObject().value(entry.value("source").toString()));
  }
}

TEST(TranslationTable, MetaListsTheSixteenLocalesInOrder) {
  QFile file(QString::fromLatin1(kUiTranslationsResource));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString raw = QString::fromUtf8(file.readAll());
  const QJsonObject meta = QJsonDocument::fromJson(raw.toUtf8()).object().value("meta").toObject();
  EXPECT_EQ(meta.value("format").toString(), "ulvo-ui-translations");
  EXPECT_EQ(meta.value("version").toInt(), 1);
  EXPECT_EQ(meta.value("source_language").toString(), "ru");
  EXPECT_EQ(meta.value("fallback_language").toString(), "en");
  const QList<QPair<QString, QString>> expected = {
      {"ru", "Русский"},  {"en", "English"},    {"de", "Deutsch"}, {"fr", "Français"}, {"es", "Español"},
      {"it", "Italiano"}, {"pt", "Português"},  {"pl", "Polski"},  {"uk", "Українська"}, {"be", "Беларуская"},
      {"kk", "Қазақша"},  {"tr", "Türkçe"},     {"zh", "中文"},    {"ja", "日本語"},    {"ko", "한국어"},
      {"ar", "العربية"}};
  const QJsonObject locales = meta.value("locales").toObject();
  ASSERT_EQ(locales.size(), expected.size());
  qsizetype previous = raw.indexOf(QLatin1String("\"locales\""));
  for (const auto& [code, name] : expected) {
    EXPECT_EQ(locales.value(code).toString(), name);
    const qsizetype at = raw.indexOf(QStringLiteral("\"%1\": \"%2\"").arg(code, name), previous);
    EXPECT_GT(at, previous) << code.toStdString() << " out of order";
    previous = at;
  }
  EXPECT_EQ(meta.value("string_count").toInt(), resource().value("translations").toObject().value("en").toObject().size());
  const auto& list = uiLanguageList();
  ASSERT_EQ(list.size(), 16);
  EXPECT_EQ(list[0].first, "ru");
  EXPECT_EQ(list[1].first, "en");
}
