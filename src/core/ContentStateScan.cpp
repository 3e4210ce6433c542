#include "ContentStateScan.h"

#include <algorithm>

namespace {

bool isWhite(unsigned char c) { return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

bool isDelimiter(unsigned char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
         c == '%';
}

// No operator is longer; names are kept whole up to the longest pdfium reads.
constexpr size_t kLongestOperator = 127;
constexpr size_t kLongestName = 32767;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "/F#6d0" names the same resource as "/Fm0".
std::string decodedName(const std::string& raw) {
  std::string name;
  name.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '#' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 && hexValue(raw[i + 2]) >= 0) {
      name.push_back(char(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2])));
      i += 2;
    } else {
      name.push_back(raw[i]);
    }
  }
  return name;
}
// Names drawn beyond this many distinct ones are not told apart: the page
// that draws them is already far from anything real.
constexpr size_t kMostDrawnNames = 100000;

}  // namespace

void ContentStateScan::feed(const unsigned char* data, size_t size) {
  bytes += qint64(size);
  for (size_t i = 0; i < size; ++i) take(data[i]);
}

void ContentStateScan::finish() {
  if (mode == Mode::Token || mode == Mode::Name) endToken();
  mode = Mode::Between;
}

void ContentStateScan::take(unsigned char c) {
  switch (mode) {
    case Mode::Comment:
      if (c == '\n' || c == '\r') mode = Mode::Between;
      return;
    case Mode::String:
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '(') ++parens;
      else if (c == ')' && --parens == 0) mode = Mode::Between;
      return;
    case Mode::HexString:
      if (c == '>') mode = Mode::Between;
      return;
    case Mode::AngleOpen:
      // "<<" opens a dictionary; anything else was a hexadecimal string.
      mode = c == '<' ? Mode::Between : Mode::HexString;
      if (c != '<') take(c);
      return;
    case Mode::InlineData:
      // The data ends at "EI" between white space (or a delimiter after it).
      if (inlineEnd == 3 && (isWhite(c) || isDelimiter(c))) {
        mode = Mode::Between;
        take(c);
        return;
      }
      if (isWhite(c)) inlineEnd = 1;
      else if (inlineEnd == 1 && c == 'E') inlineEnd = 2;
      else if (inlineEnd == 2 && c == 'I') inlineEnd = 3;
      else inlineEnd = 0;
      return;
    case Mode::Token:
    case Mode::Name:
      if (!isWhite(c) && !isDelimiter(c)) {
        if (token.size() < (mode == Mode::Name ? kLongestName : kLongestOperator)) token.push_back(char(c));
        else tokenTooLong = true;
        return;
      }
      endToken();
      if (mode == Mode::InlineData) {
        take(c);
        return;
      }
      mode = Mode::Between;
      [[fallthrough]];
    case Mode::Between:
      if (isWhite(c) || c == ')' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}') return;
      token.clear();
      tokenTooLong = false;
      if (c == '%') mode = Mode::Comment;
      else if (c == '(') {
        mode = Mode::String;
        parens = 1;
        escaped = false;
      } else if (c == '<') mode = Mode::AngleOpen;
      else if (c == '/') mode = Mode::Name;
      else {
        mode = Mode::Token;
        token.push_back(char(c));
      }
      return;
  }
}

void ContentStateScan::endToken() {
  const Mode was = mode;
  mode = Mode::Between;
  if (tokenTooLong) return;
  if (was == Mode::Name) {
    lastName = decodedName(token);
    return;
  }
  if (token == "q") {
    deepest = std::max(deepest, ++depth);
  } else if (token == "Q") {
    if (depth > 0) --depth;
  } else if (token == "Do") {
    if (lastName.empty()) return;
    auto found = drawn.find(lastName);
    if (found != drawn.end()) found->second = std::max(found->second, depth);
    else if (drawn.size() < kMostDrawnNames) drawn.emplace(lastName, depth);
  } else if (token == "BI") {
    inlineDictionary = true;
  } else if (token == "ID") {
    // Without its "BI", "ID" is an unknown operator to pdfium, and what
    // follows is content like any other.
    if (!inlineDictionary) return;
    inlineDictionary = false;
    mode = Mode::InlineData;
    inlineEnd = 0;
  }
}
