// Opening files: the plain file dialog and the open dialog with the recent
// files, a folder's PDFs, the scanner and clearing the list.
#include "MainWindow.h"

#include "RecentFiles.h"
#include "core/ForeignFileNames.h"
#include "ui/DialogHelpers.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kPdfFilter = QStringLiteral("PDF файлы (*.pdf);;Все файлы (*)");

// A disabled line that carries no path, so it can never be opened.
void addPlaceholder(QListWidget* list, const QString& text) {
  auto* item = new QListWidgetItem(text, list);
  item->setFlags(item->flags() & ~Qt::ItemIsEnabled);
}

void fillFileList(QListWidget* list, const QStringList& paths) {
  list->clear();
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (!info.exists()) continue;
    // A file reached through a link of ours shows the real file's folder.
    auto* item = new QListWidgetItem(QStringLiteral("%1    %2").arg(info.fileName(), folderBeside(path)), list);
    item->setData(Qt::UserRole, info.absoluteFilePath());
  }
  if (list->count() > 0)
    list->setCurrentRow(0);
  else
    addPlaceholder(list, QStringLiteral("Недавних файлов пока нет"));
}

}  // namespace

void MainWindow::onOpen() {
  const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть PDF"), QString(), kPdfFilter);
  if (!path.isEmpty()) openFile(path);
}

void MainWindow::showOpenPdfDialog() {
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Открыть PDF"));
  dialog->resize(720, 470);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(12);
  layout->addWidget(label(QStringLiteral("Открытие PDF"), QStringLiteral("DialogTitle")));
  layout->addWidget(label(QStringLiteral("Выберите файл или вернитесь к одному из последних документов."),
                          QStringLiteral("DialogSubtitle")));

  auto* middle = new QHBoxLayout;
  middle->setSpacing(14);
  auto* recentBox = new QGroupBox(QStringLiteral("Недавние файлы"));
  auto* recentLayout = new QVBoxLayout(recentBox);
  auto* list = new QListWidget;
  list->setObjectName(QStringLiteral("RecentFilesList"));
  recentLayout->addWidget(list);
  middle->addWidget(recentBox, 1);

  auto* openBox = new QGroupBox(QStringLiteral("Открыть"));
  auto* openLayout = new QVBoxLayout(openBox);
  QPushButton* choose = dialogButton(QStringLiteral("Выбрать PDF..."), QStringLiteral("PrimaryDialogButton"));
  QPushButton* folder = dialogButton(QStringLiteral("Открыть папку"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* scanner = dialogButton(QStringLiteral("Сканер"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* clear = dialogButton(QStringLiteral("Очистить список"), QStringLiteral("SecondaryDialogButton"));
  for (QPushButton* button : {choose, folder, scanner, clear}) openLayout->addWidget(button);
  openLayout->addStretch(1);
  QLabel* hint = label(QStringLiteral("Поддерживаются PDF, защищённые PDF и документы с формами."),
                       QStringLiteral("DialogHint"));
  hint->setWordWrap(true);
  openLayout->addWidget(hint);
  middle->addWidget(openBox);
  layout->addLayout(middle, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  QPushButton* cancel = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* open = dialogButton(QStringLiteral("Открыть"), QStringLiteral("PrimaryDialogButton"));
  bottom->addWidget(cancel);
  bottom->addWidget(open);
  layout->addLayout(bottom);

  if (recentFilesEnabled()) {
    fillFileList(list, recentFilePaths());
  } else {
    addPlaceholder(list, QStringLiteral("Недавние файлы отключены в настройках"));
    clear->setEnabled(false);
  }

  const auto openCurrent = [this, dialog, list] {
    QListWidgetItem* item = list->currentItem();
    const QString path = item ? item->data(Qt::UserRole).toString() : QString();
    if (path.isEmpty()) return;
    dialog->close();
    openFile(path);
  };
  connect(list, &QListWidget::itemDoubleClicked, dialog, openCurrent);
  connect(open, &QPushButton::clicked, dialog, openCurrent);
  connect(choose, &QPushButton::clicked, dialog, [this, dialog] {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть PDF"), QString(), kPdfFilter);
    if (path.isEmpty()) return;
    dialog->close();
    openFile(path);
  });
  connect(folder, &QPushButton::clicked, dialog, [this, list] {
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("Открыть папку с PDF"), QString(),
                                                             QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return;
    QStringList paths;
    const QDir dir(chosen);
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Readable, QDir::Name))
      paths << info.absoluteFilePath();
    fillFileList(list, paths);
  });
  connect(scanner, &QPushButton::clicked, dialog, [this, dialog] {
    dialog->close();
    showScanDialog();
  });
  connect(clear, &QPushButton::clicked, dialog, [list] {
    clearRecentFiles();
    list->clear();
    addPlaceholder(list, QStringLiteral("Недавних файлов пока нет"));
  });
  connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);

  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
}
