#pragma once
// What native text extraction reads about a character's style besides its
// colour: what its font's name says (worked out once per name, as a page has
// a handful of fonts but thousands of characters), the size it is drawn at,
// and whether an image is drawn over it.

#include "PdfiumApi.h"

#include <QByteArray>
#include <QHash>
#include <QRectF>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class PageSpace;

struct FontNameStyle {
  QString name;  // without the subset tag, hyphens as blanks
  bool boldByName = false;
  bool italic = false;
};

class FontNameStyles {
public:
  // `statedWeight` gives the /FontWeight the file states for a font of the
  // page, from its base name, descriptor flags and pdfium's stem weight; 0
  // when none.
  using StatedWeight = std::function<int(const QByteArray& baseFont, int flags, int stemWeight)>;
  explicit FontNameStyles(StatedWeight statedWeight = {});
  // `flags` (may be null) receives the font's descriptor flags.
  const FontNameStyle& forCharacter(FPDF_TEXTPAGE textPage, int index, int* flags = nullptr);
  // The file states a bold weight for the font `text` is drawn with: asked
  // per font object, as fonts of one name may state different weights.
  bool statedBold(FPDF_PAGEOBJECT text);

private:
  StatedWeight statedWeight;
  QHash<FPDF_FONT, bool> statedBolds;
  QHash<QByteArray, FontNameStyle> styles;
  QByteArray buffer;
  QByteArray lastRaw;
  const FontNameStyle* last = nullptr;  // set after the latest insertion, so never moved since
};

// Which text objects an image is drawn over, worked out once per object:
// their own colour is not what the page shows.
class ImagesOverText {
public:
  ImagesOverText(FPDF_PAGE page, const PageSpace& space);
  // `box` is the character's box on the shown page.
  bool covers(FPDF_PAGEOBJECT text, const QRectF& box);

private:
  QHash<FPDF_PAGEOBJECT, int> order;
  std::vector<std::pair<int, QRectF>> images;
  QHash<FPDF_PAGEOBJECT, bool> verdicts;
};

// The size the glyphs are drawn at: the font size scaled by the text and
// page matrices (the character's, when pdfium gives one), measured along the
// glyphs' vertical axis.
double drawnFontSize(const std::optional<FS_MATRIX>& matrix, double fontSize);
