#include "PageContentEdit.h"
#include "CoreText.h"

#include "QpdfInMemory.h"
#include "ShapedTextPdf.h"

#include <QColor>
#include <QRandomGenerator>
#include <QTransform>

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <cmath>
#include <exception>
#include <optional>
#include <set>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// What one edit processes at most: a page past these is refused, not
// written, so hostile content cannot take the machine's memory or time.
constexpr size_t kMaxOperandTokens = 100000;
constexpr size_t kMaxOperandBytes = size_t(16) << 20;
constexpr size_t kMaxContentBytes = size_t(256) << 20;
constexpr long kMaxNesting = 4096;
constexpr int kMaxFormDepth = 12;
constexpr size_t kMaxForms = 4000;

struct Refused : std::exception {};
struct Damaged : std::exception {};
// A form that draws itself is drawn as deep as each reader cares to go: no
// edit of one level reaches the others.
struct SelfDrawing : std::exception {};
// Words taken out of a form that an annotation's appearance draws as well
// would stay in sight there, over or under the new line.
struct DrawnByAnnotation : std::exception {};
// A show does not hold the glyphs the page was read as drawing with it.
struct CutRefused : std::exception {};

bool takesSomething(const ContentDrops& drops) {
  if (!drops.ids.empty() || !drops.cuts.empty() || !drops.carried.empty()) return true;
  for (const auto& [index, inner] : drops.forms)
    if (takesSomething(inner)) return true;
  return false;
}

// Words that are no operator draw nothing in any viewer, which each
// complains of in its own way; an edited page is written without them.
bool isOperator(const std::string& word) {
  static const std::set<std::string> known{
      "b",  "B",  "b*", "B*", "BDC", "BI", "BMC", "BT", "BX", "c",  "cm", "CS", "cs", "d",  "d0", "d1", "Do",
      "DP", "EI", "EMC", "ET", "EX", "f",  "F",  "f*", "G",  "g",  "gs", "h",  "i",  "ID", "j",  "J",  "K",
      "k",  "l",  "m",  "M",  "MP", "n",  "q",  "Q",  "re", "RG", "rg", "ri", "s",  "S",  "SC", "sc", "SCN",
      "scn", "sh", "T*", "Tc", "Td", "TD", "Tf", "Tj", "TJ", "TL", "Tm", "Tr", "Ts", "Tw", "Tz", "v",  "w",
      "W",  "W*", "y",  "'",  "\""};
  return known.count(word) > 0;
}

using Token = QPDFTokenizer::Token;

bool isBlank(const Token& t) { return t.getType() == QPDFTokenizer::tt_space || t.getType() == QPDFTokenizer::tt_comment; }
bool isWord(const Token& t, const char* word) { return t.getType() == QPDFTokenizer::tt_word && t.getValue() == word; }
bool isShow(const std::string& op) { return op == "Tj" || op == "TJ" || op == "'" || op == "\""; }
// Read in the C locale whatever the user's is; 0 for what is no number.
double number(const Token& t) { return QByteArray::fromStdString(t.getValue()).toDouble(); }

// The strings and spacings a show draws: the last operand of Tj, ' and ",
// the elements of TJ's array.
std::vector<ShowOperand> drawnOperands(const std::string& op, const std::vector<Token>& args) {
  std::vector<ShowOperand> drawn;
  const bool array = op == "TJ";
  for (size_t i = array || args.empty() ? 0 : args.size() - 1; i < args.size(); ++i) {
    const QPDFTokenizer::token_type_e type = args[i].getType();
    if (array && (type == QPDFTokenizer::tt_array_open || type == QPDFTokenizer::tt_array_close)) continue;
    if (type == QPDFTokenizer::tt_string) drawn.push_back({ShowOperand::Codes, args[i].getValue()});
    else if (array && (type == QPDFTokenizer::tt_integer || type == QPDFTokenizer::tt_real))
      drawn.push_back({ShowOperand::Spacing, args[i].getValue()});
    else drawn.push_back({ShowOperand::Other, {}});
  }
  return drawn;
}

