// The Markup tab: marks over the marked region, the marker colour, notes and
// the free-text dialog, besides the search, copy and protection commands.
#include "MainWindow.h"

#include "PageTopRect.h"
#include "ToolDialogFrame.h"
#include "ui/DialogHelpers.h"
#include "view/PageThumbnailPanel.h"
#include "view/PdfView.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

// One marker colour for the whole run, shared by the three kinds of mark.
QColor& markupColour() {
  static QColor colour(255, 255, 0, 255);
  return colour;
}

}  // namespace

bool MainWindow::isOpenDocument(const PdfDocument* document) const {
  return document && std::any_of(documents.begin(), documents.end(), [document](const OpenDocumentState& state) {
           return state.document.get() == document && document->isOpen();
         });
}

bool MainWindow::applyEditsBeforePageChange() {
  const bool hadBlocks = view->ocrBlocksPageIndex() >= 0;
  if (!applyPendingOcrEdits()) return false;
  if (editMode && hadBlocks && view->ocrBlocksPageIndex() < 0)
    loadNativeTextLayerForPage(view->currentPageIndex(), false);
  return true;
}

QWidget* MainWindow::buildCommentTab() {
  watchNotes();

  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("RibbonPage"));
  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(10, 4, 10, 4);
  layout->setSpacing(0);
  const auto button = [this](const char* key, const QString& text, auto action) {
    QToolButton* b = toolButton(QString::fromUtf8(key), text);
    connect(b, &QToolButton::clicked, this, action);
    return b;
  };
  // Commands this edition does not carry yet are shown, but greyed out and
  // saying so, never as live buttons that do nothing.
  const auto unavailable = [this](const char* key, const QString& text) {
    QToolButton* b = toolButton(QString::fromUtf8(key), text);
    b->setEnabled(false);
    b->setToolTip(text + QStringLiteral("\n") + QStringLiteral("Команда пока недоступна"));
    return b;
  };

  const auto markButton = [this, &button](const char* key, const QString& text, int kind) {
    QToolButton* b = button(key, text, [this, kind] { onMarkButton(kind); });
    b->setCheckable(true);
    b->setChecked(false);
    markButtons.append(b);
    return b;
  };
  QToolButton* marker = markButton("highlight", QStringLiteral("Маркер"), 0);
  marker->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(marker, &QToolButton::customContextMenuRequested, this, [this] {
    const QColor chosen = QColorDialog::getColor(markupColour(), this, QStringLiteral("Цвет маркера"));
    if (chosen.isValid()) markupColour() = chosen;
  });
  connect(view, &PdfView::markupDragFinished, this, [this](int page) {
    if (chosenMarkKind >= 0 && chosenMarkDocument == currentDocument && page == pendingSelectionPage)
      markPendingSelection(chosenMarkKind);
  });
  markEscape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  markEscape->setContext(Qt::WindowShortcut);
  markEscape->setEnabled(false);
  connect(markEscape, &QShortcut::activated, this, [this] { chooseMarkTool(-1); });
  layout->addWidget(ribbonGroup(QStringLiteral("Аннотации"),
                                {button("comment", QStringLiteral("Заметка"), [this] { addNoteOnCurrentPage(); }),
                                 marker,
                                 button("edit-text", QStringLiteral("Текст"), [this] { showFreeTextDialog(); })}));
  layout->addWidget(ribbonGroup(
      QStringLiteral("Разметка"),
      {markButton("format-underline", QStringLiteral("Подчерк."), 1),
       markButton("format-strike", QStringLiteral("Зачерк."), 2),
       unavailable("area-select", QStringLiteral("Область"))}));
  layout->addWidget(ribbonGroup(QStringLiteral("Работа"),
                                {button("search", QStringLiteral("Найти"), [this] { showSearchDialog(); }),
                                 button("copy", QStringLiteral("Копия"), [this] { onCopySelectedText(); }),
                                 unavailable("delete", QStringLiteral("Удалить"))}));
  QList<QWidget*> protection = {button("password", QStringLiteral("Пароль"), [this] { showPasswordDialog(); }),
                                unavailable("permissions", QStringLiteral("Права")),
                                unavailable("redact", QStringLiteral("Редакция"))};
  if (allowSignatures())
    protection.append(button("digital-signature", QStringLiteral("Подпись"),
                             [this] { showSignatureDialog(false, {}, {}, QString()); }));
  protection.append(unavailable("verify", QStringLiteral("Проверить")));
  protection.append(
      button("properties", QStringLiteral("Свойства"), [this] { showDocumentPropertiesDialog(); }));
  layout->addWidget(ribbonGroup(QStringLiteral("Защита"), protection));
  layout->addStretch(1);
  return page;
}

