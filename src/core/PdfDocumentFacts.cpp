#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PdfiumHandles.h"

QString PdfDocument::pdfVersion() const {
  DocumentLock lock(mutex);
  int version = 0;
  if (!doc || !FPDF_GetFileVersion(doc, &version) || version <= 0) return {};
  return QStringLiteral("%1.%2").arg(version / 10).arg(version % 10);
}

bool PdfDocument::isEncrypted() const {
  DocumentLock lock(mutex);
  // pdfium answers -1 when the file has no security handler.
  return doc && FPDF_GetSecurityHandlerRevision(doc) >= 0;
}
