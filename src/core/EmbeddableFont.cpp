#include "EmbeddableFont.h"

#include "HandleOwner.h"
#include "OpenTypeNames.h"

#include <QCryptographicHash>
#include <QFile>

#include <hb-subset.h>
#include <hb.h>

#include <algorithm>
#include <vector>

namespace {

using Blob = HandleOwner<hb_blob_t, hb_blob_destroy>;
using Face = HandleOwner<hb_face_t, hb_face_destroy>;
using Font = HandleOwner<hb_font_t, hb_font_destroy>;
using SubsetInput = HandleOwner<hb_subset_input_t, hb_subset_input_destroy>;

// Alphabets taken whole once text touches them: Latin with its common
// accents and punctuation, Cyrillic, and the typographic quotes and dashes.
constexpr std::pair<char32_t, char32_t> kAlphabets[] = {
    {0x0020, 0x007E}, {0x00A0, 0x00FF}, {0x0400, 0x045F}, {0x2010, 0x2027}, {0x2116, 0x2116}};

void appendBigEndian16(QByteArray& out, quint16 v) {
  out.append(char(v >> 8));
  out.append(char(v & 0xFF));
}

// A 'name' table of Windows Unicode records: the family and style as they
// were, the PostScript name behind the subset tag. PDF readers show the tag
// and know the font for a subset by it.
QByteArray taggedNameTable(hb_face_t* original, const QString& tag) {
  QString postscript = openTypeName(original, HB_OT_NAME_ID_POSTSCRIPT_NAME);
  if (postscript.isEmpty()) postscript = openTypeName(original, HB_OT_NAME_ID_FONT_FAMILY).remove(QLatin1Char(' '));
  const std::pair<quint16, QString> records[] = {
      {1, openTypeName(original, HB_OT_NAME_ID_FONT_FAMILY)},
      {2, openTypeName(original, HB_OT_NAME_ID_FONT_SUBFAMILY)},
      {4, openTypeName(original, HB_OT_NAME_ID_FULL_NAME)},
      {6, tag + QLatin1Char('+') + postscript},
  };
  const quint16 count = quint16(std::size(records));
  QByteArray head;
  QByteArray strings;
  appendBigEndian16(head, 0);
  appendBigEndian16(head, count);
  appendBigEndian16(head, quint16(6 + 12 * count));
  for (const auto& [id, text] : records) {
    QByteArray utf16;
    for (const QChar c : text) appendBigEndian16(utf16, c.unicode());
    appendBigEndian16(head, 3);  // Windows
    appendBigEndian16(head, 1);  // Unicode BMP
    appendBigEndian16(head, 0x0409);
    appendBigEndian16(head, id);
    appendBigEndian16(head, quint16(utf16.size()));
    appendBigEndian16(head, quint16(strings.size()));
    strings += utf16;
  }
  return head + strings;
}

// Six capitals derived from the font and its glyph set: the same subset gets
// the same tag, another subset another.
QString subsetTag(const QByteArray& fontData, const std::set<char32_t>& codepoints) {
  QCryptographicHash hash(QCryptographicHash::Sha1);
  hash.addData(fontData.left(4096));
  for (char32_t c : codepoints) hash.addData(QByteArrayView(reinterpret_cast<const char*>(&c), sizeof c));
  const QByteArray digest = hash.result();
  QString tag;
  for (int i = 0; i < 6; ++i) tag += QChar(u'A' + quint8(digest[i]) % 26);
  return tag;
}

}  // namespace

struct EmbeddableFont::Handles {
  Blob blob;
  Face face;
  Font font;
  unsigned int upem = 1000;
};

EmbeddableFont::~EmbeddableFont() = default;

std::unique_ptr<EmbeddableFont> EmbeddableFont::fromFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return nullptr;
  std::unique_ptr<EmbeddableFont> font(new EmbeddableFont);
  font->data = file.readAll();
  if (font->data.isEmpty()) return nullptr;
  auto h = std::make_unique<Handles>();
  // The blob reads the QByteArray in place; the object keeps both alive together.
  h->blob.reset(hb_blob_create(font->data.constData(), unsigned(font->data.size()), HB_MEMORY_MODE_READONLY,
                               nullptr, nullptr));
  h->face.reset(hb_face_create(h->blob.get(), 0));
  if (!h->face || hb_face_get_glyph_count(h->face.get()) == 0) return nullptr;
  h->upem = std::max(hb_face_get_upem(h->face.get()), 1u);
  h->font.reset(hb_font_create(h->face.get()));
  hb_font_set_scale(h->font.get(), int(h->upem), int(h->upem));
  font->handles = std::move(h);
  return font;
}

double EmbeddableFont::advance(const QString& text, double size) const {
  double units = 0;
  for (const char32_t c : text.toUcs4()) {
    hb_codepoint_t glyph = 0;
    if (!hb_font_get_nominal_glyph(handles->font.get(), c, &glyph)) glyph = 0;
    units += hb_font_get_glyph_h_advance(handles->font.get(), glyph);
  }
  return units * size / handles->upem;
}

QByteArray EmbeddableFont::subset(const std::set<char32_t>& codepoints) const {
  SubsetInput input(hb_subset_input_create_or_fail());
  if (!input) return {};
  hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
  for (char32_t c : codepoints) hb_set_add(unicodes, c);
  // Hinting is for screens at small pixel sizes; PDF viewers scale outlines.
  hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);
  Face built(hb_subset_or_fail(handles->face.get(), input.get()));
  if (!built) return {};
  // The subsetter's result lists no tables; read it back as a font file.
  Blob cutData(hb_face_reference_blob(built.get()));
  Face cut(hb_face_create(cutData.get(), 0));

  Face builder(hb_face_builder_create());
  unsigned int total = hb_face_get_table_tags(cut.get(), 0, nullptr, nullptr);
  std::vector<hb_tag_t> tags(total);
  hb_face_get_table_tags(cut.get(), 0, &total, tags.data());
  const QByteArray names = taggedNameTable(handles->face.get(), subsetTag(data, codepoints));
  for (hb_tag_t tag : tags) {
    if (tag == HB_TAG('n', 'a', 'm', 'e')) continue;
    Blob table(hb_face_reference_table(cut.get(), tag));
    hb_face_builder_add_table(builder.get(), tag, table.get());
  }
  Blob nameBlob(hb_blob_create(names.constData(), unsigned(names.size()), HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr));
  hb_face_builder_add_table(builder.get(), HB_TAG('n', 'a', 'm', 'e'), nameBlob.get());
  Blob out(hb_face_reference_blob(builder.get()));
  unsigned int length = 0;
  const char* bytes = hb_blob_get_data(out.get(), &length);
  return bytes && length > 0 ? QByteArray(bytes, qsizetype(length)) : QByteArray();
}

std::set<char32_t> EmbeddableFont::coverageFor(const QString& text) {
  std::set<char32_t> result;
  bool taken[std::size(kAlphabets)] = {};
  for (const char32_t c : text.toUcs4()) {
    if (c < 0x20) continue;
    result.insert(c);
    for (size_t i = 0; i < std::size(kAlphabets); ++i) {
      const auto [first, last] = kAlphabets[i];
      if (c < first || c > last || taken[i]) continue;
      taken[i] = true;
      for (char32_t a = first; a <= last; ++a) result.insert(a);
    }
  }
  return result;
}
