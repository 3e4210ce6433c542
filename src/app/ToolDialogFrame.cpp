#include "ToolDialogFrame.h"

#include "ui/DialogHelpers.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

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

std::pair<QPushButton*, QPushButton*> addDialogButtonRow(QBoxLayout* layout, const QString& secondary,
                                                         const QString& primary) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  QPushButton* second = dialogButton(secondary, QStringLiteral("SecondaryDialogButton"));
  QPushButton* first = dialogButton(primary, QStringLiteral("PrimaryDialogButton"));
  row->addWidget(second);
  row->addWidget(first);
  layout->addLayout(row);
  return {second, first};
}
