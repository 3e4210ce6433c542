#include "QpdfEmptyStreams.h"

#include <qpdf/QPDFWriter.hh>

#include <memory>
#include <string>

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

bool writeQpdfToMemory(QPDF& pdf, bool objectStreams, QByteArray* out) {
  encodeEmptyStreams(pdf);
  QPDFWriter writer(pdf);
  writer.setOutputMemory();
  writer.setLinearization(false);
  if (objectStreams) writer.setObjectStreamMode(qpdf_o_generate);
  writer.write();
  if (pdf.anyWarnings()) return false;
  const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
  if (!buffer || buffer->getSize() == 0) return false;
  *out = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
  return true;
}
