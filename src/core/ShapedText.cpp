#include "ShapedText.h"
#include "TexFontNames.h"
#include "CoreText.h"

#include "HandleOwner.h"
#include "OpenTypeNames.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <mutex>
#include <tuple>

namespace {

using Blob = HandleOwner<hb_blob_t, hb_blob_destroy>;
using Face = HandleOwner<hb_face_t, hb_face_destroy>;
using Font = HandleOwner<hb_font_t, hb_font_destroy>;
using Buffer = HandleOwner<hb_buffer_t, hb_buffer_destroy>;
using SubsetInput = HandleOwner<hb_subset_input_t, hb_subset_input_destroy>;
using SubsetPlan = HandleOwner<hb_subset_plan_t, hb_subset_plan_destroy>;
using FcSet = HandleOwner<FcFontSet, FcFontSetDestroy>;
using FcPat = HandleOwner<FcPattern, FcPatternDestroy>;
using FcChars = HandleOwner<FcCharSet, FcCharSetDestroy>;

// An installed face that fontconfig may fall back to, with what it covers.
struct Candidate {
  QString path;
  int index = 0;
  FcChars charset;
};

// The installed fonts as fontconfig knows them, read once for the process:
// loading them is the slow part of every question asked of it. Questions
// are asked under fontConfigLock(), one at a time.
FcConfig* fontConfig() {
  static FcConfig* const config = FcInitLoadConfigAndFonts();
  return config;
}
std::mutex& fontConfigLock() {
  static std::mutex lock;
  return lock;
}

// Every installed outline face in fontconfig's order of preference for the
// style, read once: a bitmap or colour face cannot be embedded as outlines.
const std::vector<Candidate>& installedFaces(bool bold, bool italic) {
  static std::map<std::pair<bool, bool>, std::vector<Candidate>> lists;
  std::lock_guard<std::mutex> guard(fontConfigLock());
  auto [it, added] = lists.try_emplace({bold, italic});
  if (!added) return it->second;
  FcConfig* config = fontConfig();
  if (!config) return it->second;
  FcPat pattern(FcNameParse(reinterpret_cast<const FcChar8*>("serif")));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  FcSet sorted(FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
  for (int i = 0; sorted && i < sorted->nfont; ++i) {
    FcPattern* font = sorted->fonts[i];
    FcBool outline = FcFalse, colour = FcFalse;
    FcChar8* file = nullptr;
    FcChar8* format = nullptr;
    FcCharSet* charset = nullptr;
    int index = 0;
    if (FcPatternGetBool(font, FC_OUTLINE, 0, &outline) != FcResultMatch || !outline) continue;
    if (FcPatternGetBool(font, FC_COLOR, 0, &colour) == FcResultMatch && colour) continue;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
        FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch)
      continue;
    if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) == FcResultMatch) {
      const QByteArray kind(reinterpret_cast<const char*>(format));
      if (kind != "TrueType" && kind != "CFF") continue;
    }
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    it->second.push_back({QString::fromUtf8(reinterpret_cast<const char*>(file)), index, FcChars(FcCharSetCopy(charset))});
  }
  return it->second;
}

bool isMark(char32_t c) {
  const hb_unicode_general_category_t category = hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
  return category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK ||
         category == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK;
}

// Joiners, variation selectors and direction marks: HarfBuzz hides them in
// whatever face draws their neighbours.
bool isIgnorable(char32_t c) {
  return c == 0x00AD || c == 0x034F || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2060 && c <= 0x206F) || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF ||
         (c >= 0xE0100 && c <= 0xE01EF);
}

// What HarfBuzz shapes in one cluster with the character before it.
bool continuesCluster(char32_t c) {
  return isMark(c) || c == 0x200D || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F);
}

