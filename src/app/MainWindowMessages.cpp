// The update check's result message and the deferred start of the page tools
// dialog for a file-manager "merge".
#include "MainWindow.h"
#include "UpdateCheck.h"

#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QDesktopServices>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

void MainWindow::showUpdateMessage(const QString& title, const QString& text, const QString& url) {
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(title);
  dialog->resize(560, 300);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(18, 18, 18, 16);
  layout->setSpacing(10);
  layout->addWidget(label(title, QStringLiteral("DialogTitle")));
  // The text carries strings from the network (versions, digests): never rich
  // text, and already translated by the caller, so the pass leaves it alone.
  QLabel* body = label(text, QStringLiteral("DialogSubtitle"));
  body->setTextFormat(Qt::PlainText);
  body->setWordWrap(true);
  body->setTextInteractionFlags(Qt::TextSelectableByMouse);
  keepUserText(body);
  layout->addWidget(body, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  if (isOpenableUpdateUrl(url)) {
    QPushButton* open = dialogButton(QStringLiteral("Открыть ссылку"), QStringLiteral("PrimaryDialogButton"));
    connect(open, &QPushButton::clicked, dialog, [dialog, url] {
      QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
      dialog->close();
    });
    buttons->addWidget(open);
  }
  QPushButton* close = dialogButton(QStringLiteral("Закрыть"), QStringLiteral("SecondaryDialogButton"));
  connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
}

void MainWindow::deferPageToolsMerge(const QList<QString>& files, bool fromShellAction) {
  QTimer::singleShot(0, this, [this, files, fromShellAction] { showPageToolsDialog(files, fromShellAction); });
}
