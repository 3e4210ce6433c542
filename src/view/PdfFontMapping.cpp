#include "PdfFontMapping.h"

#include "core/TexFontNames.h"

#include <array>
#include <utility>

namespace {

// First match wins, so "times" is looked for before any sans family.
constexpr std::array<std::pair<const char*, const char*>, 15> kFamilies{{
    {"times", "Times New Roman"},
    {"liberation serif", "Liberation Serif"},
    {"dejavu serif", "DejaVu Serif"},
    {"nimbus roman", "Nimbus Roman"},
    {"courier", "Courier New"},
    {"helvetica", "Arial"},
    {"arial", "Arial"},
    {"liberation sans", "Liberation Sans"},
    {"dejavu sans", "DejaVu Sans"},
    {"georgia", "Georgia"},
    {"verdana", "Verdana"},
    {"calibri", "Calibri"},
    {"cambria", "Cambria"},
    {"garamond", "Garamond"},
    {"tahoma", "Tahoma"},
}};

// TeX's Computer Modern and Latin Modern faces are rarely installed, and
// fontconfig would stand a sans face in for them; edited TeX text is written
// in DejaVu, so the view shows it in the same faces, typewriter text in the
// monospaced one its kept glyphs look like.
QString texFamily(const QString& key) {
  const std::optional<TexFace> tex = texFace(key);
  if (!tex) return QString();
  if (tex->fixedPitch) return QStringLiteral("DejaVu Sans Mono");
  return tex->serif ? QStringLiteral("DejaVu Serif") : QStringLiteral("DejaVu Sans");
}

}  // namespace

QString mapPdfFont(const QString& pdfFontName) {
  QString base = pdfFontName;
  const qsizetype plus = base.indexOf(QLatin1Char('+'));
  if (plus >= 0) base = base.mid(plus + 1);
  const QString key = base.toLower();
  // PostScript names run the words together ("LiberationSerif-Bold",
  // "DejaVuSans"), so a family is also found with its blanks left out.
  QString compactKey = key;
  compactKey.remove(QLatin1Char(' '));
  for (const auto& [substring, family] : kFamilies) {
    QString compact = QString::fromLatin1(substring);
    compact.remove(QLatin1Char(' '));
    if (key.contains(QLatin1String(substring)) || compactKey.contains(compact)) return QString::fromLatin1(family);
  }
  if (const QString tex = texFamily(key); !tex.isEmpty()) return tex;
  return base.isEmpty() ? QStringLiteral("Arial") : base;
}
