#include "ExportTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

const QString kEstimate = QStringLiteral("--ulvo-compression-estimate");
const QString kFit = QStringLiteral("--ulvo-compression-fit");

struct Reply {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
  QJsonObject json;
  int mostChildren = 0;  // estimate children seen running at once
  qint64 peakKib = 0;    // the program's own peak resident memory (VmHWM), read from /proc while it ran
};

qint64 peakResidentKib(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
  return 0;
}

QProcessEnvironment withoutDisplay() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  return env;
}

// Running estimate workers whose parent is `parent`, read from /proc.
QList<qint64> estimateChildrenOf(qint64 parent) {
  QList<qint64> children;
  for (const exporttest::ChildProcess& child : exporttest::childProcesses(parent))
    if (child.arguments.contains(kEstimate)) children.append(child.pid);
  return children;
}

// Runs the program without a display, watching how many estimate children
// it has at once, and checks that standard output is one JSON line.
Reply run(const QStringList& args) {
  Reply reply;
  QProcess process;
  process.setProcessEnvironment(withoutDisplay());
  process.start(QStringLiteral(ULVO_BINARY), args);
  if (!process.waitForStarted()) return reply;
  while (!process.waitForFinished(5)) {
    reply.mostChildren = std::max(reply.mostChildren, int(estimateChildrenOf(process.processId()).size()));
    reply.peakKib = std::max(reply.peakKib, peakResidentKib(process.processId()));
  }
  reply.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  reply.out = process.readAllStandardOutput();
  reply.err = process.readAllStandardError();
  EXPECT_TRUE(reply.out.endsWith('\n')) << reply.out.toStdString();
  EXPECT_EQ(reply.out.count('\n'), 1) << reply.out.toStdString();
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(reply.out, &error);
  EXPECT_TRUE(document.isObject()) << error.errorString().toStdString() << ": " << reply.out.toStdString();
  reply.json = document.object();
  return reply;
}

QStringList keysOf(const QJsonObject& json) { return json.keys(); }

int expectedParallelism() { return std::max(1, std::min(4, std::max(1, QThread::idealThreadCount()) - 1)); }

class CompressionWorkerModes : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir = new QTemporaryDir;
    ASSERT_TRUE(dir->isValid());
    twoPages = dir->filePath("two.pdf");
    ASSERT_TRUE(writePdf(twoPages, {{"Compression worker", true, {200, 150}}, {"second", false, {150, 200}}}));
    notPdf = dir->filePath("text.pdf");
    QFile file(notPdf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("plain text, not a PDF\n");
  }
  static void TearDownTestSuite() { delete dir; }

  static qint64 writtenSize(const QString& pdf, const PdfDocument::CompressionOptions& options) {
    PdfDocument doc;
    if (!doc.open(pdf)) return -1;
    const QString out = dir->filePath("written.pdf");
    if (!doc.compressTo(out, options)) return -1;
    return QFileInfo(out).size();
  }

  static QTemporaryDir* dir;
  static QString twoPages;
  static QString notPdf;
};

QTemporaryDir* CompressionWorkerModes::dir = nullptr;
QString CompressionWorkerModes::twoPages;
QString CompressionWorkerModes::notPdf;

}  // namespace

TEST_F(CompressionWorkerModes, UsageErrorsExitTwoWithTheUsageReply) {
  const QByteArray estimateUsage =
      "{\"error\":\"Usage: --ulvo-compression-estimate <pdf> <index> <dpi> <quality> <mono> <gray>\",\"ok\":false}\n";
  const QByteArray fitUsage = "{\"error\":\"Usage: --ulvo-compression-fit <pdf> <target-bytes>\",\"ok\":false}\n";
  const struct {
    QStringList args;
    QByteArray reply;
  } cases[] = {
      {{kEstimate}, estimateUsage},
      {{kEstimate, twoPages}, estimateUsage},
      {{kEstimate, twoPages, "0", "150", "55", "0"}, estimateUsage},
      {{kFit}, fitUsage},
      {{kFit, twoPages}, fitUsage},
  };
  for (const auto& c : cases) {
    const Reply reply = run(c.args);
    EXPECT_EQ(reply.exitCode, 2) << c.args.join(' ').toStdString();
    EXPECT_EQ(reply.out, c.reply);
  }
}

