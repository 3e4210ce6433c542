#pragma once
// What the program's print dialog asks of a print run.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

class QPrinter;

struct PrintChoices {
  bool toPdfFile = false;
  QString printerName;  // empty: the system's default printer
  bool currentPage = false;
  QList<int> pages;  // 0-based, in the order written; empty: every page
  int copies = 1;
  bool collate = true;
  bool duplex = false;
  bool rangeAsked = false;  // "Страницы:" was chosen, whatever it names
};

// The pages of every sheet in print order: whole sets one after another when
// collated (1 2 3 1 2 3), else each page's copies together (1 1 2 2 3 3).
QList<int> printSheetOrder(const QList<int>& pages, int copies, bool collate);

// A printer's job as the system dialog set it up. The sheets are drawn into a
// private file first and handed over whole once every one is drawn, so a
// cancelled run leaves nothing at the printer.
struct PrinterJob {
  QString queue;  // the CUPS queue, without an instance name
  QString title;
  QList<QPair<QByteArray, QByteArray>> options;
};

// The job of a printer's output; none for a file.
std::optional<PrinterJob> printerJobOf(const QPrinter& printer, const QString& title);
// Hands a drawn file to CUPS: empty when it took the job, else its reason.
QString sendToPrinter(const PrinterJob& job, const QString& file);
