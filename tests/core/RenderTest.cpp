#include "TestSupport.h"
#include "core/HandWrittenPdf.h"
#include "core/PageImageRules.h"
#include "core/PageRenderCost.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"

#include <gtest/gtest.h>

#include <ctime>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <thread>

#include <sys/resource.h>

using namespace testsupport;

namespace {

bool allPixels(const QImage& image, QRgb value) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != value) return false;
  return true;
}

class RenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    mixed = dir.filePath("mixed.pdf");
    ASSERT_TRUE(writePdf(mixed, {{"Render check: текст и графика", true},
                                 {"Text only page\nsecond line"},
                                 {QString(), true}}));
    ASSERT_TRUE(doc.open(mixed));
    tiny = dir.filePath("tiny.pdf");
    QFile file(tiny);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Written by hand: PDF writers refuse a page this small.
    file.write("%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
               "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
               "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 0.3 0.3]>>endobj\n"
               "trailer<</Root 1 0 R>>\n%%EOF\n");
  }
  QTemporaryDir dir;
  QString mixed;
  QString tiny;
  PdfDocument doc;
};

}  // namespace

TEST_F(RenderTest, MatchesPdftoppmAt150Dpi) {
  const QString prefix = dir.filePath("ref");
  ASSERT_EQ(runTool("pdftoppm", {"-r", "150", "-f", "1", "-l", "1", "-png", "-singlefile", mixed, prefix}), 0);
  const QImage reference(prefix + ".png");
  ASSERT_FALSE(reference.isNull());
  const QImage ours = doc.renderPage(0, 150.0 / 72.0, 0);
  ASSERT_LE(std::abs(ours.width() - reference.width()), 1);
  ASSERT_LE(std::abs(ours.height() - reference.height()), 1);
  const QSize common = ours.size().boundedTo(reference.size());
  const double difference =
      meanChannelDifference(ours.copy(QRect(QPoint(), common)), reference.copy(QRect(QPoint(), common)));
  EXPECT_LT(difference, 3.0);
  // Not blank: the comparison would pass trivially on two white pages.
  EXPECT_FALSE(allPixels(ours, qRgb(255, 255, 255)));
}

TEST_F(RenderTest, LayersSplitTextFromTheRestAndLeaveTheDocumentUnchanged) {
  const QImage fullBefore = doc.renderPage(1, 1.0, 0);
  EXPECT_FALSE(allPixels(fullBefore, qRgb(255, 255, 255)));
  EXPECT_TRUE(allPixels(doc.renderPageLayer(1, 1.0, 0, PdfRenderLayer::NoText, false), qRgb(255, 255, 255)));
  EXPECT_EQ(doc.renderPage(1, 1.0, 0), fullBefore);

  // A page with shapes and no text: NoText equals Full, TextOnly is empty.
  const QImage shapes = doc.renderPage(2, 1.0, 0);
  EXPECT_EQ(doc.renderPageLayer(2, 1.0, 0, PdfRenderLayer::NoText, false), shapes);
  EXPECT_TRUE(allPixels(doc.renderPageLayer(2, 1.0, 0, PdfRenderLayer::TextOnly, false), qRgb(255, 255, 255)));
  EXPECT_TRUE(allPixels(doc.renderPageLayer(2, 1.0, 0, PdfRenderLayer::TextOnly, true), qRgba(0, 0, 0, 0)));

  // Text and shapes: the two layers together cover what Full shows.
  const QImage text = doc.renderPageLayer(0, 1.0, 0, PdfRenderLayer::TextOnly, false);
  const QImage rest = doc.renderPageLayer(0, 1.0, 0, PdfRenderLayer::NoText, false);
  EXPECT_FALSE(allPixels(text, qRgb(255, 255, 255)));
  EXPECT_NE(rest, doc.renderPage(0, 1.0, 0));
}

TEST_F(RenderTest, RotationIsReducedToQuarterTurns) {
  const QImage r270 = doc.renderPage(0, 0.5, 270);
  EXPECT_EQ(r270.size(), QSize(421, 298));
  EXPECT_EQ(doc.renderPage(0, 0.5, -90), r270);
  const QImage r90 = doc.renderPage(0, 0.5, 90);
  EXPECT_EQ(doc.renderPage(0, 0.5, 450), r90);
  EXPECT_EQ(doc.renderPage(0, 0.5, 100), r90);
  EXPECT_NE(r90, r270);
}

