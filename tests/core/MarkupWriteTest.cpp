// Marks written into a page over several edits and saves: every saved page
// names only graphics states it has (poppler renders it without a word, qpdf
// finds nothing wrong), on a hand-written page and on a real manual.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QString popplerWarnings(const QString& file) {
  QTemporaryDir out;
  QProcess process;
  process.start(QStringLiteral("pdftoppm"), {"-r", "10", "-png", file, out.filePath(QStringLiteral("p"))});
  if (!process.waitForStarted() || !process.waitForFinished(300000)) return QStringLiteral("<pdftoppm did not run>");
  return QString::fromUtf8(process.readAllStandardError()).trimmed();
}

}  // namespace

TEST(MarkupWriteTest, EveryEditAndSaveLeavesPagesNamingOnlyTheirOwnStates) {
  if (!testsupport::hasTool("pdftoppm") || !testsupport::hasTool("qpdf")) GTEST_SKIP() << "oracles missing";
  QTemporaryDir dir;
  const QString raw = dir.filePath(QStringLiteral("raw.pdf"));
  ASSERT_TRUE(writeRawPdf(raw, {RawPage(textLine("F1", 20, 80, 700, "marked words"))}));
  QStringList sources{raw};
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (QFileInfo::exists(manual)) sources << manual;
  for (const QString& source : sources) {
    SCOPED_TRACE(source.toStdString());
    PdfDocument document;
    ASSERT_TRUE(document.open(source));
    const int page = document.pageCount() > 2 ? 2 : 0;
    const QString saved = dir.filePath(QStringLiteral("saved.pdf"));
    // Highlights, lines and free text, each its own edit, saved in between
    // both to a new name and in place.
    for (int k = 0; k < 3; ++k)
      ASSERT_TRUE(document.addMarkupAnnot(page, QRectF(50, 100 + 40 * k, 200, 20), QColor(255, 255, 0), k));
    ASSERT_TRUE(document.addFreeText(page, QRectF(50, 300, 200, 30), "typed", "Courier", 12, Qt::black));
    ASSERT_TRUE(document.addMarkupAnnot(page, QRectF(50, 400, 200, 20), QColor(0, 200, 255), 0));
    ASSERT_TRUE(document.saveAs(saved));
    ASSERT_TRUE(document.addMarkupAnnot(page, QRectF(50, 500, 200, 20), QColor(255, 255, 0), 0));
    ASSERT_TRUE(document.save(saved));
    ASSERT_TRUE(document.addMarkupAnnot(page, QRectF(50, 600, 200, 20), QColor(255, 0, 255), 0));
    ASSERT_TRUE(document.save(saved));
    EXPECT_EQ(popplerWarnings(saved).toStdString(), "");
    EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
    // The free text went in the face of the family chosen.
    QByteArray fonts;
    ASSERT_EQ(testsupport::runTool("pdffonts", {saved}, &fonts), 0);
    EXPECT_TRUE(fonts.contains("DejaVuSansMono")) << fonts.toStdString();
  }
}
