// Times the window's whole-document OCR on a scan it makes from a real
// manual: pages of the PDF rendered in grey at D dpi and put back as images.
// Prints the run's wall time, the tesseract command line's total for the
// same page images (the window's renders) one after another on one thread,
// the worst lateness of a 10 ms GUI timer during the run, and beside them
// the peer's way: the scan's own D dpi images read by one tesseract process
// per page, as many at once as there are cores (what OCRmyPDF --jobs N runs,
// without its own rasterising and writing, so a bound below its time). The
// recall of each is the share of the manual's own words (two letters or
// more, each as often as the manual has it) that its text holds.
//   ulvo_bench_document_ocr [PDF] [--first F] [--pages N] [--dpi D] [--lang L] [--quality Z] [--keep SCAN]
// --quality is the settings' render zoom (1.5, 2 or 3; 0, the default, is "Авто").
// --keep also writes the scan to SCAN, to run other tools on it.
#include "MainWindow.h"
#include "OcrRunRules.h"
#include "core/PdfDocument.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QFile>
#include <QListWidget>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

class BenchWindow : public MainWindow {
 public:
  BenchWindow() : MainWindow(AppProduct::Editor) {}
  using MainWindow::currentDocument;
  using MainWindow::ocrBusy;
};

// Pages [first, first + count) of `source` as grey images in a new PDF.
bool writeScan(const QString& source, int first, int count, double dpi, const QString& path) {
  PdfDocument manual;
  if (!manual.open(source)) return false;
  QPdfWriter writer(path);
  writer.setResolution(72);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  QPainter painter;
  for (int i = 0; i < count && first + i < manual.pageCount(); ++i) {
    const QSizeF size = manual.pageSize(first + i);
    writer.setPageSize(QPageSize(size, QPageSize::Point));
    if (i == 0 ? !painter.begin(&writer) : !writer.newPage()) return false;
    const QImage grey = manual.renderPage(first + i, dpi / 72.0, 0).convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull()) return false;
    painter.drawImage(QRectF(QPointF(0, 0), size), grey);
  }
  return painter.isActive() && painter.end();
}

