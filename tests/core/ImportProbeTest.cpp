// Imported files are told apart by their signatures: every raster format Qt
// writes is recognised and imported whatever its file name says, while SVG
// (here an entity bomb, compressed to a few kilobytes) is refused with a
// message and never handed to an SVG parser.
#include "HandWrittenPdf.h"
#include "TestSupport.h"
#include "core/ImageFormatProbe.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

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

// Run by the test below, in a child process of its own.
TEST(PictureBoundsChild, TiffPagesAndPixels) {
  if (qEnvironmentVariableIsEmpty("ULVO_BOUNDS_CHILD")) GTEST_SKIP() << "runs only as a child process";
  QTemporaryDir dir;
  const auto import = [&](const QList<testsupport::TiffPicture>& pictures) {
    PdfDocument document;
    document.importDocument(writeFile(dir, "in.tiff", testsupport::tiffFile(pictures)));
    return std::make_pair(document.pageCount(), document.skippedPictures().join('\n'));
  };
  // The most pages, one more, and the review's 20,000.
  for (const int pages : {10000, 10001, 20000})
    EXPECT_EQ(import(QList<testsupport::TiffPicture>(pages)),
              std::make_pair(10000, QString(pages == 10000 ? "" : "страницы после 10000-й: в одном файле "
                                                                  "импортируется не больше 10000 страниц")));
  // The most pixels, one row more, the review's 26,000 x 26,000 and a page
  // the reader cannot take: each one left out is named, the others import.
  EXPECT_EQ(import({{8192, 8192}, {8192, 8193}, {26000, 26000}, {3, 2, 4, 16, 5}, {2, 1, 3, 8, 2}}),
            std::make_pair(2, QString("страница 2 (8192 × 8193, оттенки серого, 8 бит на канал): больше 64 Мпикс\n"
                                      "страница 3 (26000 × 26000, оттенки серого, 8 бит на канал): больше 64 Мпикс\n"
                                      "страница 4 (3 × 2, CMYK, 16 бит на канал): не читается")));
}

// A 36 MP picture of 16 bits a channel decodes to 288 MB, past Qt's own
// limit: it is read, made 8 bits a channel, and its page holds every pixel.
TEST(PictureBoundsChild, SixteenBitPicturesAreReadAtEightBits) {
  if (qEnvironmentVariableIsEmpty("ULVO_BOUNDS_CHILD")) GTEST_SKIP() << "runs only as a child process";
  QTemporaryDir dir;
  const QString png = dir.filePath("deep.png");
  {
    QImage deep(6000, 6000, QImage::Format_RGBX64);
    deep.fill(QColor(30, 120, 200));
    QImageWriter writer(png, "png");
    writer.setQuality(90);  // little compression: written quickly
    ASSERT_TRUE(writer.write(deep)) << writer.errorString().toStdString();
  }
  PdfDocument document;
  ASSERT_TRUE(document.importDocument(png)) << document.lastError().toStdString();
  const QString saved = dir.filePath("deep.pdf");
  ASSERT_TRUE(document.saveCopy(saved));
  const QList<testsupport::PdfImageInfo> images = testsupport::listPdfImages(saved);
  ASSERT_EQ(images.size(), 1);
  EXPECT_EQ(images.first().size, QSize(6000, 6000));
  EXPECT_EQ(images.first().bitsPerComponent, 8);
}

// A few kilobytes of PDF may declare gigapixels: images up to the bound are
// re-encoded, larger ones are never decoded and stay as they are.
TEST(PictureBoundsChild, CompressionDecodesImagesWithinTheBound) {
  if (qEnvironmentVariableIsEmpty("ULVO_BOUNDS_CHILD")) GTEST_SKIP() << "runs only as a child process";
  QTemporaryDir dir;
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [ 3 0 R ] /Count 1 >>",
                         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 330 110] /Contents 4 0 R /Resources << "
                         "/XObject << /I0 5 0 R /I1 6 0 R /I2 7 0 R >> >> >>",
                         handwritten::stream("q 100 0 0 100 0 0 cm /I0 Do Q q 100 0 0 100 110 0 cm /I1 Do Q "
                                             "q 100 0 0 100 220 0 cm /I2 Do Q")};
  const QList<QSize> sizes = {{8192, 8192}, {8192, 8193}, {26000, 26000}};
  for (const QSize& size : sizes)
    objects << handwritten::stream(qCompress(QByteArray(qsizetype(size.width() / 8) * size.height(), 'U')).mid(4),
                                   QStringLiteral("/Type /XObject /Subtype /Image /Width %1 /Height %2 /ColorSpace "
                                                  "/DeviceGray /BitsPerComponent 1 /Filter /FlateDecode")
                                       .arg(size.width()).arg(size.height()).toLatin1());
  const QString source = dir.filePath("gigapixels.pdf");
  PdfDocument doc;
  PdfDocument::CompressionOptions options;
  options.rasterizePages = false;
  ASSERT_TRUE(handwritten::writePdf(source, objects) && doc.open(source) && doc.compressTo(source + ".pdf", options));
  EXPECT_EQ(doc.imagesKeptWhole(), 2);
  QList<QPair<QSize, QString>> written;
  for (const auto& image : testsupport::listPdfImages(source + ".pdf")) written.append({image.size, image.encoding});
  EXPECT_EQ(written, (QList<QPair<QSize, QString>>{{{209, 209}, "jpeg"}, {sizes[1], "image"}, {sizes[2], "image"}}));
}

TEST(ImportProbe, PicturesAreReadOnlyWithinPageAndPixelBounds) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "memory is measured without the sanitizer's shadow";
#endif
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("ULVO_BOUNDS_CHILD", "1");
  child.setProcessEnvironment(environment);
  child.start("prlimit", {"--as=3000000000", "--", QFile::symLinkTarget("/proc/self/exe"),
                          "--gtest_filter=PictureBoundsChild.*"});
  ASSERT_TRUE(child.waitForFinished(240000));  // 20,000 TIFF pages took a quarter of an hour
  const QByteArray out = child.readAllStandardOutput();
  EXPECT_TRUE(out.contains("[  PASSED  ] 3 tests")) << out.constData();
  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  std::printf("child peak resident memory: %ld MB\n", usage.ru_maxrss / 1024);
  EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "KiB";
}
