#include "QpdfInMemory.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>
#include <set>
#include <string>
#include <vector>

void encodeEmptyStreams(QPDF& pdf) {
  // zlib's output for empty input.
  static const std::string nothing("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
  for (QPDFObjectHandle object : pdf.getAllObjects()) {
    if (!object.isStream()) continue;
    QPDFObjectHandle dict = object.getDict();
    QPDFObjectHandle length = dict.getKey("/Length");
    if (dict.hasKey("/Filter") || !length.isInteger() || length.getIntValue() != 0) continue;
    object.replaceStreamData(nothing, QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
  }
}

bool writeQpdfToMemory(QPDF& pdf, bool objectStreams, QByteArray* out, bool keepStreamData, bool acceptWarnings) {
  encodeEmptyStreams(pdf);
  QPDFWriter writer(pdf);
  writer.setOutputMemory();
  writer.setLinearization(false);
  if (objectStreams) writer.setObjectStreamMode(qpdf_o_generate);
  if (keepStreamData) writer.setStreamDataMode(qpdf_s_preserve);
  writer.write();
  if (pdf.anyWarnings() && !acceptWarnings) return false;
  const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
  if (!buffer || buffer->getSize() == 0) return false;
  *out = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
  return true;
}

std::optional<QPDFPageObjectHelper> readQpdfPage(QPDF& reader, const QByteArray& pdf, int pageIndex) {
  reader.setSuppressWarnings(true);
  reader.setAttemptRecovery(false);
  reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()));
  std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(reader).getAllPages();
  if (pageIndex < 0 || size_t(pageIndex) >= pages.size()) return std::nullopt;
  return pages[size_t(pageIndex)];
}

QPDFObjectHandle qpdfPageAt(QPDF& pdf, int index) {
  QPDFObjectHandle node = pdf.getRoot().getKey("/Pages");
  std::set<QPDFObjGen> seen;
  while (node.isDictionary() && seen.insert(node.getObjGen()).second) {
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (!kids.isArray()) return index == 0 ? node : QPDFObjectHandle::newNull();
    QPDFObjectHandle next = QPDFObjectHandle::newNull();
    for (int i = 0, n = kids.getArrayNItems(); i < n; ++i) {
      QPDFObjectHandle kid = kids.getArrayItem(i);
      if (!kid.isDictionary()) continue;
      QPDFObjectHandle count = kid.getKey("/Count");
      const int pages = kid.getKey("/Kids").isArray() ? (count.isInteger() ? count.getIntValueAsInt() : 0) : 1;
      if (index < pages) {
        next = kid;
        break;
      }
      index -= pages;
    }
    node = next;
  }
  return QPDFObjectHandle::newNull();
}

void replacePageContent(QPDF& reader, QPDFPageObjectHelper& page, Pl_Buffer& content) {
  const std::unique_ptr<Buffer> data(content.getBuffer());
  const std::string text(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
  page.getObjectHandle().replaceKey("/Contents", QPDFObjectHandle::newStream(&reader, text));
}
