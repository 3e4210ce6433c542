// Picture-like content of a page as image blocks: the page's image objects
// (and forms holding images), and regions of coloured ink such as stamps and
// signatures drawn as paths, cut from a rendering without the page's text
// with their paper removed.
#include "PdfDocument.h"

#include "DocumentLock.h"
#include "PageLoadGuard.h"
#include "PageObjectBounds.h"
#include "PageObjectWriters.h"
#include "PageSpace.h"
#include "PdfBitmapHelpers.h"
#include "PdfiumHandles.h"
#include "PicturePages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

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

// A path that tints what lies under it: filled see-through, with no opaque
// outline. Highlights are drawn so; they are no ink to lift.
bool tintingPath(FPDF_PAGEOBJECT object) {
  int fillMode = 0;
  FPDF_BOOL stroke = 0;
  if (FPDFPageObj_GetType(object) != FPDF_PAGEOBJ_PATH || !FPDFPath_GetDrawMode(object, &fillMode, &stroke) ||
      fillMode == 0)
    return false;
  unsigned int r = 0, g = 0, b = 0, fillAlpha = 255, strokeAlpha = 255;
  if (!FPDFPageObj_GetFillColor(object, &r, &g, &b, &fillAlpha) || fillAlpha >= 255) return false;
  return !stroke || (FPDFPageObj_GetStrokeColor(object, &r, &g, &b, &strokeAlpha) && strokeAlpha < 255);
}

bool drawsText(FPDF_PAGEOBJECT object, int depth) {
  const int type = object ? FPDFPageObj_GetType(object) : FPDF_PAGEOBJ_UNKNOWN;
  if (type == FPDF_PAGEOBJ_TEXT) return true;
  if (type != FPDF_PAGEOBJ_FORM || depth >= 5) return false;
  for (int i = 0, count = FPDFFormObj_CountObjects(object); i < count; ++i)
    if (drawsText(FPDFFormObj_GetObject(object, static_cast<unsigned long>(i)), depth + 1)) return true;
  return false;
}

QRectF objectBounds(FPDF_PAGEOBJECT object) {
  float left = 0, bottom = 0, right = 0, top = 0;
  if (!FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top)) return {};
  return QRectF(QPointF(left, bottom), QPointF(right, top)).normalized();
}

// Filled paths that text or a form field is drawn on afterwards: coloured
// boxes, table cells, callouts and field backgrounds are the paper of their
// words, not pictures to lift over them. A quarter of the smaller box shared
// is enough: a box behind one word of a long line holds little of the line.
std::vector<bool> backgroundFills(FPDF_PAGE page, int count) {
  std::vector<bool> background(size_t(std::max(count, 0)), false);
  std::vector<std::pair<int, QRectF>> fills;
  const auto under = [&](const QRectF& over) {
    if (!(area(over) > 0)) return;
    for (const auto& [index, box] : fills)
      if (area(box.intersected(over)) >= 0.25 * std::min(area(box), area(over))) background[size_t(index)] = true;
  };
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    int fillMode = 0;
    FPDF_BOOL stroke = 0;
    if (object && FPDFPageObj_GetType(object) == FPDF_PAGEOBJ_PATH &&
        FPDFPath_GetDrawMode(object, &fillMode, &stroke) && fillMode != 0) {
      if (const QRectF box = objectBounds(object); area(box) > 0) fills.emplace_back(i, box);
    } else if (!fills.empty() && drawsText(object, 0)) {
      under(objectBounds(object));
    }
  }
  // Fields are drawn over the whole page.
  for (int i = 0, annotations = fills.empty() ? 0 : FPDFPage_GetAnnotCount(page); i < annotations; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(page, i));
    FS_RECTF r;
    if (annotation && FPDFAnnot_GetSubtype(annotation.get()) == FPDF_ANNOT_WIDGET &&
        FPDFAnnot_GetRect(annotation.get(), &r))
      under(QRectF(QPointF(r.left, r.bottom), QPointF(r.right, r.top)).normalized());
  }
  return background;
}

