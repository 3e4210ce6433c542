#include "StatedFontWeights.h"

#include "QpdfInMemory.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <exception>
#include <set>

namespace {

// A composite font states its weight in its descendant's descriptor.
int descriptorWeight(QPDFObjectHandle font) {
  QPDFObjectHandle descriptor = font.getKey("/FontDescriptor");
  QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
  if (!descriptor.isDictionary() && descendants.isArray() && descendants.getArrayNItems() > 0 &&
      descendants.getArrayItem(0).isDictionary())
    descriptor = descendants.getArrayItem(0).getKey("/FontDescriptor");
  if (!descriptor.isDictionary()) return 0;
  QPDFObjectHandle weight = descriptor.getKey("/FontWeight");
  const double value = weight.isNumber() ? weight.getNumericValue() : 0.0;
  return value > 0 && value < 10000 ? int(value) : 0;  // a weight past any scale states nothing
}

// The fonts of one resource dictionary and of the forms it draws, each form
// once; nested forms are followed without recursion.
void collectWeights(QPDFObjectHandle resources, QHash<QByteArray, int>& weights) {
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
        const int weight = descriptorWeight(font);
        if (weight > 0) weights.insert(QByteArray::fromStdString(base.getName().substr(1)), weight);
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
  pagesRead.clear();
  weights.clear();
}

int StatedFontWeights::weight(const QByteArray& pdf, const QByteArray& password, int pageIndex,
                              const QByteArray& baseFont) {
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
  if (reader && pageIndex >= 0 && !pagesRead.contains(pageIndex)) {
    pagesRead.insert(pageIndex);
    readPage(pageIndex);
  }
  return weights.value(baseFont, 0);
}

void StatedFontWeights::readPage(int pageIndex) {
  try {
    QPDFObjectHandle found = qpdfPageAt(*reader, pageIndex);
    if (!found.isDictionary()) return;
    QPDFPageObjectHelper page(found);
    collectWeights(page.getAttribute("/Resources", false), weights);
  } catch (const std::exception&) {
    // A page qpdf cannot read states nothing; the names still speak.
  }
}
