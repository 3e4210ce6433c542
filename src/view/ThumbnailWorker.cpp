#include "ThumbnailWorker.h"

#include "core/PdfDocument.h"

namespace {

constexpr double kThumbnailScale = 0.18;  // pixels per point

}  // namespace

ThumbnailWorker::ThumbnailWorker(PdfDocument* document) : document(document) {}

void ThumbnailWorker::render(int pageIndex) {
  if (!document || !document->isOpen()) return;
  emit thumbnailReady(pageIndex, document->renderPage(pageIndex, kThumbnailScale, 0));
}
