#pragma once
// pdfium draws annotations with FPDF_ANNOT but leaves form fields (widgets)
// out; it draws them only through a form-fill environment of their document.
// One such environment belongs to each document that shows its pages. Create,
// use and destroy it under the pdfium lock, and destroy it before the document
// closes.

#include "PageContentBounds.h"
#include "PdfiumHandles.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class PdfFormFields {
public:
  explicit PdfFormFields(FPDF_DOCUMENT document);
  ~PdfFormFields();
  // pdfium keeps a pointer to `info` for the environment's whole life.
  PdfFormFields(const PdfFormFields&) = delete;
  PdfFormFields& operator=(const PdfFormFields&) = delete;

  FPDF_FORMHANDLE handle() const { return form; }

private:
  FPDF_FORMFILLINFO info{};
  FPDF_FORMHANDLE form = nullptr;
};

// pdfium walks a field tree once per path through it: a tree whose fields
// name their kids again and again takes it minutes. True when the file's
// tree (read with `password`) stays within a bound of fields walked.
bool formFieldTreeWithinBounds(const QByteArray& pdf, const QByteArray& password);

// Whether `doc` gets a form environment: always without a field tree (its
// widgets are drawn all the same), else when the tree is within the bound.
bool formWithinBounds(FPDF_DOCUMENT doc, const QByteArray& pdf, const QByteArray& password);

// What the copied widgets of a page may take on from their fields (names and
// values) together: a quarter of the content a page may draw, as the copy is
// held several times over (qpdf, its writing, pdfium) while it goes in.
inline constexpr size_t kMostInheritedBytes = size_t(kMostPageContentBytes / 4);

// pdfium copies a page without the fields above its widgets: their /Parent
// then names whatever object has that number in the document the page goes
// into. The same file (read with `password`) with every widget of `pages`
// (pdfium's indices; every page when empty) taking what it inherits (full
// name, type, value, flags, appearance string) and no /Parent, unlocked in
// memory; empty when no such widget has a parent. A long inherited value is
// shared by the widgets, never copied into each. Nullopt when the file cannot
// be read, or when the names and values taken would pass
// kMostInheritedBytes (or the fields walked the tree's bound): `refusal`
// then says so, in the interface language.
std::optional<QByteArray> widgetsWithoutParents(const QByteArray& pdf, const QByteArray& password,
                                                const std::vector<int>& pages = {}, QString* refusal = nullptr);

// Whether the page carries form fields (widget annotations).
bool pageHasWidgets(FPDF_PAGE page);

// pdfium's view of a page's fields, for as long as it lives: made anew for
// each drawing, so that no page closed later is left behind in the form.
// With the page's document and index, widgets that no field holds (neither a
// name nor a type in their tree), which the form environment leaves out, are
// drawn too, as other readers draw them: flattened on a copy of the page.
class FieldsLaidOut {
public:
  FieldsLaidOut(FPDF_PAGE page, FPDF_FORMHANDLE form, FPDF_DOCUMENT doc = nullptr, int index = -1);
  ~FieldsLaidOut();
  // The form to draw the page's fields with; none on a page without widgets.
  FPDF_FORMHANDLE handle() const { return form; }
  // The page's unheld widgets alone, drawn over it; none when it has none.
  FPDF_PAGE unheldWidgets() const { return unheldPage.get(); }
  FieldsLaidOut(const FieldsLaidOut&) = delete;
  FieldsLaidOut& operator=(const FieldsLaidOut&) = delete;

private:
  FPDF_PAGE page;
  FPDF_FORMHANDLE form;
  pdfium::Document unheldCopy;
  pdfium::Page unheldPage;
};

// The page with annotations and then its fields (laid out by `fields` around
// this call) drawn into `bitmap`, whose top left corner sits at (x, y) of the
// page drawn at width x height.
void drawPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, const FieldsLaidOut& fields, int x, int y, int width,
                        int height, int rotate);

// FPDF_RenderPageBitmap with annotations, then the page's form fields with
// their appearance on top in the same placement (none without `form`).
void renderPageWithFields(FPDF_BITMAP bitmap, FPDF_PAGE page, FPDF_FORMHANDLE form, int width, int height,
                          int rotate);