// The characters a face must have to draw `letter` (a character and the
// marks it carries): as written, composed or decomposed, as HarfBuzz sets
// whichever the face has. Joiners and the like are hidden, not drawn.
std::vector<std::u32string> letterForms(const std::u32string& letter) {
  std::vector<std::u32string> forms;
  const QString text = QString::fromUcs4(letter.data(), qsizetype(letter.size()));
  for (const QString& form : {text, text.normalized(QString::NormalizationForm_C),
                              text.normalized(QString::NormalizationForm_D)}) {
    std::u32string needed;
    for (const char32_t c : form.toUcs4())
      if (!isIgnorable(c)) needed += c;
    if (std::find(forms.begin(), forms.end(), needed) == forms.end()) forms.push_back(needed);
  }
  return forms;
}

bool drawsAll(const OutlineFace& face, const std::u32string& characters) {
  return std::all_of(characters.begin(), characters.end(), [&](char32_t c) { return face.hasGlyph(c); });
}

bool drawsLetter(const OutlineFace& face, const std::vector<std::u32string>& forms) {
  return std::any_of(forms.begin(), forms.end(), [&](const std::u32string& form) { return drawsAll(face, form); });
}

// The first installed face, in fontconfig's order, that draws `letter`
// whole: a mark set in another face than its letter would stand beside it.
std::shared_ptr<const OutlineFace> fallbackFace(const std::u32string& letter, bool bold, bool italic) {
  static std::mutex lock;
  static std::map<std::tuple<std::u32string, bool, bool>, std::shared_ptr<const OutlineFace>> chosen;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (const auto it = chosen.find({letter, bold, italic}); it != chosen.end()) return it->second;
  }
  const std::vector<std::u32string> forms = letterForms(letter);
  std::shared_ptr<const OutlineFace> found;
  for (const Candidate& candidate : installedFaces(bold, italic)) {
    const bool covered = std::any_of(forms.begin(), forms.end(), [&](const std::u32string& form) {
      return std::all_of(form.begin(), form.end(), [&](char32_t c) { return FcCharSetHasChar(candidate.charset.get(), c); });
    });
    if (!covered) continue;
    found = OutlineFace::load(candidate.path, candidate.index);
    if (found && drawsLetter(*found, forms)) break;
    found.reset();
  }
  std::lock_guard<std::mutex> guard(lock);
  // Letters with marks are many; single characters few enough to keep.
  if (chosen.size() > 8192) chosen.clear();
  return chosen[{letter, bold, italic}] = found;
}

bool plainScript(hb_script_t script) {
  return script == HB_SCRIPT_LATIN || script == HB_SCRIPT_CYRILLIC || script == HB_SCRIPT_GREEK ||
         script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED;
}

bool sameFace(const std::shared_ptr<const OutlineFace>& a, const std::shared_ptr<const OutlineFace>& b) {
  return a.get() == b.get();
}

}  // namespace

struct OutlineFace::Handles {
  Blob blob;
  Face face;
  Font font;
};

OutlineFace::~OutlineFace() = default;

std::shared_ptr<const OutlineFace> OutlineFace::load(const QString& path, int index) {
  static std::mutex lock;
  static std::map<std::pair<QString, int>, std::shared_ptr<const OutlineFace>> loaded;
  std::lock_guard<std::mutex> guard(lock);
  if (const auto it = loaded.find({path, index}); it != loaded.end()) return it->second;
  std::shared_ptr<OutlineFace> face(new OutlineFace);
  auto h = std::make_unique<Handles>();
  // Mapped, not read: a CJK collection is tens of megabytes.
  h->blob.reset(QFileInfo(path).isReadable() ? hb_blob_create_from_file_or_fail(QFile::encodeName(path).constData())
                                             : nullptr);
  if (h->blob) h->face.reset(hb_face_create(h->blob.get(), unsigned(index)));
  if (!h->face || hb_face_get_glyph_count(h->face.get()) == 0) return loaded[{path, index}] = nullptr;
  hb_face_make_immutable(h->face.get());
  face->path = path;
  face->index = index;
  face->upem = std::max(hb_face_get_upem(h->face.get()), 1u);
  h->font.reset(hb_font_create(h->face.get()));
  hb_font_set_scale(h->font.get(), int(face->upem), int(face->upem));
  hb_font_make_immutable(h->font.get());
  Blob cffTable(hb_face_reference_table(h->face.get(), HB_TAG('C', 'F', 'F', ' ')));
  face->cff = hb_blob_get_length(cffTable.get()) > 0;
  face->postscriptName = openTypeName(h->face.get(), HB_OT_NAME_ID_POSTSCRIPT_NAME);
  face->family = openTypeName(h->face.get(), HB_OT_NAME_ID_FONT_FAMILY);
  if (face->postscriptName.isEmpty()) face->postscriptName = QString(face->family).remove(QLatin1Char(' '));
  if (face->postscriptName.isEmpty()) face->postscriptName = QStringLiteral("Font");
  hb_font_extents_t extents{};
  if (hb_font_get_h_extents(h->font.get(), &extents)) {
    face->ascender = extents.ascender;
    face->descender = extents.descender;
  }
  face->bbox[1] = face->descender;
  face->bbox[2] = int(face->upem);
  face->bbox[3] = face->ascender;
  const QString style = openTypeName(h->face.get(), HB_OT_NAME_ID_FONT_SUBFAMILY).toLower();
  face->bold = style.contains(QLatin1String("bold"));
  face->italic = style.contains(QLatin1String("italic")) || style.contains(QLatin1String("oblique"));
  face->handles = std::move(h);
  return loaded[{path, index}] = face;
}

