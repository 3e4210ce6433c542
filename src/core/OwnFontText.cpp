#include "OwnFontText.h"

#include "LineGlyphCut.h"
#include "ShowCut.h"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QUtil.hh>

#include <QChar>
#include <QPointF>

#include <cmath>
#include <optional>
#include <stdexcept>

namespace {

// A ToUnicode map larger than any font needs is not read: its codes are not taken.
constexpr size_t kMostMapBytes = size_t(4) << 20;
constexpr int kMostMapTokens = 1 << 20;
constexpr int kMostWidthEntries = 1 << 16;

class BoundedText : public Pipeline {
public:
  BoundedText() : Pipeline("map", nullptr) {}
  void write(unsigned char const* data, size_t length) override {
    if (text.size() + length > kMostMapBytes) throw std::length_error("map too large");
    text.append(reinterpret_cast<const char*>(data), length);
  }
  void finish() override {}
  std::string text;
};

unsigned int bigEndian(const std::string& bytes) {
  unsigned int value = 0;
  for (const unsigned char b : bytes) value = (value << 8) | b;
  return value;
}

// The one character UTF-16BE `bytes` hold, 0 for none or several.
char32_t singleCharacter(const std::string& bytes) {
  if (bytes.empty() || bytes.size() % 2) return 0;
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units.push_back(char16_t((static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1])));
  const QList<uint> chars = QString::fromStdU16String(units).toUcs4();
  return chars.size() == 1 ? char32_t(chars.front()) : 0;
}

// What the map reads each of `codes` as: one character, or 0 for several
// or none. A code the map reads twice, as readers then differ, has both.
std::map<unsigned int, std::set<char32_t>> readingsInMap(QPDFObjectHandle map, const std::set<unsigned>& codes) {
  std::map<unsigned int, std::set<char32_t>> found;
  BoundedText out;
  try {
    if (!map.isStream() || !map.pipeStreamData(&out, nullptr, 0, qpdf_dl_generalized, true)) return found;
  } catch (const std::exception&) {
    return found;
  }
  const auto take = [&](unsigned int code, char32_t c) {
    if (codes.count(code)) found[code].insert(c);
  };
  auto input = std::make_shared<BufferInputSource>("map", out.text);
  QPDFTokenizer tokenizer;
  tokenizer.allowEOF();
  enum { None, Chars, Ranges } section = None;
  std::vector<QPDFTokenizer::Token> pending;
  bool inArray = false;
  std::vector<std::string> array;
  for (int n = 0; n < kMostMapTokens; ++n) {
    const QPDFTokenizer::Token t = tokenizer.readToken(input, "map", true);
    const auto type = t.getType();
    if (type == QPDFTokenizer::tt_eof || type == QPDFTokenizer::tt_bad) break;
    if (type == QPDFTokenizer::tt_word) {
      const std::string& word = t.getValue();
      section = word == "beginbfchar" ? Chars : word == "beginbfrange" ? Ranges : word.rfind("end", 0) == 0 ? None
                                                                                                          : section;
      pending.clear();
      continue;
    }
    if (section == None) continue;
    if (type == QPDFTokenizer::tt_array_open) {
      inArray = true;
      array.clear();
      continue;
    }
    if (inArray && type == QPDFTokenizer::tt_string) {
      array.push_back(t.getValue());
      continue;
    }
    if (type == QPDFTokenizer::tt_array_close && inArray && section == Ranges && pending.size() == 2) {
      inArray = false;
      // Entries past the range's end are read by some readers only: they count.
      const unsigned int low = bigEndian(pending[0].getValue());
      for (size_t k = 0; k < array.size(); ++k) take(low + unsigned(k), singleCharacter(array[k]));
      pending.clear();
      continue;
    }
    if (type != QPDFTokenizer::tt_string) {
      pending.clear();
      continue;
    }
    pending.push_back(t);
    if (section == Chars && pending.size() == 2) {
      take(bigEndian(pending[0].getValue()), singleCharacter(pending[1].getValue()));
      pending.clear();
    } else if (section == Ranges && pending.size() == 3) {
      const unsigned int low = bigEndian(pending[0].getValue()), high = bigEndian(pending[1].getValue());
      // A range counts up from its first character.
      const char32_t first = singleCharacter(pending[2].getValue());
      for (auto code = codes.lower_bound(low); code != codes.end() && *code <= high; ++code)
        take(*code, first ? first + (*code - low) : 0);
      pending.clear();
    }
  }
  return found;
}

