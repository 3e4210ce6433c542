#include "PdfObjectStreamPacking.h"

#include "QpdfEmptyStreams.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>

bool usesObjectStreams(const QByteArray& pdf) {
  return pdf.contains("/ObjStm");
}

bool packObjectStreams(const QByteArray& pdf, QByteArray* packed) {
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.setAttemptRecovery(false);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()));
    encodeEmptyStreams(reader);
    QPDFWriter writer(reader);
    writer.setOutputMemory();
    writer.setObjectStreamMode(qpdf_o_generate);
    writer.setCompressStreams(true);
    writer.setLinearization(false);
    writer.write();
    // What pdfium wrote must read cleanly; anything qpdf had to mend is
    // saved as pdfium wrote it instead.
    if (reader.anyWarnings()) return false;
    const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    if (!buffer || buffer->getSize() == 0) return false;
    *packed = QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), qsizetype(buffer->getSize()));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}
