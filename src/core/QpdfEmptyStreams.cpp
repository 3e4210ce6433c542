#include "QpdfEmptyStreams.h"

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