bool OutlineFace::hasGlyph(char32_t c) const {
  hb_codepoint_t glyph = 0;
  return hb_font_get_nominal_glyph(handles->font.get(), c, &glyph) && glyph != 0;
}

int OutlineFace::advance(unsigned int glyph) const { return hb_font_get_glyph_h_advance(handles->font.get(), glyph); }

void* OutlineFace::hbFont() const { return handles->font.get(); }

QByteArray OutlineFace::subset(const std::set<unsigned int>& glyphs,
                               std::map<unsigned int, unsigned int>* newIds) const {
  SubsetInput input(hb_subset_input_create_or_fail());
  if (!input) return {};
  hb_set_t* wanted = hb_subset_input_glyph_set(input.get());
  hb_set_add(wanted, 0);
  for (const unsigned int g : glyphs) hb_set_add(wanted, g);
  // Nothing the glyphs reach through substitutions: only these are drawn.
  hb_set_clear(hb_subset_input_set(input.get(), HB_SUBSET_SETS_LAYOUT_FEATURE_TAG));
  unsigned int flags = HB_SUBSET_FLAGS_NO_HINTING;
  // A CFF's glyph numbers are its CIDs here: they stay.
  if (cff) flags |= HB_SUBSET_FLAGS_RETAIN_GIDS;
  hb_subset_input_set_flags(input.get(), flags);
  SubsetPlan plan(hb_subset_plan_create_or_fail(handles->face.get(), input.get()));
  if (!plan) return {};
  Face built(hb_subset_plan_execute_or_fail(plan.get()));
  if (!built) return {};
  if (newIds) {
    newIds->clear();
    const hb_map_t* mapping = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
    for (const unsigned int g : glyphs) {
      const hb_codepoint_t to = hb_map_get(mapping, g);
      if (to == HB_MAP_VALUE_INVALID) return {};
      (*newIds)[g] = to;
    }
  }
  Blob out(hb_face_reference_blob(built.get()));
  unsigned int length = 0;
  const char* bytes = hb_blob_get_data(out.get(), &length);
  return bytes && length > 0 ? QByteArray(bytes, qsizetype(length)) : QByteArray();
}

double ShapedLine::advance(double size) const {
  double total = 0;
  for (const ShapedRun& run : runs) {
    long units = 0;
    for (const ShapedGlyph& g : run.glyphs) units += g.advance;
    total += double(units) * size / run.face->upem;
  }
  return total;
}

double ShapedLine::ascent(double size) const {
  double most = 0;
  for (const ShapedRun& run : runs) most = std::max(most, double(run.face->ascender) * size / run.face->upem);
  return most;
}

double ShapedLine::descent(double size) const {
  double least = 0;
  for (const ShapedRun& run : runs) least = std::min(least, double(run.face->descender) * size / run.face->upem);
  return least;
}

QStringList ShapedLine::families() const {
  QStringList names;
  for (const ShapedRun& run : runs)
    if (!names.contains(run.face->family)) names << run.face->family;
  return names;
}

