#include "HandWrittenPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "core/RasterPdfWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>

using namespace testsupport;

namespace {

// Page sizes in points as pdfinfo reports them, in page order.
QList<QSizeF> pdfinfoPageSizes(const QString& pdf, int pages) {
  QByteArray out;
  EXPECT_EQ(runTool("pdfinfo", {"-f", "1", "-l", QString::number(pages), pdf}, &out), 0);
  QList<QSizeF> sizes;
  const QRegularExpression re("Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts");
  for (auto it = re.globalMatch(QString::fromUtf8(out)); it.hasNext();) {
    const auto m = it.next();
    sizes.append(QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()));
  }
  return sizes;
}

class RasterPdfWriterTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString path(const QString& name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

PdfDocument::CompressionOptions options(int dpi, int quality, bool grayscale = false, bool monochrome = false) {
  PdfDocument::CompressionOptions o;
  o.imageDpi = dpi;
  o.jpegQuality = quality;
  o.grayscale = grayscale;
  o.monochrome = monochrome;
  return o;
}

}  // namespace

TEST(RasterPdfWriterPieces, NumbersAreShortestFixedText) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{612.0, "612"}, {595.2756, "595.276"}, {841.8898, "841.89"}, {0.0004, "0"},
               {12.5, "12.5"},  {100.0, "100"},       {0.1, "0.1"},        {1.25, "1.25"}};
  for (const auto& c : cases) {
    EXPECT_EQ(RasterPdfWriter::pdfNumber(c.value), QByteArray(c.text)) << c.value;
  }
}

TEST(RasterPdfWriterPieces, SamplePagesAndExtrapolation) {
  EXPECT_EQ(RasterPdfWriter::samplePageIndices(0), QList<int>());
  EXPECT_EQ(RasterPdfWriter::samplePageIndices(1), QList<int>({0}));
  QList<int> all;
  for (int i = 0; i < 20; ++i) all.append(i);
  EXPECT_EQ(RasterPdfWriter::samplePageIndices(20), all);
  EXPECT_EQ(RasterPdfWriter::samplePageIndices(21), QList<int>({1, 4, 7, 10, 13, 16, 19}));
  EXPECT_EQ(RasterPdfWriter::samplePageIndices(100), QList<int>({7, 21, 35, 50, 64, 78, 92}));
  for (int n = 21; n <= 3000; ++n) {
    const QList<int> pages = RasterPdfWriter::samplePageIndices(n);
    ASSERT_EQ(pages.size(), 7) << n;
    for (int i = 0; i < 7; ++i) {
      ASSERT_TRUE(pages[i] >= 0 && pages[i] < n) << n;
      if (i > 0) {
        ASSERT_LT(pages[i - 1], pages[i]) << n;
      }
    }
  }
  EXPECT_EQ(RasterPdfWriter::extrapolatedTotal(1000, 21, 7), 3000);
  EXPECT_EQ(RasterPdfWriter::extrapolatedTotal(1001, 21, 7), 3003);
  EXPECT_EQ(RasterPdfWriter::extrapolatedTotal(1000, 22, 7), 3143);
}

TEST(RasterPdfWriterPieces, JpegQualityIsClampedAndAlphaFlattenedOnWhite) {
  QImage image(64, 48, QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgba(x * 4, y * 5, (x * y) % 255, 255));
  EXPECT_EQ(RasterPdfWriter::imageToJpegBytes(image, 0, false), RasterPdfWriter::imageToJpegBytes(image, 1, false));
  EXPECT_EQ(RasterPdfWriter::imageToJpegBytes(image, 250, false),
            RasterPdfWriter::imageToJpegBytes(image, 100, false));
  EXPECT_NE(RasterPdfWriter::imageToJpegBytes(image, 1, false), RasterPdfWriter::imageToJpegBytes(image, 100, false));
  EXPECT_TRUE(RasterPdfWriter::imageToJpegBytes(QImage(), 50, false).isEmpty());
  EXPECT_TRUE(RasterPdfWriter::imageToMonoFlateBytes(QImage()).isEmpty());

  QImage transparent(16, 16, QImage::Format_ARGB32);
  transparent.fill(Qt::transparent);
  QImage decoded;
  ASSERT_TRUE(decoded.loadFromData(RasterPdfWriter::imageToJpegBytes(transparent, 90, true), "JPG"));
  EXPECT_EQ(decoded.format(), QImage::Format_Grayscale8);
  EXPECT_GT(qGray(decoded.pixel(8, 8)), 250);
}

