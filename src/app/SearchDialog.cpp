// The "Поиск и замена" dialog. It keeps no hits of its own: the window's one
// search state is shared by every open search dialog and the find shortcut.
#include "MainWindow.h"

#include "ToolDialogFrame.h"
#include "ui/DialogHelpers.h"
#include "ui/UiLanguage.h"
#include "view/PdfView.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <functional>

namespace {

QString unescapeSearchText(const QString& typed) {
  QString text;
  for (qsizetype i = 0; i < typed.size(); ++i) {
    if (typed[i] != u'\\' || i + 1 >= typed.size()) {
      text += typed[i];
      continue;
    }
    const QChar next = typed[++i];
    if (next == u'n') {
      // The page text breaks its lines with \r\n: a line break typed alone
      // means that break.
      text += text.endsWith(u'\r') ? QStringLiteral("\n") : QStringLiteral("\r\n");
    } else if (next == u't') {
      text += u'\t';
    } else if (next == u'r') {
      text += u'\r';
    } else if (next == u'0') {
      text += QChar(0);
    } else if (next == u'x') {
      // Up to two hexadecimal digits; none at all keeps "\x" as typed.
      int digits = 0;
      uint value = 0;
      while (digits < 2 && i + 1 < typed.size() && isxdigit(typed[i + 1].toLatin1())) {
        value = value * 16 + uint(QString(typed[++i]).toUInt(nullptr, 16));
        ++digits;
      }
      if (digits == 0)
        text += QStringLiteral("\\x");
      else
        text += QChar(char16_t(value));
    } else {
      text += next;  // "\\" and any other escaped character stand for themselves
    }
  }
  return text;
}

QComboBox* findCombo(const QString& lastQuery) {
  auto* combo = new QComboBox;
  combo->setObjectName(QStringLiteral("DialogCombo"));
  combo->setEditable(true);
  combo->setMinimumWidth(300);
  keepUserText(combo);  // its items are the user's queries
  if (!lastQuery.isEmpty()) combo->addItem(lastQuery);
  return combo;
}

QCheckBox* optionBox(const QString& text, bool checked) {
  auto* box = new QCheckBox(text);
  box->setObjectName(QStringLiteral("DialogCheckBox"));
  box->setChecked(checked);
  return box;
}

QRadioButton* modeRadio(const QString& text, bool checked) {
  auto* radio = new QRadioButton(text);
  radio->setObjectName(QStringLiteral("DialogRadioButton"));
  radio->setChecked(checked);
  return radio;
}

QGroupBox* groupBox(const QString& title) {
  auto* box = new QGroupBox(title);
  box->setObjectName(QStringLiteral("DialogGroupBox"));
  new QVBoxLayout(box);
  return box;
}

QGridLayout* tabGrid(QWidget* page) {
  auto* grid = new QGridLayout(page);
  grid->setContentsMargins(12, 12, 12, 12);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(8);
  return grid;
}

// The controls one tab reads when it searches.
struct SearchControls {
  QComboBox* find = nullptr;
  QCheckBox* backwards = nullptr;
  QCheckBox* wholeWord = nullptr;
  QCheckBox* matchCase = nullptr;
  QCheckBox* wrap = nullptr;
  QRadioButton* regex = nullptr;
  QRadioButton* extended = nullptr;  // none in the replace tab

  PdfDocument::FindOptions options() const {
    PdfDocument::FindOptions o;
    o.caseSensitive = matchCase->isChecked();
    o.wholeWord = wholeWord->isChecked();
    o.regularExpression = regex->isChecked();
    return o;
  }
  // In the extended mode \n, \t, \0, \xHH and \\ stand for the characters
  // they name.
  QString query() const {
    const QString typed = find->currentText().trimmed();
    return extended && extended->isChecked() ? unescapeSearchText(typed) : typed;
  }
};

// Return in a find field runs its search once. The field is an editable
// combo box: its line edit and the box both hear the key, and each would
// answer it, stepping past the hit the first answer showed.
class ReturnKey : public QObject {
 public:
  ReturnKey(QComboBox* field, std::function<void()> action) : QObject(field), action(std::move(action)) {
    field->installEventFilter(this);
    field->lineEdit()->installEventFilter(this);
  }

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    // The search lets events through: the dialog, and this filter with it,
    // may be gone when it returns.
    const std::function<void()> run = action;
    run();
    return true;
  }

 private:
  std::function<void()> action;
};