TEST_F(RenderTest, SizesAndBadArguments) {
  PdfDocument small;
  ASSERT_TRUE(small.open(tiny));
  EXPECT_EQ(small.renderPage(0, 1.0, 0).size(), QSize(1, 1));
  EXPECT_EQ(doc.renderPage(0, 0.0, 0).size(), QSize(1, 1));
  EXPECT_TRUE(doc.renderPage(3, 1.0, 0).isNull());
  EXPECT_TRUE(doc.renderPage(-1, 1.0, 0).isNull());

  const QImage region = doc.renderPageRegion(0, 2.0, QRectF(60, 842 - 520, 200, 120));
  ASSERT_EQ(region.size(), QSize(400, 240));
  EXPECT_EQ(region.pixelColor(200, 120), QColor(30, 90, 200));
  EXPECT_TRUE(doc.renderPageRegion(0, 1.0, QRectF(-500, -500, 10, 10)).isNull());
}

// Saved graphics states are counted before pdfium loads a page: nesting
// past the bound, on the page or through the forms it draws, refuses the
// page; "q"s that are balanced, or only letters of a string, a comment or
// an inline image's data, count for nothing; the other pages load as always.
TEST_F(RenderTest, PagesNestingTooManySavedStatesAreRefusedBeforeLoading) {
  const QByteArray text = "BT /F1 12 Tf 72 700 Td (still here) Tj ET\n";
  const QList<QByteArray> contents = {
      QByteArray("q Q\n").repeated(30000) + text,
      "BT /F1 12 Tf 72 700 Td (" + QByteArray("q ").repeated(20000) + ") Tj ET\n% " + QByteArray("q ").repeated(20000) +
          "\nq BI /W 20000 /H 1 /BPC 8 /CS /G ID " + QByteArray("q\n").repeated(10000) + "EI Q\n" + text,
      QByteArray("q\n").repeated(6000) + "/Half Do\n" + text,  // 6,000 + 6,000 in the form
      "/Deep Do\n" + text,
      text,
      QByteArray("q\n").repeated(9999) + text,
      QByteArray("q\n").repeated(10000) + text,
      "/D#65ep Do\n" + text,
      "/" + QByteArray(200, 'L') + " Do\n" + text,
      "ID\n" + QByteArray("q\n").repeated(10000) + text,
      // A form without resources of its own draws what each page lends it.
      "/Lean Do\n" + text,
      "/Lean Do\n" + text};
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                         handwritten::stream(QByteArray("q ").repeated(10001), "/Type /XObject /Subtype /Form /BBox [0 0 9 9]"),
                         handwritten::stream(QByteArray("q ").repeated(6000), "/Type /XObject /Subtype /Form /BBox [0 0 9 9]"),
                         handwritten::stream("/Inner Do\n", "/Type /XObject /Subtype /Form /BBox [0 0 9 9]")};
  QString kids;
  for (const QByteArray& content : contents) {
    objects << handwritten::stream(content);
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %1 0 R /Resources << "
                              "/Font << /F1 3 0 R >> /XObject << /Deep 4 0 R /Half 5 0 R /%2 4 0 R /Lean 6 0 R "
                              "/Inner %3 0 R >> >> >>")
                   .arg(objects.size())
                   .arg(QString(200, 'L'))
                   .arg(&content == &contents[contents.size() - 2] ? 5 : 4);
    kids += QStringLiteral("%1 0 R ").arg(objects.size());
  }
  objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids).arg(contents.size());
  const QString path = dir.filePath("states.pdf");
  ASSERT_TRUE(handwritten::writePdf(path, objects));
  PdfDocument states;
  ASSERT_TRUE(states.open(path));
  for (int page = 0; page < contents.size(); ++page) {
    const bool refused = page == 2 || page == 3 || (page >= 6 && page != contents.size() - 2);
    EXPECT_EQ(states.renderPage(page, 0.5, 0).isNull(), refused) << page;
    EXPECT_EQ(states.isPageRefused(page), refused) << page;
    EXPECT_EQ(states.extractAllText(page).contains("still here"), !refused) << page;
  }
}

