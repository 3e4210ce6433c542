// "Специальные символы": characters as buttons in tabs, inserted at the caret
// of the block being edited. Each tab's buttons are made once, when the tab is
// first shown; "Все" alone holds about two thousand.
#include "MainWindow.h"

#include "SymbolCharacterLists.h"
#include "ToolDialogFrame.h"
#include "ui/DialogHelpers.h"
#include "view/PdfView.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

constexpr int kButtonsPerRow = 12;

}  // namespace

void MainWindow::showSpecialCharactersDialog() {
  QDialog* dialog = newToolDialog(this, QStringLiteral("Специальные символы"), QSize(760, 560));
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(10);
  addDialogHeading(layout, QStringLiteral("Специальные символы"),
                   QStringLiteral("Выберите символ, он будет вставлен в активный текстовый блок."));
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("SymbolTabs"));
  tabs->setDocumentMode(true);
  layout->addWidget(tabs, 1);
  auto* closeRow = new QHBoxLayout;
  closeRow->addStretch(1);
  QPushButton* close = dialogButton(QStringLiteral("Закрыть"), QStringLiteral("SecondaryDialogButton"));
  connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  closeRow->addWidget(close);
  layout->addLayout(closeRow);

  const auto insertSymbol = [this](const QString& s) {
    if (view->insertTextIntoActiveEditor(s))
      statusLabel->setText(tr("Вставлен символ: %1").arg(s));
    else
      statusLabel->setText(tr("Откройте текстовый блок для вставки символа"));
  };

  // Each tab starts as an empty scroll area; its list waits here until then.
  QList<std::pair<QString, QStringList>> lists = fixedSymbolTabs();
  lists.prepend({QStringLiteral("Все"), allSymbols(QFontMetrics(dialog->font()))});
  auto pending = std::make_shared<QList<QStringList>>();
  for (const auto& [title, symbols] : lists) {
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("SymbolScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    tabs->addTab(scroll, title);
    pending->append(symbols);
  }
  const auto addSymbolTab = [tabs, pending, insertSymbol](int index) {
    auto* scroll = qobject_cast<QScrollArea*>(tabs->widget(index));
    if (!scroll || scroll->widget() || index >= pending->size()) return;
    const QStringList symbols = pending->at(index);
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("SymbolPage"));
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    for (int i = 0; i < symbols.size(); ++i) {
      auto* button = new QPushButton(symbols[i]);
      button->setObjectName(QStringLiteral("SymbolButton"));
      button->setFixedSize(44, 36);
      QFont font = button->font();
      font.setPointSize(14);
      button->setFont(font);
      const QString symbol = symbols[i];
      QObject::connect(button, &QPushButton::clicked, button, [insertSymbol, symbol] { insertSymbol(symbol); });
      grid->addWidget(button, i / kButtonsPerRow, i % kButtonsPerRow);
    }
    grid->setRowStretch((int(symbols.size()) + kButtonsPerRow - 1) / kButtonsPerRow, 1);
    scroll->setWidget(page);
    (*pending)[index].clear();
  };
  addSymbolTab(tabs->currentIndex());
  connect(tabs, &QTabWidget::currentChanged, dialog, addSymbolTab);
  showCentredOn(this, dialog);
}
