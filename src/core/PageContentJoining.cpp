#include "PageContentJoining.h"

#include "QpdfInMemory.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Copies the content with every closing operator that has nothing to close
// left out and whatever stays open closed at the end, the whole wrapped in
// q ... Q. Notes whether the copy differs in more than the wrapping, and
// whether the content changes at its outermost level a state that would
// carry over into content appended after it.
class BalancingFilter : public QPDFObjectHandle::TokenFilter {
 public:
  // `type3Fonts`: the page's font names that are Type 3 fonts; their shows
  // are tagged and noted in `kept` (when given).
  BalancingFilter(std::set<std::string> type3Fonts, std::vector<KeptType3Show>* kept)
      : type3Fonts(std::move(type3Fonts)), kept(kept) {}

  void handleToken(QPDFTokenizer::Token const& token) override {
    if (!started) {
      write("q\n");
      started = true;
    }
    if (token.getType() != QPDFTokenizer::tt_word) {
      pending.push_back(token);
      return;
    }
    const std::string& op = token.getValue();
    if (op == "q") {
      ++saves;
      states.push_back(state);
    } else if (op == "Q") {
      if (saves == 0) return dropped();
      --saves;
      state = states.back();
      states.pop_back();
    } else if (op == "BT") {
      inText = true;
    } else if (op == "ET") {
      if (!inText) return dropped();
      inText = false;
    } else if (op == "BMC" || op == "BDC") {
      ++marks;
    } else if (op == "EMC") {
      if (marks == 0) return dropped();
      --marks;
    } else {
      if (saves == 0 && carriesOver().count(op)) leavesState = true;
      noteTextState(op);
      if (inText && kept && type3Fonts.count(state.font) && (op == "Tj" || op == "TJ" || op == "'" || op == "\""))
        return keepShow(op, token);
    }
    flush();
    writeToken(token);
  }

  void handleEOF() override {
    if (!started) write("q\n");
    flush();
    std::string closing = "\n";
    if (inText) closing += "ET\n";
    for (; marks > 0; --marks) closing += "EMC\n";
    for (; saves > 0; --saves) closing += "Q\n";
    unbalanced = unbalanced || closing.size() > 1;
    write(closing + "Q\n");
  }

  bool unbalanced = false;
  bool leavesState = false;

 private:
  struct TextState {
    std::string font;
    double charSpacing = 0, wordSpacing = 0, rise = 0;
  };

  void dropped() {
    flush();
    unbalanced = true;
  }
  void flush() {
    for (const auto& t : pending) writeToken(t);
    pending.clear();
  }
  std::vector<QPDFTokenizer::Token> operands() const {
    std::vector<QPDFTokenizer::Token> found;
    for (const auto& t : pending)
      if (t.getType() != QPDFTokenizer::tt_space && t.getType() != QPDFTokenizer::tt_comment) found.push_back(t);
    return found;
  }
  // Read in the C locale whatever the user's is; 0 for what is no number.
  static double number(const QPDFTokenizer::Token& t) { return QByteArray::fromStdString(t.getValue()).toDouble(); }
  void noteTextState(const std::string& op) {
    const auto args = operands();
    if (op == "Tf" && args.size() == 2 && args[0].getType() == QPDFTokenizer::tt_name) state.font = args[0].getValue();
    if (args.empty()) return;
    if (op == "Tc") state.charSpacing = number(args.back());
    if (op == "Tw") state.wordSpacing = number(args.back());
    if (op == "Ts") state.rise = number(args.back());
    if (op == "\"" && args.size() == 3) {
      state.wordSpacing = number(args[0]);
      state.charSpacing = number(args[1]);
    }
  }
  // The show inside a tag of its own; pdfium's placement of it comes later.
  void keepShow(const std::string& op, QPDFTokenizer::Token const& token) {
    const auto args = operands();
    KeptType3Show show;
    show.font = state.font;
    show.charSpacing = state.charSpacing;
    show.wordSpacing = state.wordSpacing;
    show.rise = state.rise;
    show.op = op == "TJ" ? "TJ" : "Tj";
    // An array is several tokens; a string, as ' and " show, is the last one.
    if (op == "TJ") {
      for (const auto& t : args) show.operands += t.getRawValue() + " ";
    } else if (!args.empty()) {
      show.operands = args.back().getRawValue();
    }
    write("/" + std::string(kKeptType3Tag) + " <</K " + std::to_string(kept->size()) + ">> BDC ");
    flush();
    writeToken(token);
    write(" EMC ");
    kept->push_back(std::move(show));
  }
  // Graphics and text state that a later stream inherits and that pdfium
  // does not set again for the objects it appends.
  static const std::set<std::string>& carriesOver() {
    static const std::set<std::string> ops{"cm", "Tc", "Tw", "Tz", "TL", "Tr", "Ts", "gs", "d", "ri", "i", "M"};
    return ops;
  }

  const std::set<std::string> type3Fonts;
  std::vector<KeptType3Show>* kept;
  std::vector<QPDFTokenizer::Token> pending;
  TextState state;
  std::vector<TextState> states;
  bool started = false;
  bool inText = false;
  long saves = 0;
  long marks = 0;
};

