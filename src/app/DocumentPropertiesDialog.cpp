// "Свойства документа": file facts, the file's protection and the fonts of
// its first pages. It only shows; nothing in it changes the document.
#include "MainWindow.h"

#include "DialogHelpers.h"
#include "ToolDialogFrame.h"

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

namespace {

// The font scan runs on the GUI thread before the dialog shows: it stops here.
constexpr int kFontScanPages = 20;

QString fileSizeText(qint64 bytes) {
  if (bytes >= 1048576) return QStringLiteral("%1 МБ").arg(double(bytes) / 1048576.0, 0, 'f', 1);
  return QStringLiteral("%1 КБ").arg(bytes / 1024);
}

QStringList documentFonts(const PdfDocument& document) {
  QStringList entries;
  QSet<QString> seen;
  const auto offer = [&](const QString& family, bool bold, bool italic) {
    if (family.isEmpty() || seen.contains(family)) return;
    seen.insert(family);
    entries.append(family + (bold ? QStringLiteral(" Bold") : QString()) +
                   (italic ? QStringLiteral(" Italic") : QString()));
  };
  const int pages = std::min(document.pageCount(), kFontScanPages);
  for (int page = 0; page < pages; ++page) {
    for (const TextBlock& block : document.extractText(page)) {
      offer(block.fontFamily, block.bold, block.italic);
      for (const TextBlock::Line& line : block.lines) offer(line.fontFamily, line.bold, line.italic);
    }
  }
  return entries;
}

}  // namespace

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
      {QStringLiteral("Размер файла:"), open ? fileSizeText(file.size()) : dash},
      {QStringLiteral("Изменён:"),
       open ? file.fileTime(QFileDevice::FileModificationTime).toString(QStringLiteral("dd.MM.yyyy HH:mm")) : dash},
      {QStringLiteral("Версия PDF:"), version.isEmpty() ? dash : version},
  };
  auto* general = new QWidget;
  auto* grid = new QGridLayout(general);
  for (int row = 0; row < facts.size(); ++row) {
    grid->addWidget(new QLabel(facts[row].first), row, 0);
    grid->addWidget(label(facts[row].second), row, 1);  // file facts: plain text
  }
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(int(facts.size()), 1);
  tabs->addTab(general, QStringLiteral("Общие"));

  auto* security = new QWidget;
  auto* securityLayout = new QVBoxLayout(security);
  const bool encrypted = open && currentDocument->isEncrypted();
  securityLayout->addWidget(label(encrypted ? QStringLiteral("Защита: файл зашифрован") : QStringLiteral("Защита: нет"),
                                  QStringLiteral("DialogSubtitle")));
  for (const char* permission : {"Разрешить печать", "Разрешить копирование текста", "Разрешить редактирование"})
    securityLayout->addWidget(new QCheckBox(QString::fromUtf8(permission)));
  securityLayout->addStretch(1);
  tabs->addTab(security, QStringLiteral("Безопасность"));

  auto* fontsPage = new QWidget;
  auto* fontsLayout = new QVBoxLayout(fontsPage);
  auto* fonts = new QListWidget;
  if (!open) {
    fonts->addItem(QStringLiteral("Документ не открыт"));
  } else {
    fonts->addItems(documentFonts(*currentDocument));
    if (fonts->count() == 0) fonts->addItem(QStringLiteral("(шрифты не обнаружены в первых 20 стр.)"));
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
