// Stamp templates on disk: saved atomically, read back by a new process and
// used for a stamp, damaged files reported and kept, hostile values bounded.
#include "SignatureDialogDriver.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"
#include "core/PopplerOracles.h"
#include "core/SignatureService.h"

#include "signature/SignatureStampRendering.h"
#include "signature/SignatureStampStorage.h"
#include "signature/StampedPdfCopy.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

using namespace signaturetest;

namespace {

const char kChildTemplate[] = "ULVO_STAMP_CHILD_TEMPLATE";
const char kChildSource[] = "ULVO_STAMP_CHILD_SOURCE";
const char kChildOutput[] = "ULVO_STAMP_CHILD_OUTPUT";

SigningCertificate ivan() {
  SigningCertificate certificate;
  certificate.subject = "C=RU,O=Test\\, Org,CN=Иван Петров";
  certificate.issuer = "CN=Ulvo Test CA";
  return certificate;
}

QByteArray bytesOf(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class StampTemplateTest : public ::testing::Test {
protected:
  void SetUp() override {
    useIsolatedFolders();
    QDir(signatureStampTemplatesDir()).removeRecursively();
    ASSERT_TRUE(folder.isValid());
  }
  void TearDown() override { restoreTemporaryFolder(); }
  QString writeTemplateJson(const QString& name, const QByteArray& json) {
    QDir().mkpath(signatureStampTemplatesDir());
    const QString path = QDir(signatureStampTemplatesDir()).filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(json);
    return path;
  }
  QTemporaryDir folder;
  QTemporaryDir temporary;  // the dialog's temporary folder where a test needs one
};

}  // namespace

TEST_F(StampTemplateTest, SavedTemplateIsReadByANewProcessAndStamps) {
  SignatureStampTemplate stamp;
  stamp.name = "  Утверждающий штамп ";
  stamp.image = QImage(800, 300, QImage::Format_ARGB32_Premultiplied);
  stamp.image.fill(QColor(250, 240, 200));
  SignatureStampVariable line;
  line.text = "Утверждено: {{SIGNER}} {{signer}}";
  line.x = 0.05;
  line.y = 0.1;
  line.w = 0.9;
  line.h = 0.4;
  line.fontSizePx = 40;
  line.bold = true;
  line.color = QColor(200, 0, 0, 128);
  stamp.variables << line;
  QString error;
  ASSERT_TRUE(saveSignatureStampTemplate(stamp, &error)) << error.toStdString();
  EXPECT_EQ(stamp.id, "утверждающий-штамп");
  EXPECT_EQ(stamp.name, "Утверждающий штамп");
  SignatureStampTemplate twin = stamp;
  twin.id.clear();
  ASSERT_TRUE(saveSignatureStampTemplate(twin, &error));
  EXPECT_EQ(twin.id, "утверждающий-штамп-2");
  // Written whole, nothing half-written beside them.
  EXPECT_EQ(QDir(signatureStampTemplatesDir()).entryList(QDir::Files),
            QStringList({"утверждающий-штамп-2.json", "утверждающий-штамп-2.png", "утверждающий-штамп.json",
                         "утверждающий-штамп.png"}));

  const QString source = folder.filePath("act.pdf");
  ASSERT_TRUE(testsupport::writePdf(source, {{"Акт приёмки", false}}));
  const QString output = folder.filePath("act-stamped.pdf");
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(kChildTemplate, stamp.id);
  environment.insert(kChildSource, source);
  environment.insert(kChildOutput, output);
  child.setProcessEnvironment(environment);
  child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=StampTemplateChild.*"});
  ASSERT_TRUE(child.waitForFinished(60000));
  const QByteArray report = child.readAllStandardOutput();
  ASSERT_EQ(child.exitCode(), 0) << report.toStdString();
  ASSERT_TRUE(report.contains("[  PASSED  ] 1 test")) << report.toStdString();

  EXPECT_TRUE(oracles::qpdfCheckPasses(output));
  const QString text = oracles::pageText(output, 0).simplified();
  EXPECT_TRUE(text.contains("Утверждено: Иван Петров {{signer}}")) << text.toStdString();
  EXPECT_TRUE(text.contains("Акт приёмки"));
}

// Runs only as the child of the test above, in a process of its own.
TEST(StampTemplateChild, ReadsTheSavedTemplateAndStamps) {
  if (qEnvironmentVariableIsEmpty(kChildTemplate)) GTEST_SKIP() << "runs as a child process only";
  useIsolatedFolders();
  const QString id = qEnvironmentVariable(kChildTemplate);
  const QList<SignatureStampTemplate> all = loadSignatureStampTemplates();
  ASSERT_EQ(all.size(), 3);
  EXPECT_TRUE(all.first().builtIn);
  const SignatureStampTemplate stamp = loadSignatureStampTemplate(id);
  ASSERT_EQ(stamp.id, id);
  EXPECT_EQ(stamp.name, "Утверждающий штамп");
  EXPECT_EQ(stamp.image.size(), QSize(800, 300));
  ASSERT_EQ(stamp.variables.size(), 1);
  EXPECT_TRUE(stamp.variables.first().bold);
  EXPECT_EQ(stamp.variables.first().color, QColor(200, 0, 0, 128));

  SignatureStampOptions options;
  options.templateId = id;
  QString error;
  ASSERT_TRUE(createStampedPdfCopy(qEnvironmentVariable(kChildSource), qEnvironmentVariable(kChildOutput), ivan(),
                                   QByteArray(32, '\x5a'), QDateTime::currentDateTime(), options, &error))
      << error.toStdString();
}

TEST_F(StampTemplateTest, DamagedTemplateIsReportedAndKeptAside) {
  const QByteArray broken = "{\"id\": \"broken\", \"variables\": [";
  const QString path = writeTemplateJson("broken.json", broken);
  QStringList problems;
  const QList<SignatureStampTemplate> listed = loadSignatureStampTemplates(&problems);
  ASSERT_EQ(problems.size(), 1);
  EXPECT_TRUE(problems.first().contains("повреждён")) << problems.first().toStdString();
  EXPECT_EQ(listed.size(), 1);
  EXPECT_FALSE(QFileInfo::exists(path));
  EXPECT_EQ(bytesOf(path + ".damaged"), broken);
  problems.clear();
  loadSignatureStampTemplates(&problems);
  EXPECT_TRUE(problems.isEmpty());

  // A stamp that asks for a damaged template is refused, not drawn with the built-in one.
  writeTemplateJson("chosen.json", "not json at all");
  const QString source = folder.filePath("a.pdf");
  ASSERT_TRUE(testsupport::writePdf(source, {{"x", false}}));
  SignatureStampOptions options;
  options.templateId = "chosen";
  QString error;
  EXPECT_FALSE(createStampedPdfCopy(source, folder.filePath("out.pdf"), ivan(), {}, QDateTime::currentDateTime(),
                                    options, &error));
  EXPECT_TRUE(error.contains("повреждён")) << error.toStdString();
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("out.pdf")));
  EXPECT_EQ(bytesOf(QDir(signatureStampTemplatesDir()).filePath("chosen.json.damaged")), "not json at all");
}

