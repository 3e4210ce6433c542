// "Свойства документа": file facts, the file's protection and permissions and
// every font of the file. It only shows; nothing in it changes the document.
#include "MainWindow.h"

#include "ToolDialogFrame.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

void MainWindow::showDocumentPropertiesDialog() {
  QDialog* dialog = newToolDialog(this, QStringLiteral("Свойства документа"), QSize(620, 480));
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(14, 14, 14, 14);
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("DialogTabs"));
  layout->addWidget(tabs, 1);

  const bool open = currentDocument->isOpen();
  const QString dash = QStringLiteral("—");
  const QFileInfo file(currentDocument->filePath());
  // The version is read from the file itself; "—" when it does not say.
  const QString version = open ? currentDocument->pdfVersion() : QString();
  const QList<std::pair<QString, QString>> facts = {
      {QStringLiteral("Имя файла:"), open ? file.fileName() : dash},
      {QStringLiteral("Расположение:"), open ? file.absolutePath() : dash},
      {QStringLiteral("Страниц:"), open ? QString::number(currentDocument->pageCount()) : dash},
      {QStringLiteral("Размер файла:"), open ? formatFileSize(file.size()) : dash},
      {QStringLiteral("Изменён:"),
       open ? file.fileTime(QFileDevice::FileModificationTime).toString(QStringLiteral("dd.MM.yyyy HH:mm")) : dash},
      {QStringLiteral("Версия PDF:"), version.isEmpty() ? dash : version},
  };
  auto* general = new QWidget;
  auto* grid = new QGridLayout(general);
  for (int row = 0; row < facts.size(); ++row) {
    grid->addWidget(new QLabel(facts[row].first), row, 0);
    QLabel* value = label(facts[row].second);  // file facts: plain text, never translated
    keepUserText(value);
    grid->addWidget(value, row, 1);
  }
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(int(facts.size()), 1);
  tabs->addTab(general, QStringLiteral("Общие"));

  auto* security = new QWidget;
  auto* securityLayout = new QVBoxLayout(security);
  const bool encrypted = open && currentDocument->isEncrypted();
  securityLayout->addWidget(label(encrypted ? QStringLiteral("Защита: файл зашифрован") : QStringLiteral("Защита: нет"),
                                  QStringLiteral("DialogSubtitle")));
  // The file's own permissions, shown; they are not changed here.
  const PdfDocument::Permissions allowed = open ? currentDocument->permissions() : PdfDocument::Permissions{};
  const std::pair<const char*, bool> permissions[] = {{"Разрешить печать", allowed.print},
                                                      {"Разрешить копирование текста", allowed.copy},
                                                      {"Разрешить редактирование", allowed.modify}};
  for (const auto& [text, granted] : permissions) {
    auto* box = new QCheckBox(QString::fromUtf8(text));
    box->setChecked(open && granted);
    box->setEnabled(false);
    securityLayout->addWidget(box);
  }
  securityLayout->addStretch(1);
  tabs->addTab(security, QStringLiteral("Безопасность"));

  auto* fontsPage = new QWidget;
  auto* fontsLayout = new QVBoxLayout(fontsPage);
  // Font names are the file's words: the list keeps them as they are and
  // gets its own lines already translated.
  auto* fonts = new QListWidget;
  keepUserText(fonts);
  if (!open) {
    fonts->addItem(uiTranslate(QStringLiteral("Документ не открыт")));
  } else {
    fonts->addItems(currentDocument->fontNames());
    if (fonts->count() == 0) fonts->addItem(uiTranslate(QStringLiteral("(шрифты не обнаружены)")));
  }
  fontsLayout->addWidget(fonts);
  tabs->addTab(fontsPage, QStringLiteral("Шрифты"));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* close = dialogButton(QStringLiteral("Закрыть"), QStringLiteral("PrimaryDialogButton"));
  connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  showCentredOn(this, dialog);
}
