// The workspace under the ribbon (document tab bar, page view, floating bar)
// and the edit-mode button.
#include "MainWindow.h"

#include "AppZoomPresets.h"
#include "RibbonFactories.h"
#include "core/PdfDocument.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

QWidget* MainWindow::buildWorkspace() {
  auto* workspace = new QWidget;
  workspace->setObjectName(QStringLiteral("Workspace"));
  auto* layout = new QVBoxLayout(workspace);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  documentTabs = new QTabBar;
  documentTabs->setObjectName(QStringLiteral("DocumentTabs"));
  documentTabs->setDocumentMode(true);
  documentTabs->setTabsClosable(true);
  documentTabs->setExpanding(false);
  documentTabs->setUsesScrollButtons(true);
  documentTabs->setFixedHeight(36);
  documentTabs->hide();
  layout->addWidget(documentTabs, 0);

  view->setObjectName(QStringLiteral("DocumentScroll"));
  view->viewport()->setObjectName(QStringLiteral("DocumentCanvas"));
  layout->addWidget(view, 1);

  floatingBar = buildFloatingBar();
  layout->addWidget(floatingBar, 0, Qt::AlignHCenter);

  connect(documentTabs, &QTabBar::currentChanged, this, [this](int index) {
    if (index >= 0 && index != activeIndex) activateDocument(index);
  });
  connect(documentTabs, &QTabBar::tabCloseRequested, this, [this](int index) { closeDocumentAt(index); });
  return workspace;
}