// The names under which the page's resources hold Type 3 fonts.
std::set<std::string> type3FontNames(QPDFObjectHandle resources) {
  std::set<std::string> names;
  QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle::newNull();
  if (!fonts.isDictionary()) return names;
  for (const std::string& name : fonts.getKeys()) {
    QPDFObjectHandle font = fonts.getKey(name);
    if (font.isDictionary() && font.getKey("/Subtype").isNameAndEquals("/Type3")) names.insert(name);
  }
  return names;
}

// A form without resources of its own draws with those of the page (an old
// convention), and poppler looks up a name a form's resources lack in the
// page's as well; pdfium, rewriting the page, keeps only the resources the
// page's own objects use. Each form is therefore lent what it may take from
// the page (or the form that draws it), name by name.
bool lendResources(QPDF& pdf, QPDFObjectHandle parent, std::set<QPDFObjGen>& seen, int depth);

bool lendToForm(QPDF& pdf, QPDFObjectHandle form, QPDFObjectHandle parent, std::set<QPDFObjGen>& seen, int depth) {
  if (!form.isStream() || depth > 8) return false;
  if (form.isIndirect() && !seen.insert(form.getObjGen()).second) return false;
  QPDFObjectHandle dict = form.getDict();
  QPDFObjectHandle resources = dict.getKey("/Resources");
  if (!resources.isDictionary()) {
    dict.replaceKey("/Resources", parent.isIndirect() ? parent : pdf.makeIndirectObject(parent.shallowCopy()));
    return true;
  }
  bool lent = false;
  for (const std::string& category : parent.getKeys()) {
    QPDFObjectHandle offered = parent.getKey(category);
    if (!offered.isDictionary()) continue;
    QPDFObjectHandle own = resources.getKey(category);
    if (!own.isDictionary()) {
      resources.replaceKey(category, offered);
      lent = true;
      continue;
    }
    for (const std::string& key : offered.getKeys()) {
      if (own.hasKey(key)) continue;
      own.replaceKey(key, offered.getKey(key));
      lent = true;
    }
  }
  return lendResources(pdf, resources, seen, depth + 1) || lent;
}

bool lendResources(QPDF& pdf, QPDFObjectHandle parent, std::set<QPDFObjGen>& seen, int depth) {
  QPDFObjectHandle xobjects = parent.getKey("/XObject");
  if (!xobjects.isDictionary()) return false;
  bool lent = false;
  for (const std::string& name : xobjects.getKeys()) {
    QPDFObjectHandle form = xobjects.getKey(name);
    if (form.isStream() && form.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
      lent = lendToForm(pdf, form, parent, seen, depth) || lent;
  }
  return lent;
}

// The appearances of the page's annotations draw with its resources too.
bool lendToAppearances(QPDF& pdf, QPDFPageObjectHelper& page, QPDFObjectHandle resources, std::set<QPDFObjGen>& seen) {
  QPDFObjectHandle annotations = page.getObjectHandle().getKey("/Annots");
  if (!annotations.isArray()) return false;
  bool lent = false;
  for (int i = 0; i < annotations.getArrayNItems(); ++i) {
    QPDFObjectHandle appearance = annotations.getArrayItem(i).isDictionary()
                                      ? annotations.getArrayItem(i).getKey("/AP")
                                      : QPDFObjectHandle::newNull();
    if (!appearance.isDictionary()) continue;
    for (const char* kind : {"/N", "/R", "/D"}) {
      QPDFObjectHandle states = appearance.getKey(kind);
      if (states.isStream()) lent = lendToForm(pdf, states, resources, seen, 0) || lent;
      if (!states.isDictionary()) continue;
      for (const std::string& state : states.getKeys())
        lent = lendToForm(pdf, states.getKey(state), resources, seen, 0) || lent;
    }
  }
  return lent;
}

}  // namespace

bool joinPageContent(const QByteArray& pdf, int pageIndex, bool objectStreams, QByteArray* joined,
                     std::vector<KeptType3Show>* kept) {
  try {
    QPDF reader;
    std::optional<QPDFPageObjectHelper> read = readQpdfPage(reader, pdf, pageIndex);
    if (!read) return false;
    QPDFPageObjectHelper& page = *read;
    QPDFObjectHandle contents = page.getObjectHandle().getKey("/Contents");
    const bool split = contents.isArray() && contents.getArrayNItems() > 1;
    if (!split && !contents.isStream()) return false;

    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    std::vector<KeptType3Show> shows;
    BalancingFilter filter(type3FontNames(resources), kept ? &shows : nullptr);
    Pl_Buffer buffer("joined content");
    page.filterContents(&filter, &buffer);
    std::set<QPDFObjGen> seen;
    const bool lent = resources.isDictionary() && (lendResources(reader, resources, seen, 0) |
                                                   lendToAppearances(reader, page, resources, seen));
    if (!split && !filter.unbalanced && !filter.leavesState && !lent && shows.empty()) return false;
    // A file qpdf reads only with repairs could come out different from
    // what pdfium shows; it is left as it is.
    if (reader.anyWarnings()) return false;

    replacePageContent(reader, page, buffer);

    if (!writeQpdfToMemory(reader, objectStreams, joined)) return false;
    if (kept) *kept = std::move(shows);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
