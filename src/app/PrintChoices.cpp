#include "PrintChoices.h"

#include <QFile>
#include <QPageLayout>
#include <QPrintEngine>
#include <QPrinter>
#include <QStringList>

#include <cups/cups.h>

#include <vector>

QList<int> printSheetOrder(const QList<int>& pages, int copies, bool collate) {
  QList<int> sheets;
  if (collate) {
    for (int copy = 0; copy < copies; ++copy) sheets.append(pages);
  } else {
    for (int page : pages)
      for (int copy = 0; copy < copies; ++copy) sheets.append(page);
  }
  return sheets;
}

std::optional<PrinterJob> printerJobOf(const QPrinter& printer, const QString& title) {
  if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty()) return std::nullopt;
  PrinterJob job;
  // An instance ("queue/instance") only names a set of stored options.
  job.queue = printer.printerName().section(QLatin1Char('/'), 0, 0);
  job.title = title;
  const auto add = [&job](const QByteArray& name, const QByteArray& value) {
    job.options.append(qMakePair(name, value));
  };
  const QPageLayout layout = printer.pageLayout();
  // The options Qt's own CUPS engine would send with the same settings.
  add("media", layout.pageSize().key().toLocal8Bit());
  const int copies = printer.copyCount();
  if (copies > 1) add("copies", QByteArray::number(copies));
  if (copies > 1 && printer.collateCopies()) add("Collate", "True");
  switch (printer.duplex()) {
    case QPrinter::DuplexNone:
      add("sides", "one-sided");
      break;
    case QPrinter::DuplexAuto:
      add("sides", layout.orientation() == QPageLayout::Portrait ? "two-sided-long-edge" : "two-sided-short-edge");
      break;
    case QPrinter::DuplexLongSide:
      add("sides", "two-sided-long-edge");
      break;
    case QPrinter::DuplexShortSide:
      add("sides", "two-sided-short-edge");
      break;
  }
  if (layout.orientation() == QPageLayout::Landscape) add("landscape", "");
  // What the system dialog's printer properties chose, as name and value pairs.
  constexpr auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
  const QStringList chosen = printer.printEngine()->property(kCupsOptions).toStringList();
  for (qsizetype i = 0; i + 1 < chosen.size(); i += 2) add(chosen[i].toLocal8Bit(), chosen[i + 1].toLocal8Bit());
  return job;
}

QString sendToPrinter(const PrinterJob& job, const QString& file) {
  std::vector<cups_option_t> options;
  options.reserve(size_t(job.options.size()));
  for (const auto& [name, value] : job.options)
    options.push_back({const_cast<char*>(name.constData()), const_cast<char*>(value.constData())});
  const int id = cupsPrintFile(job.queue.toLocal8Bit().constData(), QFile::encodeName(file).constData(),
                               job.title.toUtf8().constData(), int(options.size()), options.data());
  if (id > 0) return QString();
  const QString why = QString::fromUtf8(cupsLastErrorString());
  return why.isEmpty() ? job.queue : job.queue + QLatin1Char('\n') + why;
}
