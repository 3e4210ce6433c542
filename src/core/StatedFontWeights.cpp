#include "StatedFontWeights.h"

#include "QpdfInMemory.h"

#include <QByteArrayView>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <exception>
#include <set>

namespace {

// A composite font states its weight in its descendant's descriptor.
QPDFObjectHandle descriptorOf(QPDFObjectHandle font) {
  QPDFObjectHandle descriptor = font.getKey("/FontDescriptor");
  QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
  if (!descriptor.isDictionary() && descendants.isArray() && descendants.getArrayNItems() > 0 &&
      descendants.getArrayItem(0).isDictionary())
    descriptor = descendants.getArrayItem(0).getKey("/FontDescriptor");
  return descriptor;
}

int descriptorNumber(QPDFObjectHandle descriptor, const char* key) {
  QPDFObjectHandle value = descriptor.isDictionary() ? descriptor.getKey(key) : QPDFObjectHandle();
  const double number = value.isNumber() ? value.getNumericValue() : 0.0;
  return number > 0 && number < 1e6 ? int(number) : 0;
}

// pdfium names an embedded subset without its tag ("ABCDEF+"); the file
// keeps it.
QByteArrayView untagged(const QByteArray& name) {
  const bool tagged = name.size() > 7 && name.at(6) == '+' &&
                      std::all_of(name.cbegin(), name.cbegin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; });
  return tagged ? QByteArrayView(name).sliced(7) : QByteArrayView(name);
}

// The fonts of one resource dictionary and of the forms it draws, each form
// once; nested forms are followed without recursion.
template <typename Font>
void collectFonts(QPDFObjectHandle resources, std::vector<Font>& found) {
  std::vector<QPDFObjectHandle> pending{resources};
  std::set<QPDFObjGen> seenForms;
  while (!pending.empty()) {
    QPDFObjectHandle current = pending.back();
    pending.pop_back();
    if (!current.isDictionary()) continue;
    QPDFObjectHandle fonts = current.getKey("/Font");
    if (fonts.isDictionary()) {
      for (const std::string& key : fonts.getKeys()) {
        QPDFObjectHandle font = fonts.getKey(key);
        QPDFObjectHandle base = font.isDictionary() ? font.getKey("/BaseFont") : QPDFObjectHandle();
        if (!base.isName()) continue;
        const QPDFObjectHandle descriptor = descriptorOf(font);
        const int weight = descriptorNumber(descriptor, "/FontWeight");
        // pdfium's estimate from the stems, for telling fonts of one name apart.
        const int stemV = descriptorNumber(descriptor, "/StemV");
        found.push_back({QByteArray::fromStdString(base.getName().substr(1)), descriptorNumber(descriptor, "/Flags"),
                         stemV < 140 ? stemV * 5 : stemV * 4 + 140, weight < 10000 ? weight : 0});
      }
    }
    QPDFObjectHandle forms = current.getKey("/XObject");
    if (!forms.isDictionary()) continue;
    for (const std::string& key : forms.getKeys()) {
      QPDFObjectHandle form = forms.getKey(key);
      if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form")) continue;
      if (form.isIndirect() && !seenForms.insert(form.getObjGen()).second) continue;
      pending.push_back(form.getDict().getKey("/Resources"));
    }
  }
}

}  // namespace

StatedFontWeights::StatedFontWeights() = default;
StatedFontWeights::~StatedFontWeights() = default;

void StatedFontWeights::clear() {
  reader.reset();
  unreadable = false;
  pageFonts.clear();
}

int StatedFontWeights::weight(const QByteArray& pdf, const QByteArray& password, int pageIndex,
                              const QByteArray& baseFont, int flags, int stemWeight) {
  if (!reader && !unreadable) {
    // A file qpdf could only read by repairing it is left to the name: its
    // repair could take long, and pdfium already made sense of it.
    try {
      reader = std::make_unique<QPDF>();
      reader->setSuppressWarnings(true);
      reader->setAttemptRecovery(false);
      reader->processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()), password.constData());
    } catch (const std::exception&) {
      reader.reset();
      unreadable = true;
    }
  }
  if (!reader || pageIndex < 0) return 0;
  if (!pageFonts.contains(pageIndex)) readPage(pageIndex);
  const Font* best = nullptr;
  int bestScore = -1;
  for (const Font& font : pageFonts[pageIndex]) {
    const bool exact = font.baseFont == baseFont;
    if (!exact && untagged(font.baseFont) != untagged(baseFont)) continue;
    const int score = 2 * int(exact) + int(font.flags == flags) + int(font.stemWeight == stemWeight);
    if (score > bestScore) {
      best = &font;
      bestScore = score;
    }
  }
  return best ? best->weight : 0;
}

void StatedFontWeights::readPage(int pageIndex) {
  std::vector<Font>& fonts = pageFonts[pageIndex];
  try {
    QPDFObjectHandle found = qpdfPageAt(*reader, pageIndex);
    if (found.isDictionary()) collectFonts(QPDFPageObjectHelper(found).getAttribute("/Resources", false), fonts);
  } catch (const std::exception&) {
    // A page qpdf cannot read states nothing; the names still speak.
    fonts.clear();
  }
  // Most files state no weight: their pages keep nothing.
  if (std::none_of(fonts.begin(), fonts.end(), [](const Font& f) { return f.weight > 0; })) fonts = {};
}
