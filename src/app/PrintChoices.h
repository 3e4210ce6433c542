#pragma once
// What the program's print dialog asks of a print run.

#include <QList>
#include <QString>

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