// The page on white as its ink shows: without text (text in colour is text,
// edited as such, and a stamp keeps no words drawn over it), without
// annotations (no page content: marks, notes and fields show as they are),
// without tinting fills and without the fills text stands on. The removed
// objects are put back in their places; the document does not change.
// Null when the page's check (`cost`) says it does not draw whole at this size.
QImage renderInk(FPDF_PAGE page, double scale, const std::optional<PageRenderCost>& cost) {
  const QSize size = readingPixelSize(page, scale, cost);
  if (size.isEmpty()) return {};
  std::vector<std::pair<int, FPDF_PAGEOBJECT>> removed;
  const int count = FPDFPage_CountObjects(page);
  const std::vector<bool> background = backgroundFills(page, count);
  for (int i = count - 1; i >= 0; --i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    if (object &&
        (FPDFPageObj_GetType(object) == FPDF_PAGEOBJ_TEXT || tintingPath(object) || background[size_t(i)]) &&
        FPDFPage_RemoveObject(page, object))
      removed.emplace_back(i, object);
  }
  QImage image(size, QImage::Format_ARGB32);
  if (!image.isNull()) {
    image.fill(Qt::white);
    if (pdfium::Bitmap bitmap{createBitmapFromQImage(image)})
      FPDF_RenderPageBitmap(bitmap.get(), page, 0, 0, size.width(), size.height(), 0, 0);
  }
  for (auto it = removed.rbegin(); it != removed.rend(); ++it)
    if (!FPDFPage_InsertObjectAtIndex(page, it->second, size_t(it->first))) FPDFPageObj_Destroy(it->second);
  return image;
}

bool drawsClipText(FPDF_PAGEOBJECT object, int depth) {
  const int type = object ? FPDFPageObj_GetType(object) : FPDF_PAGEOBJ_UNKNOWN;
  if (type == FPDF_PAGEOBJ_TEXT) return FPDFTextObj_GetTextRenderMode(object) >= FPDF_TEXTRENDERMODE_FILL_CLIP;
  if (type != FPDF_PAGEOBJ_FORM || depth >= 5) return false;
  for (int i = 0, count = FPDFFormObj_CountObjects(object); i < count; ++i)
    if (drawsClipText(FPDFFormObj_GetObject(object, static_cast<unsigned long>(i)), depth + 1)) return true;
  return false;
}

// Where text drawn as a clip (render modes 4 to 7) stands, one box per
// show, forms' shows too. What is painted through it is the shape of its
// words: ink cut out there as a picture would put a picture over text the
// user edits as text, and deleting it would cover the word, not take it out.
std::vector<QRectF> clipTextBoxes(FPDF_PAGE page, const PageSpace& space) {
  bool any = false;
  for (int i = 0, count = FPDFPage_CountObjects(page); i < count && !any; ++i)
    any = drawsClipText(FPDFPage_GetObject(page, i), 0);
  if (!any) return {};
  std::map<FPDF_PAGEOBJECT, QRectF> boxes;
  pdfium::TextPage textPage(FPDFText_LoadPage(page));
  for (int i = 0, count = textPage ? FPDFText_CountChars(textPage.get()) : 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage.get(), i);
    double left = 0, right = 0, bottom = 0, top = 0;
    if (!object || FPDFTextObj_GetTextRenderMode(object) < FPDF_TEXTRENDERMODE_FILL_CLIP ||
        !FPDFText_GetCharBox(textPage.get(), i, &left, &right, &bottom, &top))
      continue;
    boxes[object] |= space.toShown(QRectF(QPointF(left, bottom), QPointF(right, top)).normalized());
  }
  std::vector<QRectF> found;
  for (const auto& [object, box] : boxes) found.push_back(box);
  return found;
}

