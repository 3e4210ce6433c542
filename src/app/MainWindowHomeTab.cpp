// The Home tab: file, tool and edit commands, and the font and paragraph
// controls that act as the formatting bar of the block being edited in place.
#include "MainWindow.h"

#include "RibbonFactories.h"
#include "core/PdfDocument.h"
#include "ui/UiLanguage.h"
#include "view/PdfView.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <optional>

namespace {

// Preferred families first, in this order, then the rest of the system's.
QStringList ribbonFontFamilies() {
  static const char* const preferred[] = {"Times New Roman", "Arial",           "Calibri",     "Segoe UI",
                                          "Liberation Serif", "Liberation Sans", "DejaVu Sans", "DejaVu Serif",
                                          "Ubuntu",           "Noto Sans"};
  const QStringList system = QFontDatabase::families();
  QStringList families;
  for (const char* name : preferred)
    if (system.contains(QString::fromUtf8(name), Qt::CaseSensitive)) families.append(QString::fromUtf8(name));
  for (const QString& family : system)
    if (!families.contains(family, Qt::CaseSensitive)) families.append(family);
  return families;
}

// Ctrl+Z and Ctrl+Y in the size field go to the window: a size typed there
// is a step of the page's history, and the field's own text history would
// take back nothing the page shows.
class PageHistoryKeys : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
      return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeyCombination keys = key->keyCombination();
    if (!key->matches(QKeySequence::Undo) && !key->matches(QKeySequence::Redo) &&
        keys != QKeyCombination(Qt::ControlModifier, Qt::Key_Y) &&
        keys != QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z))
      return QObject::eventFilter(watched, event);
    event->ignore();
    return true;
  }
};

QToolButton* hinted(QToolButton* button, const QString& tip, const QKeySequence& keys) {
  setShortcutHint(button, tip, keys);
  return button;
}

}  // namespace

