// Block-edit mode, writing the view's pending block edits into their page,
// and the OCR bar that writes or drops the shown blocks.
#include "MainWindow.h"

#include "core/ImageFormatProbe.h"
#include "ui/UiLanguage.h"

#include "ui/BusyRing.h"
#include "ui/DialogHelpers.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QEventLoop>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace {

const QString kOcrBarStyleSheet = QStringLiteral(
    "QFrame { background: #1a3a5c; }"
    "QLabel { color: #9ecfff; font-size: 11px; padding: 0 4px; }"
    "QPushButton { background: #1e73d4; color: white; border: none; padding: 4px 12px; border-radius: 3px; "
    "font-size: 12px; }"
    "QPushButton:hover { background: #2585e8; }"
    "QPushButton#cancelBtn { background: #444; }"
    "QPushButton#cancelBtn:hover { background: #666; }");

// A write shorter than this shows no cover: it would only flicker.
constexpr int kEditCoverDelayMs = 150;

}  // namespace

bool MainWindow::writePendingBlocks(int page, const std::vector<TextBlock>& blocks) {
  if (page < 0 || page >= currentDocument->pageCount()) {
    QMessageBox::warning(this, QStringLiteral("Ошибка"),
                         QStringLiteral("Не удалось определить страницу текстовых правок."));
    return false;
  }
  // Nothing to write (blocks placed and deleted again) is no failure: it
  // would block saving, tab switches and page changes for good.
  if (blocks.empty()) return true;
  if (writingPendingBlocks) return false;
  // An edit that takes out what the page draws writes the whole document
  // anew, seconds for thousands of pages: it runs on a thread of its own
  // while the window draws on and takes no input, with the busy ring after
  // a moment.
  bool written = false;
  PdfDocument* document = currentDocument;
  writingPendingBlocks = true;
  if (!editWriteThread) {
    editWriteThread = new QThread(this);
    editWriteHost = new QObject;
    editWriteHost->moveToThread(editWriteThread);
    connect(editWriteThread, &QThread::finished, editWriteHost, &QObject::deleteLater);
    editWriteThread->start();
  }
  {
    QEventLoop loop;
    const BusyOverlay cover = buildBusyOverlay(this, QStringLiteral("EditWriteBusyOverlay"), 214,
                                               tr("Правки стр. %1 записываются…").arg(page + 1));
    QTimer::singleShot(kEditCoverDelayMs, cover.frame, [this, cover] {
      cover.frame->setGeometry(rect());
      cover.frame->show();
      cover.frame->raise();
      cover.ring->start(45);
    });
    QMetaObject::invokeMethod(editWriteHost, [&written, &loop, document, page, &blocks] {
      written = document->overlayOcrText(page, blocks, false);
      // A quit before the loop runs is queued to it all the same.
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    delete cover.frame;
  }
  writingPendingBlocks = false;
  if (!written) {
    // The reason names what the edit could not write (a character no face
    // draws, a line the page draws as a clip): text of the file, so plain.
    QString text = uiTranslate(QStringLiteral("Не удалось применить текстовые правки."));
    if (!currentDocument->lastError().isEmpty()) text += QLatin1Char('\n') + currentDocument->lastError();
    QMessageBox box(QMessageBox::Warning, uiTranslate(QStringLiteral("Ошибка")), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return false;
  }
  // The thumbnail shows the page as written, not as it was.
  thumbnails->refreshPage(page);
  return true;
}

bool MainWindow::applyPendingOcrEdits() {
  if (!currentDocument->isOpen() || !view->hasOcrEdits()) return true;
  if (!writePendingBlocks(view->ocrBlocksPageIndex(), view->ocrBlocksToWrite())) return false;
  view->clearOcrBlocks();
  if (ocrBar) ocrBar->hide();
  ocrPage = -1;
  view->invalidatePageCache();
  return true;
}

void MainWindow::setupOcrBar() {
  auto* bar = new QFrame(this);
  bar->setFrameShape(QFrame::NoFrame);
  bar->setStyleSheet(kOcrBarStyleSheet);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(8, 4, 8, 4);
  layout->setSpacing(8);
  ocrBarLabel = new QLabel(QStringLiteral("OCR завершён"), bar);
  layout->addWidget(ocrBarLabel, 1);
  auto* embed = new QPushButton(QStringLiteral("Применить в документ"), bar);
  connect(embed, &QPushButton::clicked, this, &MainWindow::onOcrEmbed);
  layout->addWidget(embed);
  auto* cancel = new QPushButton(QStringLiteral("Отмена"), bar);
  cancel->setObjectName(QStringLiteral("cancelBtn"));
  connect(cancel, &QPushButton::clicked, this, &MainWindow::onOcrCancel);
  layout->addWidget(cancel);
  bar->hide();
  ocrBar = bar;
}

void MainWindow::onOcrEmbed() {
  if (view->currentOcrBlocks().empty()) return;
  const std::vector<TextBlock> blocks = view->ocrBlocksToWrite();
  const int page = view->ocrBlocksPageIndex();
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount()) {
    QMessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось определить страницу текстового слоя."));
    return;
  }
  if (!currentDocument->overlayOcrText(page, blocks, false)) {
    QMessageBox::warning(this, QStringLiteral("Ошибка"), QStringLiteral("Не удалось применить текстовый слой."));
    return;
  }
  view->clearOcrBlocks();
  if (ocrBar) ocrBar->hide();
  ocrPage = -1;
  view->invalidatePageCache();
  thumbnails->refreshPage(page);
  updateTitle();
  statusLabel->setText(tr("Текстовые изменения применены. Сохраните файл (Ctrl+S)."));
}

void MainWindow::onOcrCancel() {
  view->clearOcrBlocks();
  if (ocrBar) ocrBar->hide();
  ocrPage = -1;
  statusLabel->setText(tr("Редактирование текстовых блоков отменено"));
}

void MainWindow::onToggleEditMode() {
  if (!allowPdfEditing()) {
    statusLabel->setText(tr("Редактирование PDF недоступно в этой версии программы"));
    return;
  }
  if (!currentDocument->isOpen()) return;
  editMode = !editMode;
  view->setEditMode(editMode);
  saveActiveDocumentUiState();

  if (!editMode) {
    updateEditModeUi();
    statusLabel->setText(tr("Режим чтения: текстовые рамки выключены"));
    return;
  }
  // Unsaved edits keep their blocks; otherwise the page's text is read afresh.
  if (!view->hasOcrEdits()) {
    view->clearOcrBlocks();
    ocrPage = -1;
  }
  // A page with text of its own, or with form fields, is framed as it is:
  // recognising it would write field values or a second text layer into
  // the document, which switching a mode never does.
  const int page = view->currentPageIndex();
  if (view->currentOcrBlocks().empty() && !awaitNativeTextLayerForPage(page, true, QRectF(), true) &&
      editMode && currentDocument->isOpen() && !pageHasTextOrFields(page)) {
    updateEditModeUi();
    statusLabel->setText(tr("Текстовый слой не найден: запускаю OCR."));
    showOcrProgressDialog();
    return;
  }
  updateEditModeUi();
  statusLabel->setText(tr("Режим редактирования: текстовые рамки включены"));
}

void MainWindow::onEditInsertText() { startBlockInsertion(false); }
void MainWindow::onEditInsertImage() { startBlockInsertion(true); }

void MainWindow::startBlockInsertion(bool image) {
  if (!allowPdfEditing() || !currentDocument->isOpen()) return;
  if (!editMode) {
    editMode = true;
    view->setEditMode(true);
    updateEditModeUi();
  }
  // The new block joins the page's own blocks, so they are loaded (or
  // recognised, when the user wants that) first.
  ensureOcrReady();
  statusLabel->setText(image ? tr("Нарисуйте область для изображения на странице")
                             : tr("Нарисуйте область для текста на странице"));
  view->setEditTool(image ? EditTool::InsertImage : EditTool::InsertText);
}

void MainWindow::onImageRectReady(int page, QRectF rect) {
  if (!currentDocument->isOpen()) return;
  if (placePendingFacsimiles(page, rect)) return;
  const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Выбрать изображение"), QString(),
                                                    QStringLiteral("Изображения (*.png *.jpg *.jpeg *.bmp *.tiff);;Все файлы (*)"));
  if (file.isEmpty()) return;
  // Read as an imported page is: its format by its signature, pictures up
  // to the import bound, and the reason named when it is refused.
  QString why;
  QImage image;
  runWithBusyCover(this, uiTranslate(QStringLiteral("Обрабатываю изображение...")),
                   [&] { image = readImportedPicture(file, &why); });
  if (image.isNull()) {
    QString message = uiTranslate(QStringLiteral("Не удалось загрузить:\n%1")).arg(file);
    if (!why.isEmpty()) message += QLatin1Char('\n') + why;
    appInfo(this, QStringLiteral("Ошибка"), message);
    return;
  }
  // The tool stays on images: the next area asks for the next picture.
  if (!view->appendEditableImageBlocks(page, rect, QList<QImage>{image})) return;
  ocrPage = page;
  updateTitle();
  statusLabel->setText(tr("Изображение добавлено как объект на стр. %1").arg(page + 1));
}
