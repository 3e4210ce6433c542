// Picture-like content of a page as image blocks: the page's image objects
// (and forms holding images), and regions of coloured ink such as stamps and
// signatures drawn as paths, cut from a rendering without the page's text
// with their paper removed.
#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageObjectBounds.h"
#include "PageSpace.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumHandles.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kInkRenderScale = 2.0;

struct ImageCandidate {
  QRectF rect;
  QImage image;
  bool inkLayer = false;
};

bool isColoredInkPixel(unsigned int argb) {
  const int r = qRed(argb), g = qGreen(argb), b = qBlue(argb);
  const int mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
  const int mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
  return mx >= 35 && mn <= 248 && mx - mn >= 20;
}

// Bounding boxes (in pixels) of 8-connected coloured-ink components big enough to matter.
std::vector<QRect> inkComponents(const QImage& render) {
  const int w = render.width();
  const int h = render.height();
  // 1: ink not yet visited; 0: paper or visited.
  std::vector<unsigned char> pending(size_t(w) * size_t(h), 0);
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(render.constScanLine(y));
    unsigned char* out = pending.data() + size_t(y) * size_t(w);
    for (int x = 0; x < w; ++x) out[x] = (row[x] | 0xFF000000u) != 0xFFFFFFFFu && isColoredInkPixel(row[x]) ? 1 : 0;
  }
  std::vector<QRect> boxes;
  std::vector<qsizetype> stack;
  stack.reserve(4096);
  const unsigned char* const begin = pending.data();
  const unsigned char* const end = begin + pending.size();
  for (const unsigned char* next = begin; (next = static_cast<const unsigned char*>(
                                               std::memchr(next, 1, size_t(end - next)))) != nullptr;) {
    const qsizetype seed = next - begin;
    pending[size_t(seed)] = 0;
    stack.push_back(seed);
    int minX = w, maxX = -1, minY = h, maxY = -1;
    qsizetype pixels = 0;
    unsigned char* const mask = pending.data();
    while (!stack.empty()) {
      const qsizetype at = stack.back();
      stack.pop_back();
      ++pixels;
      const int px = int(at % w);
      const int py = int(at / w);
      if (px < minX) minX = px;
      if (px > maxX) maxX = px;
      if (py < minY) minY = py;
      if (py > maxY) maxY = py;
      const int x0 = px > 0 ? px - 1 : 0, x1 = px + 1 < w ? px + 1 : px;
      const int y0 = py > 0 ? py - 1 : 0, y1 = py + 1 < h ? py + 1 : py;
      for (int ny = y0; ny <= y1; ++ny) {
        unsigned char* row = mask + qsizetype(ny) * w;
        for (int nx = x0; nx <= x1; ++nx) {
          if (!row[nx]) continue;
          row[nx] = 0;
          stack.push_back(qsizetype(ny) * w + nx);
        }
      }
    }
    if (pixels >= 40 && maxX - minX + 1 >= 5 && maxY - minY + 1 >= 5)
      boxes.push_back(QRect(QPoint(minX, minY), QPoint(maxX, maxY)));
  }
  return boxes;
}

// Strokes close to each other (12 pixels) belong to one stamp or signature.
void mergeNearbyBoxes(std::vector<QRect>& boxes) {
  for (size_t i = 0; i < boxes.size(); ++i) {
    bool grew = true;
    while (grew) {
      grew = false;
      for (size_t j = 0; j < boxes.size(); ++j) {
        if (j == i || !boxes[i].adjusted(-12, -12, 12, 12).intersects(boxes[j])) continue;
        boxes[i] = boxes[i].united(boxes[j]);
        boxes.erase(boxes.begin() + qsizetype(j));
        if (j < i) --i;
        grew = true;
        break;
      }
    }
  }
}

double area(const QRectF& r) { return r.width() * r.height(); }

bool overlapsObject(const QRectF& region, const std::vector<ImageCandidate>& objects) {
  for (const ImageCandidate& object : objects) {
    const double overlap = area(region.intersected(object.rect));
    const double smaller = std::min(area(region), area(object.rect));
    if ((smaller > 1.0 ? overlap / smaller : overlap) > 0.55) return true;
  }
  return false;
}

