#include "ToolDialogFrame.h"

#include <QDialog>

QDialog* newToolDialog(QWidget* owner, const QString& title, QSize size) {
  auto* dialog = new QDialog(owner);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  if (!title.isEmpty()) dialog->setWindowTitle(title);
  dialog->resize(size);
  return dialog;
}

void showCentredOn(QWidget* owner, QDialog* dialog) {
  dialog->move(owner->frameGeometry().center() - dialog->rect().center());
  dialog->show();
}
