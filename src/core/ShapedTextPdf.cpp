#include "ShapedTextPdf.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cmath>
#include <set>

namespace {

// Fine enough that a size read from the page is written as the page wrote
// it: readers keep typed letters in the word they join only at the same size.
std::string number(double value) {
  if (std::abs(value) < 5e-7) return "0";
  QByteArray text = QByteArray::number(value, 'f', 6);
  while (text.endsWith('0')) text.chop(1);
  if (text.endsWith('.')) text.chop(1);
  return text.toStdString();
}

std::string hex4(unsigned int value) {
  return QByteArray::number(value, 16).rightJustified(4, '0').toUpper().toStdString();
}

std::string utf16Hex(const QString& text) {
  std::string out;
  for (const QChar c : text) out += hex4(c.unicode());
  return out;
}

// A PostScript name as a PDF name may carry it.
std::string cleanName(const QString& name) {
  std::string out;
  for (const QChar c : name)
    if (c.unicode() > 0x20 && c.unicode() < 0x7F && !QStringLiteral("()<>[]{}/%#").contains(c))
      out += char(c.unicode());
  return out.empty() ? "Font" : out;
}

std::string toUnicodeMap(const std::map<unsigned int, QString>& texts) {
  std::string map =
      "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo << /Registry (Adobe) "
      "/Ordering (UCS) /Supplement 0 >> def\n/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  std::vector<std::pair<unsigned int, QString>> entries;
  for (const auto& [code, text] : texts)
    if (!text.isEmpty()) entries.emplace_back(code, text);
  for (size_t i = 0; i < entries.size(); i += 100) {
    const size_t n = std::min<size_t>(100, entries.size() - i);
    map += std::to_string(n) + " beginbfchar\n";
    for (size_t k = i; k < i + n; ++k) map += "<" + hex4(entries[k].first) + "> <" + utf16Hex(entries[k].second) + ">\n";
    map += "endbfchar\n";
  }
  return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// A glyph's width as written, in thousandths of the size: its face's own,
// except that a mark HarfBuzz set back over its letter takes the way back,
// so that readers measuring from glyph to glyph keep the letter's word whole.
// Font units in thousandths of the size, to a thousandth: as widths are written.
double thousandths(const OutlineFace& face, double units) {
  return std::round(units * 1000.0 / face.upem * 1000.0) / 1000.0;
}

double writtenWidth(const OutlineFace& face, const ShapedGlyph& g) {
  const double own = thousandths(face, face.advance(g.glyph));
  if (face.cff || g.advance != 0 || g.xOffset >= 0) return own;
  return std::max(own, thousandths(face, -g.xOffset));
}

qint64 widthKey(double width) { return qRound64(width * 1000.0); }

}  // namespace

void ShapedTextFonts::add(const ShapedLine& line) {
  for (const ShapedRun& run : line.runs) {
    FaceUse& use = uses[run.face.get()];
    use.face = run.face;
    for (const ShapedGlyph& g : run.glyphs) {
      // A CFF's glyphs are drawn by their own numbers; a TrueType face gets
      // a code for each glyph, reading and width, so one glyph can read as the
      // different characters it stands for in different places.
      const auto key =
          std::make_tuple(g.glyph, run.face->cff ? QString() : g.text, widthKey(writtenWidth(*run.face, g)));
      if (!use.codes.count(key)) use.codes.emplace(key, run.face->cff ? g.glyph : unsigned(use.codes.size()) + 1);
      if (run.face->cff && use.cffTexts[g.glyph].isEmpty()) use.cffTexts[g.glyph] = g.text;
    }
  }
}

unsigned int ShapedTextFonts::code(const FaceUse& use, const ShapedGlyph& glyph) const {
  const auto it = use.codes.find(
      {glyph.glyph, use.face->cff ? QString() : glyph.text, widthKey(writtenWidth(*use.face, glyph))});
  return it == use.codes.end() ? 0 : it->second;
}

bool ShapedTextFonts::build(QPDF& pdf) {
  for (auto& [key, use] : uses) {
    const OutlineFace& face = *use.face;
    std::set<unsigned int> glyphs;
    for (const auto& [drawn, code] : use.codes) glyphs.insert(std::get<0>(drawn));
    std::map<unsigned int, unsigned int> newIds;
    const QByteArray program = face.subset(glyphs, &newIds);
    if (program.isEmpty()) return false;

    // The code each glyph is drawn by, its width and how it reads.
    std::map<unsigned int, unsigned int> glyphOf;
    std::map<unsigned int, QString> texts;
    std::string widths = "[";
    for (const auto& [drawn, code] : use.codes) {
      glyphOf[code] = std::get<0>(drawn);
      texts[code] = face.cff ? use.cffTexts[code] : std::get<1>(drawn);
      widths += " " + std::to_string(code) + " [" + number(double(std::get<2>(drawn)) / 1000.0) + "]";
    }
    widths += " ]";

    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(face.path.toUtf8());
    hash.addData(program);
    const QByteArray digest = hash.result();
    std::string tag;
    for (int i = 0; i < 6; ++i) tag += char('A' + quint8(digest[i]) % 26);
    const std::string baseName = "/" + tag + "+" + cleanName(face.postscriptName);

    QPDFObjectHandle file = QPDFObjectHandle::newStream(&pdf, program.toStdString());
    if (face.cff)
      file.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/OpenType"));
    else
      file.getDict().replaceKey("/Length1", QPDFObjectHandle::newInteger(program.size()));
    const double unit = 1000.0 / face.upem;
    int flags = 4;  // symbolic: glyphs are reached by code, not by name
    if (face.fixedPitch) flags |= 1;
    if (face.italic) flags |= 64;
    QPDFObjectHandle descriptor = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /FontDescriptor /FontName " + baseName + " /Flags " + std::to_string(flags) + " /FontBBox [" +
        number(face.bbox[0] * unit) + " " + number(face.bbox[1] * unit) + " " + number(face.bbox[2] * unit) + " " +
        number(face.bbox[3] * unit) + "] /ItalicAngle 0 /Ascent " + number(face.ascender * unit) + " /Descent " +
        number(face.descender * unit) + " /CapHeight " + number(face.ascender * unit) + " /StemV " +
        (face.bold ? "120" : "80") + " >>"));
    descriptor.replaceKey(face.cff ? "/FontFile3" : "/FontFile2", pdf.makeIndirectObject(file));

    QPDFObjectHandle descendant = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype " + std::string(face.cff ? "/CIDFontType0" : "/CIDFontType2") + " /BaseFont " +
        baseName + " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 1000 /W " +
        widths + " >>"));
    descendant.replaceKey("/FontDescriptor", descriptor);
    if (!face.cff) {
      // Codes are ours; the map leads each to the glyph's number in the subset.
      const unsigned int highest = glyphOf.empty() ? 0 : glyphOf.rbegin()->first;
      std::string map(size_t(highest + 1) * 2, '\0');
      for (const auto& [code, glyph] : glyphOf) {
        const unsigned int to = newIds.count(glyph) ? newIds[glyph] : 0;
        map[size_t(code) * 2] = char(to >> 8);
        map[size_t(code) * 2 + 1] = char(to & 0xFF);
      }
      descendant.replaceKey("/CIDToGIDMap", pdf.makeIndirectObject(QPDFObjectHandle::newStream(&pdf, map)));
    }
    QPDFObjectHandle font = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type0 /BaseFont " + baseName + " /Encoding /Identity-H >>"));
    font.replaceKey("/DescendantFonts", QPDFObjectHandle::newArray({descendant}));
    font.replaceKey("/ToUnicode",
                    pdf.makeIndirectObject(QPDFObjectHandle::newStream(&pdf, toUnicodeMap(texts))));
    use.font = font;
  }
  return true;
}