std::string formatNumber(double value) {
  // Fine enough that a line set again lands where it stood, turned or not.
  QByteArray text = QByteArray::number(std::abs(value) < 1e-9 ? 0.0 : value, 'f', 9);
  while (text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  return text.toStdString();
}

std::string matrixOperands(const QTransform& m) {
  std::string text;
  for (const double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) text += formatNumber(v) + " ";
  return text;
}

bool isFormStream(QPDFObjectHandle object) {
  return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Form");
}
bool isImageStream(QPDFObjectHandle object) {
  return object.isStream() && object.getDict().getKey("/Subtype").isNameAndEquals("/Image");
}

QPDFObjectHandle xobjectNamed(QPDFObjectHandle resources, const std::string& name) {
  if (!resources.isDictionary()) return QPDFObjectHandle::newNull();
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  return xobjects.isDictionary() ? xobjects.getKey(name) : QPDFObjectHandle::newNull();
}

// Bytes per code of each font the resources name, looked up once a name:
// every show of the content asks.
std::function<int(const std::string&)> codeBytesIn(QPDFObjectHandle resources) {
  QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle::newNull();
  return [fonts, known = std::map<std::string, int>()](const std::string& name) mutable {
    const auto [it, added] = known.try_emplace(name, 0);
    if (added && fonts.isDictionary()) it->second = showCodeBytes(fonts.getKey(name));
    return it->second;
  };
}

// Notes each code a show draws under the font object it draws in, so that a
// typed character takes a code the page itself draws (a direct font, which
// nothing else can name, is left out).
std::function<void(const std::string&, const std::vector<ShowOperand>&)> codesDrawnIn(
    QPDFObjectHandle resources, std::map<QPDFObjGen, std::set<unsigned>>& drawnCodes) {
  QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle::newNull();
  return [fonts, &drawnCodes](const std::string& name, const std::vector<ShowOperand>& drawn) mutable {
    QPDFObjectHandle font = fonts.isDictionary() ? fonts.getKey(name) : QPDFObjectHandle::newNull();
    const int bytes = font.isIndirect() ? showCodeBytes(font) : 0;
    if (bytes <= 0 || countCodes(drawn, bytes) <= 0) return;
    std::set<unsigned>& codes = drawnCodes[font.getObjGen()];
    for (const ShowOperand& e : drawn)
      for (size_t i = 0; e.kind == ShowOperand::Codes && i < e.value.size(); i += size_t(bytes)) {
        unsigned code = 0;
        for (size_t k = 0; k < size_t(bytes); ++k) code = (code << 8) | static_cast<unsigned char>(e.value[i + k]);
        codes.insert(code);
      }
  };
}

// Operands since the last operator, kept within the bounds.
class Operands {
public:
  void add(const Token& t) {
    if (!isBlank(t) && ++count > kMaxOperandTokens) throw Refused();
    bytes += t.getRawValue().size();
    if (bytes > kMaxOperandBytes) throw Refused();
    tokens.push_back(t);
  }
  void clear() {
    tokens.clear();
    count = bytes = 0;
  }
  bool empty() const { return tokens.empty(); }
  std::vector<Token> values() const {
    std::vector<Token> found;
    for (const Token& t : tokens)
      if (!isBlank(t)) found.push_back(t);
    return found;
  }
  std::vector<Token> tokens;

private:
  size_t count = 0, bytes = 0;
};

// The output of a filter, bounded.
class BoundedFilter : public QPDFObjectHandle::TokenFilter {
protected:
  void put(const std::string& text) {
    written += text.size();
    if (written > kMaxContentBytes) throw Refused();
    write(text);
  }
  void putToken(const Token& t) { put(t.getRawValue()); }

private:
  size_t written = 0;
};

// Wraps each show and image in a numbered sequence under the tag. The
// page's own content is balanced as well: closing operators with nothing to
// close go (viewers ignore them; inside the wrapping q … Q they would close
// it), what stays open is closed at the end.
class MarkingFilter : public BoundedFilter {
public:
  using ShowSeen = std::function<void(const std::string&, const std::vector<ShowOperand>&)>;
  MarkingFilter(const std::string& tag, bool wrap, std::function<bool(const std::string&)> isImage,
                std::function<int(const std::string&)> codeBytes, ShowSeen seen)
      : tag(tag), wrap(wrap), isImage(std::move(isImage)), codeBytes(std::move(codeBytes)), seen(std::move(seen)) {}

  void handleToken(const Token& token) override {
    if (!started) {
      if (wrap) put("q\n");
      started = true;
    }
    // Broken content reads differently in every viewer: what the edit
    // appends could be taken into it.
    if (token.getType() == QPDFTokenizer::tt_bad) throw Damaged();
    if (pending.empty() && isBlank(token)) return putToken(token);
    if (token.getType() != QPDFTokenizer::tt_word) return pending.add(token);
    const std::string& op = token.getValue();
    if (!inInlineImage && !isOperator(op)) return pending.clear();
    if (inInlineImage) {
      pending.add(token);
      if (op == "EI") {
        inInlineImage = false;
        emitMarked();
      }
      return;
    }
    if (op == "BI") {
      flush();
      inInlineImage = true;
      return pending.add(token);
    }
    if (wrap && !balance(op)) return flush();
    followFont(op);
    if (isShow(op)) {
      // How many codes the show draws, so that an edit can tell its glyphs
      // apart; only where its font says how long a code is.
      const std::vector<ShowOperand> drawn = drawnOperands(op, pending.values());
      const int codes = countCodes(drawn, codeBytes ? codeBytes(fonts.back()) : 0);
      if (seen) seen(fonts.back(), drawn);
      pending.add(token);
      return emitMarked(codes);
    }
    if (op == "Do" && namedImage()) {
      pending.add(token);
      return emitMarked();
    }
    if (op == "Do") {
      const auto args = pending.values();
      if (!args.empty() && args.back().getType() == QPDFTokenizer::tt_name) formsDrawn.push_back(args.back().getValue());
    }
    flush();
    putToken(token);
  }

  void handleEOF() override {
    if (!started && wrap) put("q\n");
    flush();
    if (!wrap) return;
    std::string closing = "\n";
    if (inText) closing += "ET\n";
    for (; marks > 0; --marks) closing += "EMC\n";
    for (; saves > 0; --saves) closing += "Q\n";
    put(closing + "Q\n");
  }

  // The names of the forms this content draws, in the order it draws them.
  std::vector<std::string> formsDrawn;
  long nextId = 0;

private:
  // False for a closing operator with nothing to close, which is left out.
  bool balance(const std::string& op) {
    if (op == "q" && ++saves > kMaxNesting) throw Refused();
    if ((op == "BMC" || op == "BDC") && ++marks > kMaxNesting) throw Refused();
    if (op == "Q") return saves > 0 && saves-- > 0;
    if (op == "EMC") return marks > 0 && marks-- > 0;
    if (op == "BT") inText = true;
    if (op == "ET") return inText && !(inText = false);
    return true;
  }
  bool namedImage() const {
    const auto args = pending.values();
    return !args.empty() && args.back().getType() == QPDFTokenizer::tt_name && isImage(args.back().getValue());
  }
  void followFont(const std::string& op) {
    if (op == "q") fonts.push_back(fonts.back()), clipped.push_back(clipped.back());
    if (op == "Q" && fonts.size() > 1) fonts.pop_back(), clipped.pop_back();
    if (op == "W" || op == "W*") clipped.back() = true;
    if (op == "Tf") {
      const auto args = pending.values();
      if (args.size() == 2 && args[0].getType() == QPDFTokenizer::tt_name) fonts.back() = args[0].getValue();
    }
  }
  void emitMarked(int codes = -1) {
    // Whether a clip is set where it draws, for an edit that moves what it
    // draws: pdfium does not always read the clip of an object.
    put("/" + tag + " <</K " + std::to_string(nextId++) + (codes > 0 ? " /N " + std::to_string(codes) : "") +
        (clipped.back() ? " /W 1" : "") + ">> BDC ");
    flush();
    put(" EMC");
  }
  void flush() {
    for (const Token& t : pending.tokens) putToken(t);
    pending.clear();
  }

  const std::string tag;
  const bool wrap;
  std::function<bool(const std::string&)> isImage;
  std::function<int(const std::string&)> codeBytes;
  ShowSeen seen;
  std::vector<std::string> fonts{std::string()};  // the font set, per saved state
  std::vector<bool> clipped{false};               // whether a clip is set, per saved state
  Operands pending;
  bool started = false;
  bool inInlineImage = false;
  bool inText = false;
  long saves = 0;
  long marks = 0;
};

// Copies marked content with the chosen operators removed and no tag left.
// It follows the current transformation and the text line matrix, so that a
// show kept after removed ones in the same line can be set where it stood.
class DroppingFilter : public BoundedFilter {
public:
  // `renameForm`: called for the n-th form this content draws; the name to draw instead.
  // `spliceAt`: the new content for the place of removed show n, drawn in
  // user space, given the fill and the font set there; empty for none.
  // `codeBytes`: the bytes per code of the font of that name, for cutting shows.
  DroppingFilter(const std::string& tag, const ContentDrops& drops, QTransform ctm,
                 std::function<std::string(int, const std::string&, const QTransform&)> renameForm,
                 std::function<std::string(long, const std::string&, const std::string&)> spliceAt,
                 std::function<int(const std::string&)> codeBytes)
      : tag("/" + tag), drops(drops), renameForm(std::move(renameForm)), spliceAt(std::move(spliceAt)),
        codeBytes(std::move(codeBytes)) {
    state.ctm = ctm;
  }

  // The names of the forms drawn under their own name, and of those drawn from a copy.
  std::set<std::string> keptForms, copiedForms;

  void handleToken(const Token& token) override {
    if (region) return collectRegion(token);
    if (token.getType() == QPDFTokenizer::tt_name && token.getValue() == tag && pending.empty()) {
      region = true;
      regionTokens.clear();
      regionTokens.push_back(token);
      return;
    }
    if (pending.empty() && isBlank(token)) return putToken(token);
    if (token.getType() != QPDFTokenizer::tt_word) return pending.add(token);
    const std::string op = token.getValue();
    const auto args = pending.values();
    if (op == "Do" && !args.empty() && args.back().getType() == QPDFTokenizer::tt_name) {
      const std::string name = renameForm(formsSeen, args.back().getValue(), state.ctm);
      if (!name.empty()) {
        ++formsSeen;
        (name == args.back().getValue() ? keptForms : copiedForms).insert(args.back().getValue());
        if (name != args.back().getValue()) {
          for (Token& t : pending.tokens)
            if (t.getType() == QPDFTokenizer::tt_name && t.getValue() == args.back().getValue())
              t = Token(QPDFTokenizer::tt_name, name);
        }
      }
    }
    if (op == "Td" || op == "TD" || op == "T*") restoreLine();
    follow(op, args);
    flush();
    putToken(token);
  }

  void handleEOF() override {
    if (region) {
      for (const Token& t : regionTokens) putToken(t);
      region = false;
    }
    flush();
  }

private:
  struct GraphicsState {
    QTransform ctm;
    double leading = 0;
    double rise = 0;
    std::string font;
    double scale = 100;  // Tz
    // The fill as the content set it, operators and all: new words in a
    // line filled with a pattern are filled with it too.
    std::string fillSpace, fillColour;
  };

  // The header /tag <</K n>> BDC, one blank, the operands and operator, one
  // blank, EMC: the blanks are the marking's own.
  void collectRegion(const Token& token) {
    if (regionTokens.size() > kMaxOperandTokens) throw Refused();
    if (!isWord(token, "EMC")) {
      regionTokens.push_back(token);
      return;
    }
    region = false;
    long id = -1;
    size_t body = regionTokens.size();
    for (size_t i = 0; i < regionTokens.size(); ++i) {
      const Token& t = regionTokens[i];
      if (t.getType() == QPDFTokenizer::tt_integer && id < 0) id = std::stol(t.getValue());
      if (isWord(t, "BDC")) {
        body = i + 2;  // the blank the marking put after it
        break;
      }
    }
    std::vector<Token> inner(regionTokens.begin() + long(std::min(body, regionTokens.size())), regionTokens.end());
    if (!inner.empty() && inner.back().getType() == QPDFTokenizer::tt_space) inner.pop_back();
    const std::string op = inner.empty() || inner.back().getType() != QPDFTokenizer::tt_word ? std::string()
                                                                                             : inner.back().getValue();
    std::vector<Token> args;
    for (size_t i = 0; i + 1 < inner.size(); ++i)
      if (!isBlank(inner[i])) args.push_back(inner[i]);
    const bool show = isShow(op);
    if (show) {
      if (const auto cut = drops.cuts.find(id); cut != drops.cuts.end()) return drawCut(op, args, cut->second, id);
    }
    if (const auto carried = drops.carried.find(id); carried != drops.carried.end()) {
      put("q " + matrixOperands(carried->second) + "cm ");
      for (const Token& t : inner) putToken(t);
      put(" Q");
      return;
    }
    if (drops.ids.count(id)) {
      // A removed ' or " still moves to the next line, and " still sets the spacings.
      moveToNextLine(op, args);
      if (show) {
        follow(op, args);
        pull = true;
      }
      drawNewContent(id);
      return;
    }
    // Set where its first glyph stood, a TJ no longer moves by the numbers
    // before that glyph: the place holds them already.
    const bool placed = show && pull && (op == "Tj" || op == "TJ") && placeAtOrigin(id);
    if (op == "'" || op == "\"") restoreLine();
    bool leading = placed && op == "TJ";
    for (const Token& t : inner) {
      const QPDFTokenizer::token_type_e type = t.getType();
      if (leading && (type == QPDFTokenizer::tt_string || type == QPDFTokenizer::tt_array_close)) leading = false;
      if (leading && (type == QPDFTokenizer::tt_integer || type == QPDFTokenizer::tt_real)) continue;
      putToken(t);
    }
    if (show) follow(op, args);
    if (show && drops.after.count(id)) {
      drawNewContent(id);
      pull = true;  // the shows after it are set where they stood
    }
  }

  // Sets the show where its first glyph stood; the line matrix it changes
  // with it is put back before anything moves to the next line.
  bool placeAtOrigin(long id) {
    const auto it = drops.origins.find(id);
    return it != drops.origins.end() && placeAt(it->second);
  }
  bool placeAt(const QPointF& origin) {
    bool invertible = false;
    const QTransform toText = (lineMatrix * state.ctm).inverted(&invertible);
    if (!invertible) return false;
    const QPointF p = toText.map(origin);
    if (!lineChanged) savedLine = lineMatrix;
    lineChanged = true;
    put(" " + matrixOperands(QTransform::fromTranslate(p.x(), p.y() - state.rise) * lineMatrix) + "Tm ");
    pull = false;
    return true;
  }

  // What stays of a cut show, each run of codes where it goes, then the new
  // words meant for its place. The shows after it no longer follow its pen.
  void drawCut(const std::string& op, const std::vector<Token>& args, const ShowCut& cut, long id) {
    const int bytes = codeBytes ? codeBytes(state.font) : 0;
    moveToNextLine(op, args);
    follow(op, args);
    const std::vector<ShowOperand> drawn = drawnOperands(op, args);
    bool newDrawn = false;
    for (const KeptGlyphs& kept : cut.kept) {
      if (kept.afterNew && !newDrawn) {
        drawNewContent(id);
        newDrawn = true;
      }
      const bool moved = kept.origin.has_value();
      if (moved && !placeAt(*kept.origin)) throw CutRefused();
      const std::string shown = cut.whole ? wholeShow(drawn, !moved)
                                          : keptShow(drawn, bytes, cut.codes, kept.from, kept.to, !moved && kept.from == 0);
      if (shown.empty()) throw CutRefused();
      if (kept.narrow != 1.0) put(" " + formatNumber(state.scale * kept.narrow) + " Tz");
      put(" " + shown + " ");
      if (kept.narrow != 1.0) put(formatNumber(state.scale) + " Tz ");
    }
    if (!newDrawn) drawNewContent(id);
    pull = true;
  }

  // What ' and " do besides drawing: move to the next line, " setting the spacings first.
  void moveToNextLine(const std::string& op, const std::vector<Token>& args) {
    if (op != "'" && op != "\"") return;
    restoreLine();
    if (op == "\"" && args.size() == 3) put(" " + args[0].getRawValue() + " Tw " + args[1].getRawValue() + " Tc");
    put(" T*");
  }
  // The text object is ended for the new content and opened again on the
  // line it was on; the state the shows after it rely on comes back with Q.
  void drawNewContent(long id) {
    bool invertible = false;
    const QTransform back = state.ctm.inverted(&invertible);
    if (!invertible || !spliceAt) return;
    const std::string content = spliceAt(id, state.fillSpace + " " + state.fillColour, state.font);
    if (content.empty()) return;
    put(std::string(inText ? "\nET" : "") + "\nq " + matrixOperands(back) + "cm\n" + content + "Q\n");
    if (inText) put("BT " + matrixOperands(lineMatrix) + "Tm ");
    lineChanged = false;
  }

  void restoreLine() {
    if (!lineChanged) return;
    put(" " + matrixOperands(savedLine) + "Tm ");
    lineChanged = false;
  }

  void follow(const std::string& op, const std::vector<Token>& args) {
    const auto n = [&](size_t i) { return i < args.size() ? number(args[i]) : 0.0; };
    if (op == "q") {
      if (stack.size() >= size_t(kMaxNesting)) throw Refused();
      stack.push_back(state);
    } else if (op == "Q" && !stack.empty()) {
      state = stack.back();
      stack.pop_back();
    } else if (op == "cm" && args.size() == 6) {
      state.ctm = QTransform(n(0), n(1), n(2), n(3), n(4), n(5)) * state.ctm;
    } else if (op == "BT" || op == "ET") {
      lineMatrix = QTransform();
      lineChanged = pull = false;
      inText = op == "BT";
    } else if (op == "TL" && args.size() == 1) {
      state.leading = n(0);
    } else if (op == "Ts" && args.size() == 1) {
      state.rise = n(0);
    } else if (op == "Tz" && args.size() == 1) {
      state.scale = n(0);
    } else if (op == "Tf" && args.size() == 2 && args[0].getType() == QPDFTokenizer::tt_name) {
      state.font = args[0].getValue();
    } else if (op == "cs") {
      state.fillSpace = raw(args) + "cs";
      state.fillColour.clear();
    } else if (op == "sc" || op == "scn") {
      state.fillColour = raw(args) + op;
    } else if (op == "g" || op == "rg" || op == "k") {
      state.fillSpace.clear();
      state.fillColour = raw(args) + op;
    } else if ((op == "Td" || op == "TD") && args.size() == 2) {
      if (op == "TD") state.leading = -n(1);
      lineMatrix = QTransform::fromTranslate(n(0), n(1)) * lineMatrix;
      pull = false;
    } else if (op == "Tm" && args.size() == 6) {
      lineMatrix = QTransform(n(0), n(1), n(2), n(3), n(4), n(5));
      lineChanged = pull = false;
    } else if (op == "T*" || op == "'" || op == "\"") {
      lineMatrix = QTransform::fromTranslate(0, -state.leading) * lineMatrix;
      pull = false;
    }
  }

  static std::string raw(const std::vector<Token>& args) {
    std::string text;
    for (const Token& t : args) text += t.getRawValue() + " ";
    return text;
  }

  void flush() {
    for (const Token& t : pending.tokens) putToken(t);
    pending.clear();
  }

  const std::string tag;
  const ContentDrops& drops;
  std::function<std::string(int, const std::string&, const QTransform&)> renameForm;
  std::function<std::string(long, const std::string&, const std::string&)> spliceAt;
  std::function<int(const std::string&)> codeBytes;
  Operands pending;
  bool region = false;
  bool inText = false;
  std::vector<Token> regionTokens;
  GraphicsState state;
  std::vector<GraphicsState> stack;
  QTransform lineMatrix;
  QTransform savedLine;
  bool lineChanged = false;  // a kept show was set by Tm; savedLine is the line matrix
  bool pull = false;         // shows were removed since the line was last positioned
  int formsSeen = 0;
};

// The pieces pdfium appended to the page under the new-content tag, by
// their numbers, and the order it wrote them in.
class PieceCollector : public QPDFObjectHandle::TokenFilter {
public:
  explicit PieceCollector(const std::string& tag) : tag("/" + tag) {}

  std::map<int, std::vector<Token>> pieces;
  std::vector<int> order;

  void handleToken(const Token& token) override {
    if (inPiece) {
      if (isWord(token, "BDC") || isWord(token, "BMC")) ++depth;
      if (isWord(token, "EMC") && depth-- == 0) {
        inPiece = false;
        if (number >= 0 && !pieces.count(number)) order.push_back(number);
        pieces[number] = std::move(body);
        body.clear();
        return;
      }
      body.push_back(token);
    } else if (inHeader) {
      if (token.getType() == QPDFTokenizer::tt_integer && number < 0) number = std::stoi(token.getValue());
      if (isWord(token, "BDC")) {
        inHeader = false;
        inPiece = true;
        depth = 0;
      }
    } else if (token.getType() == QPDFTokenizer::tt_name && token.getValue() == tag) {
      inHeader = true;
      number = -1;
    }
  }

private:
  const std::string tag;
  bool inHeader = false, inPiece = false;
  int number = -1;
  int depth = 0;
  std::vector<Token> body;
};

std::string randomTag() {
  const quint64 value = QRandomGenerator::system()->generate64();
  return "UlvoEdit" + QByteArray::number(value, 16).rightJustified(16, '0').toStdString();
}

std::string filtered(const std::function<void(Pl_Buffer&)>& run) {
  Pl_Buffer buffer("edited content");
  run(buffer);
  const std::unique_ptr<Buffer> data(buffer.getBuffer());
  return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

// What one content (the page's, or a form's copy) draws with: its own
// resources, made its own on the first change so that nobody else's change.
struct Holder {
  Holder(QPDFObjectHandle dict, QPDFObjectHandle inherited) : dict(dict), inherited(inherited) {}

  QPDFObjectHandle dict;       // the page's dictionary or the form's
  QPDFObjectHandle inherited;  // what it reads when it has no resources of its own
  QPDFObjectHandle resources;
  std::set<std::string> ownCategories;
  std::map<std::pair<std::string, QPDFObjGen>, std::string> names;

  QPDFObjectHandle category(const std::string& key) {
    if (!resources.isInitialized()) {
      QPDFObjectHandle had = dict.getKey("/Resources");
      if (!had.isDictionary()) had = inherited;
      resources = had.isDictionary() ? had.shallowCopy() : QPDFObjectHandle::newDictionary();
      dict.replaceKey("/Resources", resources);
    }
    if (ownCategories.insert(key).second) {
      QPDFObjectHandle had = resources.getKey(key);
      resources.replaceKey(key, had.isDictionary() ? had.shallowCopy() : QPDFObjectHandle::newDictionary());
    }
    return resources.getKey(key);
  }

  // The name `object` goes by here; `wanted` when it is free.
  std::string nameFor(const std::string& key, QPDFObjectHandle object, const std::string& wanted) {
    auto [it, added] = names.try_emplace({key, object.getObjGen()});
    if (!added) return it->second;
    QPDFObjectHandle entries = category(key);
    std::string name = wanted;
    for (int n = 1; entries.hasKey(name); ++n) name = wanted + "_" + std::to_string(n);
    entries.replaceKey(name, object);
    return it->second = name;
  }
};

const char* const kResourceCategories[] = {"/Font", "/ExtGState", "/XObject", "/ColorSpace", "/Pattern", "/Shading",
                                           "/Properties"};

}  // namespace

struct PageContentEdit::State {
  QPDF pdf;
  std::optional<QPDFPageObjectHelper> page;
  int pageIndex = -1;
  QByteArray tag;
  bool objectStreams = false;
  // Each marked form with the bytes it had.
  struct Original {
    QPDFObjectHandle form;
    std::shared_ptr<Buffer> data;
    QPDFObjectHandle filter, parameters;
  };
  std::map<QPDFObjGen, Original> marked;
  // The codes the page's content and forms draw, per font object.
  std::map<QPDFObjGen, std::set<unsigned>> drawnCodes;
  // The forms the page's annotations draw in their appearances, which no edit rewrites.
  std::set<QPDFObjGen> annotationForms;

  // What pdfium generated for the page, read from its file.
  std::unique_ptr<QPDF> generated;
  QPDFObjectHandle generatedResources;
  std::unique_ptr<PieceCollector> collector;
  std::set<int> placed;
  QPDFObjectHandle plainState;  // the default state pdfium's content starts from
  const std::map<int, ShapedPlacement>* shaped = nullptr;
  ShapedTextFonts shapedFonts;

  void markForms(QPDFObjectHandle resources, const std::vector<std::string>& names, int depth,
                 std::set<QPDFObjGen>& drawing) {
    if (depth > kMaxFormDepth) return;
    for (const std::string& name : names) {
      QPDFObjectHandle form = xobjectNamed(resources, name);
      if (!isFormStream(form) || !form.isIndirect()) continue;
      if (drawing.count(form.getObjGen())) throw SelfDrawing();
      if (marked.count(form.getObjGen())) continue;
      if (marked.size() >= kMaxForms) throw Refused();
      QPDFObjectHandle dict = form.getDict();
      marked[form.getObjGen()] = {form, form.getRawStreamData(), dict.getKey("/Filter"), dict.getKey("/DecodeParms")};
      QPDFObjectHandle own = dict.getKey("/Resources");
      QPDFObjectHandle used = own.isDictionary() ? own : resources;
      MarkingFilter filter(tag.toStdString(), false,
                           [used](const std::string& n) { return isImageStream(xobjectNamed(used, n)); },
                           codeBytesIn(used), codesDrawnIn(used, drawnCodes));
      const std::string data = filtered([&](Pl_Buffer& out) { form.filterAsContents(&filter, &out); });
      form.replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
      drawing.insert(form.getObjGen());
      markForms(used, filter.formsDrawn, depth + 1, drawing);
      drawing.erase(form.getObjGen());
    }
  }

  void collectAnnotationForms() {
    std::vector<std::pair<QPDFObjectHandle, int>> open;
    const auto add = [&](QPDFObjectHandle form, int depth) {
      if (isFormStream(form) && form.isIndirect() && depth <= kMaxFormDepth && annotationForms.size() < kMaxForms &&
          annotationForms.insert(form.getObjGen()).second)
        open.emplace_back(form, depth);
    };
    QPDFObjectHandle annots = page->getObjectHandle().getKey("/Annots");
    for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i) {
      QPDFObjectHandle appearances = annots.getArrayItem(i).isDictionary()
                                         ? annots.getArrayItem(i).getKey("/AP") : QPDFObjectHandle::newNull();
      for (const char* kind : {"/N", "/R", "/D"}) {
        QPDFObjectHandle shown = appearances.isDictionary() ? appearances.getKey(kind) : QPDFObjectHandle::newNull();
        if (shown.isDictionary() && !shown.isStream())
          for (const std::string& state : shown.getKeys()) add(shown.getKey(state), 1);
        else
          add(shown, 1);
      }
    }
    while (!open.empty()) {
      auto [form, depth] = open.back();
      open.pop_back();
      QPDFObjectHandle xobjects = form.getDict().getKey("/Resources");
      xobjects = xobjects.isDictionary() ? xobjects.getKey("/XObject") : QPDFObjectHandle::newNull();
      if (xobjects.isDictionary())
        for (const std::string& name : xobjects.getKeys()) add(xobjects.getKey(name), depth + 1);
    }
  }

  // Whether a fill as the content set it ("/P0 scn", "/Cs cs 0.5 /P1 scn")
  // names a pattern: the last operand of its scn is a name.
  static bool fillsWithPattern(const std::string& fill) {
    const size_t name = fill.find_last_of('/'), last = fill.find_last_of(' ');
    return fill.size() > 4 && fill.compare(fill.size() - 4, 4, " scn") == 0 && name != std::string::npos &&
           fill.find(' ', name) == last;
  }

  // Generated content less the fill colours it sets, for a piece painted
  // in the fill the page has where it goes.
  static std::vector<Token> withoutFillColour(const std::vector<Token>& tokens) {
    static const std::set<std::string> fills{"g", "rg", "k", "cs", "sc", "scn"};
    std::vector<Token> kept, operands;
    for (const Token& t : tokens) {
      if (t.getType() != QPDFTokenizer::tt_word) {
        operands.push_back(t);
        continue;
      }
      if (!fills.count(t.getValue())) {
        kept.insert(kept.end(), operands.begin(), operands.end());
        kept.push_back(t);
      }
      operands.clear();
    }
    kept.insert(kept.end(), operands.begin(), operands.end());
    return kept;
  }

  // The generated tokens as `holder` draws them: each resource they name is
  // taken over from the generated file and named in the holder's resources.
  std::string generatedText(const std::vector<Token>& tokens, Holder& holder) {
    std::string text;
    for (const Token& t : tokens) {
      if (t.getType() == QPDFTokenizer::tt_name && generatedResources.isDictionary()) {
        bool named = false;
        for (const char* key : kResourceCategories) {
          QPDFObjectHandle entries = generatedResources.getKey(key);
          if (!entries.isDictionary() || !entries.hasKey(t.getValue())) continue;
          QPDFObjectHandle object = entries.getKey(t.getValue());
          if (!object.isIndirect()) object = generated->makeIndirectObject(object);
          text += holder.nameFor(key, pdf.copyForeignObject(object), t.getValue());
          named = true;
          break;
        }
        if (named) continue;
      }
      text += t.getRawValue();
    }
    return text;
  }

  // The pieces meant for the place of removed show `id`, not drawn elsewhere
  // yet, from the plain state pdfium's content expects.
  std::string piecesAt(const ContentDrops& drops, long id, const std::string& fill, const std::string& font,
                       Holder& holder) {
    auto it = drops.splices.find(id);
    if (it == drops.splices.end()) it = drops.after.find(id);
    if (it == drops.after.end()) return {};
    // A pattern is not a colour pdfium or the reading can give: a line
    // written anew in its place is painted with the page's own.
    const bool pattern = fillsWithPattern(fill);
    std::string text;
    for (const int number : it->second) {
      bool pageFill = pattern && drops.pageFill.count(number);
      if (shaped)
        if (const auto placement = shaped->find(number); placement != shaped->end())
          pageFill = pageFill || placement->second.pageFill;
      if (const std::string line = shapedAt(number, holder, font, pageFill); !line.empty()) {
        text += pageFill ? "q " + fill + "\n" + line + "Q\n" : line;
        continue;
      }
      if (!collector) continue;
      const auto piece = collector->pieces.find(number);
      if (piece == collector->pieces.end() || !placed.insert(number).second) continue;
      text += pageFill ? "q " + fill + "\n" + generatedText(withoutFillColour(piece->second), holder) + "\nQ\n"
                       : generatedText(piece->second, holder) + "\n";
    }
    if (text.empty()) return {};
    if (!plainState.isInitialized())
      plainState = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /ExtGState /BM /Normal /CA 1 /ca 1 >>"));
    return "0 0 0 RG 0 0 0 rg 1 w 0 J 0 j 10 M [] 0 d 0 Tc 0 Tw 100 Tz 0 Ts 0 Tr " +
           holder.nameFor("/ExtGState", plainState, "/UlvoPlain") + " gs\n" + text;
  }

  // The new objects no place took, drawn after the page's own content in the
  // order pdfium wrote them; whatever else pdfium generated is not taken over.
  std::string rest(Holder& holder) {
    std::vector<Token> tokens;
    for (const int number : collector ? collector->order : std::vector<int>()) {
      if (!placed.insert(number).second) continue;
      const auto& piece = collector->pieces[number];
      tokens.insert(tokens.end(), piece.begin(), piece.end());
      tokens.push_back(Token(QPDFTokenizer::tt_space, "\n"));
    }
    std::string text = tokens.empty() ? std::string() : generatedText(tokens, holder);
    if (shaped)
      for (const auto& [number, placement] : *shaped) text += shapedAt(number, holder);
    return text.empty() ? std::string() : "q\n" + text + "Q\n";
  }

  // A line set here, the first time its number is asked for: typed words
  // in `font`, the font the content has here, where it draws them.
  std::string shapedAt(int number, Holder& holder, const std::string& font = {}, bool pageFill = false) {
    if (!shaped) return {};
    const auto it = shaped->find(number);
    if (it == shaped->end() || !placed.insert(number).second) return {};
    ShapedPlacement placement = it->second;
    placement.pageFill = placement.pageFill || pageFill;
    if (placement.own && !font.empty()) {
      QPDFObjectHandle resources = holder.dict.getKey("/Resources");
      if (!resources.isDictionary()) resources = holder.inherited;
      QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle::newNull();
      QPDFObjectHandle used = fonts.isDictionary() ? fonts.getKey(font) : QPDFObjectHandle::newNull();
      const auto drawn = used.isIndirect() ? drawnCodes.find(used.getObjGen()) : drawnCodes.end();
      const std::string show = drawn != drawnCodes.end() ? ownFontShow(used, *placement.own, drawn->second) : std::string();
      if (!show.empty()) {
        std::string out = "q BT 0 Tc 0 Tw 100 Tz 0 TL 0 Ts 0 Tr ";
        const QColor fill = placement.colour.isValid() ? placement.colour : QColor(Qt::black);
        if (!placement.pageFill)
          out += formatNumber(fill.redF()) + " " + formatNumber(fill.greenF()) + " " + formatNumber(fill.blueF()) +
                 " rg ";
        return out + matrixOperands(placement.textMatrix) + "Tm " + font + " " + formatNumber(placement.size) +
               " Tf " + show + "\nET Q\n";
      }
    }
    // Measured in the line's font, the words keep that width in another
    // face; they are narrowed to it, never drawn wider than that face.
    if (placement.own && placement.line) {
      const double width = placement.line->advance(placement.size);
      if (width > 0.01)
        placement.textMatrix =
            QTransform::fromScale(std::min(1.0, placement.own->advance(placement.size) / width), 1) *
            placement.textMatrix;
    }
    return shapedFonts.content(placement, [&](QPDFObjectHandle used) {
      return holder.nameFor("/Font", used, "/UlvoText");
    });
  }

  void readGenerated(const QByteArray& bytes, const std::string& newTag) {
    generated = std::make_unique<QPDF>();
    std::optional<QPDFPageObjectHelper> page = readQpdfPage(*generated, bytes, pageIndex);
    if (!page) throw Damaged();
    generatedResources = page->getAttribute("/Resources", false);
    QPDFObjectHandle contents = page->getObjectHandle().getKey("/Contents");
    collector = std::make_unique<PieceCollector>(newTag);
    // The page's own content is its first stream; pdfium appends after it.
    for (int i = 1; contents.isArray() && i < contents.getArrayNItems(); ++i)
      filtered([&](Pl_Buffer& out) { contents.getArrayItem(i).filterAsContents(collector.get(), &out); });
  }

  // Filters one content (`run` feeds it) with `drops`; forms drawn from it
  // that lose something are drawn from copies named anew in the holder's
  // resources, and a form no longer drawn under its own name leaves them.
  std::string drop(const ContentDrops& drops, Holder& holder, const QTransform& ctm, int depth,
                   const std::function<void(DroppingFilter&, Pl_Buffer&)>& run) {
    QPDFObjectHandle resources = holder.dict.getKey("/Resources");
    if (!resources.isDictionary()) resources = holder.inherited;
    const auto rename = [&](int occurrence, const std::string& name, const QTransform& at) -> std::string {
      QPDFObjectHandle form = xobjectNamed(resources, name);
      if (!isFormStream(form)) return {};
      const auto it = drops.forms.find(occurrence);
      if (it == drops.forms.end() || depth >= kMaxFormDepth || !marked.count(form.getObjGen())) return name;
      if (annotationForms.count(form.getObjGen()) && takesSomething(it->second)) throw DrawnByAnnotation();
      QPDFObjectHandle copy = pdf.makeIndirectObject(form.copyStream());
      QPDFObjectHandle dict = copy.getDict();
      QPDFObjectHandle own = dict.getKey("/Resources");
      Holder inner{dict, own.isDictionary() ? own : resources};
      QPDFObjectHandle matrix = dict.getKey("/Matrix");
      QTransform formMatrix;
      if (matrix.isArray() && matrix.getArrayNItems() == 6) {
        double v[6];
        for (int i = 0; i < 6; ++i) v[i] = matrix.getArrayItem(i).isNumber() ? matrix.getArrayItem(i).getNumericValue() : 0;
        formMatrix = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
      }
      const std::string data = drop(it->second, inner, formMatrix * at, depth + 1,
                                    [&](DroppingFilter& f, Pl_Buffer& out) { form.filterAsContents(&f, &out); });
      copy.replaceStreamData(data, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
      return holder.nameFor("/XObject", copy, name);
    };
    DroppingFilter filter(
        tag.toStdString(), drops, ctm, rename,
        [&](long id, const std::string& fill, const std::string& font) {
          return piecesAt(drops, id, fill, font, holder);
        },
        codeBytesIn(resources));
    const std::string data = filtered([&](Pl_Buffer& out) { run(filter, out); });
    // The words taken out of a form must not stay readable in the original.
    for (const std::string& name : filter.copiedForms)
      if (!filter.keptForms.count(name)) holder.category("/XObject").removeKey(name);
    return data;
  }
};

PageContentEdit::PageContentEdit() : d(std::make_unique<State>()) {}
PageContentEdit::~PageContentEdit() = default;

const QByteArray& PageContentEdit::tag() const { return d->tag; }

QByteArray PageContentEdit::newContentTag() const { return d->tag + "New"; }

bool PageContentEdit::begin(const QByteArray& pdf, int pageIndex, bool objectStreams, QByteArray* marked,
                            QString* error) {
  const QString unreadable = coreText("Страницу нельзя изменить: файл повреждён.");
  try {
    d->objectStreams = objectStreams;
    d->pageIndex = pageIndex;
    do d->tag = QByteArray::fromStdString(randomTag());
    while (pdf.contains(d->tag));
    d->page = readQpdfPage(d->pdf, pdf, pageIndex);
    if (!d->page) {
      *error = unreadable;
      return false;
    }
    QPDFObjectHandle resources = d->page->getAttribute("/Resources", false);
    MarkingFilter filter(d->tag.toStdString(), true,
                         [resources](const std::string& n) { return isImageStream(xobjectNamed(resources, n)); },
                         codeBytesIn(resources), codesDrawnIn(resources, d->drawnCodes));
    const std::string data = filtered([&](Pl_Buffer& out) { d->page->filterContents(&filter, &out); });
    std::set<QPDFObjGen> drawing;
    d->markForms(resources, filter.formsDrawn, 1, drawing);
    d->collectAnnotationForms();
    d->page->getObjectHandle().replaceKey("/Contents", QPDFObjectHandle::newStream(&d->pdf, data));
    if (!writeQpdfToMemory(d->pdf, false, marked, false, true)) {
      *error = unreadable;
      return false;
    }
    return true;
  } catch (const Refused&) {
    *error = coreText("Содержимое страницы слишком велико или сложно для правки; страница не изменена.");
  } catch (const Damaged&) {
    *error = coreText("Содержимое страницы повреждено; страница не изменена.");
  } catch (const SelfDrawing&) {
    *error = coreText("На странице есть форма, которая рисует саму себя; её текст нельзя изменить.");
  } catch (const std::exception&) {
    *error = unreadable;
  }
  return false;
}

bool PageContentEdit::finish(const ContentDrops& drops, const QByteArray& generated, QByteArray* result,
                             QString* error) {
  return finish(drops, generated, {}, result, error);
}

bool PageContentEdit::finish(const ContentDrops& drops, const QByteArray& generated,
                             const std::map<int, ShapedPlacement>& shaped, QByteArray* result, QString* error) {
  if (!d->page) return false;
  try {
    if (!generated.isEmpty()) d->readGenerated(generated, newContentTag().toStdString());
    d->shaped = &shaped;
    for (const auto& [number, placement] : shaped)
      if (placement.line) d->shapedFonts.add(*placement.line);
    if (!d->shapedFonts.build(d->pdf)) throw Refused();
    QPDFObjectHandle pageObject = d->page->getObjectHandle();
    QPDFObjectHandle contents = pageObject.getKey("/Contents");
    Holder page{pageObject, d->page->getAttribute("/Resources", false)};
    std::string data = d->drop(drops, page, QTransform(), 0,
                               [&](DroppingFilter& f, Pl_Buffer& out) { contents.filterAsContents(&f, &out); });
    // The page's own content is one balanced q … Q: what follows starts
    // from the default state.
    data += "\n" + d->rest(page);
    // Every form marked for reading gets its bytes back; copies hold the drops.
    for (auto& [id, original] : d->marked)
      original.form.replaceStreamData(original.data, original.filter, original.parameters);
    pageObject.replaceKey("/Contents", QPDFObjectHandle::newStream(&d->pdf, data));
    if (writeQpdfToMemory(d->pdf, d->objectStreams, result, false, true)) return true;
  } catch (const Refused&) {
  } catch (const CutRefused&) {
    *error = coreText("Эту строку нельзя изменить: её глифы не удалось отделить от набранного текста.");
    return false;
  } catch (const DrawnByAnnotation&) {
    *error = coreText("Эту строку нельзя изменить: её рисует и аннотация страницы, где прежний текст остался бы "
                      "виден.");
    return false;
  } catch (const std::exception&) {
  }
  *error = coreText("Не удалось записать изменённое содержимое страницы.");
  return false;
}
