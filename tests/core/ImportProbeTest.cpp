// Imported files are told apart by their signatures: every raster format Qt
// writes is recognised and imported whatever its file name says, while SVG
// (here an entity bomb, compressed to a few kilobytes) is refused with a
// message and never handed to an SVG parser.
#include "TestSupport.h"
#include "core/ImageFormatProbe.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  return path;
}

// Ten levels of ten references each: 10^10 copies of "lol" once expanded.
QByteArray entityBomb() {
  QByteArray svg = "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [\n<!ENTITY l0 \"lol\">\n";
  for (int level = 1; level <= 10; ++level) {
    svg += "<!ENTITY l" + QByteArray::number(level) + " \"";
    for (int i = 0; i < 10; ++i) svg += "&l" + QByteArray::number(level - 1) + ";";
    svg += "\">\n";
  }
  svg += "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><text>&l10;</text></svg>\n";
  return svg;
}

}  // namespace

TEST(ImportProbe, RasterFormatsAreKnownByTheirSignatureWhateverTheirName) {
  QTemporaryDir dir;
  QImage picture(64, 48, QImage::Format_RGB32);
  picture.fill(QColor(10, 150, 90));
  PdfDocument document;
  ASSERT_TRUE(document.createEmpty());
  const int before = document.pageCount();
  int imported = 0;
  for (const char* format : {"png", "jpeg", "gif", "bmp", "webp", "tiff"}) {
    SCOPED_TRACE(format);
    // A misleading suffix: only the content may count.
    const QString path = dir.filePath(QStringLiteral("picture-%1.pdf").arg(QLatin1String(format)));
    if (!picture.save(path, format)) continue;  // a format without a writer here
    EXPECT_EQ(imageFormatOfFile(path), QByteArray(format));
    ASSERT_TRUE(document.importDocument(path)) << document.lastError().toStdString();
    ++imported;
  }
  EXPECT_GE(imported, 4);
  EXPECT_EQ(document.pageCount(), before + imported);
  const QString saved = dir.filePath(QStringLiteral("out.pdf"));
  ASSERT_TRUE(document.saveCopy(saved));
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), saved}), 0);
  // One picture per imported page, at its own pixel size.
  int pictures = 0;
  for (const testsupport::PdfImageInfo& info : testsupport::listPdfImages(saved))
    if (info.type == QLatin1String("image")) {
      EXPECT_EQ(info.size, QSize(64, 48));
      ++pictures;
    }
  EXPECT_EQ(pictures, imported);
}

TEST(ImportProbe, SvgAndCompressedSvgAreRefusedWithoutBeingParsed) {
  QTemporaryDir dir;
  const QByteArray bomb = entityBomb();
  const QString svg = writeFile(dir, QStringLiteral("bomb.svg"), bomb);
  const QString plain = writeFile(dir, QStringLiteral("bomb.svgz"), bomb);
  QProcess gzip;
  gzip.start(QStringLiteral("gzip"), {QStringLiteral("-9"), QStringLiteral("-f"), plain});
  ASSERT_TRUE(gzip.waitForFinished(30000));
  const QString svgz = plain + QStringLiteral(".gz");
  ASSERT_TRUE(QFile::exists(svgz));
  EXPECT_LT(QFile(svgz).size(), 4096);
  PdfDocument document;
  ASSERT_TRUE(document.createEmpty());
  const int before = document.pageCount();
  for (const QString& path : {svg, svgz}) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(imageFormatOfFile(path), QByteArray("svg"));
    EXPECT_FALSE(document.importDocument(path));
    EXPECT_TRUE(document.lastError().startsWith(QStringLiteral("SVG"))) << document.lastError().toStdString();
  }
  EXPECT_EQ(document.pageCount(), before);
  // Nor does a stored picture decode as SVG.
  EXPECT_TRUE(decodeRasterImage(bomb).isNull());
}
