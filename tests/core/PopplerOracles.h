#pragma once
// What poppler and qpdf read from a written PDF: the independent side of the
// document model's tests.

#include <QImage>
#include <QList>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <ostream>

namespace oracles {

// qpdf --check finds no error (warnings count as errors too).
bool qpdfCheckPasses(const QString& file);

// The text of every page (pdftotext, UTF-8), trimmed.
QStringList pageTexts(const QString& file);
// The text of one zero-based page; extra switches go first (for example -bbox).
QString pageText(const QString& file, int page, const QStringList& extra = {});

// The boxes of a word on the shown page (crop box, after /Rotate) as poppler
// finds them, with y upwards from the lower edge of a page `shownHeight` high.
QList<QRectF> wordBoxes(const QString& file, int page, const QString& word, double shownHeight);

struct PageInfo {
  QSizeF size;  // as pdfinfo prints it: before /Rotate
  int rotation = 0;
};
QList<PageInfo> pdfinfoPages(const QString& file);

// Pixel size and dimensions of the images pdfimages -list reports.
QList<QSize> imageSizes(const QString& file);

// Renders the crop box of one zero-based page with pdftoppm at `dpi`.
QImage renderWithPoppler(const QString& file, int page, int dpi);

}  // namespace oracles

// Readable strings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
