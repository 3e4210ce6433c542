#pragma once
// Small owners that close pdfium handles on every return path. Use them only
// while the pdfium lock is held: their destructors call into pdfium.

#include "PdfiumApi.h"
#include "PdfiumLock.h"

#include <memory>
#include <type_traits>

namespace pdfium {

// Closing is a pdfium call like any other: it checks the lock first.
template <auto Close>
struct CloseUnderLock {
  template <typename T>
  void operator()(T* handle) const {
    if (!handle) return;
    PdfiumLock::assertHeld();
    Close(handle);
  }
};

template <typename Handle, auto Close>
using Owner = std::unique_ptr<std::remove_pointer_t<Handle>, CloseUnderLock<Close>>;

using Document = Owner<FPDF_DOCUMENT, FPDF_CloseDocument>;
using Page = Owner<FPDF_PAGE, FPDF_ClosePage>;
using TextPage = Owner<FPDF_TEXTPAGE, FPDFText_ClosePage>;
using Bitmap = Owner<FPDF_BITMAP, FPDFBitmap_Destroy>;
using Font = Owner<FPDF_FONT, FPDFFont_Close>;
using PageLinks = Owner<FPDF_PAGELINK, FPDFLink_CloseWebLinks>;
using Search = Owner<FPDF_SCHHANDLE, FPDFText_FindClose>;
using Annotation = Owner<FPDF_ANNOTATION, FPDFPage_CloseAnnot>;
using XObject = Owner<FPDF_XOBJECT, FPDF_CloseXObject>;
using PageObject = Owner<FPDF_PAGEOBJECT, FPDFPageObj_Destroy>;

}  // namespace pdfium