// Filled-in fields (NeedAppearances in opt_demo) in the view's render and a raster copy.
TEST(FormFieldRender, FieldsCarryTheInkPopplerDraws) {
  QTemporaryDir dir;
  for (const char* name : {"bug1669099.pdf", "issue15096.pdf", "issue16553.pdf", "opt_demo.pdf"}) {
    const QString file = QFileInfo(corpusDir()).dir().filePath(QStringLiteral("form-pdfs/") + name);
    PdfDocument doc;
    ASSERT_TRUE(doc.open(file) && doc.compressTo(dir.filePath("raster.pdf"), {}));
    const auto ink = [&](const QImage& page) { return oracles::fieldInk(page, file, doc.pageSize(0).height(), 150); };
    const double poppler = std::max(ink(oracles::renderWithPoppler(file, 0, 150)), 200.0);
    EXPECT_GE(ink(doc.renderPage(0, 150 / 72.0, 0)), 0.9 * poppler) << name;
    EXPECT_GE(ink(oracles::renderWithPoppler(dir.filePath("raster.pdf"), 0, 150)), 0.8 * poppler) << name;
  }
}

namespace {

QByteArray flate(const QByteArray& data) { return qCompress(data, 1).mid(4); }

// What a process that opens `path` (and imports `import` with `password`)
// and then renders and reads every page reports: "page N refused R text T"
// lines, and the peak memory of it and of its page check worker.
// With `scales`, every page is also rendered at each: "page N scale S drawn D ms T".
QByteArray loadEveryPageInChild(const QString& path, const QString& import = {}, const QString& password = {},
                                const QString& scales = {}) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("ULVO_BOUNDS_OPEN", path);
  environment.insert("ULVO_BOUNDS_IMPORT", import);
  environment.insert("ULVO_BOUNDS_PASSWORD", password);
  environment.insert("ULVO_BOUNDS_SCALES", scales);
  child.setProcessEnvironment(environment);
  child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=RenderTest.ChildLoadsEveryPage"});
  if (!child.waitForFinished(600000)) child.kill();
  child.waitForFinished();
  return child.readAllStandardOutput();
}

}  // namespace

// The other half of loadEveryPageInChild; skipped in an ordinary run.
TEST_F(RenderTest, ChildLoadsEveryPage) {
  const QString path = qEnvironmentVariable("ULVO_BOUNDS_OPEN");
  if (path.isEmpty()) GTEST_SKIP();
  PdfDocument loaded;
  ASSERT_TRUE(loaded.open(path));
  const QString import = qEnvironmentVariable("ULVO_BOUNDS_IMPORT");
  if (!import.isEmpty()) {
    ASSERT_TRUE(loaded.importDocument(import, qEnvironmentVariable("ULVO_BOUNDS_PASSWORD").toUtf8()));
  }
  const double openMb = peakResidentMb("VmRSS");
  for (int page = 0; page < loaded.pageCount(); ++page) {
    QElapsedTimer clock;
    clock.start();
    loaded.renderPage(page, 1.0, 0);
    const bool text = loaded.extractAllText(page).contains("still here");
    std::printf("page %d refused %d text %d ms %lld\n", page, int(loaded.isPageRefused(page)), int(text),
                clock.elapsed());
    // Processor time, as the render bound counts it: a busy machine stretches the clock, not the work.
    const auto processorMs = [] {
      timespec now{};
      clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
      return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
    };
    for (const QString& scale : qEnvironmentVariable("ULVO_BOUNDS_SCALES").split(',', Qt::SkipEmptyParts)) {
      const long long from = processorMs();
      const bool drawn = !loaded.renderPage(page, scale.toDouble(), 0).isNull();
      std::printf("page %d scale %.2f drawn %d ms %lld\n", page, scale.toDouble(), int(drawn), processorMs() - from);
      std::fflush(stdout);
    }
  }
  loaded.close();
  rusage worker{};
  getrusage(RUSAGE_CHILDREN, &worker);
  std::printf("peak_mb %.0f worker_peak_mb %.0f open_mb %.0f\n", peakResidentMb(), worker.ru_maxrss / 1024.0, openMb);
}