// One page per case, written and forecast with the same options: the forecast
// is the file's exact size, and the file is one valid image per page.
TEST_F(RasterPdfWriterTest, WrittenFilesMatchTheirForecastAndTheirSource) {
  const QString portrait = path("portrait.pdf");
  ASSERT_TRUE(writePdf(portrait, {{"Letter page", true, {612, 792}}, {"A4 page", false, {595.2756, 841.8898}},
                                  {QString(), true, {300.5, 200.25}}}));
  const QString rotated = path("rotated.pdf");
  ASSERT_EQ(runTool("qpdf", {portrait, "--rotate=+90:1", rotated}), 0);
  const QString small = path("small.pdf");
  ASSERT_TRUE(writePdf(small, {{"x", true, {72, 72}}}));

  const struct Case {
    QString source;
    PdfDocument::CompressionOptions options;
    int dpi;  // after clamping
    QString color;
    int bpc;
    QString encoding;
  } cases[] = {
      {portrait, options(200, 55), 200, "rgb", 8, "jpeg"},
      {portrait, options(150, 30, true), 150, "gray", 8, "jpeg"},
      {portrait, options(72, 55, true, true), 72, "gray", 1, "image"},
      {rotated, options(100, 40), 100, "rgb", 8, "jpeg"},
      {small, options(1000, 90), 600, "rgb", 8, "jpeg"},
      {small, options(10, 0), 36, "rgb", 8, "jpeg"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(QStringLiteral("case %1").arg(n).toStdString());
    const QString out = path(QStringLiteral("out%1.pdf").arg(n++));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(c.source));
    bool sampled = true;
    const qint64 forecast = doc.estimateCompressedSize(c.options, &sampled);
    ASSERT_TRUE(doc.compressTo(out, c.options)) << doc.lastError().toStdString();
    EXPECT_TRUE(doc.lastError().isEmpty());
    EXPECT_FALSE(sampled);
    EXPECT_EQ(forecast, QFileInfo(out).size());
    EXPECT_EQ(runTool("qpdf", {"--check", out}), 0);

    const int pages = doc.pageCount();
    const QList<QSizeF> sourceSizes = pdfinfoPageSizes(c.source, pages);
    const QList<QSizeF> outSizes = pdfinfoPageSizes(out, pages);
    ASSERT_EQ(outSizes.size(), pages);
    const QList<PdfImageInfo> images = listPdfImages(out);
    ASSERT_EQ(images.size(), pages);
    for (int p = 0; p < pages; ++p) {
      // pdfinfo reports the unrotated box; the copy carries the rotation in its picture.
      const QSizeF shown = doc.pageSize(p);
      EXPECT_NEAR(outSizes[p].width(), shown.width(), 0.01);
      EXPECT_NEAR(outSizes[p].height(), shown.height(), 0.01);
      EXPECT_NEAR(sourceSizes[p].width() * sourceSizes[p].height(), shown.width() * shown.height(), 0.1);
      EXPECT_EQ(images[p].page, p + 1);
      EXPECT_EQ(images[p].size.width(), int(std::ceil(shown.width() * (c.dpi / 72.0))));
      EXPECT_EQ(images[p].size.height(), int(std::ceil(shown.height() * (c.dpi / 72.0))));
      EXPECT_EQ(images[p].color, c.color);
      EXPECT_EQ(images[p].bitsPerComponent, c.bpc);
      EXPECT_EQ(images[p].encoding, c.encoding);
    }
  }
}

