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

namespace {

// The form environment draws a widget only when it or a field above it has
// a name or a field type.
bool heldByAField(FPDF_ANNOTATION widget) {
  pdfium::Annotation above;
  for (int depth = 0; widget && depth <= kDeepestField; ++depth) {
    if (FPDFAnnot_HasKey(widget, "T") || FPDFAnnot_HasKey(widget, "FT")) return true;
    above.reset(FPDFAnnot_GetLinkedAnnot(widget, "Parent"));
    widget = above.get();
  }
  return widget != nullptr;  // deeper than any field drawn: not drawn here either
}

bool isUnheldWidget(FPDF_ANNOTATION annotation) {
  // The appearance is read last: pdfium decodes it whole to say it is there.
  return FPDFAnnot_GetSubtype(annotation) == FPDF_ANNOT_WIDGET && !heldByAField(annotation) &&
         FPDFAnnot_GetAP(annotation, FPDF_ANNOT_APPEARANCEMODE_NORMAL, nullptr, 0) > 2;
}

}  // namespace

FieldsLaidOut::FieldsLaidOut(FPDF_PAGE page, FPDF_FORMHANDLE form, FPDF_DOCUMENT doc, int index)
    : page(page), form(nullptr) {
  // A page without widgets costs its drawing no page view. Fields whose file
  // asks for new appearances (NeedAppearances) get them here.
  if ((!form && !doc) || !pageHasWidgets(page)) return;
  this->form = form;
  if (form) FORM_OnAfterLoadPage(page, form);
  if (!doc || index < 0) return;
  bool unheld = false;
  for (int i = 0, count = FPDFPage_GetAnnotCount(page); i < count && !unheld; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(page, i));
    unheld = annotation && isUnheldWidget(annotation.get());
  }
  if (!unheld) return;
  // The copy keeps only those widgets, flattened into content of their own:
  // the page's own content is emptied so nothing is drawn twice.
  unheldCopy.reset(FPDF_CreateNewDocument());
  if (!unheldCopy || !FPDF_ImportPagesByIndex(unheldCopy.get(), doc, &index, 1, 0)) return;
  pdfium::Page copy(FPDF_LoadPage(unheldCopy.get(), 0));
  if (!copy) return;
  for (int i = FPDFPage_CountObjects(copy.get()) - 1; i >= 0; --i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(copy.get(), i);
    if (object && FPDFPage_RemoveObject(copy.get(), object)) FPDFPageObj_Destroy(object);
  }
  for (int i = FPDFPage_GetAnnotCount(copy.get()) - 1; i >= 0; --i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(copy.get(), i));
    const bool keep = annotation && isUnheldWidget(annotation.get());
    annotation.reset();
    if (!keep) FPDFPage_RemoveAnnot(copy.get(), i);
  }
  if (!FPDFPage_GenerateContent(copy.get())) return;
  const int flattened = FPDFPage_Flatten(copy.get(), FLAT_NORMALDISPLAY);
  copy.reset();
  if (flattened == 1) unheldPage.reset(FPDF_LoadPage(unheldCopy.get(), 0));
}

FieldsLaidOut::~FieldsLaidOut() {
  if (form) FORM_OnBeforeClosePage(page, form);
}

void drawPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, const FieldsLaidOut& fields, int x, int y, int width,
                        int height, int rotate) {
  constexpr int flags = FPDF_ANNOT | FPDF_LCD_TEXT;
  FPDF_RenderPageBitmap(bitmap, page, -x, -y, width, height, rotate, flags);
  if (fields.handle()) FPDF_FFLDraw(fields.handle(), bitmap, page, -x, -y, width, height, rotate, flags);
  if (fields.unheldWidgets())
    FPDF_RenderPageBitmap(bitmap, fields.unheldWidgets(), -x, -y, width, height, rotate, flags);
}

void renderPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, FPDF_FORMHANDLE form, int width, int height,
                          int rotate) {
  const FieldsLaidOut fields(page, form);
  drawPageWithFields(bitmap, page, fields, 0, 0, width, height, rotate);
}
