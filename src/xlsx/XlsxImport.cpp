#include "XlsxImport.h"

int runXlsxImport(const QString& path, QWidget* parent, const std::function<bool(const QImage&, QSizeF)>& addPage,
                  QStringList* loadMessages) {
  XlsxImportDialog dialog(path, parent);
  if (loadMessages) *loadMessages = dialog.loadMessageTexts();
  if (dialog.exec() != QDialog::Accepted) return -1;
  QSizeF pageSize(-1, -1);
  return dialog.renderPages(pageSize, [&](const QImage& page) { return addPage(page, pageSize); });
}
