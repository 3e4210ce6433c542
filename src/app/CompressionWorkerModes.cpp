#include "CompressionWorkerModes.h"

#include "ui/UiLanguage.h"

#include "core/CompressionOptionsJson.h"
#include "core/MemoryOnlyFile.h"
#include "core/PageImageRules.h"
#include "core/PdfDocument.h"
#include "core/SignatureChildProcess.h"

#include <QCoreApplication>
#include <QFile>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

int reply(const QJsonObject& object, int exitCode) {
  const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
  std::printf("%s\n", json.constData());
  std::fflush(stdout);
  return exitCode;
}

struct TargetCandidate {
  QString label;
  PdfDocument::CompressionOptions options;
};

struct TargetResult {
  bool finished = false;
  bool ok = false;
  qint64 bytes = -1;
  bool sampled = false;
  QString error;

  bool usable() const { return ok && bytes > 0; }
};

TargetCandidate candidate(const char* label, int dpi, int quality, bool monochrome) {
  TargetCandidate row{QString::fromUtf8(label), {}};
  row.options.imageDpi = dpi;
  row.options.jpegQuality = quality;
  row.options.monochrome = monochrome;
  return row;
}

// Best quality first; the monochrome rows only when no colour row fits.
QList<TargetCandidate> fitTable() {
  return {
      candidate("Почти без потери качества", 300, 85, false),
      candidate("Промежуточный бережный режим", 240, 80, false),
      candidate("Бережное сжатие", 200, 75, false),
      candidate("Умеренное сжатие", 180, 68, false),
      candidate("Среднее сжатие", 150, 55, false),
      candidate("Плотное среднее сжатие", 140, 50, false),
      candidate("Сильное сжатие", 120, 42, false),
      candidate("Сильное сжатие 100 dpi", 100, 35, false),
      candidate("Экстремальное сжатие", 72, 28, false),
      candidate("Экстремальное цветное сжатие", 72, 22, false),
      candidate("Жёсткий минимум цветом", 72, 16, false),
      candidate("Монохром 150 dpi", 150, 55, true),
      candidate("Монохром 120 dpi", 120, 45, true),
      candidate("Монохром 100 dpi", 100, 40, true),
      candidate("Монохром 72 dpi", 72, 35, true),
  };
}

TargetResult resultOf(bool success, const QByteArray& out, const QByteArray& err, const QString& fallback) {
  TargetResult result;
  result.finished = true;
  const QJsonDocument document = QJsonDocument::fromJson(out.trimmed());
  const QJsonObject json = document.object();
  if (!success) {
    // The worker's own message first; its diagnostics only when it gave none.
    result.error = json.value(QStringLiteral("error")).toString();
    if (result.error.isEmpty()) result.error = QString::fromUtf8(err).trimmed();
    if (result.error.isEmpty()) result.error = fallback;
    return result;
  }
  result.ok = document.isObject() && json.value(QStringLiteral("ok")).toBool();
  bool converted = false;
  const qint64 bytes = json.value(QStringLiteral("bytes")).toString().toLongLong(&converted, 10);
  result.bytes = converted ? bytes : 0;
  result.sampled = json.value(QStringLiteral("sampled")).toBool();
  result.error = json.value(QStringLiteral("error")).toString();
  if (!result.ok && result.error.isEmpty()) result.error = QStringLiteral("некорректный ответ фонового процесса");
  return result;
}

QJsonObject estimateJson(int row, const TargetCandidate& candidate, const TargetResult& result) {
  return {{QStringLiteral("index"), row},
          {QStringLiteral("label"), candidate.label},
          {QStringLiteral("bytes"), QString::number(result.bytes)},
          {QStringLiteral("sampled"), result.sampled},
          {QStringLiteral("options"), compressionOptionsToJson(candidate.options)}};
}

// What one estimate worker may take at its peak: the process itself plus,
// per pixel of the largest page, the ARGB render, its flattened copy and the
// RGB copy the encoder reads.
constexpr qint64 kEstimateProcessBytes = 96ll << 20;
constexpr qint64 kEstimateBytesPerPixel = 12;

