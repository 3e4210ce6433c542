// The window's keyboard: files, search, undo, tools, zoom and the formatting
// keys, which press the Home tab's buttons so that a key and a click behave
// alike. Keys an edition may not use are not made at all.
#include "MainWindow.h"

#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <QShortcut>
#include <QToolButton>

#include <functional>

void MainWindow::setupShortcuts() {
  const auto bind = [this](const QKeySequence& keys, std::function<void()> action) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, std::move(action));
  };
  const auto key = [](const char* text) { return QKeySequence(QString::fromLatin1(text), QKeySequence::NativeText); };

  bind(QKeySequence::Open, [this] { showOpenPdfDialog(); });
  bind(QKeySequence::Save, [this] {
    if (!currentDocument->isOpen()) return;
    if (currentDocument->filePath().isEmpty())
      onSaveAs();
    else
      onSave();
  });
  // Ctrl+Shift+S is the desktop's usual Save As, also where the platform's
  // own list lacks it; a key bound twice would fire neither binding.
  QList<QKeySequence> saveAsKeys = QKeySequence::keyBindings(QKeySequence::SaveAs);
  if (!saveAsKeys.contains(key("Ctrl+Shift+S"))) saveAsKeys << key("Ctrl+Shift+S");
  for (const QKeySequence& keys : saveAsKeys) bind(keys, [this] { showSaveExportDialog(); });
  bind(QKeySequence::Print, [this] { showPrintDialog(); });
  bind(QKeySequence::Find, [this] { showSearchDialog(); });
  // The page takes these keys while it has something to copy or paste (it
  // claims them before any shortcut); otherwise they run the ribbon's commands.
  bind(QKeySequence::Copy, [this] { onEditCopy(); });
  if (allowPdfEditing()) bind(QKeySequence::Paste, [this] { onEditPaste(); });
  bind(QKeySequence::Undo, [this] { undoLastChange(); });
  // Redo answers both keys users bring from other programs.
  for (const char* keys : {"Ctrl+Y", "Ctrl+Shift+Z"}) {
    bind(key(keys), [this] {
      if (view && view->canRedo()) view->redo();
    });
  }
  // Closing asks about unsaved documents, as the window's close button does.
  bind(key("Ctrl+Q"), [this] { close(); });
  bind(key("Ctrl+Alt+M"), [this] { showCompressedPdfExportDialog(QString(), false); });
  if (allowSignatures()) bind(key("Ctrl+Alt+S"), [this] { showSignatureDialog(false, {}, {}, QString()); });
  if (allowFacsimiles) bind(key("Ctrl+Shift+F"), [this] { onFacsimileInsert(); });
  if (allowImports()) bind(key("Ctrl+Alt+I"), [this] { showImportDialog(); });
  if (allowOcr()) bind(key("Ctrl+Shift+O"), [this] { showOcrProgressDialog(); });
  if (allowPdfEditing()) {
    bind(key("F2"), [this] { onToggleEditMode(); });
    bind(key("Ctrl+T"), [this] { onEditInsertText(); });
    bind(key("Ctrl+Shift+I"), [this] { onEditInsertImage(); });
  }
  bind(key("Ctrl+Alt+H"), [this] {
    if (view) view->setEditTool(EditTool::Hand);
  });
  bind(key("Ctrl+Alt+V"), [this] {
    if (view) view->setEditTool(EditTool::Select);
  });
  bind(QKeySequence::ZoomIn, [this] { view->zoomIn(); });
  bind(QKeySequence::ZoomOut, [this] { view->zoomOut(); });
  bind(key("Ctrl+0"), [this] { view->zoomFit(); });
  bind(key("Ctrl+2"), [this] { view->zoomFitWidth(); });

  // A disabled button (no text being edited) makes its key do nothing.
  const auto press = [this](QToolButton* MainWindow::*member) {
    return [this, member] {
      QToolButton* button = this->*member;
      if (button && button->isEnabled()) button->click();
    };
  };
  bind(QKeySequence::Bold, press(&MainWindow::boldButton));
  bind(QKeySequence::Italic, press(&MainWindow::italicButton));
  bind(QKeySequence::Underline, press(&MainWindow::underlineButton));
  bind(key("Alt+Shift+5"), press(&MainWindow::strikeOutButton));
  bind(key("Ctrl+Shift+="), press(&MainWindow::superscriptButton));
  bind(key("Ctrl+Alt+="), press(&MainWindow::subscriptButton));
  bind(key("Ctrl+Shift+>"), press(&MainWindow::growFontButton));
  bind(key("Ctrl+Shift+<"), press(&MainWindow::shrinkFontButton));
  bind(key("Ctrl+Space"), press(&MainWindow::clearFormattingButton));
  bind(key("Ctrl+L"), press(&MainWindow::alignLeftButton));
  bind(key("Ctrl+E"), press(&MainWindow::alignCenterButton));
  bind(key("Ctrl+R"), press(&MainWindow::alignRightButton));
  bind(key("Ctrl+J"), press(&MainWindow::alignJustifyButton));
  bind(key("Ctrl+Shift+L"), press(&MainWindow::bulletListButton));
  bind(key("Ctrl+Shift+7"), press(&MainWindow::numberedListButton));
  bind(key("Ctrl+["), press(&MainWindow::decreaseIndentButton));
  bind(key("Ctrl+]"), press(&MainWindow::increaseIndentButton));
}
