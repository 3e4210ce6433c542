// The text that is in the PDF itself (an embedded recognition layer among
// it): the current page's onto the clipboard, all pages' into a text file.
#include "MainWindow.h"

#include "core/AtomicFileWrite.h"
#include "view/PdfView.h"

#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>

void MainWindow::onCopyOcrText() {
  if (!currentDocument->isOpen()) return;
  const QString text = currentDocument->extractAllText(view->currentPageIndex());
  if (text.trimmed().isEmpty()) {
    statusLabel->setText(tr("Нет текста для копирования"));
    return;
  }
  QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
  statusLabel->setText(tr("Текст страницы скопирован (символов: %1)").arg(text.size()));
}

void MainWindow::onExportOcrText() {
  if (!currentDocument->isOpen()) return;
  QString path = QFileDialog::getSaveFileName(this, tr("Экспорт текста"), QString(), tr("Текст (*.txt)"));
  if (path.isEmpty()) return;
  if (!path.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive)) path += QStringLiteral(".txt");
  // UTF-8 without a byte-order mark; a failed write leaves an earlier file whole.
  const QByteArray bytes = currentDocument->extractAllTextAllPages().toUtf8();
  QString error;
  if (!writeFileAtomically(path, bytes, &error)) {
    QMessageBox::critical(this, tr("Ошибка"), tr("Не удалось записать файл"));
    return;
  }
  statusLabel->setText(tr("Текст экспортирован в %1").arg(QFileInfo(path).fileName()));
}
