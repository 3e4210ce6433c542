#include "RawPdf.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFuture>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtConcurrent>

using namespace testsupport;

namespace {

class PdfDocumentTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString path(const QString& name) const { return dir.filePath(name); }
  QString writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return f.fileName();
  }
  QString threePages() const {
    const QString p = path("three.pdf");
    EXPECT_TRUE(writePdf(p, {{"one"}, {"two", false, {300, 400}}, {"three"}}));
    return p;
  }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(PdfDocumentTest, OpenFailuresLeaveNoDocumentAndExplainWhy) {
  struct Case {
    QString file;
    QString expected;  // empty: any non-empty message
  };
  const QString encrypted = path("locked.pdf");
  ASSERT_EQ(runTool("qpdf", {"--encrypt", "user", "owner", "256", "--", threePages(), encrypted}), 0);
  const Case cases[] = {
      {writeFile("empty.pdf", {}), QStringLiteral("Файл пуст или не удалось прочитать данные.")},
      {writeFile("text.pdf", "this is plain text, not a PDF\n"), QStringLiteral("файл не является документом PDF или повреждён")},
      {encrypted, QStringLiteral("документ защищён паролем")},
      {path("missing.pdf"), QString()},
  };
  for (const Case& c : cases) {
    PdfDocument doc;
    ASSERT_TRUE(doc.open(threePages()));
    EXPECT_FALSE(doc.open(c.file)) << c.file.toStdString();
    EXPECT_FALSE(doc.isOpen());
    EXPECT_EQ(doc.pageCount(), 0);
    EXPECT_TRUE(doc.filePath().isEmpty() || doc.filePath() != c.file);
    if (c.expected.isEmpty())
      EXPECT_FALSE(doc.lastError().isEmpty());
    else
      EXPECT_EQ(doc.lastError(), c.expected);
    EXPECT_TRUE(doc.renderPage(0, 1.0, 0).isNull());
  }
}

TEST_F(PdfDocumentTest, MetricsMatchPdfinfoAndRejectBadIndices) {
  const QString rotated = path("rotated.pdf");
  ASSERT_EQ(runTool("qpdf", {threePages(), "--rotate=+90:2", rotated}), 0);
  PdfDocument doc;
  ASSERT_TRUE(doc.open(rotated));
  ASSERT_EQ(doc.pageCount(), 3);
  EXPECT_EQ(doc.pageSize(0), QSizeF(595, 842));
  // The second page is shown turned: its size is the turned one.
  EXPECT_EQ(doc.pageSize(1), QSizeF(400, 300));
  EXPECT_EQ(doc.pageSize(-1), QSizeF(-1, -1));
  EXPECT_EQ(doc.pageSize(3), QSizeF(-1, -1));

  QByteArray info;
  ASSERT_EQ(runTool("pdfinfo", {"-f", "1", "-l", "3", rotated}, &info), 0);
  const QString text = QString::fromUtf8(info);
  EXPECT_TRUE(text.contains(QRegularExpression(R"(Page\s+2 size:\s+300 x 400 pts)")));
  EXPECT_TRUE(text.contains(QRegularExpression(R"(Page\s+2 rot:\s+90)")));

  const QImage image = doc.renderPage(1, 1.0, 0);
  EXPECT_EQ(image.size(), QSize(400, 300));
}

TEST_F(PdfDocumentTest, LifecycleFlags) {
  PdfDocument doc;
  doc.markModified();
  EXPECT_FALSE(doc.isModified());

  ASSERT_TRUE(doc.open(threePages()));
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(doc.filePath(), path("three.pdf"));
  doc.markModified();
  EXPECT_TRUE(doc.isModified());
  // A byte-order mark before the PDF makes no signed envelope of it, nor does
  // a detached signature, which holds no document.
  const QByteArray plain = signingtest::readBytes(path("three.pdf"));
  ASSERT_TRUE(doc.open(writeFile("bom.pdf", "\xEF\xBB\xBF" + plain)));
  EXPECT_FALSE(doc.openedFromEnvelope());
  const QString detached = path("three.p7s");
  ASSERT_EQ(runTool("openssl", {"cms", "-sign", "-binary", "-nocerts", "-noattr", "-outform", "DER", "-in",
                                path("three.pdf"), "-signer", signingtest::pki().goodCert, "-inkey",
                                signingtest::pki().goodKey, "-out", detached}),
            0);
  ASSERT_TRUE(doc.open(writeFile("after-signature.pdf", signingtest::readBytes(detached) + plain)));
  EXPECT_FALSE(doc.openedFromEnvelope());

  EXPECT_FALSE(doc.open(path("missing.pdf")));
  const QString message = doc.lastError();
  doc.close();
  EXPECT_TRUE(doc.filePath().isEmpty());
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(doc.lastError(), message);

  ASSERT_TRUE(doc.createEmpty());
  EXPECT_TRUE(doc.isOpen());
  EXPECT_TRUE(doc.isModified());
  EXPECT_EQ(doc.pageCount(), 0);
  EXPECT_TRUE(doc.filePath().isEmpty());
}

