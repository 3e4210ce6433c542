#include "PdfDocument.h"
#include "CoreText.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "PdfFileWriter.h"
#include "PdfFormFields.h"
#include "PdfiumApi.h"
#include "RegularFileRead.h"
#include "SignedEnvelope.h"
#include "StatedFontWeights.h"

#include <QDebug>
#include <QFile>
#include <QReadLocker>
#include <QWriteLocker>

PdfDocument::PdfDocument() : loadGuard(std::make_unique<PageLoadGuard>()) { PdfiumLock::ensureInitialised(); }

PdfDocument::~PdfDocument() {
  DocumentLock lock(mutex);
  dropDoc();
}

bool PdfDocument::open(const QString& path, const QByteArray& password) {
  DocumentLock lock(mutex);
  return loadFromFileUnlocked(path, password);
}

void PdfDocument::close() {
  DocumentLock lock(mutex);
  dropDoc();
  openPassword.clear();
  currentFilePath.clear();
  envelope = false;
  modified = false;
}

bool PdfDocument::createEmpty() {
  DocumentLock lock(mutex);
  dropDoc();
  openPassword.clear();
  FPDF_DOCUMENT created = FPDF_CreateNewDocument();
  if (!created) {
    lastErrorMessage = pdfiumErrorString();
    return false;
  }
  doc = created;
  opened.store(true, std::memory_order_release);
  refreshPageMetricsUnlocked();
  currentFilePath.clear();
  envelope = false;
  modified = true;
  return true;
}

void PdfDocument::markModified() {
  QMutexLocker lock(&mutex);
  if (doc) modified = true;
}

int PdfDocument::pageCount() const {
  QReadLocker lock(&metricsLock);
  return cachedPageCount;
}

QSizeF PdfDocument::pageSize(int page) const {
  QReadLocker lock(&metricsLock);
  if (page < 0 || page >= cachedPageSizes.size()) return QSizeF(-1, -1);
  return cachedPageSizes.at(page);
}

bool PdfDocument::loadFromFileUnlocked(const QString& path, const QByteArray& password) {
  dropDoc();
  lastErrorMessage.clear();
  passwordRequired = false;
  openPassword.clear();

  // A pipe, device or folder is refused before anything is read from it.
  if (!readPdfFile(path, &fileData, &lastErrorMessage)) {
    fileData.clear();
    return false;
  }
  if (fileData.isEmpty()) {
    lastErrorMessage = coreText("Файл пуст или не удалось прочитать данные.");
    fileData.clear();
    return false;
  }

  // pdfium reads straight from fileData, which therefore lives exactly as long as doc.
  const QByteArray secret = password + '\0';
  FPDF_DOCUMENT loaded = FPDF_LoadMemDocument64(fileData.constData(), size_t(fileData.size()),
                                                password.isEmpty() ? nullptr : secret.constData());
  if (!loaded) {
    passwordRequired = FPDF_GetLastError() == FPDF_ERR_PASSWORD;
    lastErrorMessage =
        passwordRequired && !password.isEmpty() ? coreText("Неверный пароль.") : pdfiumErrorString();
    fileData.clear();
    qWarning() << "Cannot open document:" << lastErrorMessage;
    return false;
  }
  doc = loaded;
  // pdfium finds a PDF anywhere in the first kilobyte, also after a space or
  // a byte-order mark: only signed CMS data around it is an envelope.
  envelope = !fileData.startsWith("%PDF") && isSignedCmsEnvelope(fileData);
  openPassword = password;
  opened.store(true, std::memory_order_release);
  currentFilePath = path;
  modified = false;
  fileDataMarks = modified.marks;
  loadGuard->reset(fileData, password, FPDF_GetPageCount(doc));
  refreshPageMetricsUnlocked();
  return true;
}

void PdfDocument::refreshPageMetricsUnlocked() {
  int count = 0;
  QList<QSizeF> sizes;
  if (doc) {
    count = FPDF_GetPageCount(doc);
    if (count < 0) count = 0;
    sizes.reserve(count);
    for (int i = 0; i < count; ++i) {
      FS_SIZEF size{};
      if (FPDF_GetPageSizeByIndexF(doc, i, &size))
        sizes.append(QSizeF(size.width, size.height));
      else
        sizes.append(QSizeF(595, 842));
    }
  }
  QWriteLocker lock(&metricsLock);
  cachedPageCount = count;
  cachedPageSizes.swap(sizes);
}

bool PdfDocument::isPageRefused(int page) const { return loadGuard->refused(page); }

QMutex& PdfDocument::mutexAfterCheck(int page) const {
  // A page's check may take seconds: it is waited for before the document is
  // locked, so that everything else done with the document goes on meanwhile.
  if (isOpen()) loadGuard->refuses(page);
  return mutex;
}

FPDF_PAGE PdfDocument::loadPageUnlocked(int page) const {
  if (!doc) return nullptr;
  // A structural change the guard did not follow: it learns the pages anew
  // from the document as it stands.
  if (loadGuard->pageCount() != FPDF_GetPageCount(doc)) {
    QByteArray bytes;
    if (serializePdf(doc, 0, &bytes)) loadGuard->reset(bytes, openPassword, FPDF_GetPageCount(doc));
  }
  bool refused = false;
  {
    // A page's check may take seconds; other documents render meanwhile.
    PdfiumLock::Released others;
    refused = loadGuard->refuses(page);
  }
  return refused ? nullptr : FPDF_LoadPage(doc, page);
}

void PdfDocument::clearPageMetrics() {
  QWriteLocker lock(&metricsLock);
  cachedPageCount = 0;
  cachedPageSizes.clear();
}

void* PdfDocument::formHandleUnlocked() const {
  if (!doc) return nullptr;
  // Widgets are drawn whatever their field tree, as other readers draw them:
  // a catalog without a form still gets an environment, which takes each
  // page's widgets as it draws them. Only a field tree that would take pdfium
  // minutes to walk is shown without its fields.
  if (!formFields)
    formFields = std::make_unique<PdfFormFields>(formWithinBounds(doc, fileData, openPassword) ? doc : nullptr);
  return formFields->handle();
}

void PdfDocument::dropDoc() {
  closeLoadedFontsUnlocked();
  formFields.reset();
  if (doc) {
    opened.store(false, std::memory_order_release);
    FPDF_CloseDocument(doc);
    doc = nullptr;
  }
  if (statedFontWeights) statedFontWeights->clear();
  fileData.clear();
  fileDataMarks = kFileDataStale;
  contentGenerated = false;
  loadGuard->clear();
  clearPageMetrics();
}

QString PdfDocument::pdfiumErrorString() {
  // In the program's own words: the library's names for its errors say
  // nothing to a user.
  switch (FPDF_GetLastError()) {
    case FPDF_ERR_SUCCESS: return coreText("ошибок нет");
    case FPDF_ERR_FILE: return coreText("файл не найден или не читается");
    case FPDF_ERR_FORMAT: return coreText("файл не является документом PDF или повреждён");
    case FPDF_ERR_PASSWORD: return coreText("документ защищён паролем");
    case FPDF_ERR_SECURITY: return coreText("документ зашифрован способом, который не поддерживается");
    case FPDF_ERR_PAGE: return coreText("страница не найдена или повреждена");
    default: return coreText("неизвестная ошибка при чтении PDF");
  }
}