QWidget* MainWindow::buildHomeTab() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("RibbonPage"));
  auto* layout = new QHBoxLayout(page);
  layout->setContentsMargins(10, 4, 10, 4);
  layout->setSpacing(0);
  const auto S = [](const char* key, const QString& text, bool checkable = false) {
    return iconOnlyButton(QString::fromUtf8(key), text, checkable);
  };
  const auto onClick = [this](QToolButton* button, auto action) {
    connect(button, &QToolButton::clicked, this, action);
    return button;
  };

  // File.
  QToolButton* open = onClick(hinted(largeIconButton(QStringLiteral("open"), QStringLiteral("Открыть")),
                                     QStringLiteral("Открыть"), QKeySequence::Open),
                              [this] { showOpenPdfDialog(); });
  saveButton = onClick(hinted(S("save", QStringLiteral("Сохранить")), QStringLiteral("Сохранить"), QKeySequence::Save),
                       [this] {
                         if (!currentDocument->isOpen()) return;
                         if (currentDocument->filePath().isEmpty())
                           onSaveAs();
                         else
                           onSave();
                       });
  QToolButton* saveAs = onClick(hinted(S("save-as", QStringLiteral("Сохранить как")),
                                       QStringLiteral("Сохранить как / Экспорт"), QKeySequence::SaveAs),
                                [this] { showSaveExportDialog(); });
  compressButton = onClick(hinted(S("compress-pdf", QStringLiteral("Сжать PDF")), QStringLiteral("Сжать PDF"),
                                  QKeySequence(QStringLiteral("Ctrl+Alt+M"))),
                           [this] { showCompressedPdfExportDialog(QString(), false); });
  QToolButton* import = nullptr;
  if (allowImports())
    import = onClick(hinted(S("insert-page", QStringLiteral("Импорт")), QStringLiteral("Импорт"),
                            QKeySequence(QStringLiteral("Ctrl+Alt+I"))),
                     [this] { showImportDialog(); });
  QToolButton* print = onClick(hinted(S("print", QStringLiteral("Печать")), QStringLiteral("Печать"), QKeySequence::Print),
                               [this] { showPrintDialog(); });
  layout->addWidget(ribbonLeadGroup(QStringLiteral("Файл"), open, {{saveButton, saveAs, compressButton}, {import, print}}));

  // Tools.
  const auto handTool = [this] {
    if (view) view->setEditTool(EditTool::Hand);
  };
  const auto selectTool = [this] {
    if (view) view->setEditTool(EditTool::Select);
  };
  QToolButton* lead = nullptr;
  QToolButton* hand = nullptr;
  if (allowPdfEditing()) {
    editModeButton = onClick(hinted(largeIconButton(QStringLiteral("edit-mode"), QStringLiteral("Редактировать"), true),
                                    QStringLiteral("Редактировать"), QKeySequence(QStringLiteral("F2"))),
                             [this] { onToggleEditMode(); });
    editModeButton->setChecked(false);
    lead = editModeButton;
    hand = S("hand", QStringLiteral("Рука"), true);
  } else {
    hand = largeIconButton(QStringLiteral("hand"), QStringLiteral("Рука"), true);
    lead = hand;
  }
  onClick(hinted(hand, QStringLiteral("Рука"), QKeySequence(QStringLiteral("Ctrl+Alt+H"))), handTool);
  QToolButton* select = onClick(hinted(S("select", QStringLiteral("Выбор"), true), QStringLiteral("Выбор"),
                                       QKeySequence(QStringLiteral("Ctrl+Alt+V"))),
                                selectTool);
  auto* tools = new QButtonGroup(page);
  tools->setExclusive(true);
  tools->addButton(hand);
  tools->addButton(select);
  select->setChecked(true);
  QToolButton* find = onClick(hinted(S("search", QStringLiteral("Найти")), QStringLiteral("Найти"), QKeySequence::Find),
                              [this] { showSearchDialog(); });
  ocrButton = nullptr;
  if (allowOcr())
    ocrButton = onClick(hinted(S("ocr", QStringLiteral("OCR")), QStringLiteral("OCR"),
                               QKeySequence(QStringLiteral("Ctrl+Shift+O"))),
                        [this] { showOcrProgressDialog(); });
  QToolButton* sign = nullptr;
  if (allowSignatures())
    sign = onClick(hinted(S("digital-signature", QStringLiteral("Подписать")),
                          QStringLiteral("Подписать файл электронной подписью"), QKeySequence(QStringLiteral("Ctrl+Alt+S"))),
                   [this] { showSignatureDialog(false, {}, {}, QString()); });
  QList<QWidget*> toolsRow1 = {select};
  if (hand != lead) toolsRow1.prepend(hand);
  layout->addWidget(ribbonLeadGroup(QStringLiteral("Инструменты"), lead, {toolsRow1, {find, ocrButton, sign}}));

  // Edit.
  undoButton = onClick(hinted(S("undo", QStringLiteral("Назад")), QStringLiteral("Отменить"), QKeySequence::Undo),
                       [this] { undoLastChange(); });
  redoButton = onClick(hinted(S("redo", QStringLiteral("Вперёд")), QStringLiteral("Повторить"), QKeySequence::Redo),
                       [this] {
                         if (view) view->redo();
                       });
  undoButton->setEnabled(false);
  redoButton->setEnabled(false);
  QToolButton* copy = onClick(hinted(S("copy", QStringLiteral("Копия")), QStringLiteral("Копировать"), QKeySequence::Copy),
                              [this] { onEditCopy(); });
  QList<QWidget*> editRow2;
  if (allowPdfEditing()) {
    editRow2 << onClick(hinted(S("paste", QStringLiteral("буфер|Вставить")), QStringLiteral("Вставить изображение/содержимое"),
                               QKeySequence::Paste),
                        [this] { onEditPaste(); })
             << onClick(hinted(S("edit-text", QStringLiteral("Текст")), QStringLiteral("Добавить текст"),
                               QKeySequence(QStringLiteral("Ctrl+T"))),
                        [this] { onEditInsertText(); })
             << onClick(hinted(S("edit-image", QStringLiteral("Картинка")), QStringLiteral("Добавить изображение"),
                               QKeySequence(QStringLiteral("Ctrl+Shift+I"))),
                        [this] { onEditInsertImage(); });
  }
  if (allowFacsimiles)
    editRow2 << onClick(hinted(S("signature", QStringLiteral("Факсимиле")), QStringLiteral("Вставить факсимиле"),
                               QKeySequence(QStringLiteral("Ctrl+Shift+F"))),
                        [this] { onFacsimileInsert(); });
  layout->addWidget(ribbonMultiRowGroup(QStringLiteral("Правка"), {{undoButton, redoButton, copy}, editRow2}));

  if (allowPdfEditing()) {
    // Font.
    fontFamilyCombo = new QComboBox;
    fontFamilyCombo->setObjectName(QStringLiteral("RibbonCombo"));
    fontFamilyCombo->addItems(ribbonFontFamilies());
    const int times = fontFamilyCombo->findText(QStringLiteral("Times New Roman"), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (times >= 0) fontFamilyCombo->setCurrentIndex(times);
    fontFamilyCombo->setMinimumContentsLength(16);
    fontFamilyCombo->setFixedWidth(168);
    connect(fontFamilyCombo, &QComboBox::currentTextChanged, this, [this](const QString& family) {
      if (view && !syncingFormatControls) view->setActiveTextFontFamily(family);
    });
    fontSizeSpin = new QSpinBox;
    fontSizeSpin->setObjectName(QStringLiteral("RibbonSpin"));
    fontSizeSpin->setRange(6, 160);
    fontSizeSpin->setValue(12);
    fontSizeSpin->setFixedWidth(78);
    fontSizeSpin->installEventFilter(new PageHistoryKeys(fontSizeSpin));
    // A size typed digit by digit is applied once, when it is complete.
    fontSizeSpin->setKeyboardTracking(false);
    connect(fontSizeSpin, &QSpinBox::valueChanged, this, [this](int value) {
      if (view && !syncingFormatControls) view->setActiveTextFontSize(value);
    });
    const auto toggled = [this](QToolButton* button, void (PdfView::*apply)(bool)) {
      connect(button, &QToolButton::toggled, this, [this, apply](bool checked) {
        if (view && !syncingFormatControls) (view->*apply)(checked);
      });
      return button;
    };
    const auto styleButton = [&](const char* key, const QString& text, const QKeySequence& keys) {
      return hinted(S(key, text, true), text, keys);
    };
    const auto plainButton = [&](const char* key, const QString& text, const QKeySequence& keys) {
      return hinted(S(key, text), text, keys);
    };
    // The view's operations act on its active editor; without a view nothing happens.
    const auto onView = [this](QToolButton* button, auto action) {
      connect(button, &QToolButton::clicked, this, [this, action] {
        if (view) action(view);
      });
      return button;
    };
    growFontButton = plainButton("font-size-up", QStringLiteral("Увеличить шрифт"), QKeySequence(QStringLiteral("Ctrl+Shift+>")));
    onClick(growFontButton, [this] { fontSizeSpin->setValue(std::min(fontSizeSpin->value() + 1, fontSizeSpin->maximum())); });
    shrinkFontButton = plainButton("font-size-down", QStringLiteral("Уменьшить шрифт"), QKeySequence(QStringLiteral("Ctrl+Shift+<")));
    onClick(shrinkFontButton, [this] { fontSizeSpin->setValue(std::max(fontSizeSpin->value() - 1, fontSizeSpin->minimum())); });
    boldButton = toggled(styleButton("format-bold", QStringLiteral("Полужирный"), QKeySequence::Bold), &PdfView::setActiveTextBold);
    italicButton = toggled(styleButton("format-italic", QStringLiteral("Курсив"), QKeySequence::Italic), &PdfView::setActiveTextItalic);
    underlineButton = toggled(styleButton("format-underline", QStringLiteral("Подчёркивание"), QKeySequence::Underline),
                              &PdfView::setActiveTextUnderline);
    strikeOutButton = toggled(styleButton("format-strike", QStringLiteral("Зачёркивание"), QKeySequence(QStringLiteral("Alt+Shift+5"))),
                              &PdfView::setActiveTextStrikeOut);
    superscriptButton = styleButton("format-superscript", QStringLiteral("Верхний индекс"), QKeySequence(QStringLiteral("Ctrl+Shift+=")));
    subscriptButton = styleButton("format-subscript", QStringLiteral("Нижний индекс"), QKeySequence(QStringLiteral("Ctrl+Alt+=")));
    // Superscript and subscript exclude each other; the one switched off by
    // the other sends no change of its own.
    const auto exclusive = [this](QToolButton* button, QToolButton* other, void (PdfView::*apply)(bool)) {
      connect(button, &QToolButton::toggled, this, [this, other, apply](bool checked) {
        if (!view || syncingFormatControls) return;
        if (checked && other) {
          const QSignalBlocker blocker(other);
          other->setChecked(false);
        }
        (view->*apply)(checked);
      });
    };
    exclusive(superscriptButton, subscriptButton, &PdfView::setActiveTextSuperscript);
    exclusive(subscriptButton, superscriptButton, &PdfView::setActiveTextSubscript);
    clearFormattingButton = onView(plainButton("clear-format", QStringLiteral("Очистить форматирование"), QKeySequence(QStringLiteral("Ctrl+Space"))),
                                   [](PdfView* v) { v->clearActiveTextFormatting(); });
    const auto colourButton = [&](const char* key, const QString& title, QColor initial, void (PdfView::*apply)(const QColor&)) {
      QToolButton* button = hinted(S(key, title), title, QKeySequence());
      connect(button, &QToolButton::clicked, this, [this, title, initial, apply] {
        if (!view) return;
        const QColor colour = QColorDialog::getColor(initial, this, uiTranslate(title));
        if (colour.isValid() && view) (view->*apply)(colour);
      });
      return button;
    };
    highlightColorButton = colourButton("text-highlight", QStringLiteral("Цвет выделения"), QColor(255, 230, 70),
                                        &PdfView::setActiveTextBackgroundColor);
    textColorButton = colourButton("font-color", QStringLiteral("Цвет текста"), QColor(Qt::black), &PdfView::setActiveTextColor);
    layout->addWidget(ribbonMultiRowGroup(
        QStringLiteral("Шрифт"),
        {{fontFamilyCombo, fontSizeSpin, growFontButton, shrinkFontButton},
         {boldButton, italicButton, underlineButton, strikeOutButton, subscriptButton, superscriptButton,
          highlightColorButton, textColorButton, clearFormattingButton}}));

    // Paragraph.
    bulletListButton = onView(plainButton("list-bullet", QStringLiteral("Маркированный список"), QKeySequence(QStringLiteral("Ctrl+Shift+L"))),
                              [](PdfView* v) { v->setActiveTextBulletedList(); });
    numberedListButton = onView(plainButton("list-number", QStringLiteral("Нумерованный список"), QKeySequence(QStringLiteral("Ctrl+Shift+7"))),
                                [](PdfView* v) { v->setActiveTextNumberedList(); });
    decreaseIndentButton = onView(plainButton("indent-decrease", QStringLiteral("Уменьшить отступ"), QKeySequence(QStringLiteral("Ctrl+["))),
                                  [](PdfView* v) { v->adjustActiveTextIndent(-18); });
    increaseIndentButton = onView(plainButton("indent-increase", QStringLiteral("Увеличить отступ"), QKeySequence(QStringLiteral("Ctrl+]"))),
                                  [](PdfView* v) { v->adjustActiveTextIndent(18); });
    const auto alignButton = [&](const char* key, const QString& text, const char* keys, Qt::Alignment alignment) {
      return onView(styleButton(key, text, QKeySequence(QString::fromLatin1(keys))),
                    [alignment](PdfView* v) { v->setActiveTextAlignment(alignment); });
    };
    alignLeftButton = alignButton("align-left", QStringLiteral("По левому краю"), "Ctrl+L", Qt::AlignLeft);
    alignCenterButton = alignButton("align-center", QStringLiteral("По центру"), "Ctrl+E", Qt::AlignHCenter);
    alignRightButton = alignButton("align-right", QStringLiteral("По правому краю"), "Ctrl+R", Qt::AlignRight);
    alignJustifyButton = alignButton("align-justify", QStringLiteral("По ширине"), "Ctrl+J", Qt::AlignJustify);
    layout->addWidget(ribbonMultiRowGroup(
        QStringLiteral("Абзац"), {{bulletListButton, numberedListButton, decreaseIndentButton, increaseIndentButton},
                                  {alignLeftButton, alignCenterButton, alignRightButton, alignJustifyButton}}));
  }
  layout->addStretch(1);
  if (fontFamilyCombo) setFontControlsEnabled(false);
  return page;
}