// A mark button marks what is selected. With nothing usable selected it
// chooses its kind of mark for the drags that follow, in either mode; while a
// mark is chosen, its button lets it go and another button takes its place.
void MainWindow::onMarkButton(int kind) {
  if (chosenMarkKind >= 0) {
    chooseMarkTool(chosenMarkKind == kind ? -1 : kind);
    return;
  }
  const bool usable = pendingSelectionPage >= 0 &&
                      (!pendingSelectionSpans.isEmpty() ||
                       (pendingSelectionRect.width() > 0 && pendingSelectionRect.height() > 0));
  // The click has toggled the button; it is set again from the choice.
  if (usable && currentDocument->isOpen()) {
    markPendingSelection(kind);
    chooseMarkTool(-1);
  } else {
    chooseMarkTool(currentDocument->isOpen() ? kind : -1);
  }
}

void MainWindow::chooseMarkTool(int kind) {
  chosenMarkKind = kind;
  chosenMarkDocument = kind >= 0 ? currentDocument : nullptr;
  view->setMarkupToolChosen(kind >= 0);
  if (markEscape) markEscape->setEnabled(kind >= 0);
  for (int k = 0; k < markButtons.size(); ++k) markButtons[k]->setChecked(k == kind);
  if (kind >= 0) statusLabel->setText(tr("Выделите текст для разметки"));
}

bool MainWindow::canUndoMark() const {
  return currentDocument->isOpen() && std::any_of(markUndos.begin(), markUndos.end(), [this](const MarkUndo& undo) {
           return undo.document == currentDocument;
         });
}

void MainWindow::refreshUndoButtons() {
  if (undoButton) undoButton->setEnabled(view->canUndo() || canUndoMark());
  if (redoButton) redoButton->setEnabled(view->canRedo());
}

// Block edits are undone first, step by step; then the latest mark.
void MainWindow::undoLastChange() {
  if (view->canUndo()) {
    view->undo();
    return;
  }
  if (!canUndoMark()) return;
  const bool unchangedSince = currentDocument->isModified() &&
                              currentDocument->modificationMarks() == markUndos.last().marksAfter &&
                              markUndos.last().document == currentDocument;
  if (!applyEditsBeforePageChange()) return;
  qsizetype index = markUndos.size() - 1;
  while (markUndos[index].document != currentDocument) --index;
  const MarkUndo last = markUndos.takeAt(index);
  const auto ofThisDocument = [this](const MarkUndo& undo) { return undo.document == currentDocument; };
  if (!currentDocument->removeTrailingPageObjects(last.page, last.before, last.after)) {
    // The page changed since; no older mark of it can be taken back either.
    markUndos.removeIf(ofThisDocument);
    statusLabel->setText(tr("Ошибка: %1").arg(currentDocument->lastError()));
    refreshUndoButtons();
    return;
  }
  if (last.wasUnchanged && unchangedSince) currentDocument->clearModifiedMark();
  view->invalidatePageCache();
  thumbnails->refreshPage(last.page);
  updateTitle();
  statusLabel->setText(tr("Разметка на стр. %1 отменена").arg(last.page + 1));
  refreshUndoButtons();
}

void MainWindow::markPendingSelection(int kind) {
  if (!currentDocument->isOpen()) return;
  // Selected text is marked even when the drag was perfectly level and so
  // spanned no height.
  const bool selectedText = pendingSelectionPage >= 0 && !pendingSelectionSpans.isEmpty();
  if (pendingSelectionPage < 0 ||
      (!selectedText && (!(pendingSelectionRect.width() > 0) || !(pendingSelectionRect.height() > 0)))) {
    statusLabel->setText(tr("Выделите текст для разметки"));
    return;
  }
  if (!applyEditsBeforePageChange()) return;
  const int page = pendingSelectionPage;
  const QSizeF pageSize = currentDocument->pageSize(page);
  QList<QRectF> regions;
  for (const QRectF& top : selectedText ? pendingSelectionSpans : QList<QRectF>{pendingSelectionRect})
    regions.append(shownRectFromPageTop(top, pageSize));
  MarkUndo undo{currentDocument, page, currentDocument->pageObjectCount(page), 0, !currentDocument->isModified(), 0};
  if (!currentDocument->addMarkupAnnot(page, regions, markupColour(), kind)) {
    statusLabel->setText(tr("Ошибка: %1").arg(currentDocument->lastError()));
    return;
  }
  undo.after = currentDocument->pageObjectCount(page);
  undo.marksAfter = currentDocument->modificationMarks();
  // Undone in either mode; a few hundred steps back are plenty.
  if (markUndos.size() >= 200) markUndos.removeFirst();
  if (undo.before >= 0 && undo.after > undo.before) markUndos.append(undo);
  refreshUndoButtons();
  view->invalidatePageCache();
  thumbnails->refreshPage(page);
  updateTitle();
  // Each kind reports itself in a sentence of its own, so that the words
  // agree in every language.
  const QString done = kind == 1   ? tr("Подчёркивание добавлено на стр. %1")
                       : kind == 2 ? tr("Зачёркивание добавлено на стр. %1")
                                   : tr("Маркер добавлен на стр. %1");
  statusLabel->setText(done.arg(page + 1));
  pendingSelectionPage = -1;
  pendingSelectionRect = QRectF(0, 0, 0, 0);
  pendingSelectionSpans.clear();
}

