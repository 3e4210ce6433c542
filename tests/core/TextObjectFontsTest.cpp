// Fonts of written text: the style picks the embedded DejaVu file, each file
// is embedded once per document however many objects use it, and tiny sizes
// are raised to one point. Checked with pdffonts and pdftotext.
#include "PopplerOracles.h"
#include "RawPdf.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace testsupport;

namespace {

// Base font names without subset tags, one per font object in the file.
QStringList fontNames(const QString& path) {
  QByteArray out;
  EXPECT_EQ(runTool("pdffonts", {path}, &out), 0);
  QStringList names;
  const QStringList rows = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (qsizetype i = 2; i < rows.size(); ++i) {
    QString name = rows[i].section(QLatin1Char(' '), 0, 0);
    names << name.mid(name.indexOf(QLatin1Char('+')) + 1);
  }
  return names;
}

class TextObjectFonts : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    if (!hasTool("pdffonts") || !hasTool("pdftotext")) GTEST_SKIP() << "poppler-utils missing";
    if (!QFile::exists(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSerif-BoldItalic.ttf")))
      GTEST_SKIP() << "DejaVu fonts missing";
    source = dir.filePath(QStringLiteral("empty.pdf"));
    ASSERT_TRUE(writeRawPdf(source, {{"0 0 1 rg 10 10 5 5 re f\n"}}));
  }
  QTemporaryDir dir;
  QString source;
};

TEST_F(TextObjectFonts, StyleChoosesTheEmbeddedFile) {
  struct StyleCase {
    bool bold, italic;
    const char* family;
    QString font;
  };
  const QList<StyleCase> cases = {
      {false, false, "Arial", QStringLiteral("DejaVuSerif")},
      {true, false, "Arial", QStringLiteral("DejaVuSerif-Bold")},
      {false, true, "Courier New", QStringLiteral("DejaVuSerif-Italic")},
      {true, true, "Helvetica", QStringLiteral("DejaVuSerif-BoldItalic")},
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.font.toStdString());
    PdfDocument doc;
    ASSERT_TRUE(doc.open(source));
    TextBlock block;
    block.text = QStringLiteral("Styled words");
    block.rect = block.originalRect = QRectF(72, 700, 200, 16);
    block.fontFamily = QString::fromLatin1(c.family);
    block.fontSize = 14;
    block.bold = c.bold;
    block.italic = c.italic;
    block.textEdited = true;
    ASSERT_TRUE(doc.overlayOcrText(0, {block}, false));
    const QString saved = dir.filePath(QStringLiteral("styled.pdf"));
    ASSERT_TRUE(doc.saveCopy(saved));
    EXPECT_EQ(fontNames(saved), QStringList{c.font});
  }
}

TEST_F(TextObjectFonts, EachFontFileIsEmbeddedOncePerDocument) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  for (int i = 0; i < 20; ++i)
    ASSERT_TRUE(doc.addFreeText(0, QRectF(60, 780 - 30 * i, 300, 20), QStringLiteral("Note %1").arg(i),
                                QStringLiteral("Arial"), 12, Qt::black));
  const QString saved = dir.filePath(QStringLiteral("notes.pdf"));
  ASSERT_TRUE(doc.saveCopy(saved));
  // Free text takes the face of its family: Arial is set in the sans face.
  EXPECT_EQ(fontNames(saved), QStringList{QStringLiteral("DejaVuSans")});
  // One embedded copy of the font file, not twenty.
  EXPECT_LT(QFileInfo(saved).size(), 600 * 1024);
  EXPECT_TRUE(oracles::qpdfCheckPasses(saved));
}

TEST_F(TextObjectFonts, TinySizesAreWrittenAtOnePoint) {
  PdfDocument doc;
  ASSERT_TRUE(doc.open(source));
  ASSERT_TRUE(doc.addFreeText(0, QRectF(100, 400, 50, 10), QStringLiteral("tiny"), QString(), 0.5f, Qt::red));
  const QString saved = dir.filePath(QStringLiteral("tiny.pdf"));
  ASSERT_TRUE(doc.saveCopy(saved));
  const QList<QRectF> boxes = oracles::wordBoxes(saved, 0, QStringLiteral("tiny"), doc.pageSize(0).height());
  ASSERT_EQ(boxes.size(), 1);
  const double height = boxes[0].height();
  EXPECT_GT(height, 0.7);
  EXPECT_LT(height, 1.6);
}

}  // namespace