// Most of the region lies within the boxes.
bool mostlyWithin(const QRectF& region, const std::vector<QRectF>& boxes) {
  double inside = 0;
  for (const QRectF& box : boxes) inside += area(region.intersected(box));
  return inside > 0.5 * area(region);
}

// pdfium renders an image object as it lies in user space; the page shows
// that turned by its /Rotate, and so do the blocks and the picture editor.
QImage turnedAsShown(const QImage& rendered, const PageSpace& space) {
  return reorderedPixels(rendered, QTransform().rotate(90.0 * space.quarterTurns()));
}

}  // namespace

std::vector<TextBlock> PdfDocument::extractImages(int page) const {
  std::vector<ImageCandidate> candidates;
  QSizeF pageSize;
  QImage render;
  std::vector<QRectF> clipText;
  {
    DocumentLock lock(mutexAfterCheck(page));
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
        if (bitmap) {
          candidate.image = turnedAsShown(qImageFromPdfiumBitmap(bitmap.get()), space);
        } else {
          bitmap.reset(FPDFImageObj_GetBitmap(object));
          candidate.image = qImageFromPdfiumBitmap(bitmap.get());
        }
      }
      candidates.push_back(std::move(candidate));
    }
    // Opaque pixels on white: the ink test reads red, green and blue only.
    render = renderInk(loaded.get(), kInkRenderScale, loadGuard->renderCost(page));
    if (!render.isNull()) clipText = clipTextBoxes(loaded.get(), space);
  }

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
          overlapsObject(region, objects) || mostlyWithin(region, clipText))
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

QImage PdfDocument::imageObjectOwnPixels(int page, const QRectF& shownRect) const {
  // As much as the picture editor takes: beyond, a hostile size would ask for gigabytes.
  constexpr qint64 kMostPixels = kLargestImportedPicturePixels;
  constexpr unsigned int kLongestSide = 20000;
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || page < 0) return {};
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return {};
  const PageSpace space = PageSpace::ofPage(loaded.get());
  const QRectF wanted = shownRect.normalized();
  const int count = FPDFPage_CountObjects(loaded.get());
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(loaded.get(), i);
    if (!object || FPDFPageObj_GetType(object) != FPDF_PAGEOBJ_IMAGE) continue;
    const QRectF box = space.toShown(pageObjectBounds(object, FPDF_PAGEOBJ_IMAGE)).normalized();
    if (std::abs(box.left() - wanted.left()) > 2 || std::abs(box.right() - wanted.right()) > 2 ||
        std::abs(box.top() - wanted.top()) > 2 || std::abs(box.bottom() - wanted.bottom()) > 2)
      continue;
    unsigned int width = 0, height = 0;
    FS_MATRIX matrix;
    if (!FPDFImageObj_GetImagePixelSize(object, &width, &height) || !FPDFPageObj_GetMatrix(object, &matrix))
      return {};
    if (width == 0 || height == 0 || width > kLongestSide || height > kLongestSide ||
        qint64(width) * qint64(height) > kMostPixels)
      return {};
    const double across = std::hypot(matrix.a, matrix.b);
    const double down = std::hypot(matrix.c, matrix.d);
    if (!(across > 0) || !(down > 0)) return {};
    // pdfium rasterises an image object at one pixel per unit of its matrix:
    // stretched for the moment to one unit per pixel of the picture, it comes
    // out at its own size with its mask and turn. The matrix is put back at once.
    FS_MATRIX own = matrix;
    own.a = float(matrix.a * width / across);
    own.b = float(matrix.b * width / across);
    own.c = float(matrix.c * height / down);
    own.d = float(matrix.d * height / down);
    if (!FPDFPageObj_SetMatrix(object, &own)) return {};
    pdfium::Bitmap bitmap(FPDFImageObj_GetRenderedBitmap(doc, loaded.get(), object));
    FPDFPageObj_SetMatrix(object, &matrix);
    return bitmap ? turnedAsShown(qImageFromPdfiumBitmap(bitmap.get()), space)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                  : QImage();
  }
  return {};
}
