#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PdfiumHandles.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAnnotationObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <exception>
#include <set>

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

int PdfDocument::signatureCount() const {
  DocumentLock lock(mutex);
  return doc ? std::max(FPDF_GetSignatureCount(doc), 0) : 0;
}

PdfDocument::Permissions PdfDocument::permissions() const {
  DocumentLock lock(mutex);
  Permissions allowed;
  if (!doc) return allowed;
  // The /P bits of the file as opened: 3 print, 4 modify, 5 copy text.
  const unsigned long bits = FPDF_GetDocPermissions(doc);
  allowed.print = (bits & (1ul << 2)) != 0;
  allowed.modify = (bits & (1ul << 3)) != 0;
  allowed.copy = (bits & (1ul << 4)) != 0;
  return allowed;
}

namespace {

// Fonts of one resource dictionary and of the forms it draws, each form once.
void collectFonts(QPDFObjectHandle resources, QStringList& names, std::set<QPDFObjGen>& seenForms) {
  if (!resources.isDictionary()) return;
  QPDFObjectHandle fonts = resources.getKey("/Font");
  if (fonts.isDictionary()) {
    for (const std::string& key : fonts.getKeys()) {
      QPDFObjectHandle font = fonts.getKey(key);
      if (!font.isDictionary()) continue;
      QPDFObjectHandle base = font.getKey("/BaseFont");
      QString name = base.isName() ? QString::fromStdString(base.getName()).mid(1) : QStringLiteral("[none]");
      // "ABCDEF+Name": the subset tag is no part of the font's name.
      if (name.size() > 7 && name.at(6) == u'+') name = name.mid(7);
      if (!names.contains(name)) names.append(name);
    }
  }
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) return;
  for (const std::string& key : xobjects.getKeys()) {
    QPDFObjectHandle form = xobjects.getKey(key);
    if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form")) continue;
    if (form.isIndirect() && !seenForms.insert(form.getObjGen()).second) continue;
    collectFonts(form.getDict().getKey("/Resources"), names, seenForms);
  }
}

}  // namespace

QStringList PdfDocument::fontNames() const {
  QByteArray file;
  QByteArray password;
  {
    DocumentLock lock(mutex);
    if (!doc) return {};
    file = fileData;
    password = openPassword;
  }
  QStringList names;
  if (file.isEmpty()) return names;
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.processMemoryFile("document.pdf", file.constData(), size_t(file.size()), password.constData());
    std::set<QPDFObjGen> seenForms;
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(reader).getAllPages()) {
      collectFonts(page.getAttribute("/Resources", false), names, seenForms);
      // Annotation appearances draw text with fonts of their own.
      for (QPDFAnnotationObjectHelper& annotation : page.getAnnotations()) {
        QPDFObjectHandle appearance = annotation.getAppearanceStream("/N");
        if (appearance.isStream()) collectFonts(appearance.getDict().getKey("/Resources"), names, seenForms);
      }
    }
  } catch (const std::exception&) {
    // A file qpdf cannot read lists the fonts found before the fault.
  }
  return names;
}
