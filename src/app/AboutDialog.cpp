// "О программе": the edition, its version and system, and what it is built on.
#include "AppProduct.h"
#include "MainWindow.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

void MainWindow::showAboutDialog() {
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("О программе"));
  dialog->resize(680, 560);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(18, 18, 18, 18);
  layout->setSpacing(12);

  auto* header = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setPixmap(QIcon(QStringLiteral(":/resources/icons/ulvo-app.svg")).pixmap(54, 54));
  header->addWidget(icon);
  auto* names = new QVBoxLayout;
  const QString name = productDisplayName(product);
  names->addWidget(label(name, QStringLiteral("DialogTitle")));
  QLabel* version = label(uiTranslate(QStringLiteral("UlvoPDF Suite · версия %1 · %2"))
                              .arg(QCoreApplication::applicationVersion(), QSysInfo::prettyProductName()),
                          QStringLiteral("DialogSubtitle"));
  keepUserText(version);
  names->addWidget(version);
  header->addLayout(names, 1);
  layout->addLayout(header);

  auto* text = new QTextBrowser;
  text->setObjectName(QStringLiteral("AboutText"));
  text->setOpenExternalLinks(true);
  text->setHtml(
      uiTranslate(QStringLiteral("<h3>Назначение</h3><p><b>%1</b> входит в линейку продуктов UlvoPDF Suite. Приложение работает "
                     "локально: документы, ключи подписи и данные пользователя остаются на компьютере пользователя, "
                     "если не используется внешний криптопровайдер.</p>"
                     "<h3>Компоненты и библиотеки</h3><ul>"
                     "<li><b>Qt 6</b> - интерфейс, печать, сеть, SVG и системная интеграция.</li>"
                     "<li><b>PDFium</b> - отображение, чтение текстового слоя, ссылки, оглавление и операции с PDF.</li>"
                     "<li><b>Tesseract OCR</b> и <b>tessdata</b> - распознавание текста.</li>"
                     "<li><b>Leptonica</b> - обработка изображений для OCR.</li>"
                     "<li><b>libzip</b> и <b>zlib</b> - упаковка и экспортные операции.</li>"
                     "<li><b>OpenSSL</b> - хеширование, CMS/CAdES-операции и проверки на Linux.</li>"
                     "<li><b>SANE</b> - работа со сканерами на Linux при наличии системной библиотеки.</li>"
                     "<li><b>ONNX Runtime</b> - опциональное определение структуры документа, если модуль включён в сборку.</li>"
                     "<li><b>CryptoAPI / CSP, CryptoPro CSP, ViPNet CSP, Rutoken, JaCarta/eToken</b> - используются как "
                     "внешние криптопровайдеры там, где установлены в системе.</li>"
                     "<li><b>UlvoPaint</b> - встроенный редактор изображений, штампов, печатей и факсимиле.</li></ul>"))
          .arg(uiTranslate(name).toHtmlEscaped()));
  layout->addWidget(text, 1);

  auto* footer = new QHBoxLayout;
  footer->addStretch(1);
  QPushButton* close = dialogButton(QStringLiteral("Закрыть"), QStringLiteral("PrimaryDialogButton"));
  connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  footer->addWidget(close);
  layout->addLayout(footer);
  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
}
