#include "PdfDocument.h"
#include "CoreText.h"

#include "DocumentLock.h"
#include "PageObjectWriters.h"
#include "PageSpace.h"
#include "PdfFormFields.h"
#include "PdfiumHandles.h"
#include "PdfWideString.h"
#include "TextDirection.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace {

// Markup tints: translucent enough to read through, strong enough to see.
constexpr int kMarkupMinAlpha = 20;
constexpr int kMarkupMaxAlpha = 120;
const QColor kDefaultMarkupColor(255, 230, 0, 90);
// A note shows as an icon of this side, in points; viewers print it.
constexpr double kNoteIconSide = 24.0;
constexpr int kAnnotPrintFlag = 4;
constexpr int kUnderlineMark = 1;
constexpr int kStrikeOutMark = 2;

// The characters of a note's text that a PDF string written through pdfium
// cannot carry, each named once as "U+XXXX": NUL ends pdfium's string, and a
// surrogate without its partner is no character at all.
QString unstorableNoteCharacters(const QString& text) {
  QStringList named;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      ++i;
      continue;
    }
    if (c.unicode() != 0 && !c.isSurrogate()) continue;
    const QString name = QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
    if (!named.contains(name)) named << name;
  }
  return named.join(QStringLiteral(", "));
}

// One line of marked text in user space: its horizontal extent, its baseline,
// its font size, and the height its font gives the line.
struct MarkedTextLine {
  double left = 0;
  double right = 0;
  double baseline = 0;
  double size = 0;
  double bottom = 0;
  double top = 0;
};

// Whether a letter (shown space) belongs to a region: the region reaches into
// it along the text and its middle lies within the region across the text. A
// text selection starts on a letter and ends on one, so a letter it only
// partly covers is still marked, where a test of the letter's centre dropped
// it. `angle` is the direction the text runs in on the shown page.
bool regionPicks(const QRectF& shownRegion, const QRectF& shownLetter, double angle) {
  const QTransform frame = readingFrame(angle);
  const QRectF region = angle == 0.0 ? shownRegion : frame.mapRect(shownRegion);
  const QRectF letter = angle == 0.0 ? shownLetter : frame.mapRect(shownLetter);
  const double middle = letter.center().y();
  return middle >= region.top() && middle <= region.bottom() && letter.right() > region.left() &&
         letter.left() < region.right();
}

// The lines of text whose letters the regions pick, split where the baseline
// or the size changes.
QList<MarkedTextLine> markedTextLines(FPDF_TEXTPAGE text, const PageSpace& space, const QList<QRectF>& regions) {
  QList<MarkedTextLine> lines;
  const int count = FPDFText_CountChars(text);
  for (int i = 0; i < count; ++i) {
    double l = 0, r = 0, b = 0, t = 0, x = 0, y = 0;
    if (!FPDFText_GetCharBox(text, i, &l, &r, &b, &t) || !FPDFText_GetCharOrigin(text, i, &x, &y)) continue;
    if (r <= l) continue;
    const QRectF shown = space.toShown(QRectF(l, b, r - l, t - b));
    FS_MATRIX m{};
    const double found = FPDFText_GetMatrix(text, i, &m) ? shownAngle(m, space) : 0.0;
    const double angle = std::isnan(found) ? 0.0 : found;
    if (std::none_of(regions.begin(), regions.end(),
                     [&shown, angle](const QRectF& region) { return regionPicks(region, shown, angle); }))
      continue;
    const double size = std::max(FPDFText_GetFontSize(text, i), 1.0);
    // The font's own height of the letter (ascent to descent), as readers box
    // words; the tight box of an "o" would leave a highlight half as high.
    FS_RECTF loose{};
    const bool hasLoose = FPDFText_GetLooseCharBox(text, i, &loose) && loose.top > loose.bottom;
    const double bottom = hasLoose ? std::min<double>(loose.bottom, b) : b;
    const double top = hasLoose ? std::max<double>(loose.top, t) : t;
    if (!lines.isEmpty() && std::abs(lines.last().baseline - y) < 0.3 * size &&
        std::abs(lines.last().size - size) < 0.5 * size) {
      MarkedTextLine& last = lines.last();
      last.left = std::min(last.left, l);
      last.right = std::max(last.right, r);
      last.bottom = std::min(last.bottom, bottom);
      last.top = std::max(last.top, top);
      continue;
    }
    lines.append({l, r, y, size, bottom, top});
  }
  return lines;
}

