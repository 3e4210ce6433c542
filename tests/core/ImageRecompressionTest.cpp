#include "CorpusReplay.h"
#include "HandWrittenPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace testsupport;

namespace {

// A 400 x 300 pt page over a blue background: text, a large RGB image, an
// indexed colour image, a grey image at a fractional size, an image with a
// grainy soft mask (Flate cannot shrink it below a JPEG), that mask drawn on
// its own as well, and a stencil mask painted in red.
QStringList imagePage() {
  QByteArray rgb, indexed, grey, masked, softMask, stencil;
  quint32 grain = 1;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 400; ++x) rgb += QByteArray(1, char(x * 255 / 399)) + char(y * 255 / 299) + char(128);
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 240; ++x) indexed += char((x / 60 + y / 45) % 4);
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x) grey += char((x + y) * 255 / 348);
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 240; ++x) {
      masked += QByteArray("\x00\x8C\x00", 3);
      grain = grain * 1103515245u + 12345u;
      softMask += char((std::hypot(x - 120, y - 90) < 70 ? 192 : 0) + (grain >> 26));
    }
  for (int y = 0; y < 180; ++y)
    for (int byte = 0; byte < 30; ++byte) stencil += char(((byte / 4 + y / 30) % 2) ? 0xFF : 0x00);

  const auto image = [](const QByteArray& data, int width, int height, const QByteArray& entries) {
    return handwritten::stream(data, "/Type /XObject /Subtype /Image /Width " + QByteArray::number(width) +
                                         " /Height " + QByteArray::number(height) + " " + entries);
  };
  const QByteArray content =
      "0.6 0.8 1 rg 0 0 400 300 re f\n"
      "BT 0 0 0 rg /F1 18 Tf 20 272 Td (Keep this text) Tj ET\n"
      "q 120 0 0 90 20 150 cm /ImRgb Do Q\n"
      "q 120 0 0 90 160 150 cm /ImIdx Do Q\n"
      "q 100.5 0 0 75.3 290 160 cm /ImGray Do Q\n"
      "q 120 0 0 90 20 20 cm /ImSmask Do Q\n"
      "q 0.8 0.1 0.1 rg 120 0 0 90 160 20 cm /ImStencil Do Q\n"
      "q 100 0 0 75 290 40 cm /ImMask Do Q\n";
  return {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 300] /Contents 4 0 R /Resources << /Font << /F1 5 0 R "
      ">> /XObject << /ImRgb 6 0 R /ImIdx 7 0 R /ImSmask 8 0 R /ImStencil 10 0 R /ImGray 11 0 R /ImMask 9 0 R >> >> >>",
      handwritten::stream(content),
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
      image(rgb, 400, 300, "/ColorSpace /DeviceRGB /BitsPerComponent 8"),
      image(indexed, 240, 180, "/ColorSpace [/Indexed /DeviceRGB 3 <FF000000C0000000FFFFFF00>] /BitsPerComponent 8"),
      image(masked, 240, 180, "/ColorSpace /DeviceRGB /BitsPerComponent 8 /SMask 9 0 R"),
      image(softMask, 240, 180, "/ColorSpace /DeviceGray /BitsPerComponent 8"),
      image(stencil, 240, 180, "/ImageMask true /BitsPerComponent 1"),
      image(grey, 200, 150, "/ColorSpace /DeviceGray /BitsPerComponent 8"),
  };
}

int count(const QList<PdfImageInfo>& images, const std::function<bool(const PdfImageInfo&)>& match) {
  return int(std::count_if(images.begin(), images.end(), match));
}

QImage renderWithPoppler(const QString& pdf, const QString& stem) {
  EXPECT_EQ(runTool("pdftoppm", {"-r", "72", "-png", "-singlefile", pdf, stem}), 0);
  return QImage(stem + ".png");
}

// Regions of the page's images in a 72 dpi render (y from the top), inset
// to keep clear of resampled edges.
// Masked images, and a mask also drawn as an image, are never re-encoded and
// must look exactly as before; the others differ by JPEG noise only
// (saturated colour blocks the most).
const struct Region {
  const char* name;
  QRect rect;
  double tolerance;
} kRegions[] = {
    {"rgb", QRect(20, 60, 120, 90), 6.0},          {"indexed", QRect(160, 60, 120, 90), 15.0},
    {"grey", QRect(290, 65, 100, 75), 6.0},        {"soft mask", QRect(20, 190, 120, 90), 0.5},
    {"stencil", QRect(160, 190, 120, 90), 0.5},    {"mask", QRect(290, 185, 100, 75), 0.5},
};

}  // namespace

