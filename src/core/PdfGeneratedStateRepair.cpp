#include "PdfGeneratedStateRepair.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <map>
#include <exception>
#include <regex>
#include <string>

namespace {

// What pdfium writes at the head of a content stream of its own.
const std::regex& resetPrefix() {
  static const std::regex prefix(R"(^\s*q\s+0\s+0\s+0\s+RG\s+0\s+0\s+0\s+rg\s+1\s+w\s+0\s+J\s+0\s+j\s+/(FXE\d+)\s+gs)");
  return prefix;
}

bool namesGeneratedState(QPDFObjectHandle states) {
  if (!states.isDictionary()) return false;
  for (const std::string& key : states.getKeys())
    if (key.rfind("/FXE", 0) == 0) return true;
  return false;
}

bool written(QPDF& pdf, QByteArray* out) {
  QPDFWriter writer(pdf);
  writer.setOutputMemory();
  writer.setLinearization(false);
  writer.write();
  const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
  if (!buffer || buffer->getSize() == 0) return false;
  *out = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
  return true;
}

// The object of `now` that stands for `value` of `was` when pdfium kept it
// under its number, else a copy of it.
QPDFObjectHandle sameOrCopy(QPDF& now, QPDF& was, QPDFObjectHandle value) {
  if (!value.isIndirect()) return now.copyForeignObject(was.makeIndirectObject(value));
  QPDFObjectHandle kept = now.getObjectByObjGen(value.getObjGen());
  const auto shape = [](QPDFObjectHandle o) { return o.isStream() ? "stream" + o.getDict().unparse() : o.unparse(); };
  if ((kept.isDictionary() || kept.isStream()) && shape(kept) == shape(value)) return kept;
  return now.copyForeignObject(value);
}

}  // namespace

bool restoreDroppedResources(const QByteArray& before, const QByteArray& password, const QByteArray& after,
                             QByteArray* repaired) {
  try {
    QPDF was, now;
    was.setSuppressWarnings(true);
    now.setSuppressWarnings(true);
    was.processMemoryFile("before.pdf", before.constData(), size_t(before.size()),
                          password.isEmpty() ? nullptr : password.constData());
    now.processMemoryFile("after.pdf", after.constData(), size_t(after.size()));
    std::map<QPDFObjGen, QPDFPageObjectHelper> pagesBefore;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(was).getAllPages())
      pagesBefore.emplace(page.getObjectHandle().getObjGen(), page);
    bool changed = false;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(now).getAllPages()) {
      const auto it = pagesBefore.find(page.getObjectHandle().getObjGen());
      if (it == pagesBefore.end()) continue;
      QPDFObjectHandle had = it->second.getAttribute("/Resources", false);
      QPDFObjectHandle has = page.getAttribute("/Resources", false);
      if (!had.isDictionary()) continue;
      bool own = false;
      for (const std::string& category : had.getKeys()) {
        QPDFObjectHandle entries = had.getKey(category);
        if (!entries.isDictionary()) continue;
        for (const std::string& name : entries.getKeys()) {
          QPDFObjectHandle present = has.isDictionary() ? has.getKey(category) : QPDFObjectHandle::newNull();
          if (present.isDictionary() && present.hasKey(name)) continue;
          QPDFObjectHandle value = entries.getKey(name);
          if (!own) {
            has = has.isDictionary() ? has.shallowCopy() : QPDFObjectHandle::newDictionary();
            page.getObjectHandle().replaceKey("/Resources", has);
            own = true;
          }
          present = has.getKey(category);
          present = present.isDictionary() ? present.shallowCopy() : QPDFObjectHandle::newDictionary();
          present.replaceKey(name, sameOrCopy(now, was, value));
          has.replaceKey(category, present);
          changed = true;
        }
      }
    }
    if (!changed) return false;
    return written(now, repaired);
  } catch (const std::exception&) {
    return false;
  }
}

bool repairGeneratedStreams(const QByteArray& pdf, bool resetTextState, QByteArray* repaired) {
  // pdfium writes no object streams, so every state name of its own stands
  // in the file as it is: without one there is nothing to parse for.
  if (!pdf.contains("/FXE")) return false;
  static const std::string textReset = " 0 Tc 0 Tw 100 Tz 0 TL 0 Ts";
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()));
    bool changed = false;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(reader).getAllPages()) {
      QPDFObjectHandle resources = page.getAttribute("/Resources", false);
      if (!resources.isDictionary()) continue;
      QPDFObjectHandle states = resources.getKey("/ExtGState");
      // Only pages pdfium wrote content into carry its state names.
      if (!namesGeneratedState(states)) continue;
      for (QPDFObjectHandle& stream : page.getPageContents()) {
        if (!stream.isStream()) continue;
        const std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
        const std::string head(reinterpret_cast<const char*>(data->getBuffer()),
                               std::min<size_t>(data->getSize(), 128));
        std::smatch match;
        if (!std::regex_search(head, match, resetPrefix())) continue;
        const std::string name = "/" + match[1].str();
        if (!states.hasKey(name)) {
          QPDFObjectHandle defaultState = QPDFObjectHandle::newDictionary();
          defaultState.replaceKey("/BM", QPDFObjectHandle::newName("/Normal"));
          defaultState.replaceKey("/CA", QPDFObjectHandle::newInteger(1));
          defaultState.replaceKey("/ca", QPDFObjectHandle::newInteger(1));
          states.replaceKey(name, defaultState);
          changed = true;
        }
        const size_t end = size_t(match.position(0) + match.length(0));
        if (!resetTextState || head.compare(end, textReset.size(), textReset) == 0) continue;
        const std::string whole(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        stream.replaceStreamData(whole.substr(0, end) + textReset + whole.substr(end), QPDFObjectHandle::newNull(),
                                 QPDFObjectHandle::newNull());
        changed = true;
      }
    }
    return changed && written(reader, repaired);
  } catch (const std::exception&) {
    return false;
  }
}
