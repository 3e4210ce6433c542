#include "MarkedPageObjects.h"

#include "CarriedPicture.h"
#include "LineGlyphCut.h"
#include "PageObjectBounds.h"
#include "PageSpace.h"
#include "PdfiumHandles.h"

#include <QString>

int markNumber(FPDF_PAGEOBJECT object, const QByteArray& tag, const char* key) {
  for (int i = 0; !tag.isEmpty() && i < FPDFPageObj_CountMarks(object); ++i) {
    FPDF_PAGEOBJECTMARK mark = FPDFPageObj_GetMark(object, (unsigned long)i);
    char16_t name[64] = {};
    unsigned long length = 0;
    int value = -1;
    if (mark && FPDFPageObjMark_GetName(mark, name, sizeof name - 2, &length) &&
        QString::fromUtf16(name) == QLatin1String(tag) && FPDFPageObjMark_GetParamIntValue(mark, key, &value))
      return value;
  }
  return -1;
}

void collectObjects(FPDF_PAGE page, FPDF_PAGEOBJECT form, std::vector<int>& path, const QByteArray& tag,
                    PageObjects& found) {
  const int count = form ? FPDFFormObj_CountObjects(form) : FPDFPage_CountObjects(page);
  int forms = 0;
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = form ? FPDFFormObj_GetObject(form, (unsigned long)i) : FPDFPage_GetObject(page, i);
    if (!object) continue;
    if (!form) found.topLevel.push_back(object);
    found.drawn.emplace(object, found.drawn.size());
    const int type = FPDFPageObj_GetType(object);
    if (type == FPDF_PAGEOBJ_FORM) {
      path.push_back(forms++);
      if (path.size() <= 12) collectObjects(page, object, path, tag, found);
      path.pop_back();
      continue;
    }
    if (type == FPDF_PAGEOBJ_TEXT) found.text.push_back(object);
    if (const long id = operatorId(object, tag); id >= 0) found.keys[object] = {path, id};
  }
}

bool movesWhereDrawn(const LineGlyphCut& line, const QRectF& was, const QPointF& carried, const PageObjects& objects,
                     const PageSpace& space, const QByteArray& tag) {
  if (carried.isNull()) return true;
  const QRectF to = was.translated(carried);
  for (FPDF_PAGEOBJECT object : line.shows()) {
    if (line.removed().count(object)) continue;
    const auto key = objects.keys.find(object);
    // Inside a form, what clips and covers it lies in the form's own space.
    if (key == objects.keys.end() || !key->second.forms.empty()) return false;
    if (!clipHolds(object, space.toUser(to), markNumber(object, tag, "W") == 1)) return false;
    const size_t order = objects.drawn.at(object);
    for (FPDF_PAGEOBJECT other : objects.topLevel) {
      const int type = FPDFPageObj_GetType(other);
      if (type == FPDF_PAGEOBJ_TEXT || objects.drawn.at(other) <= order) continue;
      const QRectF box = space.toShown(pageObjectBounds(other, type)).normalized();
      if (box.intersects(to) && !box.intersects(was)) return false;
    }
  }
  return true;
}

ContentDrops& dropsAt(ContentDrops& root, const std::vector<int>& forms) {
  ContentDrops* node = &root;
  for (const int index : forms) node = &node->forms[index];
  return *node;
}

std::map<FPDF_PAGEOBJECT, QPointF> firstGlyphOrigins(FPDF_PAGE page) {
  std::map<FPDF_PAGEOBJECT, QPointF> origins;
  pdfium::TextPage textPage(FPDFText_LoadPage(page));
  if (!textPage) return origins;
  const int count = FPDFText_CountChars(textPage.get());
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFText_GetTextObject(textPage.get(), i);
    double x = 0, y = 0;
    if (object && !origins.count(object) && FPDFText_GetCharOrigin(textPage.get(), i, &x, &y))
      origins.emplace(object, QPointF(x, y));
  }
  return origins;
}

