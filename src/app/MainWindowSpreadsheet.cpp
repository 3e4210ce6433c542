// A workbook's sheets as pages: the spreadsheet dialog chooses and paints
// them, and each page goes into the document as soon as it is painted.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "ui/UiLanguage.h"
#include "xlsx/XlsxImport.h"
#include "xlsx/XlsxMessages.h"

int MainWindow::appendSpreadsheetPages(PdfDocument* document, const QString& path, QString* error) {
  const int before = document->pageCount();
  bool appendFailed = false;
  QStringList unread;
  QString refusal;
  // The workbook's messages are put into the interface language as they are made.
  setXlsxTranslator(&uiTranslate);
  // The pages of a long sheet are never all held at once.
  const int handed = runXlsxImport(
      path, this,
      [document, &appendFailed](const QImage& page, QSizeF size) {
        appendFailed = !document->appendRenderedPage(page, size);
        return !appendFailed;
      },
      &unread, &refusal);
  if (handed < 0) return -1;
  const int added = document->pageCount() - before;
  if (error && !refusal.isEmpty()) {
    *error = refusal;
  } else if (error && (appendFailed || added == 0)) {
    // The workbook's messages name its sheets and parts; they follow a first
    // line of ours, so that a message box never reads them as markup.
    *error = appendFailed ? document->lastError() : uiTranslate(QStringLiteral("В книге нет листов с данными."));
    if (!appendFailed && !unread.isEmpty()) *error += QLatin1Char('\n') + unread.join(QLatin1Char('\n'));
  }
  return added;
}
