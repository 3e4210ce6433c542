#include "PageCharStyle.h"

#include "FontNameItalic.h"
#include "PageSpace.h"

#include <QByteArrayView>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Drops the subset tag ("ABCDEF+") and turns hyphens into blanks.
QString cleanFontName(QString name) {
  const int plus = int(name.indexOf(QLatin1Char('+')));
  if (plus >= 0 && plus < name.size() - 1) name = name.mid(plus + 1);
  name.replace(QLatin1Char('-'), QLatin1Char(' '));
  name = name.trimmed();
  return name.isEmpty() ? QStringLiteral("Times New Roman") : name;
}

bool nameContainsAny(const QString& name, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](const char* w) { return name.contains(QLatin1String(w), Qt::CaseInsensitive); });
}

// The style letters of a TeX font name ("bx" of CMBX10, "ti" of CMTI10,
// "bx" of the EC font SFBX1000): TeX says bold and italic there, not in words.
QString texStyle(const QString& name) {
  static const QRegularExpression tex(QStringLiteral("^(?:cm|ec|sf|tc)([a-z]+?)\\d+$"),
                                      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = tex.match(name);
  return m.hasMatch() ? m.captured(1).toLower() : QString();
}


}  // namespace

bool fontNameSaysItalic(const QString& name) {
  QString base = name;
  if (const qsizetype plus = base.indexOf(QLatin1Char('+')); plus >= 0) base = base.mid(plus + 1);
  const QString tex = texStyle(base.trimmed());
  return nameContainsAny(base, {"Italic", "Oblique", "Slanted", "Inclined"}) || tex.contains(QLatin1String("ti")) ||
         tex.contains(QLatin1String("sl")) || tex.contains(QLatin1String("it")) || tex == QLatin1String("mi") ||
         tex == QLatin1String("ssi");
}

FontNameStyles::FontNameStyles(StatedWeight statedWeight) : statedWeight(std::move(statedWeight)) {}

bool FontNameStyles::statedBold(FPDF_PAGEOBJECT text) {
  FPDF_FONT font = text && statedWeight ? FPDFTextObj_GetFont(text) : nullptr;
  if (!font) return false;
  const auto known = statedBolds.constFind(font);
  if (known != statedBolds.constEnd()) return known.value();
  QByteArray name(qsizetype(FPDFFont_GetBaseFontName(font, nullptr, 0)), '\0');
  if (!name.isEmpty() && FPDFFont_GetBaseFontName(font, name.data(), size_t(name.size())) == size_t(name.size()))
    name.truncate(qsizetype(qstrnlen(name.constData(), size_t(name.size()))));
  else
    name.clear();
  const bool bold = !name.isEmpty() && statedWeight(name, FPDFFont_GetFlags(font), FPDFFont_GetWeight(font)) >= 600;
  statedBolds.insert(font, bold);
  return bold;
}

const FontNameStyle& FontNameStyles::forCharacter(FPDF_TEXTPAGE textPage, int index, int* flags) {
  // One call in the common case: names fit the buffer, which only grows.
  if (buffer.size() < 128) buffer.resize(128);
  auto read = [&] {
    return FPDFText_GetFontInfo(textPage, index, buffer.data(), static_cast<unsigned long>(buffer.size()), flags);
  };
  unsigned long length = read();
  if (length > static_cast<unsigned long>(buffer.size())) {
    buffer.resize(qsizetype(length));
    length = read();
  }
  QByteArrayView raw;
  if (length > 0 && length <= static_cast<unsigned long>(buffer.size()))
    raw = QByteArrayView(buffer.constData(), qsizetype(qstrnlen(buffer.constData(), size_t(length))));
  if (last && raw == QByteArrayView(lastRaw)) return *last;
  lastRaw = raw.toByteArray();
  auto it = styles.find(lastRaw);
  if (it == styles.end()) {
    FontNameStyle style;
    style.name = cleanFontName(QString::fromUtf8(lastRaw));
    const QString tex = texStyle(style.name);
    // "Semibold" and "Demibold" hold "bold"; TeX's "bx" may follow a family
    // letter ("ssbx" of CMSSBX10).
    style.boldByName = nameContainsAny(style.name, {"Bold", "Black", "Heavy"}) || tex.startsWith(QLatin1Char('b')) ||
                       tex.contains(QLatin1String("bx"));
    style.italic = fontNameSaysItalic(style.name);
    it = styles.insert(lastRaw, style);
  }
  last = &it.value();
  return *last;
}

ImagesOverText::ImagesOverText(FPDF_PAGE page, const PageSpace& space) {
  const int count = FPDFPage_CountObjects(page);
  for (int i = 0; i < count; ++i) {
    FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i);
    float left = 0, bottom = 0, right = 0, top = 0;
    if (object && FPDFPageObj_GetType(object) == FPDF_PAGEOBJ_IMAGE &&
        FPDFPageObj_GetBounds(object, &left, &bottom, &right, &top))
      images.push_back({i, space.toShown(QRectF(QPointF(left, bottom), QPointF(right, top)).normalized())});
  }
  // The drawing order matters only on a page with images; text pages skip it.
  if (images.empty()) return;
  order.reserve(count);
  for (int i = 0; i < count; ++i)
    if (FPDF_PAGEOBJECT object = FPDFPage_GetObject(page, i)) order.insert(object, i);
}

bool ImagesOverText::covers(FPDF_PAGEOBJECT text, const QRectF& box) {
  if (images.empty()) return false;
  const auto known = verdicts.constFind(text);
  if (known != verdicts.constEnd()) return known.value();
  // Text inside a form has no place in the page's own order: taken as uncovered.
  const int index = order.value(text, std::numeric_limits<int>::max());
  const bool covered = std::any_of(images.begin(), images.end(), [&](const auto& image) {
    return image.first > index && image.second.intersects(box);
  });
  verdicts.insert(text, covered);
  return covered;
}

double drawnFontSize(const std::optional<FS_MATRIX>& matrix, double fontSize) {
  if (!matrix) return fontSize;
  const FS_MATRIX& m = *matrix;
  const double scale = std::hypot(m.c, m.d);
  return scale > 1e-6 && std::isfinite(scale) ? fontSize * scale : fontSize;
}
