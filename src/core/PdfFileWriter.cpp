#include "PdfFileWriter.h"

#include <cstddef>

namespace {

// pdfium's write callback record followed by where the bytes go.
struct BlockWriter {
  FPDF_FILEWRITE record;
  QByteArray* out;
};

int writePdfBlock(FPDF_FILEWRITE* self, const void* data, unsigned long size) {
  auto* writer = reinterpret_cast<BlockWriter*>(self);
  if (!writer || !writer->out || (size > 0 && !data)) return 0;
  writer->out->append(static_cast<const char*>(data), qsizetype(size));
  return 1;
}

}  // namespace

bool serializePdf(FPDF_DOCUMENT document, FPDF_DWORD flags, QByteArray* out) {
  if (!document || !out) return false;
  out->clear();
  BlockWriter writer{{1, &writePdfBlock}, out};
  static_assert(offsetof(BlockWriter, record) == 0, "pdfium hands back the record's address");
  if (!FPDF_SaveAsCopy(document, &writer.record, flags)) {
    out->clear();
    return false;
  }
  return true;
}
