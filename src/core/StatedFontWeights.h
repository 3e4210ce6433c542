#pragma once
// The weight a file's font descriptors state (/FontWeight), per font
// object of each page, read with qpdf page by page as native text extraction
// asks. pdfium reports no stated weight: its weight is an estimate from
// /StemV, which makes many regular faces bold. Fonts of one base name may
// state different weights on different pages, or even on one page.

#include <QByteArray>
#include <QHash>

#include <memory>
#include <vector>

class QPDF;
class QPDFObjectHandle;

class StatedFontWeights {
public:
  StatedFontWeights();
  ~StatedFontWeights();

  // The stated weight of the font named `baseFont` (with or without its
  // subset tag, which pdfium drops for embedded fonts) that page
  // `pageIndex` of `pdf` draws with; 0 when none is stated or the file
  // cannot be read without repairs. Where the page holds several fonts of
  // that name, the one named exactly so and whose descriptor flags and stem
  // weight (as pdfium reports them) agree speaks. `pdf` must stay alive and
  // unchanged until clear().
  int weight(const QByteArray& pdf, const QByteArray& password, int pageIndex, const QByteArray& baseFont,
             int flags, int stemWeight);
  // The bytes the weights were read from are gone.
  void clear();

private:
  void readPage(int pageIndex);

  std::unique_ptr<QPDF> reader;
  bool unreadable = false;
  struct Font {
    QByteArray baseFont;
    int flags = 0;
    int stemWeight = 0;
    int weight = 0;
  };
  QHash<int, std::vector<Font>> pageFonts;
};