// Pages that ask pdfium for gigabytes or hours in ways no count of their
// content foresees (a form drawing itself, one form drawn thousands of times,
// millions of paths under the byte bound, states hidden behind inline data,
// forms drawn by a glyph procedure or a soft mask, a page tree that loops, a bomb imported from a locked file) are refused
// within the bounds; 99,000 fields pdfium would file as siblings cost no page its check (their form is refused
// first), and a source whose worker checks nothing has every page refused; the document's other pages work, and neither the
// process nor its page check worker passes its memory bound.
TEST_F(RenderTest, PagesThatWouldExhaustPdfiumAreRefusedWithinBounds) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the worker's address-space bound is measured without the sanitizer's shadow";
#endif
  const QByteArray text = "BT /F1 12 Tf 72 700 Td (still here) Tj ET\n";
  const QByteArray form = "/Type /XObject /Subtype /Form /BBox [0 0 9 9] ";
  const QString font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  const QString selfDrawing = handwritten::stream("/Self Do /Self Do\n", form + "/Resources << /XObject << /Self 4 0 R >> >>");
  QStringList objects = {
      "<< /Type /Catalog /Pages 2 0 R >>", "", font, selfDrawing,
      handwritten::stream(flate(QByteArray("0 0 1 1 re f\n").repeated(20000)), form + "/Filter /FlateDecode"),
      handwritten::stream(flate("BT /F1 1 Tf " + QByteArray("(abcdefghij) Tj ").repeated(5000) + "ET\n"),
                          form + "/Filter /FlateDecode /Resources << /Font << /F1 3 0 R >> >>")};
  // Streams shared by the pages' content arrays, so that hundreds of
  // megabytes of content cost the test a few.
  const auto add = [&objects](const QByteArray& content) {
    objects << handwritten::stream(flate(content), "/Filter /FlateDecode");
    return QStringLiteral("%1 0 R ").arg(objects.size());
  };
  const QString said = add(text), rects = add(QByteArray("0 0 1 1 re f\n").repeated(100000)),
                states = add(QByteArray("q ").repeated(1000000)), blanks = add(QByteArray(1 << 20, ' '));
  // A glyph procedure and a soft mask that draw the self-drawing form.
  objects << handwritten::stream("10 0 0 0 10 10 d1 /Self Do\n");
  objects << QStringLiteral("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 10 10] /FontMatrix [0.1 0 0 0.1 0 0] "
                            "/CharProcs << /a %1 0 R >> /Encoding << /Differences [97 /a] >> /FirstChar 97 /LastChar 97 "
                            "/Widths [10] /Resources << /XObject << /Self 4 0 R >> >> >>").arg(objects.size());
  const int glyphFont = int(objects.size());
  objects << "<< /Type /ExtGState /SMask << /Type /Mask /S /Luminosity /G 4 0 R >> >>";
  const int softMask = int(objects.size());
  const QStringList contents = {
      said,
      add("BT /T3 12 Tf 72 600 Td (a) Tj ET\n") + said,
      add("/Masked gs 0 0 100 100 re f\n") + said,
      add("/Self Do\n") + said,
      add(QByteArray("/Rects Do\n").repeated(5000)) + said,
      rects.repeated(150) + said,  // 15 M paths in 195 MB, under the byte bound
      add("BI /W 8 /H 1 /BPC 8 /CS /G ID x EI (xx\nEI\n") + states.repeated(20) + said,
      add(QByteArray("/Words Do\n").repeated(2000)) + said,
      blanks.repeated(300) + said};
  QString kids;
  for (const QString& content : contents) {
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents [%1] /Resources << "
                              "/Font << /F1 3 0 R /T3 %2 0 R >> /ExtGState << /Masked %3 0 R >> "
                              "/XObject << /Self 4 0 R /Rects 5 0 R /Words 6 0 R >> >> >>")
                   .arg(content)
                   .arg(glyphFont)
                   .arg(softMask);
    kids += QStringLiteral("%1 0 R ").arg(objects.size());
  }
  objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids).arg(contents.size());
  const QString review = dir.filePath("review.pdf");
  ASSERT_TRUE(handwritten::writePdf(review, objects));

  // A tree whose node is its own kid, around a page drawing itself.
  const QString loop = dir.filePath("loop.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      loop, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5 0 R 2 0 R 7 0 R] /Count 3 >>", font,
             selfDrawing, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 6 0 R /Resources << "
             "/XObject << /Self 4 0 R >> >> >>", handwritten::stream("/Self Do\n"),
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 8 0 R /Resources << /Font << /F1 3 0 R >> >> >>",
             handwritten::stream(text)}));
  // The same bomb behind a password, imported after a page of text.
  const QString host = dir.filePath("host.pdf"), open = dir.filePath("open.pdf"), locked = dir.filePath("locked.pdf");
  ASSERT_TRUE(writePdf(host, {{"still here"}}));
  ASSERT_TRUE(handwritten::writePdf(open, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [5 0 R] /Count 1 >>",
                                           font, selfDrawing, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] "
                                           "/Contents 6 0 R /Resources << /XObject << /Self 4 0 R >> >> >>",
                                           handwritten::stream("/Self Do\n")}));
  ASSERT_EQ(runTool("qpdf", {"--encrypt", "secret", "owner", "256", "--", open, locked}), 0);
  // 99,000 fields, 100 to a parent without a name, in object streams: on a
  // page of text (drawn, without its fields), on a page drawing itself, and
  // behind a password too long for the worker, which then checks nothing.
  const QString tree = dir.filePath("tree.pdf"), selfTree = dir.filePath("self.pdf"), treeLocked = dir.filePath("tl.pdf");
  using enum handwritten::CostlyPage;
  ASSERT_TRUE(handwritten::writeCostlyPages(tree, {NamelessParentFields}) &&
              handwritten::writeCostlyPages(selfTree, {NamelessParentFieldsOnSelfDrawingPage, Text}));
  for (const QString& file : {tree, selfTree}) ASSERT_EQ(runTool("qpdf", {"--object-streams=generate", "--replace-input", file}), 0);
  // A 128-bit key takes the first 32 bytes of a password.
  ASSERT_EQ(runTool("qpdf", {"--encrypt", QString(32, 'k'), "owner", "128", "--use-aes=y", "--", tree, treeLocked}), 0);

  struct Run {
    QByteArray out;
    QList<int> refused;
    int said;  // the page of text
  };
  const Run runs[] = {{loadEveryPageInChild(review), {1, 2, 3, 4, 5, 6, 7, 8}, 0},
                      {loadEveryPageInChild(loop), {0}, 1},
                      {loadEveryPageInChild(host, locked, "secret"), {1}, 0},
                      {loadEveryPageInChild(tree), {}, 0},
                      {loadEveryPageInChild(selfTree), {0}, 1},
                      {loadEveryPageInChild(host, treeLocked, QString(4200, 'k')), {1}, 0}};
  for (const Run& run : runs) {
    std::printf("%s", run.out.constData());
    const QList<QByteArray> lines = run.out.split('\n');
    int pages = 0;
    for (const QByteArray& line : lines) {
      int page = -1, refused = -1, withText = -1;
      if (std::sscanf(line.constData(), "page %d refused %d text %d", &page, &refused, &withText) != 3) continue;
      ++pages;
      EXPECT_EQ(refused, int(run.refused.contains(page))) << page << run.out.constData();
      EXPECT_EQ(withText, int(page == run.said)) << page;
    }
    EXPECT_GE(pages, run.refused.size() + 1) << run.out.constData();
    double peak = -1, workerPeak = -1;
    for (const QByteArray& line : lines)
      std::sscanf(line.constData(), "peak_mb %lf worker_peak_mb %lf", &peak, &workerPeak);
    EXPECT_GT(peak, 0) << run.out.constData();
    EXPECT_LT(peak, 800) << "MB";
    EXPECT_LT(workerPeak, 1300) << "MB";
  }
}

