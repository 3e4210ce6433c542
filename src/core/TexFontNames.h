#pragma once
// TeX's Computer Modern and Latin Modern faces say their kind only in their
// names ("cmr10", "cmbx12", "cmss10", "cmtt10", "lmroman10-regular"): their
// descriptors say nothing of serifs or fixed pitch.

#include <QRegularExpression>
#include <QString>

#include <optional>

struct TexFace {
  bool serif = false, fixedPitch = false, bold = false;
};

// What a TeX face name (lower case, no subset tag) says of its kind; nothing for another name.
inline std::optional<TexFace> texFace(const QString& lowerName) {
  static const QRegularExpression tex(
      QStringLiteral("^(?:(?:cm|lm|ec|tc)([a-z]*?)\\d+(?:\\.\\d+)?|lm(roman|sans|mono)\\d*(?:-.*)?)$"));
  const QRegularExpressionMatch m = tex.match(lowerName);
  if (!m.hasMatch()) return std::nullopt;
  const QString kind = m.captured(1) + m.captured(2);
  TexFace face;
  face.fixedPitch = kind.startsWith(QLatin1String("tt")) || kind == QLatin1String("mono");
  face.serif = !face.fixedPitch && !kind.startsWith(QLatin1String("ss")) && kind != QLatin1String("sans");
  face.bold = kind.startsWith(QLatin1Char('b'));
  return face;
}
