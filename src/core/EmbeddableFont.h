#pragma once
// A TrueType font file read once, measured and cut down to the glyphs a
// document needs. Writing text embeds a subset instead of the whole file, so
// an edited line adds kilobytes, not the font's megabyte.

#include <QByteArray>
#include <QString>

#include <memory>
#include <set>

class EmbeddableFont {
 public:
  // Null when the file cannot be read or holds no usable font.
  static std::unique_ptr<EmbeddableFont> fromFile(const QString& path);
  ~EmbeddableFont();
  EmbeddableFont(const EmbeddableFont&) = delete;
  EmbeddableFont& operator=(const EmbeddableFont&) = delete;

  // Sum of the glyph advances of `text` at `size` points, as a PDF viewer
  // lays it out (no kerning; characters the font lacks advance by .notdef).
  double advance(const QString& text, double size) const;

  // A font file with only the glyphs of `codepoints` (and .notdef), its
  // PostScript name tagged "ABCDEF+Name" as PDF subsets are. Empty on failure.
  QByteArray subset(const std::set<char32_t>& codepoints) const;

  // The characters written text in this font should cover at once: those of
  // `text` plus the whole of each common alphabet it touches, so that later
  // edits in the same language reuse the subset instead of embedding another.
  static std::set<char32_t> coverageFor(const QString& text);

 private:
  EmbeddableFont() = default;
  struct Handles;
  QByteArray data;
  std::unique_ptr<Handles> handles;
};
