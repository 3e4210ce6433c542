// Embedded signatures on files with cross-reference streams, object streams,
// hybrid cross-references, earlier updates, forms and earlier signatures,
// judged by pdfsig, qpdf, pdfinfo and pdftotext.
#include "HandWrittenPdf.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "core/SignatureService.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

using signingtest::pki;
using signingtest::readBytes;
using signingtest::writeBytes;

namespace {

QByteArray toolOutput(const QString& program, const QStringList& args, int* code = nullptr) {
  QByteArray output;
  const int exit = testsupport::runTool(program, args, &output);
  if (code) *code = exit;
  return output;
}

// Objects 1 (catalog) and 5 (information) live in object stream 6 and are
// found only through the /XRefStm stream 7; the classic table lists the rest.
QByteArray hybridPdf() {
  const QByteArray catalog = "<< /Type /Catalog /Pages 2 0 R /PageMode /UseNone >>";
  const QByteArray info = "<< /Title (Hybrid report) >>";
  const QByteArray pairs = "1 0 5 " + QByteArray::number(catalog.size() + 1) + ' ';
  const QByteArray objects = catalog + '\n' + info;
  QMap<int, QByteArray> plain;
  plain[2] = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  plain[3] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
             "/Resources << /Font << /F1 8 0 R >> >> >>";
  const QByteArray text = "BT /F1 18 Tf 20 100 Td (Hybrid cross reference text) Tj ET";
  plain[4] = "<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text + "\nendstream";
  plain[6] = "<< /Type /ObjStm /N 2 /First " + QByteArray::number(pairs.size()) + " /Length " +
             QByteArray::number(pairs.size() + objects.size()) + " >>\nstream\n" + pairs + objects + "\nendstream";
  plain[8] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  QByteArray streamData;
  for (int index : {0, 1}) streamData += QByteArray("\x02\x00\x06", 3) + char(0) + char(index);
  plain[7] = "<< /Type /XRef /Size 9 /W [1 2 2] /Index [1 1 5 1] /Length 10 >>\nstream\n" + streamData +
             "\nendstream";

  QByteArray pdf = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
  QMap<int, qsizetype> offsets;
  for (auto it = plain.cbegin(); it != plain.cend(); ++it) {
    offsets[it.key()] = pdf.size();
    pdf += QByteArray::number(it.key()) + " 0 obj\n" + it.value() + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  auto entry = [&](int number) { return QByteArray::number(offsets[number]).rightJustified(10, '0') + " 00000 n \n"; };
  pdf += "xref\n0 1\n0000000000 65535 f \n2 3\n" + entry(2) + entry(3) + entry(4) + "6 3\n" + entry(6) + entry(7) +
         entry(8);
  pdf += "trailer\n<< /Size 9 /Root 1 0 R /Info 5 0 R /XRefStm " + QByteArray::number(offsets[7]) +
         " /ID [<0123456789ABCDEF0123456789ABCDEF> <0123456789ABCDEF0123456789ABCDEF>] >>\n";
  pdf += "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
}

struct SignatureReport {
  bool valid = false;
  bool wholeDocument = false;
};

QList<SignatureReport> pdfsigReports(const QString& path) {
  const QString output = QString::fromUtf8(toolOutput("pdfsig", {path}));
  QList<SignatureReport> reports;
  const QStringList parts = output.split(QRegularExpression("Signature #\\d+:"));
  for (qsizetype i = 1; i < parts.size(); ++i)
    reports.append({parts.at(i).contains("Signature is Valid."), parts.at(i).contains("Total document signed")});
  return reports;
}

QByteArray pageCount(const QString& path) {
  const QByteArray info = toolOutput("pdfinfo", {path});
  const QRegularExpressionMatch pages = QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromLatin1(info));
  return pages.captured(1).toLatin1();
}

class EmbeddedSignatureModernPdfTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* tool : {"pdfsig", "qpdf", "pdfinfo", "pdftotext"})
      ASSERT_TRUE(testsupport::hasTool(tool)) << tool;
    signingtest::resetSigningSettings(QStringLiteral("never"));
    ASSERT_TRUE(folder.isValid());
  }

  SignatureResult sign(const QString& input, const QString& output) {
    SignatureRequest request;
    request.inputPath = input;
    request.outputPath = output;
    request.mode = SignatureMode::EmbeddedPdf;
    request.pkcs12Path = pki().pkcs12;
    return SignatureService::signFile(request);
  }

  // Signs input into output and checks it as a reader would: every earlier
  // signature still valid, the new one valid over the whole file, the input's
  // bytes in front, a clean structure, the same pages and text.
  void signAndCheck(const QString& input, const QString& output, int signatures) {
    const SignatureResult result = sign(input, output);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    const QByteArray before = readBytes(input);
    const QByteArray after = readBytes(output);
    EXPECT_TRUE(after.startsWith(before));
    int code = -1;
    const QByteArray check = toolOutput("qpdf", {"--check", output}, &code);
    EXPECT_EQ(code, 0) << check.toStdString();
    const QList<SignatureReport> reports = pdfsigReports(output);
    ASSERT_EQ(reports.size(), signatures) << toolOutput("pdfsig", {output}).toStdString();
    for (qsizetype i = 0; i < reports.size(); ++i) {
      EXPECT_TRUE(reports.at(i).valid) << "signature " << i + 1;
      EXPECT_EQ(reports.at(i).wholeDocument, i + 1 == reports.size()) << "signature " << i + 1;
    }
    EXPECT_EQ(pageCount(output), pageCount(input));
    EXPECT_FALSE(pageCount(output).isEmpty());
    EXPECT_EQ(toolOutput("pdftotext", {output, "-"}), toolOutput("pdftotext", {input, "-"}));
  }

  QString path(const QString& name) { return folder.filePath(name); }
  QTemporaryDir folder;
};

}  // namespace

