// Whole-document recognition: a modeless dialog with progress and a log, and
// the run that gives every scanned page an invisible, searchable text layer.
// Pages are recognised on worker threads; the run writes them in page order
// and lets events through while it waits, so the user may close its
// dialog, its document or the window meanwhile: it holds the dialog's parts
// through guarded pointers, follows its own document (which may go to the
// background or be closed, ending the run), and page operations and a second
// run are refused until it ends.
#include "MainWindow.h"

#include "OcrRunRules.h"
#include "PageCountText.h"
#include "ocr/ParallelPageRecognition.h"
#include "ui/CountedText.h"
#include "ui/DialogHelpers.h"
#include "view/PdfView.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>

namespace {

// The log and progress bar of a run; either may be gone at any time.
class RunOutput {
 public:
  RunOutput(QProgressBar* progress, QListWidget* log) : bar(progress), list(log) {}
  void line(const QString& text) {
    if (!list) return;
    list->addItem(text);
    list->scrollToBottom();
  }
  void progress(int value, const QString& format = QString()) {
    if (!bar) return;
    bar->setValue(value);
    if (!format.isEmpty()) bar->setFormat(format);
  }
  void range() {
    if (bar) bar->setRange(0, 100);
  }

 private:
  QPointer<QProgressBar> bar;
  QPointer<QListWidget> list;
};

}  // namespace