qint64 estimateWorkerBytes(double largestPageArea, int dpi) {
  const double scale = dpi / 72.0;
  const double pixels = largestPageArea * scale * scale;
  // A render over the pixel budget is refused by the worker before it is made.
  if (!(pixels <= double(kMaxRenderPixels))) return kEstimateProcessBytes;
  return kEstimateProcessBytes + qint64(pixels) * kEstimateBytesPerPixel;
}

// Half of what the system can still give without swapping; all workers
// together stay within it.
qint64 memoryBudget() {
  QFile meminfo(QStringLiteral("/proc/meminfo"));
  if (meminfo.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
      if (!line.startsWith("MemAvailable:")) continue;
      const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong();
      if (kib > 0) return kib * 1024 / 2;
    }
  }
  return 2ll << 30;
}

// The largest page of the document in square points; 0 when it cannot be read
// (the workers then report why).
double largestPageArea(const QString& pdf) {
  PdfDocument document;
  if (!document.open(pdf)) return 0;
  double largest = 0;
  for (int page = 0; page < document.pageCount(); ++page) {
    const QSizeF size = document.pageSize(page);
    largest = std::max(largest, size.width() * size.height());
  }
  return largest;
}

// Runs the estimate workers, at most `parallelism` at a time and within the
// memory budget, and fills one result per row.
class FitRun {
public:
  FitRun(const QString& pdf, const QList<TargetCandidate>& table)
      : pdf(pdf), table(table), results(table.size()),
        parallelism(std::max(1, std::min(4, std::max(1, QThread::idealThreadCount()) - 1))),
        pageArea(largestPageArea(pdf)), budget(memoryBudget()) {}

  QList<TargetResult> run() {
    startMore();
    if (running > 0) loop.exec();
    return results;
  }

private:
  void startMore() {
    while (running < parallelism && nextRow < table.size()) {
      // One worker always runs; more only while their peaks fit together.
      const qint64 cost = estimateWorkerBytes(pageArea, table.at(nextRow).options.imageDpi);
      if (running > 0 && reserved + cost > budget) break;
      const int row = nextRow++;
      reserved += cost;
      const PdfDocument::CompressionOptions& options = table.at(row).options;
      auto* process = new QProcess(&loop);
      process->setProgram(QCoreApplication::applicationFilePath());
      process->setArguments({QStringLiteral("--ulvo-compression-estimate"), pdf, QString::number(row),
                             QString::number(options.imageDpi), QString::number(options.jpegQuality),
                             options.monochrome ? QStringLiteral("1") : QStringLiteral("0"),
                             options.grayscale ? QStringLiteral("1") : QStringLiteral("0")});
      // A killed fit worker leaves no estimate rendering behind it; a
      // document in memory only is handed on to the estimates alone.
      tieChildToThisProcess(process, inheritedCopy);
      QObject::connect(process, &QProcess::finished, &loop,
                       [this, process, row](int exitCode, QProcess::ExitStatus status) {
                         complete(process, row, exitCode == 0 && status == QProcess::NormalExit,
                                  QStringLiteral("фоновый процесс завершился с ошибкой"));
                       });
      QObject::connect(process, &QProcess::errorOccurred, &loop, [this, process, row](QProcess::ProcessError) {
        complete(process, row, false, QStringLiteral("не удалось запустить фоновый процесс"));
      });
      // Counted before the start, so that a failure reported from inside start() is balanced.
      ++running;
      process->start(QIODevice::ReadWrite);
    }
  }

  void complete(QProcess* process, int row, bool success, const QString& fallback) {
    // A crash brings an error and then "finished": each worker counts once.
    if (process->property("_ulvo_done").toBool()) return;
    process->setProperty("_ulvo_done", true);
    const QByteArray out = process->readAllStandardOutput();
    const TargetResult result = resultOf(success, out, process->readAllStandardError(), fallback);
    if (row >= 0 && row < results.size()) {
      results[row] = result;
      reserved -= estimateWorkerBytes(pageArea, table.at(row).options.imageDpi);
    }
    --running;
    process->deleteLater();
    startMore();
    if (running == 0 && nextRow >= table.size()) loop.quit();
  }