std::string ShapedTextFonts::content(const ShapedPlacement& placement,
                                     const std::function<std::string(QPDFObjectHandle)>& name) const {
  if (!placement.line || placement.line->runs.empty()) return {};
  const QTransform& m = placement.textMatrix;
  const QColor fill = placement.colour.isValid() ? placement.colour : QColor(Qt::black);
  std::string out = "q BT 0 Tc 0 Tw 100 Tz 0 TL 0 Ts " + std::string(placement.invisible ? "3" : "0") + " Tr ";
  if (!placement.pageFill)
    out += number(fill.redF()) + " " + number(fill.greenF()) + " " + number(fill.blueF()) + " rg ";
  for (const double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) out += number(v) + " ";
  out += "Tm\n";
  // A glyph's advance in thousandths of the font size: the width its font
  // states where HarfBuzz kept it, so that no rounding shows as a shift
  // (Ghostscript reads a word apart at any).
  const auto advance = [&](const ShapedRun& run, const ShapedGlyph& g) {
    return g.advance == run.face->advance(g.glyph) ? thousandths(*run.face, g.advance)
                                                   : g.advance * 1000.0 / run.face->upem;
  };
  // Where each run starts on the line, in thousandths of the font size.
  const std::vector<ShapedRun>& runs = placement.line->runs;
  std::vector<double> starts;
  double pen = 0;
  for (const ShapedRun& run : runs) {
    starts.push_back(pen);
    for (const ShapedGlyph& g : run.glyphs) pen += advance(run, g);
  }
  // The runs in reading order, a right-to-left one from its right end, so
  // that readers that follow the content read the characters in order.
  std::vector<size_t> reading(runs.size());
  for (size_t i = 0; i < runs.size(); ++i) reading[i] = i;
  std::stable_sort(reading.begin(), reading.end(), [&](size_t a, size_t b) { return runs[a].order < runs[b].order; });
  // Where the last TJ left the pen.
  double at = 0;
  double rise = 0;
  for (const size_t index : reading) {
    const ShapedRun& run = runs[index];
    const auto use = uses.find(run.face.get());
    if (use == uses.end() || !use->second.font.isInitialized()) continue;
    const double unit = 1000.0 / run.face->upem;
    std::vector<std::pair<double, const ShapedGlyph*>> glyphs;  // where each glyph's origin stands
    pen = starts[index];
    for (const ShapedGlyph& g : run.glyphs) {
      glyphs.emplace_back(pen, &g);
      pen += advance(run, g);
    }
    if (run.rightToLeft) std::reverse(glyphs.begin(), glyphs.end());
    out += name(use->second.font) + " " + number(placement.size) + " Tf [";
    bool inString = false;
    for (const auto& [origin, glyph] : glyphs) {
      const ShapedGlyph& g = *glyph;
      const double wantedRise = g.yOffset * placement.size / run.face->upem;
      if (std::abs(wantedRise - rise) > 1e-4) {
        out += std::string(inString ? ">" : "") + "] TJ " + number(wantedRise) + " Ts [";
        inString = false;
        rise = wantedRise;
      }
      const double x = origin + g.xOffset * unit;
      if (std::abs(x - at) > 5e-4) {
        out += std::string(inString ? ">" : "") + " " + number(at - x) + " ";
        inString = false;
        at = x;
      }
      if (!inString) out += "<";
      inString = true;
      out += hex4(code(use->second, g));
      at += writtenWidth(*run.face, g);
    }
    out += std::string(inString ? ">" : "") + "] TJ\n";
  }
  return out + "ET Q\n";
}