TEST_F(CompressionWorkerModes, EstimateReportsUnreadableFilesWithExitThree) {
  const struct {
    QString file;
    QString error;  // empty: any non-empty message
  } cases[] = {{dir->filePath("missing.pdf"), QString()},
               {notPdf, QStringLiteral("файл не является документом PDF или повреждён")}};
  for (const auto& c : cases) {
    const Reply reply = run({kEstimate, c.file, "7", "150", "55", "0", "0"});
    EXPECT_EQ(reply.exitCode, 3);
    EXPECT_EQ(keysOf(reply.json), QStringList({"error", "index", "ok"}));
    EXPECT_EQ(reply.json.value("index").toInt(-1), 7);
    EXPECT_FALSE(reply.json.value("ok").toBool(true));
    if (c.error.isEmpty())
      EXPECT_FALSE(reply.json.value("error").toString().isEmpty());
    else
      EXPECT_EQ(reply.json.value("error").toString(), c.error);
  }
}

// The worker's forecast is the exact size of the file the writer produces
// for the same options, with the arguments read as documented.
TEST_F(CompressionWorkerModes, EstimateForecastsTheWrittenFileExactly) {
  const struct {
    QStringList args;  // index, dpi, quality, mono, gray and anything after
    PdfDocument::CompressionOptions options;
    int index;
  } cases[] = {
      {{"3", "150", "55", "0", "0"}, {.imageDpi = 150, .jpegQuality = 55}, 3},
      {{"x", "120", "40", "true", "1", "ignored"}, {.imageDpi = 120, .jpegQuality = 40, .grayscale = true}, 0},
      {{"14", "72", "35", "-1", "0"}, {.imageDpi = 72, .jpegQuality = 35, .monochrome = true}, 14},
      {{"2", "dpi", "q", "0", "0"}, {.imageDpi = 36, .jpegQuality = 1}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const Reply reply = run(QStringList{kEstimate, twoPages} + c.args);
    ASSERT_EQ(reply.exitCode, 0) << reply.err.toStdString();
    EXPECT_EQ(keysOf(reply.json), QStringList({"bytes", "index", "ok", "sampled"}));
    EXPECT_TRUE(reply.out.startsWith("{\"bytes\":\"")) << "bytes is a string";
    EXPECT_TRUE(reply.json.value("ok").toBool());
    EXPECT_FALSE(reply.json.value("sampled").toBool(true));
    EXPECT_EQ(reply.json.value("index").toInt(-1), c.index);
    EXPECT_EQ(reply.json.value("bytes").toString().toLongLong(), writtenSize(twoPages, c.options));
  }
}

TEST_F(CompressionWorkerModes, EstimateSamplesAboveTwentyPages) {
  for (int pages : {20, 21}) {
    QList<PageSpec> specs;
    for (int i = 0; i < pages; ++i) specs.append({QString::number(i + 1), false, {100, 100}});
    const QString pdf = dir->filePath(QStringLiteral("pages%1.pdf").arg(pages));
    ASSERT_TRUE(writePdf(pdf, specs));
    const Reply reply = run({kEstimate, pdf, "1", "72", "50", "0", "0"});
    ASSERT_EQ(reply.exitCode, 0);
    EXPECT_EQ(reply.json.value("sampled").toBool(), pages > 20) << pages;
  }
}

TEST_F(CompressionWorkerModes, FitChoosesTheFirstRowUnderTheLimitOrTheSmallest) {
  const Reply all = run({kFit, twoPages, "999999999999"});
  ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
  EXPECT_EQ(keysOf(all.json),
            QStringList({"bytes", "estimates", "label", "matchedTarget", "ok", "options", "sampled"}));
  EXPECT_EQ(all.json.value("label").toString(), QStringLiteral("Почти без потери качества"));
  EXPECT_TRUE(all.json.value("matchedTarget").toBool());
  EXPECT_EQ(all.json.value("options").toObject().value("imageDpi").toInt(), 300);
  const QJsonArray estimates = all.json.value("estimates").toArray();
  ASSERT_EQ(estimates.size(), 15);
  QList<qint64> bytes;
  QStringList labels;
  for (int row = 0; row < estimates.size(); ++row) {
    const QJsonObject estimate = estimates.at(row).toObject();
    EXPECT_EQ(estimate.value("index").toInt(-1), row);
    ASSERT_TRUE(estimate.value("bytes").isString());
    bytes.append(estimate.value("bytes").toString().toLongLong());
    EXPECT_GT(bytes.last(), 0);
    labels.append(estimate.value("label").toString());
    EXPECT_EQ(estimate.value("options").toObject().value("monochrome").toBool(), row >= 11);
    EXPECT_EQ(estimate.value("options").toObject().keys().size(), 6);
  }
  EXPECT_EQ(all.json.value("bytes").toString().toLongLong(), bytes.first());
  EXPECT_EQ(labels.at(14), QStringLiteral("Монохром 72 dpi"));
  // A forecast of the table is the exact size of the written copy.
  EXPECT_EQ(bytes.at(4), writtenSize(twoPages, PdfDocument::CompressionOptions{.imageDpi = 150, .jpegQuality = 55}));

  const qint64 smallest = *std::min_element(bytes.begin(), bytes.end());
  const int smallestRow = int(bytes.indexOf(smallest));
  const qint64 middle = bytes.at(6);
  int firstFitting = 0;
  while (bytes.at(firstFitting) > middle) ++firstFitting;
  const struct {
    QString limit;
    int row;
    bool matched;
  } cases[] = {
      {QString::number(middle), firstFitting, true},
      {"0", smallestRow, false},
      {"not a number", smallestRow, false},
  };
  for (const auto& c : cases) {
    const Reply reply = run({kFit, twoPages, c.limit});
    ASSERT_EQ(reply.exitCode, 0) << c.limit.toStdString();
    EXPECT_EQ(reply.json.value("label").toString(), labels.at(c.row)) << c.limit.toStdString();
    EXPECT_EQ(reply.json.value("bytes").toString().toLongLong(), bytes.at(c.row));
    EXPECT_EQ(reply.json.value("matchedTarget").toBool(!c.matched), c.matched);
    EXPECT_LE(reply.mostChildren, expectedParallelism());
  }
  EXPECT_GE(all.mostChildren, 1);
  EXPECT_LE(all.mostChildren, expectedParallelism());
}

TEST_F(CompressionWorkerModes, FitFailsWithTheFirstRowsErrorWhenNoForecastWorks) {
  const struct {
    QString file;
    QString error;
  } cases[] = {
      {dir->filePath("missing.pdf"), QStringLiteral("файл не найден")},
      {notPdf, QStringLiteral("файл не является документом PDF или повреждён")},
  };
  for (const auto& c : cases) {
    const Reply reply = run({kFit, c.file, "100000"});
    EXPECT_EQ(reply.exitCode, 4);
    EXPECT_EQ(keysOf(reply.json), QStringList({"error", "ok"}));
    EXPECT_EQ(reply.json.value("error").toString(), c.error);
  }
}

// Estimate children run in parallel, at most min(4, threads - 1) at once,
// and die with a killed fit worker instead of rendering on for nobody.
TEST_F(CompressionWorkerModes, EstimateChildrenAreBoundedAndDieWithTheFitWorker) {
  QList<PageSpec> specs;
  for (int i = 0; i < 20; ++i) specs.append({QStringLiteral("Heavy page %1").arg(i + 1), true});
  const QString heavy = dir->filePath("heavy.pdf");
  ASSERT_TRUE(writePdf(heavy, specs));

  QProcess fit;
  fit.setProcessEnvironment(withoutDisplay());
  fit.start(QStringLiteral(ULVO_BINARY), {kFit, heavy, "1000"});
  ASSERT_TRUE(fit.waitForStarted());
  QList<qint64> children;
  QElapsedTimer timer;
  timer.start();
  while (children.size() < expectedParallelism() && timer.elapsed() < 30000 && !fit.waitForFinished(5))
    children = estimateChildrenOf(fit.processId());
  ASSERT_FALSE(children.isEmpty());
  EXPECT_LE(children.size(), expectedParallelism());

  ::kill(pid_t(fit.processId()), SIGKILL);
  fit.waitForFinished();
  // Each child would need seconds to render its twenty pages; killed with
  // its parent it is gone at once.
  timer.restart();
  bool allGone = false;
  while (!allGone && timer.elapsed() < 3000) {
    allGone = std::all_of(children.begin(), children.end(), exporttest::goneOrZombie);
    if (!allGone) QThread::msleep(20);
  }
  EXPECT_TRUE(allGone);
  for (qint64 pid : children)
    if (!exporttest::goneOrZombie(pid)) ::kill(pid_t(pid), SIGKILL);
}

// A 444-byte PDF whose one page is 200 by 200 inches: at 300 dpi that is
// 3.6 gigapixels. The forecast is refused with a message instead of
// rendering a clamped 4 GB bitmap.
TEST_F(CompressionWorkerModes, AHugePageIsRefusedWithinAMemoryBound) {
  const QString huge = dir->filePath("huge.pdf");
  {
    QByteArray pdf = "%PDF-1.4\n";
    QList<int> offsets;
    for (const QByteArray& body : {QByteArray("<< /Type /Catalog /Pages 2 0 R >>"),
                                   QByteArray("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
                                   QByteArray("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 14400 14400] >>")}) {
      offsets.append(int(pdf.size()));
      pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    }
    const int xref = int(pdf.size());
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (int offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pdf);
  }
  ASSERT_LT(QFileInfo(huge).size(), 512);

  const Reply estimate = run({kEstimate, huge, "0", "300", "85", "0", "0"});
  EXPECT_EQ(estimate.exitCode, 4) << estimate.out.toStdString();
  EXPECT_FALSE(estimate.json.value("ok").toBool(true));
  const QString message = estimate.json.value("error").toString();
  EXPECT_TRUE(message.startsWith("Страница 1 слишком велика для отрисовки при 300 dpi")) << message.toStdString();
  EXPECT_GT(estimate.peakKib, 0);
  EXPECT_LT(estimate.peakKib, 400 * 1024) << "peak resident memory in KiB";
  // The kernel's own account of the largest child ever waited for bounds
  // what polling /proc may have missed at the very end.
  rusage children{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, 1024 * 1024) << "KiB";

  // The fit worker's children refuse the page the same way and it gives up
  // with a message instead of rendering.
  const Reply fit = run({kFit, huge, "100000"});
  EXPECT_EQ(fit.exitCode, 4) << fit.out.toStdString();
  EXPECT_FALSE(fit.json.value("error").toString().isEmpty());
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, 1024 * 1024) << "KiB";
}

// Where a PDF belongs, a pipe or device is refused at once instead of being
// read for ever.
TEST_F(CompressionWorkerModes, EstimateRefusesPipesAndDevices) {
  const QString fifo = dir->filePath("document.fifo");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  for (const QString& source : {fifo, QStringLiteral("/dev/zero")}) {
    const Reply reply = run({kEstimate, source, "0", "150", "55", "0", "0"});
    EXPECT_EQ(reply.exitCode, 3) << reply.out.toStdString();
    EXPECT_EQ(reply.json.value("error").toString(),
              "Не удалось открыть PDF: это не обычный файл (канал, устройство или папка).");
  }
}
