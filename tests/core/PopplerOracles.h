#pragma once
// What poppler and qpdf read from a written PDF: the independent side of the
// document model's tests.

#include <QImage>
#include <QList>
#include <QPair>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QStringList>

#include <ostream>

namespace oracles {

// qpdf --check finds no error (warnings count as errors too).
bool qpdfCheckPasses(const QString& file, const QString& password = {});

// The text of every page (pdftotext, UTF-8), trimmed.
QStringList pageTexts(const QString& file);
// The text of one zero-based page; extra switches go first (for example -bbox).
QString pageText(const QString& file, int page, const QStringList& extra = {});

// The boxes of a word on the shown page (crop box, after /Rotate) as poppler
// finds them, with y upwards from the lower edge of a page `shownHeight` high.
QList<QRectF> wordBoxes(const QString& file, int page, const QString& word, double shownHeight);
// Every word poppler reads on the page with its box, as wordBoxes gives them.
QList<QPair<QString, QRectF>> pageWords(const QString& file, int page, double shownHeight);
// The words of `before` that `after` lacks, repeats counted.
QStringList missingWords(QStringList before, QStringList after);

// What an edit of the first page of `input` changed in `saved` outside the
// `changed` boxes (shown page, y up; grown by 4 points) and the words poppler
// read in them: a word poppler read there and reads no more, more than 0.1 %
// of the pixels there off by more than a third of the grey range at 50 dpi,
// or the same on all of page 2.
// Empty when everything else was kept.
QString keptFault(const QString& input, const QString& saved, const QList<QRectF>& changed, double shownHeight);

struct PageInfo {
  QSizeF size;  // as pdfinfo prints it: before /Rotate
  int rotation = 0;
};
QList<PageInfo> pdfinfoPages(const QString& file);

// Pixel size and dimensions of the images pdfimages -list reports.
QList<QSize> imageSizes(const QString& file);

// What a viewer reads of one zero-based page: its text and the distinct
// complaints it printed on the way, their positions left out so that the
// same fault counts once wherever it stands ("<hangs>" after 30 s).
struct ViewerReading {
  bool ran = false;
  QString text;
  QStringList complaints;
};
ViewerReading popplerReading(const QString& file, int page);
ViewerReading mupdfReading(const QString& file, int page);
ViewerReading ghostscriptReading(const QString& file, int page);

// Where a block whose box `rect` is shown turned clockwise by `degrees`
// about its centre lies on the shown page.
inline QRectF turnedPlace(const QRectF& rect, double degrees) {
  const QPointF c = rect.center();
  return QTransform().translate(c.x(), c.y()).rotate(-degrees).translate(-c.x(), -c.y()).mapRect(rect);
}

// What is wrong with the first page of `saved`, an edit of `input` that
// wrote `word` into the line at `place` (shown page, y up), in the eyes of
// poppler, MuPDF and Ghostscript: a complaint the input did not cause, the
// word not read or not drawn, or drawn away from its line or off the page.
// Empty when nothing is wrong.
QString editReadBackFault(const QString& input, const QString& saved, const QString& word, const QRectF& place,
                          const QSizeF& page);

// Each glyph MuPDF draws on one zero-based page (`mutool trace`), in content
// order: the font it names, its character and its origin's y (user space);
// its glyph, the paint it is drawn with, and how it is drawn on the shown
// page (y down, points): `drawn` maps the glyph's unit square there, its
// origin at `at`; `across` and `up` are the lengths its unit advance and
// height take; `advance` is its own, as a share of the unit.
struct TracedGlyph {
  QString font, text;
  double y = 0;
  QString glyph, paint;
  QTransform drawn;
  QPointF at;
  double across = 0, up = 0, advance = 0;
};
QList<TracedGlyph> tracedGlyphs(const QString& file, int page);

// How many embedded font programs repeat, byte for byte once decoded, one
// found earlier in the file (qpdf's reading); -1 when qpdf cannot read it.
int repeatedFontPrograms(const QString& file);

// Renders the crop box of one zero-based page with pdftoppm at `dpi`.
QImage renderWithPoppler(const QString& file, int page, int dpi);
// Dark pixels of a poppler render inside a shown-page rectangle (y up).
int inkIn(const QImage& render, const QRectF& shown, double pageHeight, double dpi);
// Dark pixels of a render of a one-page `form` inside its fields (qpdf's widgets).
double fieldInk(const QImage& render, const QString& form, double pageHeight, double dpi);

}  // namespace oracles

// Readable strings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
