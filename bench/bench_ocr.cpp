// Times page recognition stage by stage beside the tesseract command line on
// the same image. One line per figure, the median of several runs:
//   ulvo_bench_ocr [IMAGE] [--dpi D] [--lang L] [--runs R]
// Without IMAGE an A4 page of Russian and English text is drawn at D dpi.
#include "ocr/OcrEngine.h"
#include "ocr/OcrPagePipeline.h"

#include <QElapsedTimer>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

QImage drawTextPage(double dpi) {
  const double scale = dpi / 72.0;
  QImage image(int(595 * scale), int(842 * scale), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.scale(scale, scale);
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPointSizeF(11 * 72.0 / image.logicalDpiY());
  painter.setFont(font);
  const QStringList sentences = {
      QStringLiteral("Настоящий договор заключён между сторонами и вступает в силу со дня подписания."),
      QStringLiteral("The quarterly report describes the results of the survey in twelve regions."),
      QStringLiteral("Исполнитель обязуется выполнить работы в срок, указанный в приложении."),
      QStringLiteral("Figures in the tables are rounded to the nearest whole number."),
  };
  double y = 60;
  for (int i = 0; y < 780; ++i, y += 16) {
    painter.drawText(QPointF(60, y), sentences[i % sentences.size()]);
    if (i % 8 == 7) y += 14;
  }
  return image;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QStringList args = app.arguments();
  QString imagePath;
  QString lang = QStringLiteral("rus+eng");
  double dpi = 300;
  int runs = 3;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--dpi" && i + 1 < args.size()) dpi = args[++i].toDouble();
    else if (args[i] == "--lang" && i + 1 < args.size()) lang = args[++i];
    else if (args[i] == "--runs" && i + 1 < args.size()) runs = std::max(1, args[++i].toInt());
    else imagePath = args[i];
  }
  const QImage page = imagePath.isEmpty() ? drawTextPage(dpi) : QImage(imagePath);
  if (page.isNull()) {
    std::fprintf(stderr, "cannot read image %s\n", qPrintable(imagePath));
    return 2;
  }
  const double scale = dpi / 72.0;
  const double pageHeight = page.height() / scale;

  OcrEngine engine;
  if (!engine.init(lang)) {
    std::fprintf(stderr, "tesseract cannot load %s\n", qPrintable(lang));
    return 1;
  }
  std::vector<double> recognise, lines, ink, grouping, fonts, style, images, finish, total;
  std::size_t blockCount = 0;
  for (int r = 0; r < runs; ++r) {
    QElapsedTimer timer;
    timer.start();
    std::vector<OcrWord> words = engine.recognizeWords(page, scale, pageHeight);
    recognise.push_back(timer.nsecsElapsed() / 1e6);
    OcrStageTimes t;
    blockCount = assemblePageBlocks(std::move(words), page, 0, scale, pageHeight, &t).size();
    total.push_back(timer.nsecsElapsed() / 1e6);
    lines.push_back(t.lines);
    ink.push_back(t.ink);
    grouping.push_back(t.grouping);
    fonts.push_back(t.fonts);
    style.push_back(t.style);
    images.push_back(t.images);
    finish.push_back(t.finish);
  }

  QTemporaryDir dir;
  const QString png = dir.filePath(QStringLiteral("page.png"));
  page.save(png);
  std::vector<double> cli;
  for (int r = 0; r < runs; ++r) {
    QElapsedTimer timer;
    timer.start();
    QProcess tesseract;
    // Single-threaded, as the engine runs.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("OMP_THREAD_LIMIT"), QStringLiteral("1"));
    tesseract.setProcessEnvironment(environment);
    tesseract.start(QStringLiteral("tesseract"), {png, dir.filePath(QStringLiteral("out")), QStringLiteral("-l"), lang});
    if (!tesseract.waitForFinished(300000) || tesseract.exitCode() != 0) {
      std::fprintf(stderr, "tesseract command line failed\n");
      break;
    }
    cli.push_back(timer.nsecsElapsed() / 1e6);
  }

  std::printf("page %dx%d px, %s, %zu blocks, median of %d runs (ms)\n", page.width(), page.height(), qPrintable(lang),
              blockCount, runs);
  std::printf("recognition      %9.1f\n", median(recognise));
  std::printf("words into lines %9.1f\n", median(lines));
  std::printf("line ink         %9.1f\n", median(ink));
  std::printf("blocks, tables   %9.1f\n", median(grouping));
  std::printf("font matching    %9.1f\n", median(fonts));
  std::printf("style rules      %9.1f\n", median(style));
  std::printf("image regions    %9.1f\n", median(images));
  std::printf("split, duplicates%9.1f\n", median(finish));
  std::printf("total            %9.1f\n", median(total));
  if (!cli.empty()) {
    std::printf("tesseract CLI    %9.1f\n", median(cli));
    std::printf("ratio            %9.2f\n", median(total) / median(cli));
  }
  return 0;
}
