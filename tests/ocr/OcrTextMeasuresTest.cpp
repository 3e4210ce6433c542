#include "ocr/OcrTextMeasures.h"

#include <gtest/gtest.h>

TEST(OcrTextMeasures, CountsLettersAndDigitsOfAnyScript) {
  struct Case {
    const char* text;
    int meaningful;
    double upper;
  } cases[] = {
      {"", 0, 0.0},          {"—,.;:!?", 0, 0.0},   {"2024", 4, 0.0},      {"ABC", 3, 1.0},
      {"Abc", 3, 1.0 / 3},   {"МОСКВА", 6, 1.0},   {"Москва", 6, 1.0 / 6}, {"№ 12-Б", 3, 1.0},
      {"x²", 2, 0.0},        {"ÉCOLE é", 6, 5.0 / 6},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(meaningfulCharCount(text), c.meaningful) << c.text;
    EXPECT_NEAR(uppercaseRatio(text), c.upper, 1e-9) << c.text;
  }
}