TEST_F(StampTemplateTest, DamagedTemplateIsReportedByTheDialog) {
  writeTemplateJson("broken.json", "[1, 2");
  useFreshTemporaryFolder(temporary);
  const QString source = folder.filePath("doc.pdf");
  ASSERT_TRUE(testsupport::writePdf(source, {{"x", false}}));
  apptest::TestWindow window;
  window.openFile(source);
  std::shared_ptr<apptest::DialogSeen> seen = apptest::answerNextDialog("OK", "Шаблоны штампа");
  runSignatureDialog(window, [&](QDialog* dialog) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen->shown; }, 10000));
    seen->stopWaiting = true;
    clickButton(dialog, "Отмена");
  });
  EXPECT_TRUE(seen->shown);
  EXPECT_TRUE(seen->texts.contains("broken.json.damaged")) << seen->texts.toStdString();
}

TEST_F(StampTemplateTest, HostileValuesAreBounded) {
  // A picture far wider than any stamp, and a pipe where a picture belongs.
  QImage wide(9000, 60, QImage::Format_RGB32);
  wide.fill(Qt::white);
  ASSERT_TRUE(wide.save(QDir(folder.path()).filePath("wide.png")));
  const QString pipe = folder.filePath("pipe.png");
  ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0600), 0);
  const QJsonObject variable{{"text", "{{SIGNER}}"}, {"x", -5},        {"y", 0.5},
                             {"w", 50},              {"h", 1e300},    {"fontSizePx", 1e9},
                             {"alignment", 0xFFFF},  {"color", "#5033aa44"}};
  writeTemplateJson("wide.json", QJsonDocument(QJsonObject{{"name", "Широкий"},
                                                           {"image", QDir(folder.path()).filePath("wide.png")},
                                                           {"variables", QJsonArray{variable}}})
                                     .toJson());
  writeTemplateJson("pipe.json", QJsonDocument(QJsonObject{{"name", "Канал"}, {"image", pipe},
                                                           {"variables", QJsonArray{variable}}})
                                     .toJson());
  QStringList problems;
  const QList<SignatureStampTemplate> listed = loadSignatureStampTemplates(&problems);  // must not block on the pipe
  EXPECT_TRUE(problems.isEmpty());
  ASSERT_EQ(listed.size(), 3);
  const SignatureStampTemplate& wideStamp = listed.at(2).name == "Широкий" ? listed.at(2) : listed.at(1);
  const SignatureStampTemplate& pipeStamp = listed.at(2).name == "Широкий" ? listed.at(1) : listed.at(2);
  EXPECT_LE(wideStamp.image.width(), kStampPictureMaxSide);
  EXPECT_EQ(pipeStamp.image.size(), kStandardStampSize);  // the built-in picture stands in
  const SignatureStampVariable& v = wideStamp.variables.first();
  EXPECT_EQ(v.x, 0.0);
  EXPECT_EQ(v.w, 1.0);
  EXPECT_EQ(v.h, 0.5);
  EXPECT_EQ(v.fontSizePx, kStampFontSizeMaxPx);
  EXPECT_EQ(v.alignment, 0x1FF);
  EXPECT_EQ(v.color.alpha(), 0x50);
  const QImage rendered = renderSignatureStampTemplate(wideStamp, {{"SIGNER", "Иван"}}, QSize(100000, 100000));
  EXPECT_LE(rendered.width(), kStampPictureMaxSide);
  EXPECT_LE(rendered.height(), kStampPictureMaxSide);
}

