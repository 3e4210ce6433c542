#include "PdfObjectStreamPacking.h"

#include "QpdfInMemory.h"

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
    // What pdfium wrote must read cleanly; anything qpdf had to mend is
    // saved as pdfium wrote it instead.
    return writeQpdfToMemory(reader, true, packed);
  } catch (const std::exception&) {
    return false;
  }
}