ShapedLine shapeLine(const QString& text, const QString& preferredFace, bool bold, bool italic,
                     Qt::LayoutDirection direction, bool kerning) {
  ShapedLine line;
  std::vector<char32_t> chars;
  for (char32_t c : text.toUcs4()) chars.push_back(c < 0x20 ? U' ' : c);
  const int n = int(chars.size());
  const size_t count = chars.size();
  if (n == 0) return line;
  // Before any face is looked up or HarfBuzz sees it: a cluster's shaping
  // takes time with the square of its marks.
  for (int i = 0, marks = 0; i < n; ++i) {
    marks = continuesCluster(chars[size_t(i)]) ? marks + 1 : 0;
    if (marks > kMostMarksOnALetter) {
      line.crowdedMarks = true;
      return line;
    }
  }
  const std::shared_ptr<const OutlineFace> preferred = OutlineFace::load(preferredFace);

  // The face of each letter with the marks and invisible controls that go
  // with it: a mark drawn by another face than its letter's would stand
  // beside the letter, not on it.
  std::vector<std::shared_ptr<const OutlineFace>> faces(count);
  for (int i = 0; i < n;) {
    int end = i + 1;
    while (end < n && (isMark(chars[size_t(end)]) || isIgnorable(chars[size_t(end)]))) ++end;
    std::u32string letter;
    for (int k = i; k < end; ++k)
      if (!isIgnorable(chars[size_t(k)])) letter += chars[size_t(k)];
    std::shared_ptr<const OutlineFace> face;
    if (letter.empty())
      face = preferred ? preferred : fallbackFace(std::u32string(1, chars[size_t(i)]), bold, italic);
    else if (preferred && (drawsAll(*preferred, letter) || drawsLetter(*preferred, letterForms(letter))))
      face = preferred;
    else
      face = fallbackFace(letter, bold, italic);
    if (!face && letter.empty()) {
      line.missing = chars[size_t(i)];
      return line;
    }
    if (!face) {
      // Named: the first character no face draws, else the first mark the
      // letter's own face lacks.
      const auto own = [&](char32_t c) {
        return (preferred && preferred->hasGlyph(c)) ? preferred : fallbackFace(std::u32string(1, c), bold, italic);
      };
      const std::shared_ptr<const OutlineFace> letterFace = own(letter.front());
      line.missing = letter.front();
      for (const char32_t c : letter)
        if (!own(c) || (letterFace && !letterFace->hasGlyph(c))) {
          line.missing = c;
          break;
        }
      return line;
    }
    std::fill(faces.begin() + i, faces.begin() + end, face);
    i = end;
  }

  // Levels of the bidirectional algorithm, the paragraph's direction taken
  // from its first strong character unless the caller knows it.
  std::vector<FriBidiCharType> types(count);
  std::vector<FriBidiBracketType> brackets(count);
  std::vector<FriBidiLevel> levels(count, 0);
  std::vector<FriBidiChar> bidiChars(chars.begin(), chars.end());
  fribidi_get_bidi_types(bidiChars.data(), n, types.data());
  fribidi_get_bracket_types(bidiChars.data(), n, types.data(), brackets.data());
  FriBidiParType paragraph = direction == Qt::RightToLeft  ? FRIBIDI_PAR_RTL
                             : direction == Qt::LeftToRight ? FRIBIDI_PAR_LTR
                                                            : FRIBIDI_PAR_ON;
  if (!fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), n, &paragraph, levels.data()))
    std::fill(levels.begin(), levels.end(), FriBidiLevel(0));

  // Scripts, characters common to all taking their neighbours'.
  hb_unicode_funcs_t* unicode = hb_unicode_funcs_get_default();
  std::vector<hb_script_t> scripts(count, HB_SCRIPT_COMMON);
  hb_script_t last = HB_SCRIPT_INVALID;
  for (int i = 0; i < n; ++i) {
    const hb_script_t s = hb_unicode_script(unicode, chars[size_t(i)]);
    if (s != HB_SCRIPT_COMMON && s != HB_SCRIPT_INHERITED && s != HB_SCRIPT_UNKNOWN) last = s;
    scripts[size_t(i)] = last;
  }
  hb_script_t next = HB_SCRIPT_LATIN;
  for (int i = n - 1; i >= 0; --i) {
    if (scripts[size_t(i)] == HB_SCRIPT_INVALID) scripts[size_t(i)] = next;
    next = scripts[size_t(i)];
  }

  // Runs in reading order, each shaped with the whole line as context.
  struct Piece {
    int start, end;
    FriBidiLevel level;
    ShapedRun run;
  };
  std::vector<Piece> pieces;
  for (int start = 0; start < n;) {
    int end = start + 1;
    while (end < n && sameFace(faces[size_t(end)], faces[size_t(start)]) && levels[size_t(end)] == levels[size_t(start)] &&
           scripts[size_t(end)] == scripts[size_t(start)])
      ++end;
    Piece piece{start, end, levels[size_t(start)], {}};
    piece.run.face = faces[size_t(start)];
    piece.run.rightToLeft = piece.level % 2 == 1;
    piece.run.order = int(pieces.size());
    Buffer buffer(hb_buffer_create());
    hb_buffer_add_utf32(buffer.get(), reinterpret_cast<const uint32_t*>(chars.data()), n, unsigned(start),
                        end - start);
    hb_buffer_set_direction(buffer.get(), piece.run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_set_script(buffer.get(), scripts[size_t(start)]);
    hb_buffer_set_language(buffer.get(), hb_language_get_default());
    hb_buffer_set_cluster_level(buffer.get(), HB_BUFFER_CLUSTER_LEVEL_MONOTONE_GRAPHEMES);
    const hb_feature_t noKerning{HB_TAG('k', 'e', 'r', 'n'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END};
    hb_shape(static_cast<hb_font_t*>(piece.run.face->hbFont()), buffer.get(), kerning ? nullptr : &noKerning,
             kerning ? 0 : 1);
    unsigned int count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(buffer.get(), &count);
    hb_codepoint_t dottedCircle = 0;
    hb_font_get_nominal_glyph(static_cast<hb_font_t*>(piece.run.face->hbFont()), 0x25CC, &dottedCircle);
    for (unsigned int g = 0; g < count; ++g) {
      if (dottedCircle && info[g].codepoint == dottedCircle && !line.strayMark) {
        const size_t at = std::min<size_t>(info[g].cluster, size_t(n - 1));
        if (chars[at] != 0x25CC) line.strayMark = chars[at];
      }
      if (info[g].codepoint == 0) {
        line.missing = chars[std::min<size_t>(info[g].cluster, size_t(n - 1))];
        return line;
      }
      piece.run.glyphs.push_back({info[g].codepoint, position[g].x_advance, position[g].x_offset,
                                  position[g].y_offset, QString()});
    }
    // Each cluster's characters shared among its glyphs in reading order,
    // the last glyph taking what is left over.
    std::map<unsigned int, std::vector<size_t>> clusters;
    for (unsigned int g = 0; g < count; ++g) clusters[info[g].cluster].push_back(g);
    for (auto it = clusters.begin(); it != clusters.end(); ++it) {
      const unsigned int from = it->first;
      const unsigned int to = std::next(it) == clusters.end() ? unsigned(end) : std::next(it)->first;
      std::vector<size_t> glyphs = it->second;
      if (piece.run.rightToLeft) std::reverse(glyphs.begin(), glyphs.end());
      unsigned int c = from;
      for (size_t k = 0; k < glyphs.size() && c < to; ++k) {
        const unsigned int take = k + 1 == glyphs.size() ? to - c : 1;
        piece.run.glyphs[glyphs[k]].text =
            QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.data()) + c, qsizetype(take));
        c += take;
      }
    }
    // pdfium sets one glyph per character from the face's character map,
    // without ligatures or kerning: enough for the alphabets that need no
    // more, as text was always written.
    const bool nominal = [&] {
      if (piece.run.face != preferred || piece.run.rightToLeft || !plainScript(scripts[size_t(start)])) return false;
      for (int i = start; i < end; ++i) {
        const char32_t c = chars[size_t(i)];
        // pdfium writes characters beyond the basic plane as nothing.
        if (c > 0xFFFF || isMark(c) || !preferred->hasGlyph(c)) return false;
      }
      return true;
    }();
    line.plain = line.plain && nominal;
    pieces.push_back(std::move(piece));
    start = end;
  }

  // Reading order to drawing order: from the highest level down to the
  // lowest odd one, every stretch of runs at that level or above is reversed.
  FriBidiLevel highest = 0, lowestOdd = 255;
  for (const Piece& p : pieces) {
    highest = std::max(highest, p.level);
    if (p.level % 2 == 1) lowestOdd = std::min(lowestOdd, p.level);
  }
  for (int level = highest; level >= int(lowestOdd) && level > 0; --level) {
    for (size_t i = 0; i < pieces.size();) {
      if (pieces[i].level < level) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < pieces.size() && pieces[j].level >= level) ++j;
      std::reverse(pieces.begin() + long(i), pieces.begin() + long(j));
      i = j;
    }
  }
  for (Piece& p : pieces) line.runs.push_back(std::move(p.run));
  return line;
}

