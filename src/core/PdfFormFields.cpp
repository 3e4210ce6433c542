#include "PdfFormFields.h"

#include "PdfiumHandles.h"
#include "PdfiumLock.h"

#include <qpdf/QPDF.hh>

#include <exception>
#include <utility>
#include <vector>

namespace {

// Far more fields than any real form has, far fewer than a tree of repeated
// kids gives pdfium to walk.
constexpr size_t kMostFieldsWalked = 100000;
constexpr int kDeepestField = 64;
// pdfium finds each named field among its named siblings one by one: a
// parent of n named kids costs it about n * n / 2 comparisons, a second for
// some 7,000 kids of one parent and minutes for 60,000.
constexpr double kMostSiblingComparisons = 25e6;

}  // namespace

bool formFieldTreeWithinBounds(const QByteArray& pdf, const QByteArray& password) {
  try {
    QPDF reader;
    reader.setSuppressWarnings(true);
    reader.processMemoryFile("document.pdf", pdf.constData(), size_t(pdf.size()),
                             password.isEmpty() ? nullptr : password.constData());
    std::vector<std::pair<QPDFObjectHandle, int>> pending{{reader.getRoot().getKey("/AcroForm").getKey("/Fields"), 0}};
    size_t walked = 0;
    double comparisons = 0;
    while (!pending.empty()) {
      auto [node, depth] = pending.back();
      pending.pop_back();
      QPDFObjectHandle kids = node.isArray() ? node : (node.isDictionary() ? node.getKey("/Kids") : node);
      if (!kids.isArray()) continue;
      if (depth > kDeepestField || (walked += size_t(kids.getArrayNItems())) > kMostFieldsWalked) return false;
      double named = 0;
      for (int i = 0; i < kids.getArrayNItems(); ++i) {
        QPDFObjectHandle kid = kids.getArrayItem(i);
        named += kid.isDictionary() && kid.hasKey("/T");
        pending.emplace_back(kid, depth + 1);
      }
      if ((comparisons += named * named / 2) > kMostSiblingComparisons) return false;
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

PdfFormFields::PdfFormFields(FPDF_DOCUMENT document) {
  PdfiumLock::assertHeld();
  if (!document) return;
  // A library built without XFA takes version 1 only, one built with it 2 only.
  for (int version : {1, 2}) {
    info.version = version;
    info.xfaDisabled = 1;
    form = FPDFDOC_InitFormFillEnvironment(document, &info);
    if (form) break;
  }
  // Fields are shown as the file has them, never tinted as fillable.
  if (form) FPDF_SetFormFieldHighlightAlpha(form, 0);
}

PdfFormFields::~PdfFormFields() {
  if (!form) return;
  PdfiumLock::assertHeld();
  FPDFDOC_ExitFormFillEnvironment(form);
}

bool formWithinBounds(FPDF_DOCUMENT doc, const QByteArray& pdf, const QByteArray& password) {
  return FPDF_GetFormType(doc) == FORMTYPE_NONE || formFieldTreeWithinBounds(pdf, password);
}

bool pageHasWidgets(FPDF_PAGE page) {
  for (int i = 0, count = FPDFPage_GetAnnotCount(page); i < count; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(page, i));
    if (annotation && FPDFAnnot_GetSubtype(annotation.get()) == FPDF_ANNOT_WIDGET) return true;
  }
  return false;
}

FieldsLaidOut::FieldsLaidOut(FPDF_PAGE page, FPDF_FORMHANDLE form)
    : page(page), form(form && pageHasWidgets(page) ? form : nullptr) {
  // A page without widgets costs its drawing no page view. Fields whose file
  // asks for new appearances (NeedAppearances) get them here.
  if (this->form) FORM_OnAfterLoadPage(page, this->form);
}

FieldsLaidOut::~FieldsLaidOut() {
  if (form) FORM_OnBeforeClosePage(page, form);
}

void drawPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, FPDF_FORMHANDLE form, int x, int y, int width,
                        int height, int rotate) {
  constexpr int flags = FPDF_ANNOT | FPDF_LCD_TEXT;
  FPDF_RenderPageBitmap(bitmap, page, -x, -y, width, height, rotate, flags);
  if (form) FPDF_FFLDraw(form, bitmap, page, -x, -y, width, height, rotate, flags);
}

void renderPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, FPDF_FORMHANDLE form, int width, int height,
                          int rotate) {
  const FieldsLaidOut fields(page, form);
  drawPageWithFields(bitmap, page, fields.handle(), 0, 0, width, height, rotate);
}