// What the font's dictionary gives code `code` as its width, where it says.
std::optional<double> statedWidth(QPDFObjectHandle font, unsigned int code, int codeBytes) {
  if (codeBytes == 1) {
    QPDFObjectHandle widths = font.getKey("/Widths"), first = font.getKey("/FirstChar");
    if (!widths.isArray() || !first.isInteger()) return std::nullopt;
    const long long index = (long long)code - first.getIntValue();
    if (index < 0 || index >= widths.getArrayNItems()) return std::nullopt;
    QPDFObjectHandle width = widths.getArrayItem(int(index));
    return width.isNumber() ? std::optional<double>(width.getNumericValue()) : std::nullopt;
  }
  QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
  QPDFObjectHandle cid = descendants.isArray() && descendants.getArrayNItems() > 0 ? descendants.getArrayItem(0)
                                                                                   : QPDFObjectHandle::newNull();
  if (!cid.isDictionary()) return std::nullopt;
  QPDFObjectHandle w = cid.getKey("/W");
  const int count = w.isArray() ? std::min(w.getArrayNItems(), kMostWidthEntries) : 0;
  for (int i = 0; i + 1 < count;) {
    QPDFObjectHandle start = w.getArrayItem(i), next = w.getArrayItem(i + 1);
    if (!start.isInteger()) return std::nullopt;
    const long long from = start.getIntValue();
    if (next.isArray()) {
      if (code >= from && code - from < (long long)next.getArrayNItems()) {
        QPDFObjectHandle width = next.getArrayItem(int(code - from));
        return width.isNumber() ? std::optional<double>(width.getNumericValue()) : std::nullopt;
      }
      i += 2;
    } else {
      if (i + 2 >= count || !next.isInteger()) return std::nullopt;
      if (code >= from && code <= next.getIntValue()) {
        QPDFObjectHandle width = w.getArrayItem(i + 2);
        return width.isNumber() ? std::optional<double>(width.getNumericValue()) : std::nullopt;
      }
      i += 3;
    }
  }
  QPDFObjectHandle fallback = cid.getKey("/DW");
  return fallback.isNumber() ? fallback.getNumericValue() : 1000.0;
}

std::string hexCode(unsigned int code, int bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
    hex += digits[(code >> (shift + 4)) & 15];
    hex += digits[(code >> shift) & 15];
  }
  return hex;
}

}  // namespace

double OwnFontText::advance(double size) const {
  double sum = 0;
  for (const double w : widths) sum += w;
  return sum * size / 1000.0;
}

std::map<FPDF_FONT, DrawnChars> charsDrawnPerFont(FPDF_TEXTPAGE textPage) {
  std::map<FPDF_FONT, DrawnChars> drawn;
  if (!textPage) return drawn;
  const int count = FPDFText_CountChars(textPage);
  const auto originOf = [&](int i) {
    double x = 0, y = 0;
    return FPDFText_GetCharOrigin(textPage, i, &x, &y) ? QPointF(x, y) : QPointF(qQNaN(), qQNaN());
  };
  // Characters of one code (a ligature read as several letters) share their glyph's origin.
  const auto sameGlyph = [&](int a, int b) {
    return b >= 0 && b < count && FPDFText_GetTextObject(textPage, a) == FPDFText_GetTextObject(textPage, b) &&
           originOf(a) == originOf(b);
  };
  for (int i = 0; i < count; ++i) {
    if (FPDFText_IsGenerated(textPage, i) == 1 || sameGlyph(i, i - 1) || sameGlyph(i, i + 1)) continue;
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage, i);
    const unsigned int u = FPDFText_GetUnicode(textPage, i);
    const int mode = object ? FPDFTextObj_GetTextRenderMode(object) : -1;
    if (!object || u == 0 || u > 0x10FFFF || mode == 3 || mode == 7 || FPDFText_HasUnicodeMapError(textPage, i) == 1)
      continue;
    // The loose box spans the glyph's advance along its matrix.
    double width = std::nan("");
    FS_RECTF loose;
    FS_MATRIX m;
    float size = 0;
    if (FPDFText_GetLooseCharBox(textPage, i, &loose) && FPDFText_GetMatrix(textPage, i, &m) &&
        FPDFTextObj_GetFontSize(object, &size) && size > 0 && m.a > 0 && std::abs(m.b) <= 1e-3 * m.a &&
        std::abs(m.c) <= 1e-3 * std::abs(m.d))
      width = (loose.right - loose.left) * 1000.0 / (double(size) * m.a);
    auto [it, added] = drawn[FPDFTextObj_GetFont(object)].try_emplace(char32_t(u), width);
    if (!added && it->second != kDrawnAtSeveralWidths && !std::isnan(width)) {
      if (std::isnan(it->second)) it->second = width;
      else if (std::abs(it->second - width) > 1.0) it->second = kDrawnAtSeveralWidths;
    }
  }
  return drawn;
}

