// A page drawn over as an appended update: the file as opened stays byte for
// byte in front, so the signatures it carries stay valid.
#include "PdfDocument.h"
#include "CoreText.h"

#include "AtomicFileWrite.h"
#include "DocumentLock.h"
#include "PdfFileWriter.h"
#include "PdfSignatureStructure.h"
#include "PdfUpdateWriter.h"

namespace {

bool appendOverlayUpdate(const QByteArray& pdf, int page, const QByteArray& overlay, QByteArray* result,
                         QString* error) {
  PdfSignatureStructure structure;
  if (!structure.read(pdf, error)) return false;
  QList<PdfObjectVersion> objects;
  int size = 0;
  if (!structure.objectsOverlayingPage(page, overlay, &objects, &size, error)) return false;
  QByteArray base = pdf;
  if (base.isEmpty() || base.back() != '\n') base.append('\n');
  PdfUpdateWriter update(base.size());
  for (const PdfObjectVersion& object : objects) update.writeObject(object);
  if (structure.crossReferenceIsStream())
    update.finishWithStream(size, structure.trailerEntries(), structure.previousCrossReference(), size + 1);
  else
    update.finishWithTable(structure.trailerEntries(), structure.previousCrossReference(), size);
  *result = base + update.bytes();
  return true;
}

}  // namespace

bool PdfDocument::saveWithPageOverlay(const QString& path, int page, const PdfDocument& overlay) {
  QByteArray overlayBytes;
  {
    DocumentLock lock(overlay.mutex);
    if (!overlay.doc || !serializePdf(overlay.doc, FPDF_NO_INCREMENTAL, &overlayBytes)) {
      lastErrorMessage = coreText("Не удалось подготовить дописываемую страницу.");
      return false;
    }
  }
  DocumentLock lock(mutex);
  lastErrorMessage.clear();
  // Only the file as it was opened can be appended to.
  if (!doc || modified || fileDataMarks != modified.marks) {
    lastErrorMessage = coreText("В документе есть несохранённые изменения.");
    return false;
  }
  QByteArray bytes;
  if (!appendOverlayUpdate(fileData, page, overlayBytes, &bytes, &lastErrorMessage)) return false;
  // What readers will see: the update must open, with every page still there.
  const FPDF_DOCUMENT check = FPDF_LoadMemDocument64(bytes.constData(), size_t(bytes.size()), nullptr);
  const int pages = check ? FPDF_GetPageCount(check) : -1;
  if (check) FPDF_CloseDocument(check);
  if (pages != FPDF_GetPageCount(doc)) {
    lastErrorMessage = coreText("Дописанный PDF не читается.");
    return false;
  }
  return writeFileAtomically(path, bytes, &lastErrorMessage);
}