TEST(ImageRecompression, ReencodesOpaqueImagesAndKeepsTextAndMaskedImages) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString source = dir.filePath("images.pdf");
  ASSERT_TRUE(handwritten::writePdf(source, imagePage()));
  const QImage before = renderWithPoppler(source, dir.filePath("before"));
  ASSERT_EQ(before.size(), QSize(400, 300));

  const auto options = [](int dpi, bool grayscale, bool small, bool mono) {
    PdfDocument::CompressionOptions o;
    o.rasterizePages = false;
    o.imageDpi = dpi;
    o.jpegQuality = 80;
    o.grayscale = grayscale;
    o.recompressSmallImages = small;
    o.monochrome = mono;
    return o;
  };
  const struct Case {
    const char* name;
    PdfDocument::CompressionOptions options;
    int jpegs;     // re-encoded images
    int greyJpegs;  // of which greyscale
    QList<QSize> jpegSizes;
  } cases[] = {
      // The indexed blocks, and the grey ramp at full size, take fewer bytes
      // Flate-compressed than any JPEG of them and stay as they are.
      {"72 dpi", options(72, false, true, false), 2, 1, {{120, 90}, {101, 76}}},
      {"monochrome is ignored", options(72, false, true, true), 2, 1, {{120, 90}, {101, 76}}},
      {"greyscale", options(72, true, true, false), 2, 2, {{120, 90}, {101, 76}}},
      {"already small enough", options(1000, false, false, false), 0, 0, {}},
      {"small ones re-encoded", options(1000, false, true, false), 1, 0, {{400, 300}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString out = dir.filePath(QStringLiteral("%1.pdf").arg(c.name));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    ASSERT_TRUE(doc.compressTo(out, c.options)) << doc.lastError().toStdString();
    EXPECT_TRUE(doc.lastError().isEmpty());
    EXPECT_EQ(runTool("qpdf", {"--check", out}), 0);

    const QList<PdfImageInfo> images = listPdfImages(out);
    EXPECT_EQ(count(images, [](const PdfImageInfo& l) { return l.encoding == "jpeg"; }), c.jpegs);
    EXPECT_EQ(count(images, [](const PdfImageInfo& l) { return l.encoding == "jpeg" && l.color == "gray"; }), c.greyJpegs);
    for (const QSize& size : c.jpegSizes)
      EXPECT_EQ(count(images, [&](const PdfImageInfo& l) { return l.encoding == "jpeg" && l.size == size; }),
                int(std::count(c.jpegSizes.begin(), c.jpegSizes.end(), size)))
          << size.width() << "x" << size.height();
    EXPECT_EQ(count(images, [](const PdfImageInfo& l) { return l.type == "smask"; }), 1);
    EXPECT_EQ(count(images, [](const PdfImageInfo& l) { return l.type == "stencil"; }), 1);

    QByteArray text;
    ASSERT_EQ(runTool("pdftotext", {out, "-"}, &text), 0);
    EXPECT_TRUE(text.contains("Keep this text"));

    const QImage after = renderWithPoppler(out, dir.filePath(QStringLiteral("after-%1").arg(c.name)));
    ASSERT_EQ(after.size(), before.size());
    for (const Region& region : kRegions) {
      const QRect inner = region.rect.adjusted(3, 3, -3, -3);
      const double difference = meanChannelDifference(before.copy(inner), after.copy(inner));
      // Greyscale is asked for in one case; the colour images then lose their colour.
      const bool greyed = c.options.grayscale && (QByteArray(region.name) == "rgb" ||
                                                  QByteArray(region.name) == "indexed");
      if (!greyed) {
        EXPECT_LT(difference, region.tolerance) << region.name;
      }
    }
    EXPECT_EQ(meanChannelDifference(before.copy(QRect(0, 0, 400, 40)), after.copy(QRect(0, 0, 400, 40))), 0.0);
  }
}

TEST(ImageRecompression, DocumentWithoutImagesIsSavedAsAFullCopy) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString source = dir.filePath("text.pdf");
  ASSERT_TRUE(writePdf(source, {{"Only text here"}, {"And a second page", true}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  PdfDocument::CompressionOptions options;
  options.rasterizePages = false;
  const QString out = dir.filePath("copy.pdf");
  ASSERT_TRUE(doc.compressTo(out, options));
  EXPECT_EQ(runTool("qpdf", {"--check", out}), 0);
  QByteArray info;
  ASSERT_EQ(runTool("pdfinfo", {out}, &info), 0);
  EXPECT_TRUE(info.contains("Pages:           2"));
  QByteArray text;
  ASSERT_EQ(runTool("pdftotext", {out, "-"}, &text), 0);
  EXPECT_TRUE(text.contains("Only text here"));
  EXPECT_TRUE(text.contains("And a second page"));
  EXPECT_EQ(doc.filePath(), source);
  EXPECT_FALSE(doc.isModified());
}

TEST(ImageRecompression, ADocumentOpenedWithItsPasswordIsCompressedAndStaysLocked) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString plain = dir.filePath("images.pdf");
  ASSERT_TRUE(handwritten::writePdf(plain, imagePage()));
  const QString locked = dir.filePath("locked.pdf");
  ASSERT_EQ(runTool("qpdf", {"--encrypt", "user", "owner", "256", "--", plain, locked}), 0);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(locked, "user"));
  PdfDocument::CompressionOptions options;
  options.rasterizePages = false;
  options.imageDpi = 72;
  const QString out = dir.filePath("compressed.pdf");
  ASSERT_TRUE(doc.compressTo(out, options)) << doc.lastError().toStdString();
  EXPECT_EQ(runTool("qpdf", {"--check", "--password=user", out}), 0);
  EXPECT_NE(runTool("qpdf", {"--check", out}), 0);  // still asks for the password
  QByteArray text;
  ASSERT_EQ(runTool("pdftotext", {"-upw", "user", out, "-"}, &text), 0);
  EXPECT_TRUE(text.contains("Keep this text"));
  QByteArray listing;
  ASSERT_EQ(runTool("pdfimages", {"-upw", "user", "-list", out}, &listing), 0);
  EXPECT_TRUE(listing.contains(" jpeg ")) << listing.toStdString();
}

namespace {

// What outside readers see of a file: the sorted words of each of its first
// pages, the pictures on each page, and whether qpdf finds it sound. A reader
// that hangs leaves its part empty.
struct Reading {
  QList<QStringList> words;
  QMap<QByteArray, int> images;
  bool sound;
};
Reading readWithOutsideTools(const QString& pdf) {
  Reading r{{}, {}, runTool("qpdf", {"--check", pdf}, nullptr, 10000) == 0};
  QByteArray text, list;
  runTool("pdftotext", {"-l", "3", pdf, "-"}, &text, 10000);
  runTool("pdfimages", {"-list", pdf}, &list, 10000);
  for (const QByteArray& page : text.split('\f')) {
    r.words << QString::fromUtf8(page).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    r.words.last().sort();
  }
  for (const QByteArray& line : list.split('\n').mid(2)) ++r.images[line.simplified().split(' ').first()];
  return r;
}

bool keepsEverything(const Reading& in, const Reading& out) {
  for (qsizetype i = 0; i < in.words.size(); ++i) {
    const QStringList kept = out.words.value(i);
    if (!std::includes(kept.begin(), kept.end(), in.words[i].begin(), in.words[i].end())) return false;
  }
  for (auto it = in.images.begin(); it != in.images.end(); ++it)
    if (out.images.value(it.key()) < it.value()) return false;
  return out.sound || !in.sound;
}

}  // namespace

TEST(ImageRecompression, EveryCorpusFileKeepsItsWordsAndPictures) {
  QStringList files = corpus::corpusFiles();
  for (QDirIterator it(QFileInfo(corpusDir()).dir().filePath("real-world-pdfs"), {"*.pdf"}, QDir::Files); it.hasNext();)
    files << it.next();
  QTemporaryDir dir;
  const QString out = dir.filePath("out.pdf");
  PdfDocument::CompressionOptions options;
  options.rasterizePages = false;
  options.imageDpi = 72;
  corpus::Watchdog watchdog(std::chrono::seconds(90));
  int refused = 0;
  QStringList lost;
  for (const QString& file : files) {
    watchdog.start(file);
    PdfDocument doc;
    if (!doc.open(file) || !doc.compressTo(out, options)) {
      EXPECT_FALSE(doc.lastError().isEmpty()) << file.toStdString();
      ++refused;
    } else if (!keepsEverything(readWithOutsideTools(file), readWithOutsideTools(out))) {
      lost << file;
    }
  }
  watchdog.start(QString());
  std::printf("%d files, %d keep every word and picture (%d not opened or refused)\n", int(files.size()),
              int(files.size() - lost.size()) - refused, refused);
  EXPECT_TRUE(lost.isEmpty()) << lost.join('\n').toStdString();
}
