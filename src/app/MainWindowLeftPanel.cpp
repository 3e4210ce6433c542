// The left panel: page count header, thumbnails and the outline of the
// active document, and what a click on an outline entry does.
#include "MainWindow.h"
#include "ui/UiLanguage.h"

#include "ui/DialogHelpers.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

QWidget* MainWindow::buildLeftPanel() {
  auto* panel = new QWidget;
  panel->setObjectName(QStringLiteral("LeftPanel"));
  panel->setFixedWidth(248);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* header = new QWidget;
  header->setObjectName(QStringLiteral("PanelHeader"));
  auto* headerLayout = new QVBoxLayout(header);
  headerLayout->setContentsMargins(16, 12, 16, 10);
  headerLayout->setSpacing(1);
  headerLayout->addWidget(label(QStringLiteral("Страницы"), QStringLiteral("PanelTitle")));
  pageCountLabel = label(QStringLiteral("0 страниц"), QStringLiteral("PanelMeta"));
  headerLayout->addWidget(pageCountLabel);
  layout->addWidget(header);

  auto* outlinePage = new QWidget;
  auto* outlineLayout = new QVBoxLayout(outlinePage);
  outlineLayout->setContentsMargins(0, 0, 0, 0);
  outlineLayout->setSpacing(0);
  outlineTree = new QTreeWidget;
  outlineTree->setObjectName(QStringLiteral("OutlineTree"));
  outlineTree->setHeaderHidden(true);
  outlineTree->setRootIsDecorated(true);
  outlineTree->setUniformRowHeights(true);
  outlineTree->setAlternatingRowColors(false);
  outlineTree->setSelectionMode(QAbstractItemView::SingleSelection);
  outlineTree->setTextElideMode(Qt::ElideRight);
  outlineTree->hide();
  auto* empty = new QLabel(tr("В документе нет оглавления"));
  empty->setObjectName(QStringLiteral("outlineEmpty"));
  empty->setProperty("outlineEmpty", true);
  empty->setAlignment(Qt::AlignCenter);
  empty->setWordWrap(true);
  outlineTree->setProperty("emptyLabel", QVariant::fromValue<QWidget*>(empty));
  outlineLayout->addWidget(outlineTree, 1);
  outlineLayout->addWidget(empty, 1);
  connect(outlineTree, &QTreeWidget::itemActivated, this, &MainWindow::onOutlineItemActivated);
  connect(outlineTree, &QTreeWidget::itemClicked, this, &MainWindow::onOutlineItemActivated);

  leftPanelTabs = new QTabWidget;
  leftPanelTabs->setObjectName(QStringLiteral("LeftPanelTabs"));
  leftPanelTabs->setDocumentMode(true);
  leftPanelTabs->addTab(thumbnails, tr("Страницы"));
  leftPanelTabs->addTab(outlinePage, tr("Оглавление"));
  layout->addWidget(leftPanelTabs, 1);
  return panel;
}

void MainWindow::appendOutlineItems(const QList<PdfDocument::OutlineItem>& items, QTreeWidgetItem* parent) {
  if (!outlineTree) return;
  for (const PdfDocument::OutlineItem& bookmark : items) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, bookmark.title.isEmpty() ? tr("Страница %1").arg(bookmark.page + 1)
                                              : bookmark.title);
    item->setData(0, Qt::UserRole, bookmark.page);
    item->setData(0, Qt::UserRole + 1, bookmark.url.toString());
    item->setData(0, Qt::UserRole + 2, QVariant::fromValue(bookmark.location));
    if (bookmark.page >= 0)
      item->setToolTip(0, uiTranslate(QStringLiteral("Перейти на страницу %1")).arg(bookmark.page + 1));
    else if (bookmark.url.isValid())
      item->setToolTip(0, plainToolTip(bookmark.url.toString()));
    if (parent)
      parent->addChild(item);
    else
      outlineTree->addTopLevelItem(item);
    appendOutlineItems(bookmark.children, item);
    if (!bookmark.children.isEmpty()) item->setExpanded(true);
  }
}

void MainWindow::refreshOutlinePanel() {
  if (!outlineTree) return;
  outlineTree->clear();
  if (currentDocument && currentDocument->isOpen()) appendOutlineItems(currentDocument->outline(), nullptr);
  auto* empty = outlineTree->property("emptyLabel").value<QWidget*>();
  const bool any = outlineTree->topLevelItemCount() > 0;
  outlineTree->setVisible(any);
  if (empty) empty->setVisible(!any);
}

void MainWindow::onOutlineItemActivated(QTreeWidgetItem* item, int) {
  if (!item || !currentDocument->isOpen()) return;
  const int page = item->data(0, Qt::UserRole).toInt();
  if (page >= 0 && page < currentDocument->pageCount()) {
    view->setCurrentPage(page);
    // The bookmark's own place on the page, where it names one.
    view->showPageAt(page, currentDocument->bookmarkTop(item->data(0, Qt::UserRole + 2).value<QList<int>>()));
    return;
  }
  const QString address = item->data(0, Qt::UserRole + 1).toString();
  // The document is untrusted: a bookmark opens what a page link would, with
  // the same confirmation.
  if (!address.isEmpty()) view->openExternalLink(QUrl(address, QUrl::TolerantMode));
}
