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