// Underline a little below the baseline; strike-out through the middle of
// the lower-case letters. Both as thick as a font's own rule would be. A
// highlight covers the line's whole height.
QRectF markLineRect(const MarkedTextLine& line, int kind) {
  if (kind != kUnderlineMark && kind != kStrikeOutMark)
    return QRectF(line.left, line.bottom, line.right - line.left, line.top - line.bottom);
  const double thickness = std::max(0.06 * line.size, 0.6);
  const double centre = kind == kUnderlineMark ? line.baseline - 0.12 * line.size : line.baseline + 0.28 * line.size;
  return QRectF(line.left, centre - thickness / 2, line.right - line.left, thickness);
}

}  // namespace

bool PdfDocument::addImageToPage(int page, QPointF position, QSizeF size, const QImage& image) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || image.isNull() || size.width() <= 0 || size.height() <= 0) return false;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return false;
  if (!placeImageObject(doc, loaded.get(), QRectF(position, size), image)) return false;
  generateContentUnlocked(loaded.get());
  modified = true;
  return true;
}

bool PdfDocument::addMarkupAnnot(int page, const QRectF& rect, const QColor& color, int kind) {
  return addMarkupAnnot(page, QList<QRectF>{rect}, color, kind);
}

bool PdfDocument::addMarkupAnnot(int page, const QList<QRectF>& regions, const QColor& color, int kind) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || regions.isEmpty()) return false;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return false;
  const PageSpace space = PageSpace::ofPage(loaded.get());
  const QColor chosen = color.isValid() ? color : kDefaultMarkupColor;
  const bool line = kind == kUnderlineMark || kind == kStrikeOutMark;
  // A mark per line of text the regions pick: over it, under it or through
  // its middle.
  QList<MarkedTextLine> lines;
  {
    pdfium::TextPage text(FPDFText_LoadPage(loaded.get()));
    QList<QRectF> normalized;
    for (const QRectF& region : regions) normalized.append(region.normalized());
    if (text) lines = markedTextLines(text.get(), space, normalized);
  }
  QList<QRectF> shapes;
  for (const MarkedTextLine& textLine : lines) shapes.append(markLineRect(textLine, kind));
  // Regions over no text are marked as drawn: a highlight fills them, a line
  // runs along their bottom or their middle.
  if (shapes.isEmpty()) {
    for (const QRectF& region : regions) {
      const QRectF user = space.toUser(region.normalized()).normalized();
      if (!(user.width() > 0) || !(user.height() > 0)) continue;
      shapes.append(line ? markLineRect({user.left(), user.right(), user.top() + 0.2 * user.height(),
                                         user.height() * 0.8, user.top(), user.bottom()},
                                        kind)
                         : user);
    }
  }
  if (shapes.isEmpty()) return false;
  // Lines are drawn in the colour as chosen: opaque, like ink.
  const int alpha = line ? 255 : std::clamp(chosen.alpha(), kMarkupMinAlpha, kMarkupMaxAlpha);
  for (const QRectF& shape : shapes) {
    pdfium::PageObject mark(
        FPDFPageObj_CreateNewRect(float(shape.x()), float(shape.y()), float(shape.width()), float(shape.height())));
    if (!mark) return false;
    FPDFPath_SetDrawMode(mark.get(), FPDF_FILLMODE_WINDING, 0);
    FPDFPageObj_SetFillColor(mark.get(), unsigned(chosen.red()), unsigned(chosen.green()), unsigned(chosen.blue()),
                             unsigned(alpha));
    // A highlight goes on top of everything, so a scanned page's image cannot
    // hide it; multiplied, so dark text under it stays dark and readable.
    if (!line) FPDFPageObj_SetBlendMode(mark.get(), "Multiply");
    FPDFPage_InsertObject(loaded.get(), mark.release());
  }
  if (!generateContentUnlocked(loaded.get())) return false;
  modified = true;
  return true;
}

bool PdfDocument::addHighlightAnnot(int page, const QRectF& rect, const QColor& color) {
  return addMarkupAnnot(page, rect, color, 0);
}

int PdfDocument::pageObjectCount(int page) const {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc) return -1;
  pdfium::Page loaded(loadPageUnlocked(page));
  return loaded ? FPDFPage_CountObjects(loaded.get()) : -1;
}