OwnFontText ownFontText(FPDF_FONT font, const QString& typed, const DrawnChars& drawn) {
  OwnFontText own;
  // A Type 3 font's glyphs are drawings at its own matrix, not set at a size.
  size_t program = 0;
  if (!font || FPDFFont_GetIsEmbedded(font) != 1 || !FPDFFont_GetFontData(font, nullptr, 0, &program) ||
      program == 0 || shapedWithNeighbours(typed))
    return own;
  for (const char32_t c : typed.toUcs4()) {
    const QChar::Direction direction = QChar::direction(c);
    if (direction == QChar::DirR || direction == QChar::DirAL || direction == QChar::DirRLE ||
        direction == QChar::DirRLO || direction == QChar::DirRLI)
      return {};
    float width = 0;
    if (QChar::isSpace(c)) {
      // The font's blank where the page draws one of a blank's width: a
      // subset's map may name a blank its program lacks.
      if (!drawn.count(' ') || !FPDFFont_GetGlyphWidth(font, ' ', 1000, &width) || width < 100 || width > 600)
        return {};
      own.chars.push_back(U' ');
      own.widths.push_back(width);
      continue;
    }
    const auto seen = drawn.find(c);
    if (seen == drawn.end() || seen->second == kDrawnAtSeveralWidths) return {};
    if (!std::isnan(seen->second))
      width = float(seen->second);
    else if (!FPDFFont_GetGlyphWidth(font, c, 1000, &width))
      return {};
    if (!(width > 0)) return {};
    FPDF_GLYPHPATH path = FPDFFont_GetGlyphPath(font, c, 1000);
    if (!path || FPDFGlyphPath_CountGlyphSegments(path) <= 0) return {};
    own.chars.push_back(c);
    own.widths.push_back(width);
  }
  return own;
}

std::string ownFontShow(QPDFObjectHandle font, const OwnFontText& text, const std::set<unsigned>& drawn) {
  if (text.chars.empty() || text.chars.size() != text.widths.size()) return {};
  const int bytes = showCodeBytes(font);
  if (bytes <= 0) return {};
  // Only a code the page draws and every reader reads as the character alone
  // draws it as the page does: a map may read a code as one character while
  // its glyph is another's. Of two such codes, which one draws the letter
  // the user sees cannot be told.
  std::map<unsigned, std::set<char32_t>> readings;
  std::map<char32_t, unsigned int> codes;
  std::set<char32_t> twice;
  try {
    QPDFObjectHandle map = font.getKey("/ToUnicode");
    if (map.isStream()) {
      readings = readingsInMap(map, drawn);
    } else if (bytes == 1) {
      // A simple font of a standard encoding, which readers read without a map.
      QPDFObjectHandle encoding = font.getKey("/Encoding");
      const bool win = encoding.isNameAndEquals("/WinAnsiEncoding"), mac = encoding.isNameAndEquals("/MacRomanEncoding");
      for (const char32_t c : text.chars) {
        std::string encoded;
        const std::string utf8 = QString::fromUcs4(&c, 1).toStdString();
        if ((win && QUtil::utf8_to_win_ansi(utf8, encoded)) || (mac && QUtil::utf8_to_mac_roman(utf8, encoded)))
          if (encoded.size() == 1 && drawn.count(static_cast<unsigned char>(encoded[0])))
            readings[static_cast<unsigned char>(encoded[0])].insert(c);
      }
    }
    for (const auto& [code, read] : readings)
      if (read.size() == 1 && *read.begin() != 0 && !codes.emplace(*read.begin(), code).second)
        twice.insert(*read.begin());
    std::string show = "[";
    bool inString = false;
    for (size_t i = 0; i < text.chars.size(); ++i) {
      const auto code = twice.count(text.chars[i]) ? codes.end() : codes.find(text.chars[i]);
      std::optional<double> width;
      if (code != codes.end() && code->second < (1u << (8 * bytes))) width = statedWidth(font, code->second, bytes);
      // Where the dictionary states no width, readers take the program's, which was measured.
      const bool fits = code != codes.end() && code->second < (1u << (8 * bytes)) &&
                        (!width || std::abs(*width - text.widths[i]) <= 1.0);
      // A blank of no glyph would be a gap, which not every reader reads as a blank.
      if (!fits) return {};
      if (!inString) show += "<";
      inString = true;
      show += hexCode(code->second, bytes);
    }
    return show + (inString ? ">" : "") + "] TJ";
  } catch (const std::exception&) {
    return {};
  }
}