// Grey 205 is ink and 206 paper in the 1-bit copy, whatever the grey flag says.
TEST_F(RasterPdfWriterTest, MonochromeThresholdSeenByAnIndependentRenderer) {
  const QString source = path("grey.pdf");
  {
    QPdfWriter writer(source);
    writer.setResolution(72);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setPageSize(QPageSize(QSizeF(144, 72), QPageSize::Point));
    QPainter painter(&writer);
    painter.fillRect(QRectF(0, 0, 72, 72), QColor(205, 205, 205));
    painter.fillRect(QRectF(72, 0, 72, 72), QColor(206, 206, 206));
  }
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  const QString plain = path("mono.pdf");
  const QString grey = path("mono-grey.pdf");
  ASSERT_TRUE(doc.compressTo(plain, options(72, 55, false, true)));
  ASSERT_TRUE(doc.compressTo(grey, options(72, 55, true, true)));
  QFile a(plain), b(grey);
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  EXPECT_EQ(a.readAll(), b.readAll());

  ASSERT_EQ(runTool("pdftoppm", {"-r", "72", "-png", "-singlefile", plain, path("mono")}), 0);
  const QImage rendered(path("mono.png"));
  ASSERT_EQ(rendered.size(), QSize(144, 72));
  EXPECT_EQ(qGray(rendered.pixel(36, 36)), 0);
  EXPECT_EQ(qGray(rendered.pixel(108, 36)), 255);
}

TEST_F(RasterPdfWriterTest, FailuresKeepAnExistingTargetAndExplainWhy) {
  // /Count promises three pages, but only the first exists.
  const QString broken = path("broken.pdf");
  ASSERT_TRUE(handwritten::writePdf(broken, {"<< /Type /Catalog /Pages 2 0 R >>",
                                             "<< /Type /Pages /Kids [ 3 0 R ] /Count 3 >>",
                                             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] >>"}));
  const QString target = path("target.pdf");
  const QByteArray previous = "previous contents of the target";
  {
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(previous), previous.size());
  }

  PdfDocument doc;
  ASSERT_TRUE(doc.open(broken));
  ASSERT_EQ(doc.pageCount(), 3);
  EXPECT_FALSE(doc.compressTo(target, options(72, 50)));
  EXPECT_EQ(doc.lastError(), QStringLiteral("Не удалось отрисовать страницу 2."));
  bool sampled = true;
  EXPECT_EQ(doc.estimateCompressedSize(options(72, 50), &sampled), -1);
  EXPECT_EQ(doc.lastError(), QStringLiteral("Не удалось отрисовать страницу 2."));
  EXPECT_FALSE(sampled);

  PdfDocument::CompressionOptions inPlace = options(72, 50);
  inPlace.rasterizePages = false;
  EXPECT_FALSE(doc.compressTo(target, inPlace));
  EXPECT_FALSE(doc.lastError().isEmpty());

  const QString good = path("good.pdf");
  ASSERT_TRUE(writePdf(good, {{"fine"}}));
  ASSERT_TRUE(doc.open(good));
  EXPECT_FALSE(doc.compressTo(path("no/such/folder/out.pdf"), options(72, 50)));
  EXPECT_FALSE(doc.lastError().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(path("no")));

  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), previous);
  // No temporary file is left behind either.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);

  PdfDocument none;
  EXPECT_FALSE(none.compressTo(target, options(72, 50)));
  EXPECT_EQ(none.lastError(), QStringLiteral("Нет открытого документа."));
  EXPECT_EQ(none.estimateCompressedSize(options(72, 50), nullptr), -1);
  const PdfDocument::CompressionEstimate nothing = none.estimateMinimumCompressedSize();
  EXPECT_EQ(nothing.bytes, -1);
  EXPECT_TRUE(nothing.label.isEmpty());
  EXPECT_EQ(nothing.options.imageDpi, 150);
  EXPECT_TRUE(nothing.options.rasterizePages);
  EXPECT_FALSE(nothing.sampled);
}

