#pragma once
// A cheap pass over a content stream, fed in pieces as it is decoded, that
// counts what loading it costs pdfium before pdfium sees it: how deep the
// saved graphics states ("q" without its "Q") nest, how many bytes there are,
// and at what nesting each named form is drawn ("/Name Do"). Strings,
// comments and inline image data are skipped, so a "q" inside them counts
// for nothing.

#include <QtGlobal>

#include <cstddef>
#include <map>
#include <string>

class ContentStateScan {
public:
  void feed(const unsigned char* data, size_t size);
  // Ends the last token; call once after the last piece.
  void finish();

  int deepestNesting() const { return deepest; }
  qint64 bytesSeen() const { return bytes; }
  // Each name drawn with "Do", with the deepest nesting it is drawn at.
  const std::map<std::string, int>& drawnNames() const { return drawn; }

private:
  enum class Mode { Between, Token, Name, Comment, String, HexString, AngleOpen, InlineData };
  void take(unsigned char c);
  void endToken();

  Mode mode = Mode::Between;
  std::string token;
  bool tokenTooLong = false;
  std::string lastName;
  int depth = 0;
  int deepest = 0;
  int parens = 0;
  bool escaped = false;
  bool inlineDictionary = false;  // between "BI" and "ID"
  int inlineEnd = 0;  // progress through whitespace, "E", "I" ending inline image data
  qint64 bytes = 0;
  std::map<std::string, int> drawn;
};