// The "Параметры" box of a tab, its check boxes kept in the tab's controls.
QGroupBox* parametersGroup(SearchControls& controls) {
  QGroupBox* params = groupBox(QStringLiteral("Параметры"));
  controls.backwards = optionBox(QStringLiteral("Обратное направление"), false);
  controls.wholeWord = optionBox(QStringLiteral("Только целые слова"), false);
  controls.matchCase = optionBox(QStringLiteral("Учитывать регистр"), false);
  controls.wrap = optionBox(QStringLiteral("Зациклить поиск"), true);
  for (QCheckBox* box : {controls.backwards, controls.wholeWord, controls.matchCase, controls.wrap})
    params->layout()->addWidget(box);
  return params;
}

}  // namespace

void MainWindow::showSearchDialog() {
  QDialog* dialog = newToolDialog(this, QStringLiteral("Поиск и замена"), QSize(760, 600));
  dialog->setWindowFlag(Qt::Tool, true);
  dialog->setModal(false);
  dialog->setMinimumSize(680, 500);
  dialog->setWindowOpacity(1.0);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(16, 14, 16, 14);
  layout->setSpacing(10);
  addDialogHeading(layout, QStringLiteral("Поиск и замена"),
                   QStringLiteral("Найденный текст подсвечивается на странице. Замена доступна для "
                                  "редактируемых текстовых блоков после перехода в режим редактирования."));
  auto* tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("DialogTabs"));
  layout->addWidget(tabs);

  // ---- Tab "Найти" ----
  auto* findPage = new QWidget;
  QGridLayout* findGrid = tabGrid(findPage);
  SearchControls first;
  first.find = findCombo(lastSearchQuery);
  findGrid->addWidget(new QLabel(QStringLiteral("Найти:")), 0, 0);
  findGrid->addWidget(first.find, 0, 1, 1, 2);
  findGrid->addWidget(parametersGroup(first), 1, 0, 2, 1);
  QGroupBox* modes = groupBox(QStringLiteral("Режим поиска"));
  auto* modeGroup = new QButtonGroup(modes);
  modeGroup->setExclusive(true);
  first.regex = modeRadio(QStringLiteral("Регулярное выражение"), false);
  first.extended = modeRadio(QStringLiteral("Расширенный (\\n, \\t, \\0, \\x...)"), false);
  for (QRadioButton* r : {modeRadio(QStringLiteral("Обычный"), true), first.extended, first.regex}) {
    modeGroup->addButton(r);
    modes->layout()->addWidget(r);
  }
  findGrid->addWidget(modes, 1, 1, 2, 1);
  auto* findButtons = new QVBoxLayout;
  findButtons->setSpacing(8);
  QPushButton* findNext = dialogButton(QStringLiteral("Найти далее"), QStringLiteral("PrimaryDialogButton"));
  QPushButton* count = dialogButton(QStringLiteral("Подсчитать"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* findAll = dialogButton(QStringLiteral("Найти все в документе"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* findInAll = dialogButton(QStringLiteral("Найти во всех открытых"), QStringLiteral("SecondaryDialogButton"));

  QPushButton* closeFirst = dialogButton(QStringLiteral("Закрыть"), QStringLiteral("SecondaryDialogButton"));
  for (QPushButton* b : {findNext, count, findAll, findInAll, closeFirst}) findButtons->addWidget(b);
  findButtons->addStretch(1);
  findGrid->addLayout(findButtons, 1, 2, 2, 1);
  QLabel* resultsLabel = label(QStringLiteral("Результаты поиска появятся здесь"), QStringLiteral("DialogSubtitle"));
  findGrid->addWidget(resultsLabel, 3, 0, 1, 3);
  auto* table = new QTableWidget(0, 4);
  table->setObjectName(QStringLiteral("DialogTable"));
  table->setHorizontalHeaderLabels(
      {QStringLiteral("№"), QStringLiteral("Страница"), QStringLiteral("На странице"), QStringLiteral("Запрос")});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setAlternatingRowColors(true);
  table->setMinimumHeight(150);
  table->horizontalHeader()->setStretchLastSection(true);
  for (int c = 0; c < 3; ++c) table->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  findGrid->addWidget(table, 4, 0, 1, 3);
  tabs->addTab(findPage, QStringLiteral("Найти"));

  // ---- Tab "Замена": its own controls, read only by its own buttons ----
  auto* replacePage = new QWidget;
  QGridLayout* replaceGrid = tabGrid(replacePage);
  SearchControls second;
  second.find = findCombo(lastSearchQuery);
  QComboBox* replaceWith = findCombo(QString());
  replaceGrid->addWidget(new QLabel(QStringLiteral("Найти:")), 0, 0);
  replaceGrid->addWidget(second.find, 0, 1);
  replaceGrid->addWidget(new QLabel(QStringLiteral("Заменить на:")), 1, 0);
  replaceGrid->addWidget(replaceWith, 1, 1);
  QGroupBox* replaceParams = parametersGroup(second);
  second.regex = modeRadio(QStringLiteral("Регулярное выражение"), false);
  QRadioButton* plain = modeRadio(QStringLiteral("Обычный"), true);
  auto* replaceModes = new QButtonGroup(replaceParams);
  for (QRadioButton* r : {plain, second.regex}) {
    replaceModes->addButton(r);
    replaceParams->layout()->addWidget(r);
  }
  replaceGrid->addWidget(replaceParams, 2, 0, 1, 2);
  auto* replaceButtons = new QVBoxLayout;
  replaceButtons->setSpacing(8);
  QPushButton* replaceFindNext = dialogButton(QStringLiteral("Найти далее"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* replaceOne = dialogButton(QStringLiteral("Заменить"), QStringLiteral("SecondaryDialogButton"));
  QPushButton* replaceAll = dialogButton(QStringLiteral("Заменить все"), QStringLiteral("PrimaryDialogButton"));
  QPushButton* replaceInAll =
      dialogButton(QStringLiteral("Заменить во всех открытых"), QStringLiteral("SecondaryDialogButton"));
  replaceInAll->setEnabled(false);
  replaceInAll->setToolTip(QStringLiteral("Команда пока недоступна"));
  QPushButton* closeSecond = dialogButton(QStringLiteral("Закрыть"), QStringLiteral("SecondaryDialogButton"));
  for (QPushButton* b : {replaceFindNext, replaceOne, replaceAll, replaceInAll, closeSecond})
    replaceButtons->addWidget(b);
  replaceButtons->addStretch(1);
  replaceGrid->addLayout(replaceButtons, 0, 2, 3, 1);
  tabs->addTab(replacePage, QStringLiteral("Замена"));

  // ---- Window transparency ----
  auto* opacityRow = new QHBoxLayout;
  opacityRow->setSpacing(10);
  opacityRow->addStretch(1);
  opacityRow->addWidget(label(QStringLiteral("Прозрачность окна:"), QStringLiteral("DialogSubtitle")));
  auto* slider = new QSlider(Qt::Horizontal);
  slider->setObjectName(QStringLiteral("DialogSlider"));
  slider->setRange(0, 65);
  slider->setValue(0);
  slider->setFixedWidth(180);
  opacityRow->addWidget(slider);
  QLabel* percent = label(QStringLiteral("0%"), QStringLiteral("DialogSubtitle"));
  opacityRow->addWidget(percent);
  layout->addLayout(opacityRow);
  auto* effect = new QGraphicsOpacityEffect(dialog);
  effect->setOpacity(1.0);
  dialog->setGraphicsEffect(effect);
  const auto applyOpacity = [dialog, effect, percent](int value) {
    const int v = std::clamp(value, 0, 65);
    const double opacity = 1.0 - v / 100.0;
    dialog->setWindowOpacity(opacity);
    effect->setOpacity(opacity);
    percent->setText(QString::number(v) + QStringLiteral("%"));
  };
  connect(slider, &QSlider::valueChanged, dialog, applyOpacity);

  // ---- Actions ----
  const auto selectCurrentRow = [this, table] {
    if (currentSearchIndex < 0) return;
    for (int row = 0; row < table->rowCount(); ++row) {
      QTableWidgetItem* item = table->item(row, 0);
      if (!item || item->data(Qt::UserRole).toInt() != currentSearchIndex) continue;
      // In the list of every open document, only the active one's rows count.
      if (const QVariant marked = item->data(Qt::UserRole + 1);
          marked.isValid() && marked.value<quintptr>() != quintptr(currentDocument))
        continue;
      const QSignalBlocker blocker(table);
      table->selectRow(row);
      table->scrollToItem(item, QAbstractItemView::PositionAtCenter);
      return;
    }
  };
  // The table remembers the search it lists, names its last column and is
  // emptied for its rows.
  const auto startTable = [table](const QString& query, const PdfDocument::FindOptions& options,
                                  const QString& lastColumn) {
    table->setProperty("query", query);
    table->setProperty("caseSensitive", options.caseSensitive);
    table->setProperty("wholeWord", options.wholeWord);
    table->setProperty("useRegex", options.regularExpression);
    table->setUpdatesEnabled(false);
    table->clearContents();
    table->setHorizontalHeaderItem(3, new QTableWidgetItem(uiTranslate(lastColumn)));
  };
  // One read-only row: its number, the page, the hit's place on the page and
  // the last column; `index` is the hit's in its document's results, and a
  // row of the every-document list also names that document.
  const auto setRow = [table](int row, int index, int page, int place, const QString& last,
                              const PdfDocument* document) {
    const QStringList cells = {QString::number(row + 1), QString::number(page + 1), QString::number(place), last};
    for (int c = 0; c < 4; ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      item->setFlags(item->flags() & ~Qt::ItemIsEditable);
      item->setData(Qt::UserRole, index);
      if (document) item->setData(Qt::UserRole + 1, QVariant::fromValue<quintptr>(quintptr(document)));
      table->setItem(row, c, item);
    }
  };
  // `skipped`: the pages the search could not read (refused before loading).
  const auto finishTable = [table, resultsLabel](const QString& query, const QStringList& skipped) {
    table->setUpdatesEnabled(true);
    const int n = table->rowCount();
    resultsLabel->setText((n == 0 ? uiTranslate(QStringLiteral("«%1» — не найдено")).arg(query)
                                  : uiTranslate(QStringLiteral("Найдено совпадений: %1")).arg(n)) +
                          (skipped.isEmpty() ? QString()
                                             : uiTranslate(QStringLiteral(" · не просмотрены страницы: %1"))
                                                   .arg(skipped.join(QStringLiteral(", ")))));
  };
  // The search lets events through; the dialog may be closed meanwhile.
  const QPointer<QTableWidget> tableAlive(table);
  const auto fillTable = [this, table, tableAlive, selectCurrentRow, startTable, setRow, finishTable](
                             const QString& query, const PdfDocument::FindOptions& options, bool showFirst) {
    const int n = rebuildSearchResults(query, options);
    if (n < 0 || !tableAlive) return -1;
    startTable(query, options, QStringLiteral("Запрос"));
    table->setRowCount(n);
    QList<int> perPage(currentDocument->pageCount(), 0);
    for (int i = 0; i < n; ++i) {
      const int page = searchResults[i].page;
      setRow(i, i, page, page < perPage.size() ? ++perPage[page] : 1, query, nullptr);
    }
    QStringList skipped;
    for (int page : std::as_const(searchSkippedPages)) skipped << QString::number(page + 1);
    finishTable(query, skipped);
    if (n == 0) {
      view->clearSearchHighlights();
      return 0;
    }
    if (showFirst) activateSearchResult(0, query, options);
    selectCurrentRow();
    return n;
  };

  const auto findNextFirst = [this, first, selectCurrentRow, table, tableAlive] {
    const QString query = first.query();
    if (query.isEmpty() || !currentDocument->isOpen()) return;
    // The history keeps what was typed, escapes and all.
    const QString typed = first.find->currentText().trimmed();
    bool known = false;
    for (int i = 0; i < first.find->count() && !known; ++i) known = first.find->itemText(i) == typed;
    if (!known) first.find->addItem(typed);
    const PdfDocument::FindOptions o = first.options();
    onFindNext(query, o.caseSensitive, o.wholeWord, o.regularExpression, first.backwards->isChecked(),
               first.wrap->isChecked());
    if (tableAlive && table->rowCount() > 0) selectCurrentRow();
  };
  connect(findNext, &QPushButton::clicked, dialog, findNextFirst);
  new ReturnKey(first.find, findNextFirst);
  connect(findAll, &QPushButton::clicked, dialog, [this, first, fillTable] {
    const QString query = first.query();
    if (query.isEmpty() || !currentDocument->isOpen()) return;
    fillTable(query, first.options(), true);
  });
  connect(count, &QPushButton::clicked, dialog, [this, first, fillTable] {
    const QString query = first.query();
    if (query.isEmpty() || !currentDocument->isOpen()) return;
    const int n = fillTable(query, first.options(), false);
    if (n < 0) return;
    statusLabel->setText(tr("Найдено вхождений «%1»: %2").arg(query, QString::number(n)));
  });
  // Every open document's hits in one list, tab by tab; a row names its file
  // and opens its tab when chosen.
  connect(findInAll, &QPushButton::clicked, dialog, [this, first, table, startTable, setRow, finishTable] {
    const QString query = first.query();
    if (query.isEmpty()) return;
    const PdfDocument::FindOptions options = first.options();
    startTable(query, options, QStringLiteral("Документ"));
    table->setRowCount(0);
    QStringList skipped;
    for (const OpenDocumentState& state : documents) {
      PdfDocument* document = state.document.get();
      if (!document->isOpen()) continue;
      const QString name = QFileInfo(state.path).fileName();
      int index = 0;
      for (int page = 0; page < document->pageCount(); ++page) {
        const qsizetype hits = document->findTextWithOptions(page, query, options).size();
        if (document->isPageRefused(page)) skipped << name + QStringLiteral(" ") + QString::number(page + 1);
        for (int place = 1; place <= hits; ++place, ++index) {
          const int row = table->rowCount();
          table->insertRow(row);
          setRow(row, index, page, place, name, document);
        }
      }
    }
    finishTable(query, skipped);
  });

  const auto showRow = [this, table, tableAlive, first, selectCurrentRow](int row) {
    QTableWidgetItem* item = row >= 0 && row < table->rowCount() ? table->item(row, 0) : nullptr;
    if (!item) return;
    // A row of another open document brings its tab forward first; a row of a
    // tab closed since is ignored.
    if (const QVariant marked = item->data(Qt::UserRole + 1); marked.isValid()) {
      const auto* wanted = reinterpret_cast<const PdfDocument*>(marked.value<quintptr>());
      int tab = -1;
      for (size_t i = 0; i < documents.size(); ++i)
        if (documents[i].document.get() == wanted) tab = int(i);
      if (tab < 0) return;
      activateDocument(tab);
      if (currentDocument != wanted) return;
    }
    const int index = item->data(Qt::UserRole).toInt();
    const QString stored = table->property("query").toString();
    const QString query = stored.trimmed().isEmpty() ? first.query() : stored;
    if (query.isEmpty() || !currentDocument->isOpen()) return;
    PdfDocument::FindOptions options;
    options.caseSensitive = table->property("caseSensitive").toBool();
    options.wholeWord = table->property("wholeWord").toBool();
    options.regularExpression = table->property("useRegex").toBool();
    if (rebuildSearchResults(query, options) < 0 || !tableAlive) return;
    activateSearchResult(index, query, options);
    selectCurrentRow();
  };
  connect(table, &QTableWidget::cellClicked, dialog, [showRow](int row, int) { showRow(row); });
  connect(table, &QTableWidget::cellActivated, dialog, [showRow](int row, int) { showRow(row); });

  connect(replaceFindNext, &QPushButton::clicked, dialog, [this, second] {
    const QString query = second.query();
    if (query.isEmpty()) return;
    const PdfDocument::FindOptions o = second.options();
    onFindNext(query, o.caseSensitive, o.wholeWord, o.regularExpression, second.backwards->isChecked(),
               second.wrap->isChecked());
  });
  // Replacing works on the text blocks of the page being edited; outside
  // edit mode both buttons are off and say how to get there.
  const auto offerReplace = [replaceOne, replaceAll](bool editing) {
    for (QPushButton* button : {replaceOne, replaceAll}) {
      button->setEnabled(editing);
      button->setToolTip(editing ? QString()
                                 : uiTranslate(QStringLiteral("Замена работает в режиме редактирования: "
                                                              "включите его кнопкой «Редакт.» или клавишей F2.")));
    }
  };
  offerReplace(editMode);
  connect(view, &PdfView::editModeChanged, dialog, offerReplace);
  const auto replace = [this, second, replaceWith](bool all) {
    const QString find = second.query();
    if (find.isEmpty() || !currentDocument->isOpen() || !editMode) return;
    const int count = view->replaceTextInBlocks(PdfDocument::findExpression(find, second.options()),
                                                replaceWith->currentText(), all);
    statusLabel->setText(count > 0 ? tr("Заменено: %1 на стр. %2").arg(count).arg(view->ocrBlocksPageIndex() + 1)
                                   : tr("«%1» — не найдено").arg(find));
  };
  connect(replaceOne, &QPushButton::clicked, dialog, [replace] { replace(false); });
  connect(replaceAll, &QPushButton::clicked, dialog, [replace] { replace(true); });
  connect(closeFirst, &QPushButton::clicked, dialog, &QDialog::close);
  connect(closeSecond, &QPushButton::clicked, dialog, &QDialog::close);
  new ReturnKey(second.find, [replaceFindNext] { replaceFindNext->click(); });

  showCentredOn(this, dialog);
  applyOpacity(slider->value());
  dialog->raise();
  dialog->activateWindow();
  // Typing replaces the last query at once, as in every other program's find.
  first.find->setFocus(Qt::ShortcutFocusReason);
  first.find->lineEdit()->selectAll();
}
