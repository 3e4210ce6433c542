// Signatures embedded by an incremental update, judged by pdfsig, qpdf and
// pdfinfo.
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "core/PdfSignatureShell.h"
#include "core/SignatureService.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>

using signingtest::pki;
using signingtest::readBytes;
using signingtest::writeBytes;

namespace {

const QByteArray kId = "/ID [<00112233445566778899AABBCCDDEEFF> <00112233445566778899AABBCCDDEEFF>]";

// A classic PDF: object i + 1 has bodies[i], the catalog is object 1 and the
// document information object 5.
QByteArray classicPdf(const QByteArray& catalog, const QByteArray& trailerExtra = " /Info 5 0 R " + kId,
                      bool finalLineFeed = true) {
  const QList<QByteArray> bodies = {
      catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R >>",
      "<< /Length 0 >>\nstream\n\nendstream", "<< /Title (Quarterly report) /Author (Anna Smirnova) >>"};
  QByteArray pdf = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  QList<qsizetype> offsets;
  for (qsizetype i = 0; i < bodies.size(); ++i) {
    offsets << pdf.size();
    pdf += QByteArray::number(i + 1) + " 0 obj\n" + bodies.at(i) + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(bodies.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(bodies.size() + 1) + " /Root 1 0 R" + trailerExtra + " >>\n";
  pdf += "startxref\n" + QByteArray::number(xref) + "\n%%EOF";
  if (finalLineFeed) pdf += '\n';
  return pdf;
}

const QByteArray kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";

// An earlier incremental update that rewrote the catalog.
QByteArray withRewrittenCatalog(QByteArray pdf, const QByteArray& catalog) {
  const qsizetype previous = pdf.mid(pdf.lastIndexOf("startxref") + 10).trimmed().split('\n').first().toLongLong();
  const qsizetype offset = pdf.size();
  pdf += "1 0 obj\n" + catalog + "\nendobj\n";
  const qsizetype xref = pdf.size();
  pdf += "xref\n1 1\n" + QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R " + kId + " /Prev " + QByteArray::number(previous) + " >>\n";
  pdf += "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
}

QByteArray toolOutput(const QString& program, const QStringList& args, int* code = nullptr) {
  QByteArray output;
  const int exit = testsupport::runTool(program, args, &output);
  if (code) *code = exit;
  return output;
}

class PdfSignatureShellTest : public ::testing::Test {
protected:
  void SetUp() override {
    signingtest::resetSigningSettings(QStringLiteral("never"));
    ASSERT_TRUE(folder.isValid());
  }
  QTemporaryDir folder;
};

}  // namespace

TEST_F(PdfSignatureShellTest, EmbeddedSignatureIsValidAndKeepsTheDocument) {
  for (const char* tool : {"pdfsig", "qpdf", "pdfinfo", "openssl"}) ASSERT_TRUE(testsupport::hasTool(tool)) << tool;
  struct Case {
    const char* name;
    QByteArray pdf;
    QByteArray catalogMustHold;
  };
  const QByteArray nested = "<< /Type /Catalog /Pages 2 0 R /ViewerPreferences << /DisplayDocTitle true >> >>";
  const Case cases[] = {
      {"plain file", classicPdf(kCatalog), "/Pages 2 0 R"},
      {"no line feed after %%EOF", classicPdf(kCatalog, " /Info 5 0 R " + kId, false), "/Pages 2 0 R"},
      {"nested dictionary in the catalog", classicPdf(nested), "/ViewerPreferences << /DisplayDocTitle true >>"},
      {"catalog rewritten by an earlier update",
       withRewrittenCatalog(classicPdf(kCatalog), "<< /Type /Catalog /Pages 2 0 R /PageMode /UseOutlines >>"),
       "/PageMode /UseOutlines"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString input = writeBytes(folder.filePath(QStringLiteral("in%1.PDF").arg(index)), c.pdf);
    ASSERT_EQ(testsupport::runTool("qpdf", {"--check", input}), 0) << "fixture";
    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = folder.filePath(QStringLiteral("out%1.signed.pdf").arg(index++));
    request.mode = SignatureMode::EmbeddedPdf;
    request.pkcs12Path = pki().pkcs12;
    const SignatureResult result = SignatureService::signFile(request);
    ASSERT_TRUE(result.ok) << result.error.toStdString();

    const QByteArray signedPdf = readBytes(request.outputPath);
    EXPECT_EQ(result.outputSize, signedPdf.size());
    EXPECT_EQ(result.documentSha256, QCryptographicHash::hash(signedPdf, QCryptographicHash::Sha256));
    EXPECT_NE(result.documentSha256, QCryptographicHash::hash(c.pdf, QCryptographicHash::Sha256));
    EXPECT_FALSE(result.signer.isEmpty());
    // The input is kept byte for byte; exactly one line feed is added where
    // it did not end in one.
    EXPECT_TRUE(signedPdf.startsWith(c.pdf));
    EXPECT_EQ(signedPdf.mid(c.pdf.size(), 8), c.pdf.endsWith('\n') ? "6 0 obj\n" : "\n6 0 obj");

    const QByteArray sig = toolOutput("pdfsig", {request.outputPath});
    EXPECT_TRUE(sig.contains("Signature is Valid.")) << sig.toStdString();
    EXPECT_TRUE(sig.contains("Total document signed")) << sig.toStdString();
    int code = -1;
    const QByteArray check = toolOutput("qpdf", {"--check", request.outputPath}, &code);
    EXPECT_EQ(code, 0) << check.toStdString();
    const QByteArray info = toolOutput("pdfinfo", {request.outputPath});
    EXPECT_TRUE(info.contains("Quarterly report")) << info.toStdString();
    EXPECT_TRUE(info.contains("Anna Smirnova")) << info.toStdString();
    const QByteArray catalog = toolOutput("qpdf", {"--show-object=1", request.outputPath});
    EXPECT_TRUE(catalog.contains(c.catalogMustHold)) << catalog.toStdString();
    EXPECT_TRUE(catalog.contains("/AcroForm")) << catalog.toStdString();
  }
}

TEST_F(PdfSignatureShellTest, UpdateLayout) {
  const QByteArray input = classicPdf(kCatalog);
  const qint64 previousXref = input.mid(input.lastIndexOf("startxref") + 10).split('\n').first().toLongLong();
  PdfSignatureShell shell;
  QString error;
  ASSERT_TRUE(preparePdfSignatureShell(input, "Ivanov (Main) \\ Office\nSecond line", &shell, &error))
      << error.toStdString();
  const QByteArray update = shell.pdf.mid(input.size());

  // Objects 6 (signature) and 7 (field with its invisible widget on the first
  // page), then new versions of the catalog and the page, every old entry kept.
  EXPECT_TRUE(update.startsWith("6 0 obj\n<< /Type /Sig\n"));
  EXPECT_TRUE(update.contains("\n7 0 obj\n<< /FT /Sig /T (UlvoSignature6) /V 6 0 R /Ff 0 /Type /Annot /Subtype /Widget "
                              "/Rect [0 0 0 0] /F 132 /P 3 0 R >>\nendobj\n"));
  EXPECT_TRUE(update.contains(
      "\n1 0 obj\n<< /Pages 2 0 R /Type /Catalog /AcroForm << /Fields [ 7 0 R ] /SigFlags 3 >> >>\nendobj\n"));
  EXPECT_TRUE(update.contains("\n3 0 obj\n<< /Contents 4 0 R /MediaBox [ 0 0 300 200 ] /Parent 2 0 R /Type /Page "
                              "/Annots [ 7 0 R ] >>\nendobj\n"));
  EXPECT_TRUE(update.contains("/Name (Ivanov \\(Main\\) \\\\ Office Second line)"));
  EXPECT_TRUE(update.contains("\ntrailer\n<< /Size 8 /Root 1 0 R /Info 5 0 R /ID [ <00112233445566778899aabbccddeeff> "
                              "<00112233445566778899aabbccddeeff> ] /Prev " +
                              QByteArray::number(previousXref) + " >>\nstartxref\n"));
  EXPECT_TRUE(update.endsWith("\n%%EOF\n"));

  // Every cross-reference entry is 20 bytes and points at its object.
  const QRegularExpression section("xref\\n1 1\\n(.{20})3 1\\n(.{20})6 2\\n(.{20})(.{20})trailer",
                                   QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch entries = section.match(QString::fromLatin1(update));
  ASSERT_TRUE(entries.hasMatch());
  const QByteArray headers[] = {"1 0 obj", "3 0 obj", "6 0 obj", "7 0 obj"};
  for (int i = 0; i < 4; ++i) {
    const QString entry = entries.captured(i + 1);
    EXPECT_TRUE(entry.endsWith(" 00000 n \n")) << entry.toStdString();
    EXPECT_EQ(shell.pdf.mid(entry.left(10).toLongLong(), 7), headers[i]);
  }
  const qsizetype startxref = shell.pdf.lastIndexOf("startxref\n") + 10;
  EXPECT_EQ(shell.pdf.mid(shell.pdf.mid(startxref).split('\n').first().toLongLong(), 5), "xref\n");

  // The byte range covers everything but the reserved hex string.
  const QRegularExpressionMatch range =
      QRegularExpression("/ByteRange \\[(\\d{20}) (\\d{20}) (\\d{20}) (\\d{20})\\]").match(QString::fromLatin1(shell.pdf));
  ASSERT_TRUE(range.hasMatch());
  const qint64 a = range.captured(1).toLongLong(), b = range.captured(2).toLongLong();
  const qint64 c = range.captured(3).toLongLong(), d = range.captured(4).toLongLong();
  EXPECT_EQ(a, 0);
  EXPECT_EQ(shell.pdf.at(b), '<');
  EXPECT_EQ(shell.pdf.at(c - 1), '>');
  EXPECT_EQ(c + d, shell.pdf.size());
  EXPECT_EQ(shell.contentsOffset, b + 1);
  EXPECT_EQ(shell.contentsLength, 131072);
  EXPECT_EQ(shell.pdf.mid(shell.contentsOffset, shell.contentsLength), QByteArray(131072, '0'));
  EXPECT_EQ(shell.signedBytes, shell.pdf.left(b) + shell.pdf.mid(c));
  EXPECT_EQ(shell.signedBytes.size(), shell.pdf.size() - 131074);

  // Names outside ASCII are UTF-16BE text strings with a byte order mark.
  ASSERT_TRUE(preparePdfSignatureShell(input, QString(), &shell, &error));
  const QByteArray signer = "<FEFF" + QByteArray::fromRawData("\x04\x1f", 2).toHex().toUpper();
  EXPECT_TRUE(shell.pdf.contains("/Name " + signer)) << "Подписант";
  EXPECT_TRUE(shell.pdf.contains("/Reason <FEFF0414")) << "Документ";
}

TEST_F(PdfSignatureShellTest, StructuresThatCannotBeExtendedSafelyAreRefused) {
  ASSERT_TRUE(testsupport::hasTool("qpdf"));
  const QString plain = writeBytes(folder.filePath("plain.pdf"), classicPdf(kCatalog));
  const QString encrypted = folder.filePath("encrypted.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--object-streams=disable", "--encrypt", "", "owner", "256", "--", plain,
                                          encrypted}),
            0);
  QByteArray lettersAfterStartxref = classicPdf(kCatalog);
  lettersAfterStartxref.replace(lettersAfterStartxref.lastIndexOf("startxref\n") + 10, 1, "  x");
  QByteArray pointsAtHeader = classicPdf(kCatalog);
  pointsAtHeader.replace(pointsAtHeader.lastIndexOf("startxref\n"), 20, "startxref\n0\n%%EOF\n");

  struct Case {
    const char* name;
    QByteArray pdf;
    QString error;
  };
  const Case cases[] = {
      {"no startxref", "%PDF-1.4\n1 0 obj\n<<>>\nendobj\n", "В PDF не найден startxref."},
      {"letters after startxref", lettersAfterStartxref, "В PDF некорректный startxref."},
      {"startxref pointing at no cross-reference table", pointsAtHeader, "В PDF некорректный startxref."},
      {"encrypted", readBytes(encrypted), "Зашифрованный PDF нельзя подписать встроенной подписью."},
      {"trailer without /Root", classicPdf(kCatalog, " /Info 5 0 R").replace("/Root 1 0 R", "/Rot 1 0 R"),
       "В trailer PDF не найдены /Root или /Size."},
      {"catalog object missing", classicPdf(kCatalog).replace("1 0 obj", "9 0 obj"),
       "Не найден объект каталога PDF 1 0 obj."},
      {"catalog that is no dictionary", classicPdf("[1 2 3]"), "Каталог PDF не является словарём."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfSignatureShell shell;
    QString error;
    EXPECT_FALSE(preparePdfSignatureShell(c.pdf, QString(), &shell, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(shell.pdf.isEmpty());
    EXPECT_EQ(shell.contentsOffset, -1);
  }

  // Signing such a file reports the reason and writes nothing.
  SignatureRequest request;
  request.inputPath = encrypted;
  request.outputPath = folder.filePath("encrypted.signed.pdf");
  request.mode = SignatureMode::EmbeddedPdf;
  request.pkcs12Path = pki().pkcs12;
  const SignatureResult result = SignatureService::signFile(request);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "Зашифрованный PDF нельзя подписать встроенной подписью.");
  EXPECT_FALSE(QFile::exists(request.outputPath));
}