// Drawn within the bounds or refused at 36 to 600 dpi: fields drawing a self-drawing form or 100 M and 15 M
// rectangles, 38 nested transparency groups on A4 and on a poster, 400,000 page fills, six pages drawing
// one stream the check cannot finish, refused together, and a widget of no field drawing 15 M rectangles;
// and, in a document of their own, 60,000 fields without appearances (the form shown without its fields)
// and a field of 4,000,000 characters.
TEST_F(RenderTest, TheReviewPagesAreDrawnWithinBoundsOrRefusedAtEveryScale) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "memory is measured without the sanitizer's shadow";
#endif
  using enum handwritten::CostlyPage;
  const QString review = dir.filePath("review.pdf");
  ASSERT_TRUE(handwritten::writeCostlyPages(review, {Text, SelfDrawingField, HundredMillionRectsField,
      FifteenMillionRectsField, Groups, PosterGroups, Fills, SharedSlowFills, SharedSlowFills, SharedSlowFills,
      SharedSlowFills, SharedSlowFills, SharedSlowFills, FifteenMillionRectsUnnamedWidget}));
  const QString fields = dir.filePath("fields.pdf");
  ASSERT_TRUE(handwritten::writeCostlyPages(fields, {Text, BareFields, LongValueField}));

  const QByteArray out = loadEveryPageInChild(review, {}, {}, "0.5,2,4.1667,8.3333") +
                         loadEveryPageInChild(fields, {}, {}, "0.5,2,4.1667,8.3333");
  std::printf("%s", out.constData());
  long long slowMs = 0, lines = 0, n = -1, refused = -1, text = -1, drawn = -1, ms = -1, runs = 0;
  double scale = 0, peak = -1, workerPeak = -1, opened = -1;
  for (const QByteArray& line : out.split('\n')) {
    if (std::sscanf(line.constData(), "page %lld refused %lld text %lld ms %lld", &n, &refused, &text, &ms) == 4) {
      runs += n == 0;
      ++lines;
      // The field drawing a self-drawing form and the slow pages are refused.
      EXPECT_TRUE(runs > 1 || (n > 1 && n < 7) || refused == (n != 0)) << n;
      slowMs += runs == 1 && n >= 7 ? ms : 0;
    } else if (std::sscanf(line.constData(), "page %lld scale %lf drawn %lld ms %lld", &n, &scale, &drawn, &ms) == 4) {
      EXPECT_LT(ms, 20000) << line.constData();
      EXPECT_TRUE(n != 0 || drawn) << scale;
    }
    if (std::sscanf(line.constData(), "peak_mb %lf worker_peak_mb %lf open_mb %lf", &peak, &workerPeak, &opened) == 3) {
      EXPECT_LT(peak - opened, 1024) << "MB";
    }
  }
  EXPECT_EQ(lines, 17) << out.constData();
  // The first slow page runs out the bound; the others draw what it drew.
  EXPECT_LT(slowMs, 40000);
  EXPECT_GT(opened, 0) << out.constData();
}

