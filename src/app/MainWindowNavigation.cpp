// Navigation and zoom slots, the zoom text, the window title and the
// document tab bar.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QSignalBlocker>
#include <QTabBar>

#include <cmath>

namespace {

QString zoomText(double zoom) { return QStringLiteral("%1%").arg(std::lround(zoom * 100.0)); }

}  // namespace

void MainWindow::onPageSpinChanged(int value) { view->setCurrentPage(value - 1); }
void MainWindow::onFirstPage() { view->setCurrentPage(0); }
void MainWindow::onPrevPage() { view->setCurrentPage(view->currentPageIndex() - 1); }
void MainWindow::onNextPage() { view->setCurrentPage(view->currentPageIndex() + 1); }

void MainWindow::onLastPage() {
  if (currentDocument->isOpen()) view->setCurrentPage(currentDocument->pageCount() - 1);
}

void MainWindow::onThumbnailPageSelected(int index) { view->setCurrentPage(index); }
void MainWindow::onZoomIn() { view->zoomIn(); }
void MainWindow::onZoomOut() { view->zoomOut(); }
void MainWindow::onZoomFitWidth() { view->zoomFitWidth(); }
void MainWindow::onZoomFit() { view->zoomFit(); }

void MainWindow::onToggleThumbnails() {
  QWidget* panel = leftPanel ? leftPanel : static_cast<QWidget*>(thumbnails);
  if (panel) panel->setVisible(!panel->isVisible());
}

void MainWindow::onZoomChanged(double zoom) {
  updateZoomCombo();
  if (!sayPageRefusedAtZoom()) statusLabel->setText(tr("Масштаб: %1").arg(zoomText(zoom)));
}

bool MainWindow::sayPageRefusedAtZoom() {
  const int page = view->currentPageIndex();
  if (!currentDocument->isOpen() || page < 0 || page >= currentDocument->pageCount() ||
      currentDocument->isPageRefused(page) || !currentDocument->isRenderRefused(page, view->zoomFactor()))
    return false;
  statusLabel->setText(tr("Стр. %1 не показана при масштабе %2: уменьшите масштаб, чтобы её увидеть")
                           .arg(page + 1)
                           .arg(zoomText(view->zoomFactor())));
  return true;
}

void MainWindow::onZoomComboChanged(const QString& text) {
  QString number = text;
  number.remove(QLatin1Char('%'));
  bool ok = false;
  const double percent = QLocale::c().toDouble(number.trimmed(), &ok);
  if (ok && percent > 0) view->setZoom(percent / 100.0);
}

void MainWindow::updateZoomCombo() {
  if (!zoomCombo) return;
  const QSignalBlocker blocker(zoomCombo);
  zoomCombo->setEditText(zoomText(view->zoomFactor()));
}

void MainWindow::updateTitle() {
  const QString name = uiTranslate(productDisplayName(product));
  if (currentDocument->isOpen()) {
    QString title = QFileInfo(currentDocument->filePath()).fileName();
    if (title.isEmpty()) title = uiTranslate(QStringLiteral("Безымянный"));
    if (currentDocument->isModified()) title += QStringLiteral(" *");
    setWindowTitle(title + QStringLiteral(" — ") + name);
  } else {
    setWindowTitle(name);
  }
  refreshDocumentTabs();
}

void MainWindow::refreshDocumentTabs() {
  if (!documentTabs) return;
  const QSignalBlocker blocker(documentTabs);
  while (documentTabs->count() > 0) documentTabs->removeTab(0);
  for (const OpenDocumentState& state : documents) {
    QString text = QFileInfo(state.path).fileName();
    if (text.isEmpty()) text = uiTranslate(QStringLiteral("Безымянный"));
    if (state.document && state.document->isModified()) text += QStringLiteral(" *");
    // A tab reads "&" as the mark of a shortcut letter: a file name's own "&" is doubled.
    const int tab = documentTabs->addTab(text.replace(QLatin1Char('&'), QLatin1String("&&")));
    documentTabs->setTabToolTip(tab, plainToolTip(state.path));
  }
  documentTabs->setVisible(!documents.empty());
  if (activeIndex >= 0 && activeIndex < documentTabs->count()) documentTabs->setCurrentIndex(activeIndex);
}
