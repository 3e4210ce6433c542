#include "PdfFontMapping.h"

#include <QRegularExpression>

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
  // "cmr10", "cmbx12", "ecrm1000", "lmroman10-regular": a TeX name with its design size.
  static const QRegularExpression tex(
      QStringLiteral("^(?:(?:cm|lm|ec|tc)([a-z]*?)\\d+(?:\\.\\d+)?|lm(roman|sans|mono)\\d*(?:-.*)?)$"));
  const QRegularExpressionMatch m = tex.match(key);
  if (!m.hasMatch()) return QString();
  const QString style = m.captured(1) + m.captured(2);
  if (style.startsWith(QLatin1String("ss")) || style == QLatin1String("sans")) return QStringLiteral("DejaVu Sans");
  if (style.startsWith(QLatin1String("tt")) || style == QLatin1String("mono")) return QStringLiteral("DejaVu Sans Mono");
  return QStringLiteral("DejaVu Serif");
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
