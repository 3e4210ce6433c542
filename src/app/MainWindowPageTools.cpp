// The page tools dialog "Операции со страницами": inserting another file's
// pages, extracting pages into a new PDF and merging files into a new PDF.
// The work itself is in MainWindowPageToolsApply.cpp.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// Each file once, by its absolute path; missing files are left out.
void addMergeFile(QListWidget* list, const QString& path) {
  if (path.isEmpty()) return;
  const QFileInfo info(path);
  if (!info.exists()) return;
  const QString absolute = info.absoluteFilePath();
  for (int row = 0; row < list->count(); ++row)
    if (list->item(row)->data(Qt::UserRole).toString() == absolute) return;
  auto* item = new QListWidgetItem(info.fileName(), list);
  item->setData(Qt::UserRole, absolute);
  item->setData(Qt::ToolTipRole, absolute);
}

void moveCurrentRow(QListWidget* list, int step) {
  const int row = list->currentRow();
  const int target = row + step;
  if (row < 0 || target < 0 || target >= list->count()) return;
  QListWidgetItem* item = list->takeItem(row);
  list->insertItem(target, item);
  list->setCurrentRow(target);
}

}  // namespace

void MainWindow::onExtractPages() {
  if (allowPageEditing() && currentDocument->isOpen()) showPageToolsDialog({}, false, 1);
}