void MainWindow::showFreeTextDialog() {
  if (!currentDocument->isOpen()) return;
  // The target is fixed when the dialog opens: this document, this page, this
  // region (measured from the page's top edge, as the view marks it).
  PdfDocument* target = currentDocument;
  int page = 0;
  QRectF region;
  if (pendingSelectionPage >= 0 && pendingSelectionRect.width() > 0 && pendingSelectionRect.height() > 0) {
    page = pendingSelectionPage;
    region = pendingSelectionRect;
  } else {
    page = pendingSelectionPage >= 0 ? pendingSelectionPage : view->currentPageIndex();
    const QSizeF size = currentDocument->pageSize(page);
    const double width = 0.6 * size.width();
    region = QRectF((size.width() - width) * 0.5, size.height() * 0.5 - 40, width, 40);
  }

  QDialog* dialog = newToolDialog(this, QStringLiteral("Текстовая аннотация"), QSize(460, 320));
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(10);
  layout->addWidget(label(QStringLiteral("Текст на странице"), QStringLiteral("DialogTitle")));
  auto* text = new QTextEdit;
  text->setObjectName(QStringLiteral("DialogLineEdit"));
  text->setPlaceholderText(QStringLiteral("Введите текст..."));
  text->setMinimumHeight(100);
  layout->addWidget(text);
  auto* fontRow = new QHBoxLayout;
  fontRow->addWidget(new QLabel(QStringLiteral("Шрифт:")));
  auto* family = new QComboBox;
  family->addItems({QStringLiteral("Helvetica"), QStringLiteral("Times-Roman"), QStringLiteral("Courier")});
  fontRow->addWidget(family);
  fontRow->addWidget(new QLabel(QStringLiteral("Размер:")));
  auto* size = new QSpinBox;
  size->setRange(6, 96);
  size->setValue(12);
  fontRow->addWidget(size);
  auto* colourButton = new QPushButton(QStringLiteral("Цвет..."));
  colourButton->setObjectName(QStringLiteral("SecondaryDialogButton"));
  // The colour belongs to this dialog and lives exactly as long as it.
  const auto colour = std::make_shared<QColor>(Qt::black);
  colourButton->setStyleSheet(QStringLiteral("background:%1").arg(colour->name()));
  connect(colourButton, &QPushButton::clicked, dialog, [dialog, colour, colourButton] {
    const QColor chosen = QColorDialog::getColor(*colour, dialog);
    if (!chosen.isValid()) return;
    *colour = chosen;
    colourButton->setStyleSheet(QStringLiteral("background:%1").arg(colour->name()));
  });
  fontRow->addWidget(colourButton);
  fontRow->addStretch(1);
  layout->addLayout(fontRow);
  const auto [cancel, insert] = addDialogButtonRow(layout, QStringLiteral("Отмена"), QStringLiteral("Вставить"));
  connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
  connect(insert, &QPushButton::clicked, dialog, [=, this] {
    const QString plain = text->toPlainText().trimmed();
    if (plain.isEmpty()) {
      dialog->close();
      return;
    }
    // Written into the document the dialog was opened for, never into the tab
    // that happens to be active now.
    if (!isOpenDocument(target)) {
      statusLabel->setText(tr("Документ, для которого открыто окно, закрыт; текст не вставлен"));
      dialog->close();
      return;
    }
    if (target == currentDocument && !applyEditsBeforePageChange()) {
      dialog->close();
      return;
    }
    const QRectF shown = shownRectFromPageTop(region, target->pageSize(page));
    if (target->addFreeText(page, shown, plain, family->currentText(), float(size->value()), *colour)) {
      if (target == currentDocument) {
        view->invalidatePageCache();
        pendingSelectionPage = -1;
        pendingSelectionRect = QRectF(0, 0, 0, 0);
      }
      updateTitle();
      statusLabel->setText(tr("Текст добавлен на стр. %1").arg(page + 1));
    } else {
      statusLabel->setText(tr("Ошибка: %1").arg(target->lastError()));
    }
    dialog->close();
  });
  showCentredOn(this, dialog);
}
