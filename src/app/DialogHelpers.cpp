#include "DialogHelpers.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The common frame of the message dialogs: modal, close button only.
void prepareMessageDialog(QDialog& dialog, const QString& title, int minimumWidth) {
  dialog.setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
  dialog.setObjectName(QStringLiteral("AppDialog"));
  dialog.setModal(true);
  dialog.setWindowTitle(title);
  dialog.setMinimumWidth(minimumWidth);
}

QLabel* wrappedText(const QString& text) {
  QLabel* line = label(text, QStringLiteral("DialogSubtitle"));
  line->setWordWrap(true);
  return line;
}

}  // namespace

QLabel* label(const QString& text, const QString& objectName) {
  auto* result = new QLabel(text);
  if (!objectName.isEmpty()) result->setObjectName(objectName);
  return result;
}

QPushButton* dialogButton(const QString& text, const QString& objectName) {
  auto* button = new QPushButton(text);
  button->setObjectName(objectName);
  return button;
}

QLineEdit* dialogLineEdit(const QString& text) {
  auto* edit = new QLineEdit(text);
  edit->setObjectName(QStringLiteral("DialogLineEdit"));
  return edit;
}

QString formatFileSize(qint64 bytes) {
  if (bytes < 1024) return QObject::tr("%1 Б").arg(bytes);
  if (bytes < 1048576) return QObject::tr("%1 КБ").arg(double(bytes) / 1024.0, 0, 'f', 1);
  return QObject::tr("%1 МБ").arg(double(bytes) / 1048576.0, 0, 'f', 2);
}

void appInfo(QWidget* parent, const QString& title, const QString& text) {
  QDialog dialog(parent);
  prepareMessageDialog(dialog, title, 300);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSpacing(10);
  layout->setContentsMargins(20, 16, 20, 14);
  layout->addWidget(wrappedText(text));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* ok = dialogButton(QStringLiteral("OK"), QStringLiteral("PrimaryDialogButton"));
  ok->setAutoDefault(false);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  buttons->addWidget(ok);
  layout->addLayout(buttons);
  dialog.exec();
}

bool appQuestion(QWidget* parent, const QString& title, const QString& text, const QString& primaryText,
                 const QString& secondaryText) {
  QDialog dialog(parent);
  prepareMessageDialog(dialog, title, 360);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSpacing(10);
  layout->setContentsMargins(20, 16, 20, 14);
  layout->addWidget(wrappedText(text));
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addStretch(1);
  QPushButton* secondary = dialogButton(secondaryText, QStringLiteral("SecondaryDialogButton"));
  QPushButton* primary = dialogButton(primaryText, QStringLiteral("PrimaryDialogButton"));
  for (QPushButton* button : {secondary, primary}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  bool result = false;
  QObject::connect(primary, &QPushButton::clicked, &dialog, [&] {
    result = true;
    dialog.accept();
  });
  QObject::connect(secondary, &QPushButton::clicked, &dialog, &QDialog::reject);
  dialog.exec();
  return result;
}

int appUnsavedChangesQuestion(QWidget* parent) {
  QDialog dialog(parent);
  prepareMessageDialog(dialog, QStringLiteral("Несохранённые изменения"), 440);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSpacing(10);
  layout->setContentsMargins(18, 18, 18, 16);
  layout->addWidget(label(QStringLiteral("Сохранить изменения?"), QStringLiteral("DialogTitle")));
  layout->addWidget(wrappedText(QStringLiteral("Документ изменён. Сохранить изменения перед закрытием?")));
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addStretch(1);
  QPushButton* discard = dialogButton(QStringLiteral("Не сохранять"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* cancel = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* save = dialogButton(QStringLiteral("Сохранить"), QStringLiteral("PrimaryDialogButton"));
  for (QPushButton* button : {discard, cancel, save}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  int result = 2;
  QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
    result = 0;
    dialog.accept();
  });
  QObject::connect(discard, &QPushButton::clicked, &dialog, [&] {
    result = 1;
    dialog.accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, &dialog, [&] {
    result = 2;
    dialog.reject();
  });
  dialog.exec();
  return result;
}

int appPdfFileQuestion(QWidget* parent, const QString& title, const QString& text, const QString& secondaryText,
                       const QString& cancelText, const QString& primaryText) {
  QDialog dialog(parent);
  prepareMessageDialog(dialog, title, 440);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setSpacing(10);
  layout->setContentsMargins(20, 16, 20, 14);
  layout->addWidget(wrappedText(text));
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(8);
  buttons->addStretch(1);
  QPushButton* secondary = dialogButton(secondaryText, QStringLiteral("SecondaryDialogButton"));
  QPushButton* cancel = dialogButton(cancelText, QStringLiteral("SecondaryDialogButton"));
  QPushButton* primary = dialogButton(primaryText, QStringLiteral("PrimaryDialogButton"));
  for (QPushButton* button : {secondary, cancel, primary}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  int result = 2;
  QObject::connect(secondary, &QPushButton::clicked, &dialog, [&] {
    result = 0;
    dialog.accept();
  });
  QObject::connect(primary, &QPushButton::clicked, &dialog, [&] {
    result = 1;
    dialog.accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  dialog.exec();
  return result;
}