  QString pdf;
  int inheritedCopy = adoptInheritedMemoryFile(pdf);
  QList<TargetCandidate> table;
  QList<TargetResult> results;
  int parallelism;
  double pageArea;
  qint64 budget;
  qint64 reserved = 0;
  int nextRow = 0;
  int running = 0;
  QEventLoop loop;
};

}  // namespace

int runCompressionEstimateCli(const QStringList& args) {
  if (args.size() < 8)
    return reply({{QStringLiteral("ok"), false},
                  {QStringLiteral("error"),
                   QStringLiteral("Usage: --ulvo-compression-estimate <pdf> <index> <dpi> <quality> <mono> <gray>")}},
                 2);
  const QString pdf = args.at(2);
  const int index = args.at(3).toInt(nullptr, 10);
  PdfDocument::CompressionOptions options;
  options.imageDpi = args.at(4).toInt(nullptr, 10);
  options.jpegQuality = args.at(5).toInt(nullptr, 10);
  options.monochrome = args.at(6).toInt(nullptr, 10) != 0;
  options.grayscale = args.at(7).toInt(nullptr, 10) != 0;
  options.recompressSmallImages = true;
  options.rasterizePages = true;

  QJsonObject json{{QStringLiteral("index"), index}};
  adoptInheritedMemoryFile(pdf);
  PdfDocument document;
  if (!document.open(pdf)) {
    json.insert(QStringLiteral("ok"), false);
    json.insert(QStringLiteral("error"), document.lastError());
    return reply(json, 3);
  }
  bool sampled = false;
  const qint64 bytes = document.estimateCompressedSize(options, &sampled);
  if (bytes < 1) {
    json.insert(QStringLiteral("ok"), false);
    json.insert(QStringLiteral("error"), document.lastError().isEmpty()
                                             ? uiTranslate(QStringLiteral("Не удалось оценить размер PDF."))
                                             : document.lastError());
    return reply(json, 4);
  }
  json.insert(QStringLiteral("ok"), true);
  json.insert(QStringLiteral("bytes"), QString::number(bytes));
  json.insert(QStringLiteral("sampled"), sampled);
  return reply(json, 0);
}

int runCompressionFitCli(const QStringList& args) {
  if (args.size() < 4)
    return reply({{QStringLiteral("ok"), false},
                  {QStringLiteral("error"), QStringLiteral("Usage: --ulvo-compression-fit <pdf> <target-bytes>")}},
                 2);
  const QString pdf = args.at(2);
  bool parsed = false;
  qint64 limit = args.at(3).toLongLong(&parsed, 10);
  if (!parsed || limit < 1) limit = 1;

  const QList<TargetCandidate> table = fitTable();
  const QList<TargetResult> results = FitRun(pdf, table).run();

  int matched = -1;
  int smallest = -1;
  QString firstError;
  for (int row = 0; row < results.size(); ++row) {
    const TargetResult& result = results.at(row);
    if (!result.usable()) {
      if (firstError.isEmpty()) firstError = result.error;
      continue;
    }
    if (matched < 0 && result.bytes <= limit) matched = row;
    if (smallest < 0 || result.bytes < results.at(smallest).bytes) smallest = row;
  }
  const int chosen = matched >= 0 ? matched : smallest;
  if (chosen < 0)
    return reply({{QStringLiteral("ok"), false},
                  {QStringLiteral("error"),
                   firstError.isEmpty() ? QStringLiteral("Не удалось подобрать настройки.") : firstError}},
                 4);

  QJsonArray estimates;
  for (int row = 0; row < results.size(); ++row)
    if (results.at(row).usable()) estimates.append(estimateJson(row, table.at(row), results.at(row)));
  const TargetResult& best = results.at(chosen);
  return reply({{QStringLiteral("ok"), true},
                {QStringLiteral("label"), table.at(chosen).label},
                {QStringLiteral("bytes"), QString::number(best.bytes)},
                {QStringLiteral("sampled"), best.sampled},
                {QStringLiteral("matchedTarget"), matched >= 0},
                {QStringLiteral("options"), compressionOptionsToJson(table.at(chosen).options)},
                {QStringLiteral("estimates"), estimates}},
               0);
}
