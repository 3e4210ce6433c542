// New text objects: font choice (an embedded system TrueType file, else a PDF
// standard font), colour, invisibility, fitting to a box and placement on the
// shown page. Fonts go in as subsets of the characters written, widened only
// when new text needs a glyph the loaded subset lacks.
#include "PdfDocument.h"

#include "DocumentLock.h"
#include "EmbeddableFont.h"
#include "PageSpace.h"
#include "PdfWideString.h"
#include "PdfiumHandles.h"
#include "ShapedText.h"
#include "CoreText.h"

#include <QFile>
#include <QFileInfo>
#include <QTransform>

#include <algorithm>

namespace {

const char* const kSerifBoldItalic = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-BoldItalic.ttf";
const char* const kSansBoldOblique = "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf";
const char* const kSerifBold = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf";
const char* const kSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const char* const kSerifItalic = "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Italic.ttf";
const char* const kSansOblique = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf";
const char* const kSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
const char* const kSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const kCjkSerif = "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc";
const char* const kNotoSerif = "/usr/share/fonts/truetype/noto/NotoSerif-Regular.ttf";
const char* const kNotoSans = "/usr/share/fonts/truetype/noto/NotoSans-Regular.ttf";
const char* const kMono = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
const char* const kMonoBold = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";

QList<const char*> fontFileCandidates(bool bold, bool italic) {
  QList<const char*> files;
  if (bold && italic) files << kSerifBoldItalic << kSansBoldOblique;
  if (bold) files << kSerifBold << kSansBold;
  if (italic) files << kSerifItalic << kSansOblique;
  files << kSerif << kSans << kCjkSerif << kNotoSerif << kNotoSans;
  return files;
}

// The regular face of a family chosen by name, ahead of the usual list.
QList<const char*> familyFaceCandidates(const QString& family, bool bold, bool italic) {
  const QString lower = family.toLower();
  QList<const char*> files;
  if (lower.contains(QLatin1String("courier")) || lower.contains(QLatin1String("mono")))
    files << (bold ? kMonoBold : kMono);
  else if (lower.contains(QLatin1String("helvetica")) || lower.contains(QLatin1String("arial")) ||
           lower.contains(QLatin1String("sans")))
    files << (bold ? kSansBold : kSans);
  return files + fontFileCandidates(bold, italic);
}

QByteArray standardFontName(const QString& family, bool bold, bool italic) {
  const QString lower = family.toLower();
  const bool helvetica = lower.contains(QLatin1String("helvetica")) || lower.contains(QLatin1String("arial"));
  const bool courier = !helvetica && lower.contains(QLatin1String("courier"));
  const QByteArray base = helvetica ? "Helvetica" : (courier ? "Courier" : "Times");
  const bool times = !helvetica && !courier;
  if (bold && italic) return base + (times ? "-BoldItalic" : "-BoldOblique");
  if (bold) return base + "-Bold";
  if (italic) return base + (times ? "-Italic" : "-Oblique");
  return times ? QByteArray("Times-Roman") : base;
}

}  // namespace