QWidget* MainWindow::buildFloatingBar() {
  auto* bar = new QWidget;
  bar->setObjectName(QStringLiteral("FloatingBar"));
  bar->setFixedHeight(50);
  bar->setMinimumWidth(650);
  auto* shadow = new QGraphicsDropShadowEffect(bar);
  shadow->setBlurRadius(28);
  shadow->setOffset(0, 8);
  shadow->setColor(QColor(17, 24, 39, 50));
  bar->setGraphicsEffect(shadow);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(10, 6, 10, 6);
  layout->setSpacing(6);

  QToolButton* select = floatingIconButton(QStringLiteral("select"), QStringLiteral("Выбор"), true);
  select->setChecked(true);
  setShortcutHint(select, QStringLiteral("Выбор"), QKeySequence(QStringLiteral("Ctrl+Alt+V")));
  QToolButton* hand = floatingIconButton(QStringLiteral("hand"), QStringLiteral("Рука"), true);
  setShortcutHint(hand, QStringLiteral("Рука"), QKeySequence(QStringLiteral("Ctrl+Alt+H")));
  auto* tools = new QButtonGroup(bar);
  tools->setExclusive(true);
  tools->addButton(select);
  tools->addButton(hand);
  connect(select, &QToolButton::clicked, this, [this] { view->setEditTool(EditTool::Select); });
  connect(hand, &QToolButton::clicked, this, [this] { view->setEditTool(EditTool::Hand); });

  QToolButton* zoomOut = floatingIconButton(QStringLiteral("zoom-out"), QStringLiteral("Уменьшить"));
  setShortcutHint(zoomOut, QStringLiteral("Уменьшить"), QKeySequence(QKeySequence::ZoomOut));
  connect(zoomOut, &QToolButton::clicked, this, &MainWindow::onZoomOut);

  floatingZoomCombo = new QComboBox;
  floatingZoomCombo->setObjectName(QStringLiteral("FloatingZoom"));
  floatingZoomCombo->setEditable(true);
  floatingZoomCombo->setInsertPolicy(QComboBox::NoInsert);
  floatingZoomCombo->setFixedWidth(88);
  floatingZoomCombo->addItems(ZOOM_PRESETS);
  floatingZoomCombo->setEditText(QStringLiteral("%1%").arg(std::lround(view->zoomFactor() * 100.0)));
  // A typed value counts once it is complete (Enter or leaving the box), so
  // typing "135" never passes through 1% and 13%; a preset counts when chosen.
  connect(floatingZoomCombo->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { onZoomComboChanged(floatingZoomCombo->currentText()); });
  connect(floatingZoomCombo, &QComboBox::textActivated, this, &MainWindow::onZoomComboChanged);
  QComboBox* combo = floatingZoomCombo;
  connect(view, &PdfView::zoomChanged, combo, [combo](double zoom) {
    const QSignalBlocker blocker(combo);
    combo->setEditText(QStringLiteral("%1%").arg(std::lround(zoom * 100.0)));
  });

  QToolButton* zoomIn = floatingIconButton(QStringLiteral("zoom-in"), QStringLiteral("Увеличить"));
  setShortcutHint(zoomIn, QStringLiteral("Увеличить"), QKeySequence(QKeySequence::ZoomIn));
  connect(zoomIn, &QToolButton::clicked, this, &MainWindow::onZoomIn);
  QToolButton* fitWidth = floatingIconButton(QStringLiteral("fit-width"), QStringLiteral("По ширине"));
  setShortcutHint(fitWidth, QStringLiteral("По ширине"), QKeySequence(QStringLiteral("Ctrl+2")));
  connect(fitWidth, &QToolButton::clicked, this, &MainWindow::onZoomFitWidth);

  auto* separator = new QFrame;
  separator->setObjectName(QStringLiteral("FloatingSeparator"));
  separator->setFrameShape(QFrame::VLine);

  firstPageButton = floatingIconButton(QStringLiteral("first-page"), QStringLiteral("В начало"));
  connect(firstPageButton, &QToolButton::clicked, this, &MainWindow::onFirstPage);
  prevPageButton = floatingIconButton(QStringLiteral("prev-page"), QStringLiteral("Назад"));
  connect(prevPageButton, &QToolButton::clicked, this, &MainWindow::onPrevPage);
  pageSpin = new QSpinBox;
  pageSpin->setObjectName(QStringLiteral("FloatingPageSpin"));
  pageSpin->setRange(1, 1);
  pageSpin->setFixedWidth(72);
  pageSpin->setAlignment(Qt::AlignCenter);
  connect(pageSpin, &QSpinBox::valueChanged, this, &MainWindow::onPageSpinChanged);
  pageTotalLabel = new QLabel(QStringLiteral(" / 0"));
  pageTotalLabel->setObjectName(QStringLiteral("FloatingPageTotal"));
  nextPageButton = floatingIconButton(QStringLiteral("next-page"), QStringLiteral("Вперёд"));
  connect(nextPageButton, &QToolButton::clicked, this, &MainWindow::onNextPage);
  lastPageButton = floatingIconButton(QStringLiteral("last-page"), QStringLiteral("В конец"));
  connect(lastPageButton, &QToolButton::clicked, this, &MainWindow::onLastPage);
  QToolButton* print = floatingIconButton(QStringLiteral("print"), QStringLiteral("Печать"));
  connect(print, &QToolButton::clicked, this, &MainWindow::showPrintDialog);
  QToolButton* fullScreen = floatingIconButton(QStringLiteral("fullscreen"), QStringLiteral("Полный экран"));
  connect(fullScreen, &QToolButton::clicked, this, &MainWindow::toggleFullScreen);

  for (QWidget* widget : {static_cast<QWidget*>(select), static_cast<QWidget*>(hand),
                          static_cast<QWidget*>(zoomOut), static_cast<QWidget*>(floatingZoomCombo),
                          static_cast<QWidget*>(zoomIn), static_cast<QWidget*>(fitWidth),
                          static_cast<QWidget*>(separator), static_cast<QWidget*>(firstPageButton),
                          static_cast<QWidget*>(prevPageButton), static_cast<QWidget*>(pageSpin),
                          static_cast<QWidget*>(pageTotalLabel), static_cast<QWidget*>(nextPageButton),
                          static_cast<QWidget*>(lastPageButton), static_cast<QWidget*>(print),
                          static_cast<QWidget*>(fullScreen)})
    layout->addWidget(widget);
  return bar;
}

void MainWindow::toggleFullScreen() {
  if (isFullScreen())
    showNormal();
  else
    showFullScreen();
}

void MainWindow::updateEditModeUi() {
  if (!editModeButton) return;
  const QSignalBlocker blocker(editModeButton);
  editModeButton->setChecked(editMode);
  editModeButton->setIcon(commandIcon(editMode ? QStringLiteral("read-mode") : QStringLiteral("edit-mode")));
  editModeButton->setText(editMode ? tr("Чтение") : tr("Редакт."));
  setShortcutHint(editModeButton, editMode ? tr("Перейти в режим чтения") : tr("Редактировать документ"),
                  QKeySequence(QStringLiteral("F2")));
  editModeButton->setEnabled(currentDocument->isOpen());
}