TEST_F(EmbeddedSignatureModernPdfTest, EveryCrossReferenceFormIsSignedTwiceAndStaysValid) {
  const QString plain = path("plain.pdf");
  ASSERT_TRUE(testsupport::writePdf(plain, {{"First page of the plain file"}, {"Second page"}}));
  const QString objectStreams = path("object-streams.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--object-streams=generate", plain, objectStreams}), 0);
  ASSERT_TRUE(readBytes(objectStreams).contains("/ObjStm"));
  const QString hybrid = writeBytes(path("hybrid.pdf"), hybridPdf());
  ASSERT_EQ(testsupport::runTool("qpdf", {"--check", hybrid}), 0) << "fixture";
  ASSERT_TRUE(toolOutput("pdftotext", {hybrid, "-"}).contains("Hybrid cross reference text")) << "fixture";

  struct Case {
    const char* name;
    QString input;
    QByteArray lastSection;  // what the update ends with
  };
  QList<Case> cases = {
      {"classic table", plain, "trailer"},
      {"cross-reference stream with object streams", objectStreams, "/Type /XRef"},
      {"hybrid table with /XRefStm", hybrid, "trailer"},
  };
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (QFile::exists(manual)) cases.append({"pdfTeX manual", manual, "/Type /XRef"});
  else ADD_FAILURE() << "gnuplot-doc is missing";

  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString once = path(QStringLiteral("once%1.pdf").arg(index));
    const QString twice = path(QStringLiteral("twice%1.pdf").arg(index++));
    signAndCheck(c.input, once, 1);
    // The update ends in the form the file already used.
    const QByteArray update = readBytes(once).mid(readBytes(c.input).size());
    EXPECT_TRUE(update.right(400).contains(c.lastSection)) << update.right(400).toStdString();
    EXPECT_FALSE(update.contains(c.lastSection == "trailer" ? "/Type /XRef" : "\ntrailer\n"));
    // The second signature is an update of the first update.
    signAndCheck(once, twice, 2);
  }
}

TEST_F(EmbeddedSignatureModernPdfTest, CrossReferenceStreamOfTheUpdateIsCompleteAndWideEnough) {
  const QString manual = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  if (!QFile::exists(manual)) GTEST_SKIP() << "gnuplot-doc is missing";
  const QString output = path("manual.signed.pdf");
  ASSERT_TRUE(sign(manual, output).ok);
  const QByteArray input = readBytes(manual);
  const QByteArray update = readBytes(output).mid(input.size());
  const QRegularExpressionMatch stream =
      QRegularExpression("\\n(\\d+) 0 obj\\n<< /Type /XRef /Size (\\d+) /Index \\[([\\d ]+)\\] /W \\[1 (\\d) 2\\] "
                         "/Root (\\d+ \\d+ R) /Info (\\d+ \\d+ R) /ID \\[[^\\]]+\\] /Prev (\\d+) /Length")
          .match(QString::fromLatin1(update));
  ASSERT_TRUE(stream.hasMatch()) << update.right(400).toStdString();
  // /Prev is the input's own startxref; the stream is the last object and /Size follows it.
  const qsizetype startxref = input.lastIndexOf("startxref");
  EXPECT_EQ(stream.captured(7).toLongLong(), input.mid(startxref + 9).trimmed().split('\n').first().toLongLong());
  EXPECT_EQ(stream.captured(2).toInt(), stream.captured(1).toInt() + 1);
  // Three bytes reach past 16 MB; the manual is about 1.5 MB.
  EXPECT_EQ(stream.captured(4).toInt(), 3);
  const QByteArray trailer = toolOutput("qpdf", {"--show-object=trailer", manual});
  EXPECT_TRUE(trailer.contains(stream.captured(5).toLatin1())) << trailer.toStdString();
  EXPECT_TRUE(trailer.contains(stream.captured(6).toLatin1())) << trailer.toStdString();
  const QByteArray info = toolOutput("pdfinfo", {output});
  EXPECT_TRUE(info.contains("Title:") && info.contains("gnuplot")) << info.toStdString();
}

