// Spreadsheet import of a 100,000-row sheet: reading the workbook, laying out
// the preview with its page breaks, and rendering every page image one at a
// time; wall times and the process's peak memory.
#include "../tests/xlsx/XlsxZipWriter.h"
#include "xlsx/XlsxPageRenderer.h"
#include "xlsx/XlsxPreviewWidget.h"
#include "xlsx/XlsxWorkbook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

double peakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

QByteArray sheetRows(int rows) {
  QByteArray body = "<cols><col min=\"1\" max=\"1\" width=\"20\"/></cols><sheetData>";
  body.reserve(rows * 200);
  for (int r = 1; r <= rows; ++r) {
    const QByteArray n = QByteArray::number(r);
    body += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"s\"><v>" + QByteArray::number(r % 8) + "</v></c><c r=\"B" +
            n + "\"><v>" + n + "</v></c><c r=\"C" + n + "\" s=\"1\"><v>" + QByteArray::number(r * 12.5, 'f', 2) +
            "</v></c><c r=\"D" + n + "\" s=\"2\"><v>" + QByteArray::number(44000 + r % 3000) + "</v></c><c r=\"E" + n +
            "\" s=\"3\"><v>0." + QByteArray::number(r % 100) + "</v></c></row>";
  }
  return body + "</sheetData>";
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("big.xlsx"));
  XlsxParts parts = minimalWorkbook(
      {sheetRows(rows)},
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><fonts><font><sz val=\"11\"/>"
      "</font></fonts><cellXfs><xf/><xf numFmtId=\"4\"/><xf numFmtId=\"14\"/><xf numFmtId=\"10\"/></cellXfs></styleSheet>");
  QByteArray strings = "<sst>";
  for (int i = 0; i < 8; ++i) strings += "<si><t>Item " + QByteArray::number(i) + "</t></si>";
  parts.append({QStringLiteral("xl/sharedStrings.xml"), strings + "</sst>"});
  if (!writeZipParts(path, parts)) return 1;
  std::printf("sheet: %d rows x 5 columns, package %.1f MB, peak before reading %.0f MB\n", rows,
              QFileInfo(path).size() / 1048576.0, peakMb());

  QElapsedTimer timer;
  timer.start();
  XlsxWorkbook book = loadXlsxWorkbook(path);
  const double loadMs = timer.nsecsElapsed() / 1e6;
  std::printf("load:    %8.0f ms  (%lld rows read), peak %.0f MB\n", loadMs,
              book.sheets.isEmpty() ? 0LL : qint64(book.sheets.first().data->cells.size()), peakMb());

  timer.restart();
  XlsxPreviewWidget preview;
  preview.setSheet(book.sheets.first().data.get(), book.styles.get(), book.sheets.first().charts);
  preview.setPaperSize(QSizeF(595, 842), false);
  const double layoutMs = timer.nsecsElapsed() / 1e6;
  std::printf("preview: %8.0f ms  (%d pages at A4 portrait)\n", layoutMs, preview.pageCount());

  timer.restart();
  QImage shot(800, 600, QImage::Format_RGB32);
  preview.render(&shot, QPoint(), QRegion(0, 0, 800, 600));
  std::printf("paint:   %8.2f ms  (one 800 x 600 view of the preview)\n", timer.nsecsElapsed() / 1e6);

  XlsxPageOptions options;
  options.sheetBreaks = {preview.breaks()};
  timer.restart();
  qint64 checksum = 0;
  const int pages = renderXlsxPages(book.sheets, *book.styles, options, [&checksum](const QImage& page) {
    checksum += page.pixel(page.width() / 2, 100);
    return true;
  });
  const double renderMs = timer.nsecsElapsed() / 1e6;
  std::printf("render:  %8.0f ms  (%d pages of 1239 x 1754, %.1f ms per page), peak %.0f MB\n", renderMs, pages,
              renderMs / std::max(pages, 1), peakMb());
  return checksum == 42 ? 2 : 0;
}