namespace {

// Pages in order, each text (0), a form drawing itself twice (1) or 100,000
// page fills, a check of seconds (2).
QString pagesFile(const QString& path, const QList<int>& kinds) {
  QStringList objects = {"<< /Type /Catalog /Pages 2 0 R >>", "", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
                         handwritten::stream("/Self Do /Self Do\n", "/Type /XObject /Subtype /Form /BBox [0 0 9 9] "
                                                                    "/Resources << /XObject << /Self 4 0 R >> >>"),
                         handwritten::stream("BT /F1 12 Tf 72 700 Td (still here) Tj ET\n"), handwritten::stream("/Self Do\n"),
                         handwritten::stream(flate(QByteArray("0 0 595 842 re f\n").repeated(100000)), "/Filter /FlateDecode")};
  QStringList kids;
  for (int kind : kinds) {
    objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents %1 0 R /Resources << "
                              "/Font << /F1 3 0 R >> /XObject << /Self 4 0 R >> >> >>").arg(5 + kind);
    kids << QStringLiteral("%1 0 R").arg(objects.size());
  }
  objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids.join(' ')).arg(kids.size());
  return handwritten::writePdf(path, objects) ? path : QString();
}

}  // namespace

// Each page's verdict is its own: a page asked for long after the worker
// started has its own check's time; a worker dying on a page it checks ahead
// refuses that page, not the one asked for; pages imported by index are
// checked as themselves; an inserted blank page moves the verdicts behind it.
TEST_F(RenderTest, PageChecksFollowEachPage) {
  // A worker started by a thread that then ends checks on: its page of
  // seconds is not refused as if the worker had died on it.
  PdfDocument started;
  std::thread([&] {
    ASSERT_TRUE(started.open(pagesFile(dir.filePath("started.pdf"), {0, 0, 2})));
    EXPECT_FALSE(started.renderPage(0, 0.5, 0).isNull());
  }).join();
  EXPECT_FALSE(started.renderPage(2, 0.5, 0).isNull());
  EXPECT_FALSE(started.isPageRefused(2));

  PdfDocument idle, ahead, host, blank;
  ASSERT_TRUE(idle.open(pagesFile(dir.filePath("idle.pdf"), {0, 0, 0, 0, 0, 0, 2})));
  QElapsedTimer sinceOpen;
  sinceOpen.start();

  ASSERT_TRUE(ahead.open(pagesFile(dir.filePath("ahead.pdf"), {1, 0, 0})));
  QThread::msleep(1000);  // the worker is on the first page by now
  EXPECT_FALSE(ahead.renderPage(2, 0.5, 0).isNull());
  EXPECT_TRUE(ahead.renderPage(0, 0.5, 0).isNull() && ahead.isPageRefused(0));

  ASSERT_TRUE(host.open(pagesFile(dir.filePath("host.pdf"), {0})));
  const QString source = pagesFile(dir.filePath("source.pdf"), {0, 0, 1});
  ASSERT_TRUE(host.appendPage(source, 2) && host.appendPage(source, 0));
  EXPECT_TRUE(host.renderPage(1, 0.5, 0).isNull());
  EXPECT_FALSE(host.renderPage(2, 0.5, 0).isNull());

  ASSERT_TRUE(blank.open(pagesFile(dir.filePath("blank.pdf"), {0, 1})));
  EXPECT_TRUE(blank.renderPage(1, 0.5, 0).isNull());
  ASSERT_TRUE(blank.insertBlankPage(0, QSizeF(595, 842)));
  EXPECT_TRUE(blank.isPageRefused(2));
  EXPECT_FALSE(blank.renderPage(0, 0.5, 0).isNull());

  // A document of 200 MB: its worker's pages still have the whole memory
  // bound beyond what the document takes open (as the kernel keeps it).
  const QString bigPath = pagesFile(dir.filePath("big.pdf"), {0});
  {
    QFile big(bigPath);
    ASSERT_TRUE(big.open(QIODevice::ReadWrite));
    const QByteArray head = big.readAll();
    const QByteArray prev = head.mid(head.lastIndexOf("startxref") + 9).trimmed().split('\n').first();
    const QByteArray size = head.mid(head.lastIndexOf("/Size") + 5).trimmed().split(' ').first();
    for (int i = 0; i < 200 * 1024; ++i) big.write('%' + QByteArray(1022, 'x') + '\n');
    const QByteArray xref = QByteArray::number(big.pos());
    big.write("xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size " + size + " /Root 1 0 R /Prev " + prev +
              " >>\nstartxref\n" + xref + "\n%%EOF\n");
  }
  PdfDocument big;
  ASSERT_TRUE(big.open(bigPath));
  EXPECT_FALSE(big.renderPage(0, 0.5, 0).isNull());
  // The big document's worker is given the largest bound; another may be
  // drawing at its own, nearer its bound (a busy machine keeps it longer).
  double limitMb = -1, openMb = -1;
  for (const QFileInfo& process : QDir("/proc").entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile stat(process.filePath() + "/stat"), limits(process.filePath() + "/limits"), status(process.filePath() + "/status");
    if (!stat.open(QIODevice::ReadOnly) || !limits.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) continue;
    const QByteArray said = stat.readAll();
    if (said.mid(said.lastIndexOf(')') + 2).split(' ').value(1).toLongLong() != getpid()) continue;
    double limit = -1, size = -1;
    for (const QByteArray& line : limits.readAll().split('\n'))
      if (line.startsWith("Max address space")) limit = line.simplified().split(' ').value(3).toDouble() / (1 << 20);
    for (const QByteArray& line : status.readAll().split('\n'))
      if (line.startsWith("VmSize:")) size = line.simplified().split(' ').value(1).toDouble() / 1024;
    if (limit > limitMb) std::tie(limitMb, openMb) = std::pair(limit, size);
  }
  EXPECT_GT(openMb, 200);
  EXPECT_GT(limitMb - openMb, 900) << "of " << limitMb << " MB, the open document takes " << openMb;

  // A check of seconds begun near the time bound since the worker started
  // (the page was not checked ahead), by an edit's read of the page; the
  // document is not locked meanwhile.
  QThread::msleep(std::max<qint64>(0, 13500 - sinceOpen.elapsed()));
  std::atomic<bool> checked{false};
  std::thread edit([&] {
    idle.extractText(6);
    checked = true;
  });
  QThread::msleep(300);
  idle.outline();
  EXPECT_FALSE(checked) << "the document was locked while a page was checked";
  edit.join();
  EXPECT_FALSE(idle.isPageRefused(6));
}