// Layout on the GUI thread asks for page metrics while a render holds the document.
TEST_F(PdfDocumentTest, MetricsAnswerWhileARenderHoldsTheDocument) {
  const QString busy = path("busy.pdf");
  QList<PageSpec> pages;
  for (int i = 0; i < 4; ++i) pages.append({QStringLiteral("page %1").arg(i), true});
  ASSERT_TRUE(writePdf(busy, pages));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(busy));

  QFuture<void> renders = QtConcurrent::run([&doc] {
    for (int i = 0; i < 12; ++i) doc.renderPage(i % 4, 6.0, 0);
  });
  int answeredWhileRendering = 0;
  while (!renders.isFinished()) {
    if (doc.pageCount() == 4 && doc.pageSize(2) == QSizeF(595, 842) && !renders.isFinished())
      ++answeredWhileRendering;
  }
  renders.waitForFinished();
  EXPECT_GT(answeredWhileRendering, 100);
}

// pdfium keeps global state: two documents rendered from several threads at once
// must give exactly what serial renders give (and stay clean under the sanitizers).
TEST_F(PdfDocumentTest, ConcurrentRendersOfTwoDocumentsMatchSerialRenders) {
  const QString a = path("a.pdf");
  const QString b = path("b.pdf");
  ASSERT_TRUE(writePdf(a, {{"first document", true}, {"page two"}}));
  ASSERT_TRUE(writePdf(b, {{"second document\nwith two lines", true}}));
  PdfDocument docA;
  PdfDocument docB;
  ASSERT_TRUE(docA.open(a));
  ASSERT_TRUE(docB.open(b));
  const QImage expectedA = docA.renderPageLayer(0, 1.0, 0, PdfRenderLayer::NoText, false);
  const QImage expectedB = docB.renderPage(0, 1.0, 90);

  QList<int> jobs;
  for (int i = 0; i < 24; ++i) jobs << i;
  const QList<bool> same = QtConcurrent::blockingMapped(jobs, [&](int i) {
    if (i % 2) return docB.renderPage(0, 1.0, 90) == expectedB;
    return docA.renderPageLayer(0, 1.0, 0, PdfRenderLayer::NoText, false) == expectedA;
  });
  EXPECT_EQ(same.count(true), jobs.size());
}

// The weights fonts state are read for the page as it now stands: once the
// first page is taken out, before and after saving, the page now first is
// read in the weight its own font states, not in the removed page's.
TEST_F(PdfDocumentTest, StatedWeightsFollowTheSavedFile) {
  const QString font("<< /Type /Font /Subtype /TrueType /BaseFont /Frutiger /FontDescriptor << /FontName /Frutiger "
                     "/FontWeight %1 >> >>");
  const QString page("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 100] /Contents %1 0 R /Resources << /Font << "
                     "/F1 %2 0 R >> >> >>");
  const QString file = path("weights.pdf");
  ASSERT_TRUE(handwritten::writePdf(file, {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] "
      "/Count 2 >>", page.arg(5).arg(7), page.arg(6).arg(8), handwritten::stream(textLine("F1", 14, 20, 50, "Heading")),
      handwritten::stream(textLine("F1", 14, 20, 50, "Regular")), font.arg(700), font.arg(400)}));
  PdfDocument doc;
  ASSERT_TRUE(doc.open(file));
  for (const int i : {0, 1}) {
    const std::vector<TextBlock> blocks = doc.extractText(i);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bold, i == 0) << blocks[0].text.toStdString();
  }
  ASSERT_TRUE(doc.movePage(1, 0));
  EXPECT_FALSE(doc.extractText(0).at(0).bold);
  EXPECT_TRUE(doc.extractText(1).at(0).bold);
  ASSERT_TRUE(doc.deletePage(1));
  for (const bool saved : {false, true}) {
    if (saved) {
      ASSERT_TRUE(doc.save(file));
    }
    const std::vector<TextBlock> blocks = doc.extractText(0);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].text, "Regular");
    EXPECT_FALSE(blocks[0].bold) << (saved ? "saved" : "unsaved");
  }
}
