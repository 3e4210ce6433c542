// Replays the robustness corpus through the embedded signature: every file is
// either prepared for signing, keeping its bytes in front and passing
// `qpdf --check` wherever the input did, or refused with a message. A sample
// is signed for real and judged by pdfsig.
#include "CorpusReplay.h"
#include "SigningTestSupport.h"
#include "TestSupport.h"

#include "core/PdfSignatureShell.h"
#include "core/SignatureService.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace corpus;

namespace {

// Every so many prepared files one is signed for real and given to pdfsig.
constexpr int kSignedSampleEvery = 25;

struct QpdfCheck {
  int code = -1;
  int diagnostics = 0;  // lines of warnings and errors
};

QpdfCheck qpdfCheck(const QString& path) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
  QpdfCheck check;
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    return check;
  }
  check.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  for (const QByteArray& line : process.readAll().split('\n'))
    check.diagnostics += line.startsWith("WARNING") || line.startsWith("ERROR");
  return check;
}

void expectByteRangeCoversAllButContents(const PdfSignatureShell& shell, qsizetype inputSize) {
  const QRegularExpressionMatch range = QRegularExpression("/ByteRange \\[(\\d{20}) (\\d{20}) (\\d{20}) (\\d{20})\\]")
                                            .match(QString::fromLatin1(shell.pdf.mid(inputSize)));
  ASSERT_TRUE(range.hasMatch());
  const qint64 b = range.captured(2).toLongLong(), c = range.captured(3).toLongLong();
  EXPECT_EQ(range.captured(1).toLongLong(), 0);
  EXPECT_EQ(b, shell.contentsOffset - 1);
  EXPECT_EQ(c, shell.contentsOffset + shell.contentsLength + 1);
  EXPECT_EQ(c + range.captured(4).toLongLong(), shell.pdf.size());
  EXPECT_EQ(shell.signedBytes, shell.pdf.left(b) + shell.pdf.mid(c));
}

void expectSignedForReal(const QString& input, const QString& folder) {
  const QString copy = folder + QStringLiteral("/sample.pdf");
  QFile::remove(copy);
  ASSERT_TRUE(QFile::copy(input, copy));
  SignatureRequest request;
  request.inputPath = copy;
  request.outputPath = folder + QStringLiteral("/sample.signed.pdf");
  request.mode = SignatureMode::EmbeddedPdf;
  request.pkcs12Path = signingtest::pki().pkcs12;
  const SignatureResult result = SignatureService::signFile(request);
  ASSERT_TRUE(result.ok) << result.error.toStdString();
  QByteArray report;
  testsupport::runTool("pdfsig", {request.outputPath}, &report, 60000);
  const QList<QByteArray> signatures = report.split('#');
  ASSERT_GE(signatures.size(), 2) << report.toStdString();
  EXPECT_TRUE(signatures.last().contains("Signature is Valid.")) << report.toStdString();
  EXPECT_TRUE(signatures.last().contains("Total document signed")) << report.toStdString();
}

}  // namespace

TEST(EmbeddedSignatureCorpus, EveryFileIsPreparedSoundlyOrRefusedWithAMessage) {
  ASSERT_TRUE(testsupport::hasTool("qpdf") && testsupport::hasTool("pdfsig"));
  signingtest::resetSigningSettings(QStringLiteral("never"));
  const QStringList files = corpusFiles();
  ASSERT_GT(files.size(), 100) << "corpus missing at " << testsupport::corpusDir().toStdString();
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const QString output = folder.filePath(QStringLiteral("prepared.pdf"));
  Watchdog watchdog(std::chrono::seconds(60));
  QElapsedTimer clock;
  clock.start();
  int prepared = 0, refused = 0, failingBefore = 0, sampled = 0;
  for (const QString& file : files) {
    SCOPED_TRACE(file.toStdString());
    watchdog.start(file);
    QFile input(file);
    ASSERT_TRUE(input.open(QIODevice::ReadOnly));
    const QByteArray bytes = input.readAll();
    PdfSignatureShell shell;
    QString error;
    if (!preparePdfSignatureShell(bytes, QString(), &shell, &error)) {
      EXPECT_FALSE(error.isEmpty());
      EXPECT_TRUE(shell.pdf.isEmpty());
      ++refused;
      continue;
    }
    ++prepared;
    EXPECT_TRUE(shell.pdf.startsWith(bytes));
    expectByteRangeCoversAllButContents(shell, bytes.size());
    signingtest::writeBytes(output, shell.pdf);
    const QpdfCheck check = qpdfCheck(output);
    if (check.code != 0) {
      // A file qpdf already faulted (a broken image or content stream, a
      // tangled page tree) keeps its faults; the update must add none.
      const QpdfCheck before = qpdfCheck(file);
      EXPECT_NE(before.code, 0) << "the update broke a sound file";
      EXPECT_EQ(check.code, before.code);
      EXPECT_EQ(check.diagnostics, before.diagnostics);
      ++failingBefore;
    }
    if (prepared % kSignedSampleEvery == 1) {
      expectSignedForReal(file, folder.path());
      ++sampled;
    }
  }
  watchdog.start(QString());
  std::printf("embedded signature corpus: %d prepared (%d already faulted by qpdf), %d refused, %d signed for "
              "pdfsig, %lld ms\n",
              prepared, failingBefore, refused, sampled, clock.elapsed());
  EXPECT_GT(prepared, files.size() / 2);
}