void MainWindow::showOcrProgressDialog() {
  if (!allowOcr()) {
    if (statusLabel) statusLabel->setText(tr("OCR недоступен в этой версии программы"));
    return;
  }
  // One run at a time: its dialog comes forward instead of a second one.
  if (ocrBusy) {
    if (ocrProgressDialog) {
      ocrProgressDialog->raise();
      ocrProgressDialog->activateWindow();
    }
    statusLabel->setText(tr("Распознавание уже выполняется"));
    return;
  }
  const bool open = currentDocument->isOpen();
  if (open) switchEditModeOn();

  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("AppDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("OCR"));
  dialog->resize(520, 290);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(18, 18, 18, 18);
  layout->setSpacing(12);
  layout->addWidget(label(tr("Распознавание текста"), QStringLiteral("DialogTitle")));
  const QString languages = storedOcrLanguages();
  layout->addWidget(label(open ? tr("Документ: %1 · %2")
                                     .arg(pageCountText(currentDocument->pageCount()),
                                          ocrLanguagesDisplayName(languages))
                               : tr("Документ не открыт"),
                          QStringLiteral("DialogSubtitle")));
  auto* progress = new QProgressBar(dialog);
  progress->setObjectName(QStringLiteral("OcrProgress"));
  progress->setRange(0, 100);
  progress->setValue(open ? 8 : 0);
  progress->setFormat(open ? tr("%p% · подготовка страницы") : tr("Откройте PDF перед запуском OCR"));
  layout->addWidget(progress);
  auto* log = new QListWidget(dialog);
  if (open)
    log->addItems({tr("• Подготовка документа"), tr("  Страницы с готовым текстовым слоем будут пропущены"),
                   tr("  Сканированные страницы будут распознаны")});
  else
    log->addItem(tr("Документ не открыт"));
  layout->addWidget(log, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  // "Отмена" stops a running run after the page it is on; the dialog stays
  // so that its log shows where the run stopped. Before the run and after
  // it, the button closes the dialog.
  QPushButton* cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
  connect(cancel, &QPushButton::clicked, dialog, [this, dialog, cancel, log] {
    if (!ocrBusy || !ocrRunDocument || ocrProgressDialog != dialog) {
      dialog->close();
      return;
    }
    ocrStopRequested = true;
    cancel->setEnabled(false);
    log->addItem(tr("  Остановка после текущей страницы..."));
    log->scrollToBottom();
  });
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  dialog->move(frameGeometry().center() - dialog->rect().center());
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  ocrProgressDialog = dialog;
  if (!open) return;

  QPointer<QDialog> guardedDialog(dialog);
  QPointer<QProgressBar> guardedProgress(progress);
  QPointer<QListWidget> guardedLog(log);
  QPointer<QPushButton> guardedCancel(cancel);
  QTimer::singleShot(120, this, [=, this] {
    if (!guardedDialog) return;
    RunOutput output(guardedProgress, guardedLog);
    output.progress(22, tr("%p% · анализ текстовых блоков"));
    output.line(tr("• Запуск OCR документа"));
    QCoreApplication::processEvents();
    runOcrDocument(guardedProgress, guardedLog);
    if (!guardedDialog) return;
    RunOutput done(guardedProgress, guardedLog);
    if (ocrStopRequested) {
      done.progress(100, tr("%p% · OCR остановлен"));
      done.line(tr("■ OCR остановлен"));
    } else {
      done.progress(100, tr("%p% · OCR завершён"));
      done.line(tr("✓ OCR завершён"));
    }
    if (guardedCancel) {
      guardedCancel->setText(tr("Закрыть"));
      guardedCancel->setEnabled(true);
    }
  });
}

PreparedPage MainWindow::prepareDocumentOcrPage(PdfDocument* document, int page, bool skipTextPages,
                                               double storedZoom) const {
  PreparedPage prepared;
  if (page >= document->pageCount()) return prepared;
  // A page without characters has no layer to show; the styled blocks,
  // which cost a render of the page, are read only for pages with some.
  if (skipTextPages && !document->extractAllText(page).trimmed().isEmpty() &&
      hasVisibleTextLayer(document->extractText(page))) {
    prepared.state = PreparedPage::State::HasText;
    return prepared;
  }
  const QSizeF size = document->pageSize(page);
  prepared.scale = cappedOcrScale(size, pageOcrScale(size.width(), storedZoom));
  prepared.pageWidth = size.width();
  prepared.pageHeight = size.height();
  prepared.image = document->renderPageContent(page, prepared.scale);
  if (!prepared.image.isNull()) prepared.state = PreparedPage::State::Image;
  return prepared;
}

qint64 MainWindow::documentOcrPageBytes(PdfDocument* document, int page, double storedZoom) const {
  if (page >= document->pageCount()) return 0;
  const QSizeF size = document->pageSize(page);
  return ocrPageBytes(size, cappedOcrScale(size, pageOcrScale(size.width(), storedZoom)));
}

bool MainWindow::writeRecognisedPage(PdfDocument* document, int page, const std::vector<TextBlock>& blocks) {
  return document->overlayOcrText(page, blocks, false);
}

void MainWindow::runOcrDocument(QProgressBar* progress, QListWidget* log) {
  RunOutput output(progress, log);
  if (!currentDocument->isOpen() || ocrBusy) return;
  // Unsaved block edits are written before any page changes; when that
  // fails they stay in the view and nothing is recognised.
  if (view->hasOcrEdits() && !applyPendingOcrEdits()) {
    output.line(tr("  Правки текстовых блоков не записаны — OCR документа не запущен"));
    statusLabel->setText(tr("OCR документа не запущен: правки текстовых блоков не записаны"));
    return;
  }
  switchEditModeOn();

  PdfDocument* document = currentDocument;
  ocrRunDocument = document;
  ocrStopRequested = false;
  ocrBusy = true;
  if (ocrButton) ocrButton->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);

  // Each worker starts its own engine; the window's is not needed, and
  // starting it here would hold the window for a quarter of a second.
  const QString languages = storedOcrLanguages();

  QSettings settings;
  const int pages = document->pageCount();
  const double storedZoom = settings.value(QStringLiteral("ocr/renderZoom"), 0.0).toDouble();
  const bool skipTextPages = settings.value(QStringLiteral("ocr/preferNativeTextLayer"), true).toBool();
  output.range();
  output.progress(5);

  // Pages are checked, rendered and recognised on worker threads, ahead of
  // this loop, which takes them in page order and writes them here. The
  // workers read the document only until the run cancels them, which it does
  // before the document can go (destroyDocument).
  auto prepare = [this, document, skipTextPages, storedZoom](int page) {
    return prepareDocumentOcrPage(document, page, skipTextPages, storedZoom);
  };
  // What a page will hold is known from its size before it is rendered, so
  // huge pages wait for each other instead of being rendered all at once.
  auto pageBytes = [this, document, storedZoom](int page) { return documentOcrPageBytes(document, page, storedZoom); };
  ParallelPageRecognition recognition(languages, pages, prepare, ParallelPageRecognition::workerCount(pages), nullptr,
                                      pageBytes);
  ocrRecognition = &recognition;
  if (pages > 0) recognition.start();

  int recognised = 0;
  int skipped = 0;
  int withoutText = 0;
  int failedPage = -1;
  QString failure;
  bool documentClosed = false;
  int stoppedBefore = -1;
  bool engineFailed = false;
  for (int i = 0; i < pages; ++i) {
    output.progress(5 + (i * 90) / pages, tr("%p% · страница %1 из %2").arg(i + 1).arg(pages));
    output.line(tr("• Страница %1: проверка").arg(i + 1));
    QCoreApplication::processEvents();
    if (!ocrRunDocument) {
      documentClosed = true;
      break;
    }
    if (ocrStopRequested) {
      stoppedBefore = i;
      break;
    }
    if (i >= document->pageCount()) break;
    // The window answers while this page is still being recognised.
    std::optional<RecognisedPage> result;
    while (ocrRunDocument && !recognition.isCancelled() && !(result = recognition.takeResult(i)))
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (!ocrRunDocument) {
      documentClosed = true;
      break;
    }
    if (!result) break;
    if (result->outcome == RecognisedPage::Outcome::HasText) {
      output.line(tr("  Уже есть текстовый слой — пропущено"));
      ++skipped;
      continue;
    }
    if (result->outcome == RecognisedPage::Outcome::NoImage) {
      output.line(tr("  Не удалось подготовить изображение страницы"));
      ++withoutText;
      continue;
    }
    output.line(tr("  OCR..."));
    if (result->outcome == RecognisedPage::Outcome::EngineFailed) {
      // No page would fare better: the languages do not load.
      output.line(tr("  Распознавание страницы не запустилось"));
      engineFailed = true;
      break;
    }
    const std::vector<TextBlock>& blocks = result->blocks;
    if (blocks.empty()) {
      output.line(tr("  Текст не найден"));
      ++withoutText;
      continue;
    }
    if (!writeRecognisedPage(document, i, blocks)) {
      // Going on would leave the user believing the document is searchable;
      // the pages done so far keep their layer.
      output.line(tr("  Не удалось добавить текстовый слой"));
      ++withoutText;
      failedPage = i;
      failure = document->lastError();
      break;
    }
    output.line(tr("  Добавлен текстовый слой: %1")
                    .arg(countedText(int(blocks.size()), "%1 блок", "%1 блока", "%1 блоков")));
    ++recognised;
  }
  recognition.cancel();
  ocrRecognition = nullptr;

  output.progress(96, tr("%p% · обновление документа"));
  ocrRunDocument = nullptr;
  // The view is brought up to date only when it still shows the run's
  // document; blocks the user edited meanwhile are written, not dropped.
  if (!documentClosed && currentDocument == document && (!view->hasOcrEdits() || applyPendingOcrEdits())) {
    view->clearOcrBlocks();
    if (ocrBar) ocrBar->hide();
    ocrPage = -1;
    view->invalidatePageCache();
    loadNativeTextLayerForPage(view->currentPageIndex(), false);
  }
  updateTitle();
  finishOcrRun();
  output.progress(100);

  if (documentClosed) {
    output.line(tr("  Документ закрыт — распознавание остановлено"));
    statusLabel->setText(tr("OCR документа остановлен: документ закрыт"));
    return;
  }
  if (stoppedBefore >= 0) {
    output.line(tr("  Остановлено пользователем: страницы с %1 по %2 не распознаны").arg(stoppedBefore + 1).arg(pages));
    output.line(tr("Итог: распознано %1, пропущено %2, без текста %3").arg(recognised).arg(skipped).arg(withoutText));
    statusLabel->setText(tr("OCR документа остановлен перед страницей %1: распознано страниц: %2")
                             .arg(stoppedBefore + 1)
                             .arg(recognised));
    return;
  }
  output.line(tr("✓ Готово: распознано %1, пропущено %2, без текста %3").arg(recognised).arg(skipped).arg(withoutText));
  if (failedPage < 0) {
    statusLabel->setText(tr("OCR документа: распознано страниц: %1, пропущено: %2").arg(recognised).arg(skipped));
    if (engineFailed) appInfo(this, QStringLiteral("OCR"), tr(kOcrEngineFailure));
    return;
  }
  const QString reason = failure.trimmed().isEmpty() ? tr("документ не принял текстовый слой") : failure.trimmed();
  output.line(tr("  Остановлено на странице %1: %2").arg(QString::number(failedPage + 1), reason));
  statusLabel->setText(tr("OCR документа остановлен на странице %1").arg(failedPage + 1));
  QMessageBox::warning(this, QStringLiteral("OCR"),
                       tr("Не удалось записать текстовый слой страницы %1: %2.\n\nРаспознавание остановлено; "
                          "уже распознанные страницы (%3) остаются в документе.")
                           .arg(QString::number(failedPage + 1), reason, QString::number(recognised)));
}