TEST(PageImageRules, UsableImageRectangles) {
  const QSizeF a4(595, 842);
  struct Case {
    QRectF rect;
    bool usable;
  };
  const Case cases[] = {
      {{0, 0, 3, 50}, false},    {{0, 0, 100, 4}, true},    {{0, 0, 200, 5}, false},
      {{0, 0, 560, 560}, false}, {{0, 0, 120, 80}, true},   {{0, 0, 0, 10}, false},
      {{0, 0, 520, 730}, false}, {{0, 0, 4, 100}, true},
  };
  for (const Case& c : cases) EXPECT_EQ(isUsablePageImageRect(c.rect, a4), c.usable) << c.rect.width();
}

// A widget with an appearance is drawn whatever its field tree, as poppler
// draws it: a catalog without a form, a field naming itself as its parent,
// a form of exactly 100,000 fields, a field 65 levels deep, a widget with
// neither a name nor a type; one field more or one level deeper is a hostile
// tree, shown without its fields. No field is tinted as fillable.
TEST(FormFieldRender, WidgetsAreDrawnWhateverTheirTreeWithinItsBounds) {
  QTemporaryDir dir;
  const auto chain = [](int levels) {
    QString fields = "[4 0 R]";
    for (int i = 0; i < levels; ++i) fields = QStringLiteral("[<< /T (f%1) /Kids %2 >>]").arg(i).arg(fields);
    return "/AcroForm << /Fields " + fields + " >>";
  };
  const QString many = "/AcroForm << /Fields [4 0 R" + QString(" <<>>").repeated(99999);
  const QString named = "/FT /Tx /T (name) ";
  const struct { QString form, parent, own; bool drawn; } cases[] = {{"", "4 0 R", named, true},
      {many + "] >>", "null", named, true}, {many + " <<>>] >>", "null", named, false},
      {chain(64), "null", named, true}, {chain(65), "null", named, false}, {"", "null", "", true}};
  for (const auto& c : cases) {
    const QString path = dir.filePath("widget.pdf");
    ASSERT_TRUE(handwritten::writePdf(path, {"<< /Type /Catalog /Pages 2 0 R " + c.form + " >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] "
        "/Annots [4 0 R 5 0 R] >>", "<< /Type /Annot /Subtype /Widget " + c.own + "/V (SUVOROV) /Rect [40 80 260 120] "
        "/F 4 /AP << /N 6 0 R >> /Parent " + c.parent + " >>", "<< /Type /Annot /Subtype /Widget /FT /Tx "
        "/T (empty) /Rect [40 180 260 220] /F 4 >>", handwritten::stream("BT /Helv 24 Tf 5 10 Td (SUVOROV) Tj ET",
        "/Subtype /Form /BBox [0 0 220 40] /Resources << /Font << /Helv 7 0 R >> >>"),
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}));
    PdfDocument doc;
    ASSERT_TRUE(doc.open(path));
    const QImage ours = doc.renderPage(0, 1.0, 0);
    const int poppler = oracles::inkIn(oracles::renderWithPoppler(path, 0, 72), {40, 80, 220, 40}, 300, 72);
    ASSERT_GT(poppler, 100);
    EXPECT_EQ(oracles::inkIn(ours, {40, 80, 220, 40}, 300, 72) >= 0.8 * poppler, c.drawn) << c.form.size() << c.own.size();
    EXPECT_TRUE(allPixels(ours.copy(40, 80, 220, 40), qRgb(255, 255, 255))) << "an empty field was tinted";
  }
}

// The check measured one drawing of a page; a larger one is drawn in tiles
// no larger than that drawing, whatever memory would allow, since how a
// page costs per pixel is known only up to what was drawn. Too many tiles
// for the time bound refuse it.
TEST(RenderPlanTest, TilesNeverExceedTheDrawingTheCheckMeasured) {
  PageRenderCost cost;
  cost.pixels = 2e6;
  cost.milliseconds = 500;
  cost.millisecondsPerPixel = 0.0002;
  cost.bytesPerPixel = 120;
  cost.bytes = 300.0 * (1 << 20);
  const RenderPlan tiled = planRender(cost, 40'000'000);
  EXPECT_FALSE(tiled.refused);
  EXPECT_GE(tiled.tilePixels, 4096);
  EXPECT_LE(double(tiled.tilePixels), cost.pixels);
  EXPECT_LE(cost.fixedBytes() + cost.bytesPerPixel * double(tiled.tilePixels), kMostRenderBytes);
  // Ten times slower per pixel: the tiles together would pass the time bound.
  cost.millisecondsPerPixel = 0.002;
  cost.milliseconds = 4500;
  EXPECT_TRUE(planRender(cost, 40'000'000).refused);
}