const PdfDocument::LoadedFont* PdfDocument::loadFontUnlocked(const QString& family, bool bold, bool italic,
                                                             const QString& text, bool familyFace) {
  if (!doc) return nullptr;
  // The first font file that exists decides; later candidates are not tried.
  for (const char* path : familyFace ? familyFaceCandidates(family, bold, italic) : fontFileCandidates(bold, italic)) {
    const QString key = QString::fromLatin1(path);
    auto it = loadedFonts.find(key);
    std::shared_ptr<EmbeddableFont> file;
    std::set<char32_t> coverage = EmbeddableFont::coverageFor(text);
    if (it != loadedFonts.end()) {
      LoadedFont& loaded = it->second;
      if (loaded.whole || std::includes(loaded.coverage.begin(), loaded.coverage.end(), coverage.begin(),
                                        coverage.end()))
        return &loaded;
      file = loaded.file;
      coverage.insert(loaded.coverage.begin(), loaded.coverage.end());
    } else {
      if (!QFileInfo(key).isReadable()) continue;
      file = EmbeddableFont::fromFile(key);
      if (!file) break;
    }
    // A subset of the glyphs needed; the whole file only when cutting fails.
    QByteArray data = file->subset(coverage);
    const bool whole = data.isEmpty();
    if (whole) {
      QFile full(key);
      if (full.open(QIODevice::ReadOnly)) data = full.readAll();
    }
    FPDF_FONT font = data.isEmpty() ? nullptr
                                    : FPDFText_LoadFont(doc, reinterpret_cast<const uint8_t*>(data.constData()),
                                                        uint32_t(data.size()), FPDF_FONT_TRUETYPE, 1);
    if (!font) {
      // The narrower subset already loaded still serves what it covers.
      if (it != loadedFonts.end()) return &it->second;
      break;
    }
    // Objects written with the narrower subset keep their own reference to it.
    if (it != loadedFonts.end()) FPDFFont_Close(it->second.handle);
    LoadedFont& entry = loadedFonts[key];
    entry = LoadedFont{font, file, std::move(coverage), whole};
    return &entry;
  }
  const QByteArray name = standardFontName(family, bold, italic);
  const QString key = QStringLiteral("standard:") + QString::fromLatin1(name);
  if (auto it = loadedFonts.find(key); it != loadedFonts.end()) return &it->second;
  FPDF_FONT font = FPDFText_LoadStandardFont(doc, name.constData());
  if (!font) return nullptr;
  LoadedFont& entry = loadedFonts[key];
  entry = LoadedFont{font, nullptr, {}, true};
  return &entry;
}

QString PdfDocument::preferredFaceFile(const QString& family, bool bold, bool italic, bool familyFace) {
  for (const char* path : familyFace ? familyFaceCandidates(family, bold, italic) : fontFileCandidates(bold, italic))
    if (QFileInfo(QString::fromLatin1(path)).isReadable()) return QString::fromLatin1(path);
  return {};
}

double PdfDocument::writtenAdvanceUnlocked(const QString& text, const QString& family, float size, bool bold,
                                           bool italic) {
  const LoadedFont* font = loadFontUnlocked(family, bold, italic, text);
  if (!font) return 0;
  if (font->file) return font->file->advance(text, std::max(size, 1.0f));
  // A standard font: measure an object set in it.
  pdfium::PageObject probe(FPDFPageObj_CreateTextObj(doc, font->handle, std::max(size, 1.0f)));
  const QList<ushort> wide = toPdfWide(text);
  float l = 0, b = 0, r = 0, t = 0;
  if (!probe || !FPDFText_SetText(probe.get(), wide.constData()) ||
      !FPDFPageObj_GetBounds(probe.get(), &l, &b, &r, &t))
    return 0;
  return std::max(double(r), 0.0);
}

void PdfDocument::closeLoadedFontsUnlocked() {
  for (auto& [key, font] : loadedFonts) FPDFFont_Close(font.handle);
  loadedFonts.clear();
}

