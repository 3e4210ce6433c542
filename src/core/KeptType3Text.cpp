#include "KeptType3Text.h"

#include "QpdfInMemory.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <exception>
#include <memory>

namespace {

// Written in the C locale whatever the user's is.
std::string number(double value) {
  std::string s = QByteArray::number(std::isfinite(value) ? value : 0.0, 'f', 5).toStdString();
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string colour(const std::array<unsigned int, 3>& rgb, const char* op) {
  return number(rgb[0] / 255.0) + " " + number(rgb[1] / 255.0) + " " + number(rgb[2] / 255.0) + " " + op + " ";
}

// The show in page space, in a saved state of its own: pdfium writes every
// object of the page that way, so nothing before or after depends on it.
std::string drawnShow(const KeptType3Show& s) {
  std::string out = "q " + colour(s.fill, "rg") + colour(s.stroke, "RG") + "BT " + s.font + " " + number(s.size) +
                    " Tf " + number(s.charSpacing) + " Tc " + number(s.wordSpacing) + " Tw " + number(s.rise) +
                    " Ts " + std::to_string(s.renderMode) + " Tr";
  for (double m : s.matrix) out += " " + number(m);
  return out + " Tm " + s.operands + " " + s.op + " ET Q ";
}

// Writes the content again without the tags: a tag whose show is still
// inside (the page was not rewritten) keeps it as it is; in one pdfium wrote,
// it left the start of the object (a saved state and BT, never closed)
// without the show, which is replaced by the whole show.
class RestoringFilter : public QPDFObjectHandle::TokenFilter {
 public:
  explicit RestoringFilter(const std::vector<KeptType3Show>& shows) : shows(shows) {}

  void handleToken(QPDFTokenizer::Token const& token) override {
    if (token.getType() != QPDFTokenizer::tt_word) {
      pending.push_back(token);
      return;
    }
    const std::string& op = token.getValue();
    if (open < 0 && op == "BDC") {
      open = taggedShow();
      if (open >= 0) {
        pending.clear();
        inside.clear();
        depth = 0;
        holdsShow = false;
        return;
      }
    }
    if (open >= 0) {
      if (op == "BDC" || op == "BMC") ++depth;
      if (op == "EMC" && depth-- == 0) {
        pending.clear();
        write(" ");  // the blank before the tag went with it
        if (holdsShow) {
          for (const auto& t : inside) writeToken(t);
        } else if (size_t(open) < shows.size() && shows[size_t(open)].placed) {
          write(drawnShow(shows[size_t(open)]));
        }
        open = -1;
        return;
      }
      holdsShow = holdsShow || op == "Tj" || op == "TJ" || op == "'" || op == "\"";
      inside.insert(inside.end(), pending.begin(), pending.end());
      inside.push_back(token);
      pending.clear();
      return;
    }
    flush();
    writeToken(token);
  }
  void handleEOF() override {
    if (holdsShow)
      for (const auto& t : inside) writeToken(t);
    inside.clear();
    flush();
  }

 private:
  // The index a tag of ours carries; -1 for any other mark.
  long taggedShow() const {
    std::vector<QPDFTokenizer::Token> args;
    for (const auto& t : pending)
      if (t.getType() != QPDFTokenizer::tt_space && t.getType() != QPDFTokenizer::tt_comment) args.push_back(t);
    if (args.size() < 4 || args[0].getType() != QPDFTokenizer::tt_name ||
        args[0].getValue() != "/" + std::string(kKeptType3Tag))
      return -1;
    for (size_t i = 1; i + 1 < args.size(); ++i)
      if (args[i].getType() == QPDFTokenizer::tt_name && args[i].getValue() == "/K" &&
          args[i + 1].getType() == QPDFTokenizer::tt_integer)
        return std::stol(args[i + 1].getValue());
    return -1;
  }
  void flush() {
    for (const auto& t : pending) writeToken(t);
    pending.clear();
  }

  const std::vector<KeptType3Show>& shows;
  std::vector<QPDFTokenizer::Token> pending;
  std::vector<QPDFTokenizer::Token> inside;  // what an open tag of ours holds
  long open = -1;                            // the index of that tag
  long depth = 0;                            // marks opened inside it
  bool holdsShow = false;
};

}  // namespace

bool restoreKeptType3Shows(const QByteArray& pdf, int pageIndex, bool objectStreams,
                           const std::vector<KeptType3Show>& shows, QByteArray* restored) {
  try {
    QPDF reader;
    std::optional<QPDFPageObjectHelper> read = readQpdfPage(reader, pdf, pageIndex);
    if (!read) return false;
    QPDFPageObjectHelper& page = *read;
    RestoringFilter filter(shows);
    Pl_Buffer buffer("restored content");
    page.filterContents(&filter, &buffer);
    if (reader.anyWarnings()) return false;
    replacePageContent(reader, page, buffer);

    return writeQpdfToMemory(reader, objectStreams, restored);
  } catch (const std::exception&) {
    return false;
  }
}