TEST(StampPlacementTest, StampStaysOnItsPageAndWithinItsSize) {
  struct Case {
    const char* position;
    double widthMm, heightMm, marginMm;
    QRectF expected;
  };
  const Case cases[] = {
      {"bottom-right", 82, 34, 12, {328.54, 34.02, 232.44, 96.38}},
      {"center", 82, 34, 12, {181.28, 372.81, 232.44, 96.38}},
      {"top-left", 82, 34, 12, {34.02, 711.61, 232.44, 96.38}},
      {"Bottom-Left", 82, 34, 12, {328.54, 34.02, 232.44, 96.38}},
      // Sizes beyond the largest stamp are cut to it.
      {"bottom-left", 300, 500, 12, {34.02, 34.02, 510.24, 255.12}},
      {"top-left", 82, 34, 500, {362.56, 0, 232.44, 96.38}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    SignatureStampOptions options;
    options.position = c.position;
    options.widthMm = c.widthMm;
    options.heightMm = c.heightMm;
    options.marginMm = c.marginMm;
    const QRectF box = stampRectOnPage(QSizeF(595, 842), options);
    EXPECT_NEAR(box.x(), c.expected.x(), 0.01);
    EXPECT_NEAR(box.y(), c.expected.y(), 0.01);
    EXPECT_NEAR(box.width(), c.expected.width(), 0.01);
    EXPECT_NEAR(box.height(), c.expected.height(), 0.01);
  }
}

// The signer's name a search finds sits on the signer's line of the stamp,
// which the template places from the stamp's top edge; so it does, the stamp's
// picture with it, where the stamp is laid over a signed page whose content
// leaves a scaling saved state open.
TEST_F(StampTemplateTest, SignerTextSitsOnItsLineOfTheStamp) {
  const QString plain = folder.filePath("letter.pdf"), scaled = folder.filePath("scaled.pdf");
  ASSERT_TRUE(testsupport::writePdf(plain, {{"Letter", false}}));
  // By hand, its table rebuilt by qpdf: no writer leaves a state open.
  const QByteArray content = "q 2 0 0 2 0 0 cm BT /F1 12 Tf 36 300 Td (Letter) Tj ET\n";
  signingtest::writeBytes(folder.filePath("raw.pdf"), "%PDF-1.4\n1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\n"
      "2 0 obj <</Type /Pages /Kids [3 0 R] /Count 1>> endobj\n3 0 obj <</Type /Page /Parent 2 0 R /MediaBox "
      "[0 0 595 842] /Contents 4 0 R /Resources <</Font <</F1 <</Type /Font /Subtype /Type1 /BaseFont /Helvetica>> "
      ">> >> >> endobj\n4 0 obj <</Length " + QByteArray::number(content.size()) + ">> stream\n" + content +
      "endstream endobj\ntrailer <</Size 5 /Root 1 0 R>>\n%%EOF\n");
  testsupport::runTool("qpdf", {folder.filePath("raw.pdf"), scaled});
  SignatureRequest request;
  request.inputPath = scaled;
  request.outputPath = folder.filePath("scaled.signed.pdf");
  request.mode = SignatureMode::EmbeddedPdf;
  request.pkcs12Path = signingtest::pki().pkcs12;
  const SignatureResult signedScaled = SignatureService::signFile(request);
  ASSERT_TRUE(signedScaled.ok) << signedScaled.error.toStdString();
  for (const QString& source : {plain, request.outputPath}) {
    SCOPED_TRACE(source.toStdString());
    const QString output = source + ".stamped.pdf";
    SignatureStampOptions options;  // the built-in template, bottom right
    QString error;
    ASSERT_TRUE(createStampedPdfCopy(source, output, ivan(), QByteArray(32, '\x5a'), QDateTime::currentDateTime(),
                                     options, &error))
        << error.toStdString();
    if (source != plain) {
      EXPECT_EQ(signingtest::pdfsigValidations(output), QStringList{"Signature is Valid."});
    }
    const QList<oracles::PageInfo> pages = oracles::pdfinfoPages(output);
    ASSERT_EQ(pages.size(), 1);
    const QRectF stamp = stampRectOnPage(pages.first().size, options);  // y upwards
    const SignatureStampVariable signerLine = defaultSignatureStampVariables().first();
    ASSERT_TRUE(signerLine.text.contains("{{SIGNER}}"));
    const double lineTop = stamp.bottom() - signerLine.y * stamp.height();
    const double lineBottom = lineTop - signerLine.h * stamp.height();
    const QList<QRectF> boxes = oracles::wordBoxes(output, 0, "Петров", pages.first().size.height());
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_GT(boxes.first().center().y(), lineBottom - 2) << lineBottom << ".." << lineTop;
    EXPECT_LT(boxes.first().center().y(), lineTop + 2) << lineBottom << ".." << lineTop;
    const QImage render = oracles::renderWithPoppler(output, 0, 72);
    EXPECT_GT(oracles::inkIn(render, stamp, pages.first().size.height(), 72), 400);
  }
}