void MainWindow::showPageToolsDialog(const QList<QString>& files, bool fromShellAction, int startTab) {
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Операции со страницами"));
  dialog->resize(660, 430);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(14, 14, 14, 14);
  layout->addWidget(label(QStringLiteral("Вставка / извлечение / объединение страниц"), QStringLiteral("DialogTitle")));
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("DialogTabs"));
  layout->addWidget(tabs, 1);

  // Insertion.
  auto* insertPage = new QWidget;
  auto* insertGrid = new QGridLayout(insertPage);
  QLineEdit* insertFile = dialogLineEdit(files.isEmpty() ? QString() : files.first());
  QPushButton* browse = dialogButton(QStringLiteral("Обзор..."), QStringLiteral("SecondaryDialogButton"));
  auto* position = new QComboBox;
  position->addItems({QStringLiteral("После текущей страницы"), QStringLiteral("Перед текущей страницей"),
                      QStringLiteral("В конец документа")});
  insertGrid->addWidget(new QLabel(QStringLiteral("Файл:")), 0, 0);
  insertGrid->addWidget(insertFile, 0, 1);
  insertGrid->addWidget(browse, 0, 2);
  insertGrid->addWidget(new QLabel(QStringLiteral("Позиция:")), 1, 0);
  insertGrid->addWidget(position, 1, 1);
  insertGrid->setRowStretch(2, 1);
  tabs->addTab(insertPage, QStringLiteral("Вставка"));
  connect(browse, &QPushButton::clicked, dialog, [this, insertFile] {
    // The file goes in through the import, so the dialog offers what it takes.
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Выбрать файл для вставки"), QString(), importFileFilter());
    if (!path.isEmpty()) insertFile->setText(path);
  });

  // Extraction.
  auto* extractPage = new QWidget;
  auto* extractGrid = new QGridLayout(extractPage);
  const bool open = currentDocument->isOpen();
  // With no document open (the file manager's action) pages are extracted
  // from the first PDF it named; that file itself is never changed.
  QString extractSource;
  int sourcePages = 0;
  if (!open) {
    for (const QString& path : files) {
      if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0) continue;
      PdfDocument probe;
      if (probe.open(path)) {
        extractSource = path;
        sourcePages = probe.pageCount();
      }
      break;
    }
  }
  QLineEdit* pagesField = dialogLineEdit(open                      ? QStringLiteral("1-%1").arg(currentDocument->pageCount())
                                         : !extractSource.isEmpty() ? QStringLiteral("1-%1").arg(sourcePages)
                                                                    : QStringLiteral("1"));
  auto* deleteAfter = new QCheckBox(QStringLiteral("Удалить страницы после извлечения"));
  deleteAfter->setEnabled(open);
  if (!open) deleteAfter->setToolTip(QStringLiteral("Удалять можно только страницы открытого документа"));
  auto* eachPage = new QCheckBox(QStringLiteral("Сохранить каждую стр. отдельным файлом"));
  extractGrid->addWidget(new QLabel(QStringLiteral("Страницы:")), 0, 0);
  extractGrid->addWidget(pagesField, 0, 1);
  extractGrid->addWidget(new QLabel(QStringLiteral("Формат: 1, 3-5, 7")), 1, 1);
  if (!extractSource.isEmpty()) {
    extractGrid->addWidget(
        label(uiTranslate(QStringLiteral("Из файла: %1")).arg(QFileInfo(extractSource).fileName()), QStringLiteral("DialogHint")), 4, 1);
  }
  extractGrid->addWidget(deleteAfter, 2, 1);
  extractGrid->addWidget(eachPage, 3, 1);
  extractGrid->setRowStretch(5, 1);
  tabs->addTab(extractPage, QStringLiteral("Извлечение"));

  // Merging.
  auto* mergePage = new QWidget;
  auto* mergeLayout = new QVBoxLayout(mergePage);
  auto* mergeList = new QListWidget;
  keepUserText(mergeList);  // file names
  mergeLayout->addWidget(mergeList, 1);
  auto* mergeButtons = new QHBoxLayout;
  QPushButton* add = dialogButton(QStringLiteral("Добавить PDF"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* remove = dialogButton(QStringLiteral("Удалить"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* up = dialogButton(QStringLiteral("↑ Вверх"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* down = dialogButton(QStringLiteral("↓ Вниз"), QStringLiteral("SecondaryDialogButton"));
  for (QPushButton* button : {add, remove, up, down}) mergeButtons->addWidget(button);
  mergeLayout->addLayout(mergeButtons);
  tabs->addTab(mergePage, QStringLiteral("Объединение"));
  connect(add, &QPushButton::clicked, dialog, [this, mergeList] {
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Добавить файлы для объединения"), QString(),
        QStringLiteral("Поддерживаемые (*.pdf *.png *.jpg *.jpeg *.bmp *.webp *.gif *.tiff *.xlsx);;PDF "
                       "(*.pdf);;Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tiff);;Excel (*.xlsx)"));
    for (const QString& path : chosen) addMergeFile(mergeList, path);
  });
  connect(remove, &QPushButton::clicked, dialog, [mergeList] { qDeleteAll(mergeList->selectedItems()); });
  connect(up, &QPushButton::clicked, dialog, [mergeList] { moveCurrentRow(mergeList, -1); });
  connect(down, &QPushButton::clicked, dialog, [mergeList] { moveCurrentRow(mergeList, +1); });
  for (const QString& path : files) addMergeFile(mergeList, path);
  if (files.isEmpty() && open && !currentDocument->filePath().trimmed().isEmpty())
    addMergeFile(mergeList, currentDocument->filePath());
  if (!files.isEmpty()) tabs->setCurrentWidget(mergePage);
  if (startTab >= 0 && startTab < tabs->count()) tabs->setCurrentIndex(startTab);

  auto* bottom = new QHBoxLayout;
  QCheckBox* openResult = nullptr;
  if (fromShellAction) {
    openResult = new QCheckBox(QStringLiteral("Открыть результат после объединения"));
    openResult->setObjectName(QStringLiteral("ScanCheckBox"));
    bottom->addWidget(openResult);
  }
  bottom->addStretch(1);
  QPushButton* cancel = dialogButton(QStringLiteral("Отмена"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* apply = dialogButton(QStringLiteral("Применить"), QStringLiteral("PrimaryDialogButton"));
  bottom->addWidget(cancel);
  bottom->addWidget(apply);
  layout->addLayout(bottom);
  connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);

  connect(apply, &QPushButton::clicked, dialog,
          [this, dialog, tabs, insertFile, position, pagesField, deleteAfter, eachPage, mergeList, fromShellAction,
           openResult, extractSource] {
            const int tab = tabs->currentIndex();
            const bool open = currentDocument->isOpen();
            if (tab == 0 && !open) {
              dialog->close();
              return;
            }
            if (tab == 1 && !open && extractSource.isEmpty()) {
              QMessageBox::warning(this, QStringLiteral("Извлечение"),
                                   QStringLiteral("Нет открытого документа, из которого можно извлечь страницы."));
              return;
            }
            bool done = false;
            if (tab == 0) {
              done = insertPagesFromFile(insertFile->text().trimmed(), position->currentIndex());
            } else if (tab == 1) {
              done = extractPagesToFile(pagesField->text(), open && deleteAfter->isChecked(), eachPage->isChecked(),
                                        open ? QString() : extractSource);
            } else {
              QList<QString> paths;
              for (int row = 0; row < mergeList->count(); ++row)
                paths << mergeList->item(row)->data(Qt::UserRole).toString();
              done = mergeFilesToPdf(paths, fromShellAction, openResult && openResult->isChecked());
            }
            if (done) dialog->close();
          });

  if (fromShellAction) {
    dialog->setWindowModality(Qt::ApplicationModal);
    connect(dialog, &QDialog::finished, this, [this] {
      if (!isVisible()) QCoreApplication::quit();
    });
  }
  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
}
