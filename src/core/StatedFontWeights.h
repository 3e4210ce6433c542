#pragma once
// The weight a file's font descriptors state (/FontWeight), by the fonts'
// base names, read with qpdf page by page as native text extraction asks.
// pdfium reports no stated weight: its weight is an estimate from /StemV,
// which makes many regular faces bold.

#include <QByteArray>
#include <QHash>
#include <QSet>

#include <memory>
#include <vector>

class QPDF;
class QPDFObjectHandle;

class StatedFontWeights {
public:
  StatedFontWeights();
  ~StatedFontWeights();

  // The stated weight of the font named `baseFont` (subset tag kept) that
  // page `pageIndex` of `pdf` draws with; 0 when none is stated or the file
  // cannot be read without repairs. `pdf` must stay alive and unchanged
  // until clear().
  int weight(const QByteArray& pdf, const QByteArray& password, int pageIndex, const QByteArray& baseFont);
  // The bytes the weights were read from are gone.
  void clear();

private:
  void readPage(int pageIndex);

  std::unique_ptr<QPDF> reader;
  bool unreadable = false;
  QSet<int> pagesRead;
  QHash<QByteArray, int> weights;
};
