// The two modeless sample dialogs reachable from the ribbon's label table.
#include "MainWindow.h"

#include "ui/DialogHelpers.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The common build of a modeless dialog: title line, wrapped subtitle, the
// content the caller adds, and a right-aligned button row.
struct ModelessDialog {
  QDialog* dialog;
  QVBoxLayout* layout;
  QHBoxLayout* buttons;
};

ModelessDialog buildModelessDialog(QWidget* owner, const QString& windowTitle, QSize size, const QString& header,
                                   const QString& text) {
  auto* dialog = new QDialog(owner);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(windowTitle);
  dialog->resize(size);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(18, 18, 18, 18);
  addDialogHeading(layout, header, text);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  return {dialog, layout, buttons};
}

void showCentred(QWidget* owner, QDialog* dialog) {
  dialog->move(owner->frameGeometry().center() - QPoint(dialog->width() / 2, dialog->height() / 2));
  dialog->show();
}

}  // namespace

void MainWindow::showUnsavedChangesDialog() {
  ModelessDialog d = buildModelessDialog(
      this, QStringLiteral("Несохранённые изменения"), QSize(460, 230), QStringLiteral("Сохранить изменения?"),
      QStringLiteral("В документе есть несохранённые изменения. Сохранить их перед закрытием?"));
  d.layout->addStretch(1);
  QPushButton* discard = dialogButton(QStringLiteral("Не сохранять"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* cancel = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* save = dialogButton(QStringLiteral("Сохранить"), QStringLiteral("PrimaryDialogButton"));
  for (QPushButton* button : {discard, cancel, save}) d.buttons->addWidget(button);
  d.layout->addLayout(d.buttons);
  QDialog* dialog = d.dialog;
  connect(discard, &QPushButton::clicked, this, [this, dialog] {
    dialog->close();
    if (activeIndex >= 0) closeDocumentAt(activeIndex);
  });
  connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
  connect(save, &QPushButton::clicked, this, [this, dialog] {
    onSave();
    dialog->close();
  });
  showCentred(this, dialog);
}

void MainWindow::showLoadErrorDialog() {
  ModelessDialog d = buildModelessDialog(
      this, QStringLiteral("Ошибка PDF"), QSize(540, 310), QStringLiteral("Не удалось открыть PDF"),
      QStringLiteral("Файл повреждён или содержит неподдерживаемую структуру. Можно попробовать восстановить "
                     "документ или открыть его только для чтения."));
  auto* details = new QListWidget;
  details->addItems({QStringLiteral("xref table: отсутствует ожидаемый объект"),
                     QStringLiteral("stream #42: неверная длина блока"),
                     QStringLiteral("подпись документа не проверена")});
  d.layout->addWidget(details, 1);
  for (const auto& [text, role] : {std::pair{"Только чтение", "SecondaryDialogButton"},
                                   std::pair{"Восстановить", "PrimaryDialogButton"},
                                   std::pair{"Закрыть", "SecondaryDialogButton"}}) {
    QPushButton* button = dialogButton(QString::fromUtf8(text), QLatin1String(role));
    connect(button, &QPushButton::clicked, d.dialog, &QDialog::close);
    d.buttons->addWidget(button);
  }
  d.layout->addLayout(d.buttons);
  showCentred(this, d.dialog);
}
