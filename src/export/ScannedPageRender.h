#pragma once
// The page render of the scanned-look export: the document's page with the
// view's block edits painted over it.

#include <QImage>

class PdfDocument;
class PdfView;
struct TextBlock;

// Whether the block has left the place where it was extracted (by more than
// half a point on any edge) or is turned by more than 0.1 degree.
bool scannedExportBlockMoved(const TextBlock& block);
// The page as the user sees it: the document's render with the view's block
// edits painted over it (retyped, restyled, moved or turned text blocks, new
// blocks, moved or added images); a null image when nothing is open.
QImage renderPageForScannedExport(PdfDocument* document, const PdfView* view, int page, double scale);