TEST_F(EmbeddedSignatureModernPdfTest, ExistingFormKeepsItsFieldsAndGainsTheSignature) {
  // A form in its own object whose /Fields array is an object too; a text
  // field with a value on the page.
  const QStringList objects = {
      "<< /Type /Catalog /Pages 2 0 R /AcroForm 6 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R /Annots [8 0 R] >>",
      handwritten::stream({}),
      "<< /Title (Form) >>",
      "<< /Fields 7 0 R /DA (/Helv 0 Tf 0 g) /NeedAppearances true >>",
      "[8 0 R]",
      "<< /Type /Annot /Subtype /Widget /FT /Tx /T (UlvoSignature9) /V (Ivanov) /Rect [10 10 200 40] /P 3 0 R >>"};
  const QByteArray pdf = handwritten::buildPdf(objects);
  const QString input = writeBytes(path("form.pdf"), pdf);
  ASSERT_EQ(testsupport::runTool("qpdf", {"--check", input}), 0) << "fixture";

  const QString output = path("form.signed.pdf");
  signAndCheck(input, output, 1);
  // The form object and its arrays got new versions; the catalog kept its own.
  const QByteArray form = toolOutput("qpdf", {"--show-object=6", output});
  EXPECT_TRUE(form.contains("/NeedAppearances true")) << form.toStdString();
  EXPECT_TRUE(form.contains("/SigFlags 3")) << form.toStdString();
  const QByteArray fields = toolOutput("qpdf", {"--show-object=7", output});
  EXPECT_TRUE(fields.contains("8 0 R") && fields.contains("10 0 R")) << fields.toStdString();
  const QByteArray page = toolOutput("qpdf", {"--show-object=3", output});
  EXPECT_TRUE(page.contains("/Annots [ 8 0 R 10 0 R ]")) << page.toStdString();
  // The signature field takes a name the text field does not have.
  const QByteArray field = toolOutput("qpdf", {"--show-object=10", output});
  EXPECT_TRUE(field.contains("/T (UlvoSignature9_2)")) << field.toStdString();
  EXPECT_TRUE(field.contains("/P 3 0 R") && field.contains("/Subtype /Widget")) << field.toStdString();
  EXPECT_FALSE(readBytes(output).mid(pdf.size()).contains("\n1 0 obj"));
}

TEST_F(EmbeddedSignatureModernPdfTest, DamagedAndEncryptedFilesAreRefusedWithTheirOwnMessage) {
  const QString plain = path("plain.pdf");
  ASSERT_TRUE(testsupport::writePdf(plain, {{"Secret"}}));
  const QString encrypted = path("encrypted.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--encrypt", "user", "owner", "256", "--", plain, encrypted}), 0);
  const QString openEncrypted = path("open-encrypted.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--object-streams=generate", "--encrypt", "", "owner", "256", "--", plain,
                                          openEncrypted}),
            0);
  // The cross-reference stream no longer starts where startxref says.
  const QString objectStreams = path("object-streams.pdf");
  ASSERT_EQ(testsupport::runTool("qpdf", {"--object-streams=generate", plain, objectStreams}), 0);
  QByteArray shifted = readBytes(objectStreams);
  shifted.insert(shifted.indexOf('\n') + 1, "% an inserted comment\n");
  QByteArray garbageInFront = "garbage\n" + readBytes(plain);
  // Certified by an earlier signature that allows no change at all.
  const QByteArray certified = handwritten::buildPdf(
      {"<< /Type /Catalog /Pages 2 0 R /Perms << /DocMDP 4 0 R >> >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] >>",
       "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /Contents <00> /ByteRange [0 1 2 3] "
       "/Reference [<< /Type /SigRef /TransformMethod /DocMDP /TransformParams << /P 1 /V /1.2 >> >>] >>"});

  struct Case {
    const char* name;
    QString input;
    QString error;
    QString otherError = QStringLiteral("-");
  };
  const Case cases[] = {
      {"user password", encrypted, "Зашифрованный PDF нельзя подписать встроенной подписью."},
      {"empty user password, object streams", openEncrypted, "Зашифрованный PDF нельзя подписать встроенной подписью."},
      {"cross-reference stream moved", writeBytes(path("shifted.pdf"), shifted), "PDF повреждён",
       "В PDF некорректный startxref."},
      {"certified without changes", writeBytes(path("certified.pdf"), certified),
       "Документ заверен с запретом изменений; добавить в него подпись нельзя."},
      {"bytes before the header", writeBytes(path("garbage.pdf"), garbageInFront), "PDF повреждён",
       "В PDF некорректный startxref."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString output = path("out.pdf");
    const SignatureResult result = sign(c.input, output);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.startsWith(c.error) || result.error.startsWith(c.otherError))
        << result.error.toStdString();
    EXPECT_FALSE(QFile::exists(output));
  }
}
