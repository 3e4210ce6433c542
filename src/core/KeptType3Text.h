#pragma once
// pdfium leaves text in a Type 3 font out when it writes a page's content
// anew, so an edit anywhere on such a page would take those glyphs away.
// Before the edit, each such show in the page's own content is tagged with a
// marked-content sequence that carries its number (pdfium writes the marks of
// the objects it leaves out); after the edit the show is written again at its
// tag, from its own operands and the place, size and colour pdfium read.

#include <QByteArray>

#include <array>
#include <string>
#include <vector>

struct KeptType3Show {
  // From the content as it was.
  std::string font;      // resource name, slash included
  std::string operands;  // the string or array shown
  std::string op;        // "Tj" or "TJ"
  double charSpacing = 0;
  double wordSpacing = 0;
  double rise = 0;
  // From pdfium's reading of the page, when the object is still there.
  bool placed = false;
  std::array<double, 6> matrix{1, 0, 0, 1, 0, 0};
  double size = 0;
  std::array<unsigned int, 3> fill{0, 0, 0};
  std::array<unsigned int, 3> stroke{0, 0, 0};
  int renderMode = 0;
};

// The marked-content tag of a kept show; its property list holds /K, the
// show's index.
inline constexpr char kKeptType3Tag[] = "KeptType3";

// True with `restored` set to the whole file with the tagged shows of page
// `pageIndex` written again where pdfium left their tags (a show not placed
// is dropped with its tag: the edit removed it) and no tag left.
bool restoreKeptType3Shows(const QByteArray& pdf, int pageIndex, bool objectStreams,
                           const std::vector<KeptType3Show>& shows, QByteArray* restored);