// Each page of `document` as a grey PNG at `dpi(page)` under `folder`, named
// `stem` and its number; empty when one cannot be written.
template <typename Dpi>
QStringList pageImages(const PdfDocument& document, Dpi dpi, const QString& folder, const QString& stem) {
  QStringList images;
  for (int i = 0; i < document.pageCount(); ++i) {
    const double pageDpi = dpi(i);
    QImage image = document.renderPage(i, pageDpi / 72.0, 0).convertToFormat(QImage::Format_Grayscale8);
    const int dotsPerMeter = int(pageDpi / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    images << folder + QStringLiteral("/%1%2.png").arg(stem).arg(i);
    if (!image.save(images.last())) return {};
  }
  return images;
}

// The command line on the images the window recognises, one after another.
double commandLineMs(const QString& scan, const QString& lang, const QString& folder) {
  PdfDocument document;
  if (!document.open(scan)) return -1;
  const QStringList images = pageImages(
      document, [&](int i) { return pageOcrScale(document.pageSize(i).width(), 0.0) * 72.0; }, folder, "page");
  if (images.size() != document.pageCount()) return -1;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
  QElapsedTimer timer;
  timer.start();
  for (const QString& image : images) {
    QProcess tesseract;
    tesseract.setProcessEnvironment(environment);
    tesseract.start(QStringLiteral("tesseract"), {image, QStringLiteral("-"), QStringLiteral("-l"), lang});
    if (!tesseract.waitForFinished(600000) || tesseract.exitCode() != 0) return -1;
  }
  return timer.nsecsElapsed() / 1e6;
}

// The words of a text as a bag, lower-cased.
QHash<QString, int> wordBag(const QString& text) {
  static const QRegularExpression word(QStringLiteral("[\\p{L}\\p{N}]{2,}"));
  QHash<QString, int> bag;
  for (auto it = word.globalMatch(text); it.hasNext();) ++bag[it.next().captured().toLower()];
  return bag;
}

double recall(const QHash<QString, int>& reference, const QString& text) {
  const QHash<QString, int> found = wordBag(text);
  qint64 total = 0;
  qint64 hits = 0;
  for (auto it = reference.begin(); it != reference.end(); ++it) {
    total += it.value();
    hits += std::min(it.value(), found.value(it.key()));
  }
  return total > 0 ? double(hits) / double(total) : 0.0;
}

// The peer's way: each page's image at the scan's resolution, one tesseract
// process per page, `jobs` at a time; the wall time of the recognition and
// the text read.
double peerMs(const QString& scan, double dpi, const QString& lang, const QString& folder, int jobs, QString* text) {
  PdfDocument document;
  if (!document.open(scan)) return -1;
  const QStringList images = pageImages(document, [dpi](int) { return dpi; }, folder, "peer");
  if (images.size() != document.pageCount()) return -1;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
  std::vector<std::unique_ptr<QProcess>> running;
  QStringList texts(images.size());
  QElapsedTimer timer;
  timer.start();
  int next = 0;
  bool failed = false;
  while ((next < images.size() || !running.empty()) && !failed) {
    while (next < images.size() && int(running.size()) < jobs) {
      auto process = std::make_unique<QProcess>();
      process->setProcessEnvironment(environment);
      process->setProperty("page", next);
      process->start(QStringLiteral("tesseract"), {images[next], QStringLiteral("-"), QStringLiteral("-l"), lang});
      running.push_back(std::move(process));
      ++next;
    }
    // Each is looked at in turn, so that a free core gets the next page at once.
    for (auto it = running.begin(); it != running.end();) {
      if (!(*it)->waitForFinished(5) && (*it)->state() != QProcess::NotRunning) {
        ++it;
        continue;
      }
      failed = failed || (*it)->exitCode() != 0;
      texts[(*it)->property("page").toInt()] = QString::fromUtf8((*it)->readAllStandardOutput());
      it = running.erase(it);
    }
  }
  const double ms = timer.nsecsElapsed() / 1e6;
  *text = texts.join(QLatin1Char('\n'));
  return failed ? -1 : ms;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir dir;
  // The run reads its languages from the settings; the user's stay untouched.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
  QApplication app(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("ulvo-bench"));
  QString source = QStringLiteral("/usr/share/doc/gnuplot/gnuplot.pdf");
  int first = 20;
  int pages = 10;
  double dpi = 300;
  QString lang = QStringLiteral("rus+eng");
  double quality = 0.0;  // the settings' "Качество:", 0 for "Авто"
  QString keep;
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--first" && i + 1 < args.size())
      first = std::max(1, args[++i].toInt());
    else if (args[i] == "--pages" && i + 1 < args.size())
      pages = std::max(1, args[++i].toInt());
    else if (args[i] == "--dpi" && i + 1 < args.size())
      dpi = std::max(72.0, args[++i].toDouble());
    else if (args[i] == "--lang" && i + 1 < args.size())
      lang = args[++i];
    else if (args[i] == "--quality" && i + 1 < args.size())
      quality = std::max(0.0, args[++i].toDouble());
    else if (args[i] == "--keep" && i + 1 < args.size())
      keep = args[++i];
    else
      source = args[i];
  }
  const QString scan = dir.filePath(QStringLiteral("scan.pdf"));
  if (!writeScan(source, first - 1, pages, dpi, scan)) {
    std::fprintf(stderr, "could not make the scan from %s\n", qPrintable(source));
    return 1;
  }
  if (!keep.isEmpty()) {
    QFile::remove(keep);
    QFile::copy(scan, keep);
  }
  QSettings().setValue(QStringLiteral("ocr/languages"), lang);
  QSettings().setValue(QStringLiteral("ocr/renderZoom"), quality);
  QString manualText;
  {
    PdfDocument manual;
    if (manual.open(source))
      for (int i = first - 1; i < first - 1 + pages && i < manual.pageCount(); ++i)
        manualText += manual.extractAllText(i) + QLatin1Char('\n');
  }
  const QHash<QString, int> reference = wordBag(manualText);

  BenchWindow window;
  window.resize(1300, 900);
  window.show();
  window.openFile(scan);
  if (!window.currentDocument->isOpen()) {
    std::fprintf(stderr, "could not open the scan\n");
    return 1;
  }
  QApplication::processEvents();

  // The GUI timer: how late each tick comes while the run is busy, over the
  // whole run and once its first page has been handed out.
  QElapsedTimer clock;
  clock.start();
  qint64 lastTick = -1;
  qint64 worstStall = 0;
  qint64 worstStallInPages = 0;
  bool started = false;
  bool busyAtLastTick = false;
  bool inPagesAtLastTick = false;
  QListWidget* log = nullptr;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    // A tick late because the run was still busy before it counts too: the
    // run's last stretch ends with the document refreshed.
    if (window.ocrBusy || busyAtLastTick) {
      started = true;
      if (lastTick >= 0) {
        const qint64 late = now - lastTick - ticker.interval();
        worstStall = std::max(worstStall, late);
        if (inPagesAtLastTick && window.ocrBusy) worstStallInPages = std::max(worstStallInPages, late);
      }
    }
    busyAtLastTick = window.ocrBusy;
    inPagesAtLastTick = window.ocrBusy && log &&
                        !log->findItems(QStringLiteral("• Страница 1: проверка"), Qt::MatchExactly).isEmpty();
    lastTick = now;
  });
  ticker.start();

  QElapsedTimer wall;
  wall.start();
  window.showOcrProgressDialog();
  for (QDialog* dialog : window.findChildren<QDialog*>())
    if (dialog->windowTitle() == QStringLiteral("OCR")) log = dialog->findChild<QListWidget*>();
  while (!started || window.ocrBusy) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  const double windowMs = wall.nsecsElapsed() / 1e6;
  ticker.stop();
  QString summary;
  for (int i = 0; log && i < log->count(); ++i)
    if (log->item(i)->text().startsWith(QStringLiteral("✓ Готово"))) summary = log->item(i)->text();

  QString windowText;
  for (int i = 0; i < window.currentDocument->pageCount(); ++i)
    windowText += window.currentDocument->extractAllText(i) + QLatin1Char('\n');
  const int jobs = QThread::idealThreadCount();
  QString peerText;
  const double peer = peerMs(scan, dpi, lang, dir.path(), jobs, &peerText);
  const double cliMs = commandLineMs(scan, lang, dir.path());
  std::printf("scan: %s pages %d-%d at %.0f dpi grey, languages %s, %d cores\n", qPrintable(source), first,
              first + pages - 1, dpi, qPrintable(lang), QThread::idealThreadCount());
  std::printf("window, whole-document OCR:   %.0f ms (%s), recall %.3f\n", windowMs, qPrintable(summary),
              recall(reference, windowText));
  std::printf("peer, %d tesseract at once:    %.0f ms at %.0f dpi, recall %.3f\n", jobs, peer, dpi,
              recall(reference, peerText));
  std::printf("ratio window / peer:          %.2f\n", peer > 0 ? windowMs / peer : 0.0);
  std::printf("tesseract CLI, one by one:    %.0f ms (OMP_THREAD_LIMIT=1)\n", cliMs);
  std::printf("ratio window / CLI:           %.2f\n", cliMs > 0 ? windowMs / cliMs : 0.0);
  std::printf("worst GUI stall, pages:       %lld ms (while pages are recognised and written)\n",
              static_cast<long long>(worstStallInPages));
  std::printf("worst GUI stall, whole run:   %lld ms (with the run's start and the refresh after)\n",
              static_cast<long long>(worstStall));
  return 0;
}