FPDF_PAGEOBJECT PdfDocument::createTextObjectUnlocked(FPDF_PAGE page, const QString& text, const QRectF& rect,
                                                      const QString& family, float size, const QColor& color,
                                                      bool bold, bool italic, bool invisible, bool fitToRect,
                                                      double horizontalScale, bool familyFace) {
  if (!doc || !page || text.isEmpty()) return nullptr;
  const LoadedFont* font = loadFontUnlocked(family, bold, italic, text, familyFace);
  if (!font) return nullptr;
  pdfium::PageObject object(FPDFPageObj_CreateTextObj(doc, font->handle, std::max(size, 1.0f)));
  if (!object) return nullptr;
  const QList<ushort> wide = toPdfWide(text);
  if (!FPDFText_SetText(object.get(), wide.constData())) return nullptr;

  const QColor fill = color.isValid() ? color : QColor(Qt::black);
  FPDFPageObj_SetFillColor(object.get(), unsigned(fill.red()), unsigned(fill.green()), unsigned(fill.blue()),
                           unsigned(fill.alpha()));

  // Placement is worked out on the shown page and then carried into user
  // space, so text stands upright on a turned page too.
  // A horizontal scale narrows or widens the glyphs the way Tz would.
  const double scale = horizontalScale > 0.01 ? horizontalScale : 1.0;
  QTransform shown(scale, 0, 0, 1, rect.x(), rect.y() + std::max(0.12 * size, 0.0));
  if (invisible) {
    FPDFTextObj_SetTextRenderMode(object.get(), FPDF_TEXTRENDERMODE_INVISIBLE);
    float l = 0, b = 0, r = 0, t = 0;
    if (fitToRect && FPDFPageObj_GetBounds(object.get(), &l, &b, &r, &t)) {
      const double sx = std::clamp(rect.width() / std::max(double(r - l), 0.01), 0.05, 20.0);
      const double sy = std::clamp(rect.height() / std::max(double(t - b), 0.01), 0.05, 20.0);
      shown = QTransform(sx, 0, 0, sy, rect.x() - l * sx, rect.y() - b * sy);
    }
  }
  const QTransform m = shown * PageSpace::ofPage(page).userFromShown();
  FPDFPageObj_Transform(object.get(), m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy());
  return object.release();
}

bool PdfDocument::insertTextObjectUnlocked(FPDF_PAGE page, const QString& text, const QRectF& rect,
                                           const QString& family, float size, const QColor& color, bool bold,
                                           bool italic, bool invisible, bool fitToRect) {
  FPDF_PAGEOBJECT object =
      createTextObjectUnlocked(page, text, rect, family, size, color, bold, italic, invisible, fitToRect);
  if (!object) return false;
  FPDFPage_InsertObject(page, object);
  return true;
}

namespace {

// Free text and stamp text go in through pdfium alone, which writes one glyph
// of one font per character: text it cannot set so is refused, not written
// with glyphs missing.
QString unwritableByPdfium(const QString& text, const QString& face) {
  const ShapedLine line = shapeLine(text, face, false, false);
  if (!line.writable()) return line.refusal();
  if (!line.plain)
    return coreText("Этот текст нельзя вставить: его знаки пишутся только при правке строки страницы.");
  return {};
}

}  // namespace

bool PdfDocument::addFreeText(int page, QRectF rect, const QString& text, const QString& family, float size,
                              QColor color) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || text.isEmpty()) return false;
  if (const QString refusal = unwritableByPdfium(text, preferredFaceFile(family, false, false, true));
      !refusal.isEmpty()) {
    lastErrorMessage = refusal;
    return false;
  }
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return false;
  // Free text is set in the face of the family the user chose.
  FPDF_PAGEOBJECT object = createTextObjectUnlocked(loaded.get(), text, rect.normalized(), family, size, color, false,
                                                    false, false, false, 1.0, true);
  if (!object) return false;
  FPDFPage_InsertObject(loaded.get(), object);
  generateContentUnlocked(loaded.get());
  modified = true;
  return true;
}

bool PdfDocument::addInvisibleText(int page, QRectF rect, const QString& text, const QString& family, float size) {
  DocumentLock lock(mutexAfterCheck(page));
  if (!doc || text.trimmed().isEmpty()) return false;
  if (const QString refusal = unwritableByPdfium(text, preferredFaceFile(family, false, false)); !refusal.isEmpty()) {
    lastErrorMessage = refusal;
    return false;
  }
  pdfium::Page loaded(loadPageUnlocked(page));
  if (!loaded) return false;
  if (!insertTextObjectUnlocked(loaded.get(), text, rect.normalized(), family, size, Qt::black, false, false, true,
                                true))
    return false;
  generateContentUnlocked(loaded.get());
  modified = true;
  return true;
}
