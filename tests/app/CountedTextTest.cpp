// Counts in the four interface languages with three plural forms, against
// the grammar of each language.
#include "CountedText.h"
#include "PageCountText.h"
#include "UiLanguage.h"

#include <gtest/gtest.h>

namespace {

struct Counted {
  const char* code;
  const char* words[7];  // for 1, 2, 5, 11, 21, 22 and 101
};

}  // namespace

TEST(CountedText, EveryCountTakesTheFormItsNumberNeeds) {
  const int counts[] = {1, 2, 5, 11, 21, 22, 101};
  const Counted pages[] = {
      {"ru", {"страница", "страницы", "страниц", "страниц", "страница", "страницы", "страница"}},
      {"uk", {"сторінка", "сторінки", "сторінок", "сторінок", "сторінка", "сторінки", "сторінка"}},
      {"be", {"старонка", "старонкі", "старонак", "старонак", "старонка", "старонкі", "старонка"}},
      {"pl", {"strona", "strony", "stron", "stron", "stron", "strony", "stron"}},
  };
  const Counted blocks[] = {
      {"ru", {"блок", "блока", "блоков", "блоков", "блок", "блока", "блок"}},
      {"uk", {"блок", "блоки", "блоків", "блоків", "блок", "блоки", "блок"}},
      {"be", {"блок", "блокі", "блокаў", "блокаў", "блок", "блокі", "блок"}},
      {"pl", {"blok", "bloki", "bloków", "bloków", "bloków", "bloki", "bloków"}},
  };
  for (int i = 0; i < 4; ++i) {
    applyUiLanguage(QString::fromLatin1(pages[i].code));
    for (int c = 0; c < 7; ++c) {
      const QString number = QString::number(counts[c]);
      EXPECT_EQ(pageCountText(counts[c]), number + ' ' + QString::fromUtf8(pages[i].words[c])) << pages[i].code;
      EXPECT_EQ(countedText(counts[c], QStringLiteral("%1 блок"), QStringLiteral("%1 блока"), QStringLiteral("%1 блоков")),
                number + ' ' + QString::fromUtf8(blocks[i].words[c]))
          << blocks[i].code;
    }
  }
  applyUiLanguage(QStringLiteral("en"));
  EXPECT_EQ(pageCountText(1), "1 page");
  EXPECT_EQ(pageCountText(21), "21 pages");
  applyUiLanguage(QStringLiteral("ru"));
}

// Every count the window shows in words, for 1, 3, 5 and 21, in Russian and
// English: each form is an entry of the table, and the Russian one agrees.
TEST(CountedText, EveryCountedNounHasItsFormsInRussianAndEnglish) {
  struct Noun {
    const char* forms[3];
    const char* russian[4];  // 1, 3, 5, 21
    const char* english[2];  // 1, 3
  };
  const Noun nouns[] = {
      {{"%1 текст", "%1 текста", "%1 текстов"}, {"1 текст", "3 текста", "5 текстов", "21 текст"}, {"1 text", "3 texts"}},
      {{"%1 таблица", "%1 таблицы", "%1 таблиц"}, {"1 таблица", "3 таблицы", "5 таблиц", "21 таблица"}, {"1 table", "3 tables"}},
      {{"%1 изображение", "%1 изображения", "%1 изображений"},
       {"1 изображение", "3 изображения", "5 изображений", "21 изображение"}, {"1 image", "3 images"}},
      {{"%1 файл", "%1 файла", "%1 файлов"}, {"1 файл", "3 файла", "5 файлов", "21 файл"}, {"1 file", "3 files"}},
      {{"%1 страница", "%1 страницы", "%1 страниц"}, {"1 страница", "3 страницы", "5 страниц", "21 страница"}, {"1 page", "3 pages"}},
  };
  const int counts[] = {1, 3, 5, 21};
  for (const Noun& noun : nouns) {
    const auto counted = [&noun](int n) {
      return countedText(n, QString::fromUtf8(noun.forms[0]), QString::fromUtf8(noun.forms[1]), QString::fromUtf8(noun.forms[2]));
    };
    applyUiLanguage(QStringLiteral("ru"));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(counted(counts[i]), QString::fromUtf8(noun.russian[i]));
    applyUiLanguage(QStringLiteral("en"));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(counted(counts[i]), QString::fromUtf8(noun.english[i]));
  }
  applyUiLanguage(QStringLiteral("ru"));
}
