#include "XlsxTestSupport.h"

#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace xlsxtest {

QString writeWithOpenpyxl(const QString& path, const QString& script) {
  QTemporaryDir dir;
  const QString scriptPath = dir.filePath(QStringLiteral("make.py"));
  QFile file(scriptPath);
  if (!file.open(QIODevice::WriteOnly)) return QStringLiteral("cannot write the script");
  file.write("import sys\nimport openpyxl\nfrom openpyxl.styles import *\nfrom openpyxl.chart import *\n"
             "path = sys.argv[1]\n");
  file.write(script.toUtf8());
  file.close();
  QByteArray output;
  // The system interpreter carries the packaged openpyxl.
  const int code = testsupport::runTool(QStringLiteral("/usr/bin/python3"), {scriptPath, path}, &output);
  return code == 0 && QFile::exists(path) ? QString() : QStringLiteral("openpyxl failed: ") + QString::fromUtf8(output);
}

QList<QImage> renderAll(const XlsxWorkbook& book, const XlsxPageOptions& options) {
  QList<QImage> pages;
  if (!book.styles) return pages;
  renderXlsxPages(book.sheets, *book.styles, options, [&pages](const QImage& page) {
    pages.append(page);
    return true;
  });
  return pages;
}

QStringList ocrWords(const QImage& image) {
  QTemporaryDir dir;
  const QString png = dir.filePath(QStringLiteral("page.png"));
  if (!image.save(png)) return {};
  QByteArray output;
  // One thread: OpenMP's spinning threads crawl on a busy machine.
  qputenv("OMP_THREAD_LIMIT", "1");
  testsupport::runTool(QStringLiteral("tesseract"), {png, QStringLiteral("-"), QStringLiteral("-l"),
                                                     QStringLiteral("eng")},
                       &output);
  QStringList words;
  static const QRegularExpression space(QStringLiteral("\\s+"));
  for (QString word : QString::fromUtf8(output).split(space, Qt::SkipEmptyParts)) {
    while (!word.isEmpty() && !word.front().isLetterOrNumber()) word.remove(0, 1);
    while (!word.isEmpty() && !word.back().isLetterOrNumber() && word.back() != QLatin1Char('%')) word.chop(1);
    if (!word.isEmpty()) words.append(word.toLower());
  }
  return words;
}

double wordRecall(const QStringList& expected, const QStringList& read) {
  if (expected.isEmpty()) return 1.0;
  QStringList pool = read;
  int found = 0;
  for (const QString& word : expected) {
    const qsizetype at = pool.indexOf(word.toLower());
    if (at < 0) continue;
    pool.removeAt(at);
    ++found;
  }
  return double(found) / double(expected.size());
}

int countColor(const QImage& image, const QRect& rect, const QColor& color, int tolerance) {
  int count = 0;
  const QRect r = rect.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - color.red()) <= tolerance && std::abs(c.green() - color.green()) <= tolerance &&
          std::abs(c.blue() - color.blue()) <= tolerance)
        ++count;
    }
  return count;
}

int countInk(const QImage& image, const QRect& rect, int threshold) {
  const QRect box = rect.intersected(image.rect());
  int count = 0;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) < threshold && qGreen(p) < threshold && qBlue(p) < threshold) ++count;
    }
  return count;
}

QRect inkBox(const QImage& image, const QRect& rect, int threshold) {
  const QRect box = rect.intersected(image.rect());
  QRect ink;
  for (int y = box.top(); y <= box.bottom(); ++y)
    for (int x = box.left(); x <= box.right(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qRed(p) < threshold && qGreen(p) < threshold && qBlue(p) < threshold) ink |= QRect(x, y, 1, 1);
    }
  return ink;
}

QRect PageGrid::span(int row, int col, int lastRow, int lastCol) const {
  const double margin = 20.0 * 150.0 / 72.0;
  const auto colX = [this, margin](int c) {
    double x = margin;
    for (int i = 0; i < c; ++i) x += std::max(20, int(7.0 * colWidthsChars[i] + 5.0)) * 150.0 / 96.0;
    return x;
  };
  const auto rowY = [this, margin](int r) {
    double y = margin;
    for (int i = 0; i < r; ++i) y += std::max(12, int(rowHeightsPt[i] * 96.0 / 72.0)) * 150.0 / 96.0;
    return y;
  };
  return QRect(QPoint(int(std::ceil(colX(col))), int(std::ceil(rowY(row)))),
               QPoint(int(colX(lastCol + 1)) - 1, int(rowY(lastRow + 1)) - 1));
}

QRect PageGrid::cell(int row, int col) const { return span(row, col, row, col); }

double peakMemoryMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

}  // namespace xlsxtest