QString closestInstalledFace(const QString& family, bool bold, bool italic, bool serif, bool fixedPitch,
                             const QString& text) {
  std::lock_guard<std::mutex> guard(fontConfigLock());
  FcConfig* config = fontConfig();
  if (!config) return {};
  // East Asian names say which kind of face they are.
  const QString lower = family.toLower();
  if (lower.contains(QLatin1String("mincho")) || lower.contains(QLatin1String("ming")) ||
      lower.contains(QLatin1String("song")) || lower.contains(QLatin1String("batang")))
    serif = true;
  if (lower.contains(QLatin1String("gothic")) || lower.contains(QLatin1String("sans")) ||
      lower.contains(QLatin1String("hei")) || lower.contains(QLatin1String("dotum")))
    serif = false;
  // So do TeX's.
  if (const std::optional<TexFace> tex = texFace(lower)) {
    fixedPitch = tex->fixedPitch;
    serif = tex->serif;
    bold = bold || tex->bold;
  }
  FcPat pattern(FcPatternCreate());
  if (!family.trimmed().isEmpty())
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
  const char* kind = fixedPitch ? "monospace" : (serif ? "serif" : "sans-serif");
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(kind));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcChars wanted(FcCharSetCreate());
  for (const char32_t c : text.toUcs4())
    if (c > 0x20) FcCharSetAddChar(wanted.get(), c);
  FcPatternAddCharSet(pattern.get(), FC_CHARSET, wanted.get());
  FcPatternAddBool(pattern.get(), FC_OUTLINE, FcTrue);
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  FcPat found(FcFontMatch(config, pattern.get(), &result));
  FcChar8* file = nullptr;
  FcBool outline = FcFalse, colour = FcFalse;
  if (!found || FcPatternGetString(found.get(), FC_FILE, 0, &file) != FcResultMatch ||
      FcPatternGetBool(found.get(), FC_OUTLINE, 0, &outline) != FcResultMatch || !outline ||
      (FcPatternGetBool(found.get(), FC_COLOR, 0, &colour) == FcResultMatch && colour))
    return {};
  return QString::fromUtf8(reinterpret_cast<const char*>(file));
}

QString ShapedLine::refusal() const {
  if (crowdedMarks)
    return coreText("Эту строку нельзя записать: на одной её букве больше %1 надстрочных и подстрочных знаков.")
        .arg(kMostMarksOnALetter);
  if (!missing) return {};
  if (!isMark(missing)) return missingGlyphMessage(missing);
  return coreText("Знак «%1» (U+%2) нельзя записать вместе с его буквой: ни в одном установленном шрифте нет их обоих.")
      .arg(QString::fromUcs4(&missing, 1), QString::number(uint(missing), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

QString missingGlyphMessage(char32_t missing) {
  const QString character = QString::fromUcs4(&missing, 1);
  return coreText("Символ «%1» (U+%2) нельзя записать: ни в одном установленном шрифте нет его начертания.")
      .arg(character, QString::number(uint(missing), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}
