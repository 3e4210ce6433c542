#include "PrintChoices.h"

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