// Only the ink stays: everything else becomes transparent.
QImage keepOnlyInk(const QImage& cut) {
  QImage image = cut.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (!isColoredInkPixel(row[x])) row[x] = qRgba(255, 255, 255, 0);
  }
  return image;
}

}  // namespace

std::vector<TextBlock> PdfDocument::extractImages(int page) const {
  std::vector<ImageCandidate> candidates;
  QSizeF pageSize;
  {
    DocumentLock lock(mutex);
    if (!doc || page < 0) return {};
    pdfium::Page loaded(loadPageUnlocked(page));
    if (!loaded) return {};
    const PageSpace space = PageSpace::ofPage(loaded.get());
    pageSize = space.shownSize();
    const int count = FPDFPage_CountObjects(loaded.get());
    for (int i = 0; i < count; ++i) {
      FPDF_PAGEOBJECT object = FPDFPage_GetObject(loaded.get(), i);
      const int type = object ? FPDFPageObj_GetType(object) : FPDF_PAGEOBJ_UNKNOWN;
      if (type != FPDF_PAGEOBJ_IMAGE && !(type == FPDF_PAGEOBJ_FORM && formContainsImageObject(object, 0)))
        continue;
      const QRectF rect = space.toShown(pageObjectBounds(object, type));
      if (!isUsablePageImageRect(rect, pageSize)) continue;
      ImageCandidate candidate{rect, {}, false};
      if (type == FPDF_PAGEOBJ_IMAGE) {
        pdfium::Bitmap bitmap(FPDFImageObj_GetRenderedBitmap(doc, loaded.get(), object));
        if (!bitmap) bitmap.reset(FPDFImageObj_GetBitmap(object));
        candidate.image = qImageFromPdfiumBitmap(bitmap.get());
      }
      candidates.push_back(std::move(candidate));
    }
  }

  // Opaque pixels on white: the ink test reads red, green and blue only.
  // The page's own text is left out: text in colour is text, edited as
  // such, and a stamp keeps no words drawn over it. Form fields are left
  // out too: they are the file's, not pictures to edit.
  const QImage render = renderPageImage(page, kInkRenderScale, 0, PdfRenderLayer::NoText, false, false);
  if (!render.isNull()) {
    std::vector<QRect> boxes = inkComponents(render);
    mergeNearbyBoxes(boxes);
    const std::vector<ImageCandidate> objects = candidates;  // ink is compared with objects only
    const double pageArea = std::max(area(QRectF(QPointF(0, 0), pageSize)), 1.0);
    for (const QRect& box : boxes) {
      const QRect grown = box.adjusted(-2, -2, 2, 2);
      const double height = std::max(grown.height(), 1) / kInkRenderScale;
      const QRectF region(grown.left() / kInkRenderScale, pageSize.height() - grown.top() / kInkRenderScale - height,
                          std::max(grown.width(), 1) / kInkRenderScale, height);
      if (!isUsablePageImageRect(region, pageSize) || area(region) > 0.2 * pageArea ||
          overlapsObject(region, objects))
        continue;
      candidates.push_back({region, {}, true});
    }
  }

  std::vector<TextBlock> blocks;
  for (ImageCandidate& candidate : candidates) {
    if (candidate.image.isNull() && !render.isNull()) {
      const QRectF& r = candidate.rect;
      const QRect pixels =
          QRect(int(std::floor(kInkRenderScale * r.x())),
                int(std::floor(kInkRenderScale * (pageSize.height() - (r.y() + r.height())))),
                int(std::ceil(kInkRenderScale * r.width())), int(std::ceil(kInkRenderScale * r.height())))
              .intersected(render.rect());
      if (!pixels.isEmpty()) candidate.image = render.copy(pixels);
      if (candidate.inkLayer && !candidate.image.isNull()) candidate.image = keepOnlyInk(candidate.image);
    }
    if (candidate.image.isNull()) continue;
    TextBlock block;
    block.text = QStringLiteral("[image]");
    block.rect = candidate.rect;
    block.originalRect = candidate.rect;
    block.page = page;
    block.isImage = true;
    block.inkLayer = candidate.inkLayer;
    block.image = candidate.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    blocks.push_back(std::move(block));
  }
  return blocks;
}
