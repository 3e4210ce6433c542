#include "ocr/OcrTextMeasures.h"

namespace {

bool isAsciiLetter(QChar c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

int meaningfulCharCount(const QString& text) {
  int count = 0;
  for (const QChar c : text) {
    if (c.unicode() <= 0x7F) {
      if (isAsciiLetter(c) || (c >= u'0' && c <= u'9')) ++count;
    } else if (c.isLetter() || c.isNumber()) {
      ++count;
    }
  }
  return count;
}

double uppercaseRatio(const QString& text) {
  int letters = 0;
  int upper = 0;
  for (const QChar c : text) {
    if (c.unicode() <= 0x7F) {
      if (!isAsciiLetter(c)) continue;
      ++letters;
      if (c >= u'A' && c <= u'Z') ++upper;
    } else if (c.isLetter()) {
      ++letters;
      if (c.category() == QChar::Letter_Uppercase) ++upper;
    }
  }
  return letters == 0 ? 0.0 : double(upper) / letters;
}