// The open file itself may be the target: it is replaced whole, and the
// document, read into memory, keeps working.
TEST_F(RasterPdfWriterTest, CompressingOntoTheOpenFileReplacesItWhole) {
  const QString source = path("self.pdf");
  ASSERT_TRUE(writePdf(source, {{"self", true}, {"two"}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  ASSERT_TRUE(doc.compressTo(source, options(50, 40)));
  EXPECT_EQ(runTool("qpdf", {"--check", source}), 0);
  EXPECT_EQ(listPdfImages(source).size(), 2);
  EXPECT_FALSE(doc.renderPage(1, 0.5, 0).isNull());
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST_F(RasterPdfWriterTest, MinimumPresetIsTheSmallestOfTheFourForecasts) {
  const QString source = path("shapes.pdf");
  ASSERT_TRUE(writePdf(source, {{"Preset check", true}, {QString(), true}}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  const PdfDocument::CompressionEstimate best = doc.estimateMinimumCompressedSize();
  const struct {
    const char* label;
    int dpi, quality;
    bool mono;
  } presets[] = {{"рекомендуемое сжатие, 150 dpi", 150, 55, false},
                 {"экстремальное сжатие, 72 dpi", 72, 28, false},
                 {"монохром, 150 dpi", 150, 55, true},
                 {"монохром, 72 dpi", 72, 35, true}};
  qint64 smallest = -1;
  QString label;
  for (const auto& p : presets) {
    const qint64 bytes = doc.estimateCompressedSize(options(p.dpi, p.quality, false, p.mono), nullptr);
    ASSERT_GT(bytes, 0);
    if (smallest < 0 || bytes < smallest) {
      smallest = bytes;
      label = QString::fromUtf8(p.label);
    }
  }
  EXPECT_EQ(best.bytes, smallest);
  EXPECT_EQ(best.label, label);
  EXPECT_FALSE(best.sampled);
  EXPECT_TRUE(best.options.rasterizePages);

  // The in-place branch is not forecast: the saved file's size stands for it.
  PdfDocument::CompressionOptions inPlace;
  inPlace.rasterizePages = false;
  bool sampled = true;
  EXPECT_EQ(doc.estimateCompressedSize(inPlace, &sampled), QFileInfo(source).size());
  EXPECT_FALSE(sampled);
  PdfDocument unsaved;
  ASSERT_TRUE(unsaved.createEmpty());
  EXPECT_EQ(unsaved.estimateCompressedSize(inPlace, nullptr), -1);
  EXPECT_TRUE(unsaved.lastError().isEmpty());
}

// A real manual of some 300 pages: seven sample pages forecast the whole.
TEST_F(RasterPdfWriterTest, SampledForecastOfARealManualIsClose) {
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (!QFileInfo::exists(manual)) GTEST_SKIP() << "gnuplot-doc is not installed";
  PdfDocument doc;
  ASSERT_TRUE(doc.open(manual));
  ASSERT_GT(doc.pageCount(), 250);
  const PdfDocument::CompressionOptions extreme = options(36, 28);
  bool sampled = false;
  const qint64 forecast = doc.estimateCompressedSize(extreme, &sampled);
  EXPECT_TRUE(sampled);
  ASSERT_TRUE(doc.compressTo(path("manual.pdf"), extreme));
  const qint64 size = QFileInfo(path("manual.pdf")).size();
  EXPECT_LT(std::abs(double(forecast - size)) / double(size), 0.15) << forecast << " vs " << size;
  EXPECT_EQ(listPdfImages(path("manual.pdf")).size(), doc.pageCount());
}