bool PdfDocument::removeTrailingPageObjects(int page, int keep, int count) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || keep < 0 || keep >= count) return false;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded || FPDFPage_CountObjects(loaded.get()) != count) {
    lastErrorMessage = coreText("Страница %1 изменилась после этой правки.").arg(page + 1);
    return false;
  }
  for (int i = count - 1; i >= keep; --i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(loaded.get(), i);
    if (object && FPDFPage_RemoveObject(loaded.get(), object)) FPDFPageObj_Destroy(object);
  }
  if (!FPDFPage_GenerateContent(loaded.get())) return false;
  modified = true;
  return true;
}

bool PdfDocument::addStickyNote(int page, QPointF position, const QString& text, const QString& author) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc) {
    lastErrorMessage = coreText("Документ не открыт.");
    return false;
  }
  // pdfium takes the text up to its first NUL: a note holding one would be
  // cut without a word, so it is refused with the character named.
  if (const QString unstorable = unstorableNoteCharacters(text); !unstorable.isEmpty()) {
    lastErrorMessage = coreText("Заметку нельзя сохранить: символы %1 не записываются в PDF.").arg(unstorable);
    return false;
  }
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) {
    lastErrorMessage = coreText("Не удалось открыть страницу %1.").arg(page + 1);
    return false;
  }
  // The note's icon, centred on the position.
  const QRectF user = PageSpace::ofPage(loaded.get())
                          .toUser(QRectF(position.x() - kNoteIconSide / 2, position.y() - kNoteIconSide / 2,
                                         kNoteIconSide, kNoteIconSide))
                          .normalized();
  pdfium::Annotation note(FPDFPage_CreateAnnot(loaded.get(), FPDF_ANNOT_TEXT));
  const FS_RECTF rect{float(user.left()), float(user.bottom()), float(user.right()), float(user.top())};
  const bool written = note && FPDFAnnot_SetRect(note.get(), &rect) &&
                       FPDFAnnot_SetStringValue(note.get(), "Contents",
                                                reinterpret_cast<FPDF_WIDESTRING>(toPdfWide(text).constData())) &&
                       FPDFAnnot_SetStringValue(note.get(), "T",
                                                reinterpret_cast<FPDF_WIDESTRING>(toPdfWide(author).constData())) &&
                       FPDFAnnot_SetColor(note.get(), FPDFANNOT_COLORTYPE_Color, 255, 230, 0, 255) &&
                       FPDFAnnot_SetFlags(note.get(), kAnnotPrintFlag);
  if (!written) {
    // A half-written note is taken off the page again.
    if (note) {
      note.reset();
      FPDFPage_RemoveAnnot(loaded.get(), FPDFPage_GetAnnotCount(loaded.get()) - 1);
    }
    lastErrorMessage = coreText("Не удалось добавить заметку на страницу %1.").arg(page + 1);
    return false;
  }
  modified = true;
  return true;
}

QList<PdfDocument::Note> PdfDocument::notes(int page) const {
  DocumentLock lock(mutexAfterCheck(page));
  QList<Note> found;
  if (!doc) return found;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return found;
  const PageSpace space = PageSpace::ofPage(loaded.get());
  const int count = FPDFPage_GetAnnotCount(loaded.get());
  for (int i = 0; i < count; ++i) {
    pdfium::Annotation annotation(FPDFPage_GetAnnot(loaded.get(), i));
    if (!annotation || FPDFAnnot_GetSubtype(annotation.get()) != FPDF_ANNOT_TEXT) continue;
    FS_RECTF rect{};
    if (!FPDFAnnot_GetRect(annotation.get(), &rect)) continue;
    // Length in bytes, the terminating zero included.
    const unsigned long bytes = FPDFAnnot_GetStringValue(annotation.get(), "Contents", nullptr, 0);
    QList<FPDF_WCHAR> buffer(qsizetype(std::max(bytes / 2, 1ul)), 0);
    if (bytes > 2) FPDFAnnot_GetStringValue(annotation.get(), "Contents", buffer.data(), bytes);
    const QRectF user = QRectF(QPointF(rect.left, rect.bottom), QPointF(rect.right, rect.top)).normalized();
    // Taken by its length, character for character: a note that starts with
    // U+FFFE or U+FEFF is the user's text, not a byte-order mark.
    const qsizetype length = buffer.size() - 1;
    found.append({space.toShown(user).normalized(),
                  QString(reinterpret_cast<const QChar*>(buffer.constData()), std::max<qsizetype>(length, 0))});
  }
  return found;
}

bool PdfDocument::hasFormFields(int page) const {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc) return false;
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return false;
  return pageHasWidgets(loaded.get());
}
