#pragma once
// Shaped lines as PDF content. Each face becomes a Type 0 font of two-byte
// codes whose program holds just the glyphs drawn, with the face's own
// widths (a mark set back over its letter takes the way back) and a
// ToUnicode map that reads every glyph back as the characters it stands
// for; the content sets each glyph where HarfBuzz put it.

#include "OwnFontText.h"
#include "ShapedText.h"

#include <QColor>
#include <QTransform>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>

struct ShapedPlacement {
  std::shared_ptr<const ShapedLine> line;
  QTransform textMatrix;  // text space to the user space the content is drawn in
  double size = 10;
  QColor colour = Qt::black;
  bool invisible = false;
  // Drawn in the fill the content had where the line goes (a pattern, a
  // separation), not in `colour`.
  bool pageFill = false;
  // Set in the font the content has where the line goes, when it can be;
  // else `line` is drawn at the width this measured.
  std::shared_ptr<const OwnFontText> own;
};

class ShapedTextFonts {
 public:
  // Every line is added before the fonts are built, so that each face is
  // embedded once with all its glyphs.
  void add(const ShapedLine& line);
  // The fonts as objects of `pdf`; false when a face cannot be cut down.
  bool build(QPDF& pdf);
  // The operators drawing `placement`, which start and end in the state
  // they found; `name` gives the resource name a font goes by there.
  std::string content(const ShapedPlacement& placement,
                      const std::function<std::string(QPDFObjectHandle)>& name) const;

 private:
  struct FaceUse {
    std::shared_ptr<const OutlineFace> face;
    // (glyph, text, width in millionths of the size) to code
    std::map<std::tuple<unsigned int, QString, qint64>, unsigned int> codes;
    std::map<unsigned int, QString> cffTexts;                         // a CFF's code (its glyph) read as
    QPDFObjectHandle font;
  };
  unsigned int code(const FaceUse& use, const ShapedGlyph& glyph) const;
  std::map<const OutlineFace*, FaceUse> uses;
};
