#include "XlsxImport.h"

int runXlsxImport(const QString& path, QWidget* parent, const std::function<bool(const QImage&, QSizeF)>& addPage,
                  QStringList* loadMessages, QString* refusal) {
  XlsxImportDialog dialog(path, parent);
  if (loadMessages) *loadMessages = dialog.loadMessageTexts();
  if (dialog.exec() != QDialog::Accepted) return -1;
  QSizeF pageSize(-1, -1);
  const int handed = dialog.renderPages(pageSize, [&](const QImage& page) { return addPage(page, pageSize); });
  if (handed >= 0) return handed;
  if (refusal) *refusal = dialog.pageBoundRefusal();
  return 0;
}