void MainWindow::setFontControlsEnabled(bool enabled) {
  const QList<QWidget*> controls = {fontFamilyCombo,      fontSizeSpin,          boldButton,           italicButton,
                                    underlineButton,      strikeOutButton,       superscriptButton,    subscriptButton,
                                    growFontButton,       shrinkFontButton,      clearFormattingButton, highlightColorButton,
                                    textColorButton,      bulletListButton,      numberedListButton,   decreaseIndentButton,
                                    increaseIndentButton, alignLeftButton,       alignCenterButton,    alignRightButton,
                                    alignJustifyButton};
  for (QWidget* control : controls)
    if (control) control->setEnabled(enabled);
}

void MainWindow::onActiveTextFormatChanged(const QString& family, int size, bool bold, bool italic, bool underline,
                                           bool strikeOut, bool superscript, bool subscript, Qt::Alignment alignment) {
  const QList<QToolButton*> styles = {boldButton, italicButton, underlineButton, strikeOutButton, superscriptButton,
                                      subscriptButton};
  if (!fontFamilyCombo || !fontSizeSpin || styles.contains(nullptr)) return;
  syncingFormatControls = true;
  const QList<QToolButton*> aligns = {alignLeftButton, alignCenterButton, alignRightButton, alignJustifyButton};
  QList<QObject*> quiet = {fontFamilyCombo, fontSizeSpin};
  for (QToolButton* button : styles) quiet.append(button);
  for (QToolButton* button : aligns)
    if (button) quiet.append(button);
  QList<bool> wasBlocked;
  for (QObject* object : quiet) wasBlocked.append(object->blockSignals(true));

  if (!family.trimmed().isEmpty()) {
    if (fontFamilyCombo->findText(family, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) fontFamilyCombo->addItem(family);
    fontFamilyCombo->setCurrentText(family);
  }
  fontSizeSpin->setValue(std::max(std::min(size, fontSizeSpin->maximum()), fontSizeSpin->minimum()));
  const bool flags[] = {bold, italic, underline, strikeOut, superscript, subscript};
  for (int i = 0; i < styles.size(); ++i) styles[i]->setChecked(flags[i]);
  const Qt::Alignment alignFlags[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
  for (int i = 0; i < aligns.size(); ++i)
    if (aligns[i]) aligns[i]->setChecked(alignment == alignFlags[i]);
  setFontControlsEnabled(true);

  syncingFormatControls = false;
  for (int i = 0; i < quiet.size(); ++i) quiet[i]->blockSignals(wasBlocked[i]);
}
