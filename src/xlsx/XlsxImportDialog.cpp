#include "XlsxImportDialog.h"

#include "XlsxPageRenderer.h"
#include "XlsxPreviewWidget.h"
#include "XlsxSheetGrid.h"
#include "XlsxWorkbook.h"
#include "ui/UiLanguage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

XlsxImportDialog::XlsxImportDialog(const QString& path, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AppDialog"));
  setWindowTitle(xlsxTranslate(QStringLiteral("Импорт Excel: ")) + QFileInfo(path).fileName());
  const QRect screenArea = (parent ? parent->screen() : screen())->availableGeometry();
  // Room is left for the window's frame.
  resize(std::min(820, screenArea.width() - 40), std::min(660, screenArea.height() - 60));
  loadXlsx(path);

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(6);
  auto* options = new QHBoxLayout;
  options->setSpacing(12);
  options->addWidget(new QLabel(tr("Бумага:")));
  paperCombo = new QComboBox;
  paperCombo->setObjectName(QStringLiteral("DialogCombo"));
  paperCombo->addItems({QStringLiteral("A4 (210×297)"), QStringLiteral("A3 (297×420)"),
                        QStringLiteral("Letter (216×279)"), QStringLiteral("Legal (216×356)")});
  options->addWidget(paperCombo);
  auto* portrait = new QRadioButton(tr("Книжная"));
  auto* landscapeButton = new QRadioButton(tr("Альбомная"));
  portrait->setChecked(true);
  orientationGroup = new QButtonGroup(this);
  orientationGroup->addButton(portrait, 0);
  orientationGroup->addButton(landscapeButton, 1);
  options->addWidget(portrait);
  options->addWidget(landscapeButton);
  fitCheck = new QCheckBox(tr("Масштаб по ширине"));
  fitCheck->setChecked(true);
  options->addWidget(fitCheck);
  options->addStretch(1);
  pageCountLabel = new QLabel;
  options->addWidget(pageCountLabel);
  // Every sheet is imported: what the others add is shown beside the shown one's pages.
  totalLabel = new QLabel;
  totalLabel->hide();
  options->addWidget(totalLabel);
  layout->addLayout(options);

  // The sheet buttons scroll sideways inside the dialog: a workbook of a
  // thousand sheets must not push the dialog's own buttons off the screen.
  auto* sheetStrip = new QWidget;
  auto* sheetRow = new QHBoxLayout(sheetStrip);
  sheetRow->setContentsMargins(0, 0, 0, 0);
  sheetRow->setSpacing(2);
  for (qsizetype i = 0; i < sheets.size(); ++i) {
    auto* button = new QToolButton;
    // A sheet name is the file's text: an ampersand in it is no shortcut.
    QString name = sheets[i].name;
    button->setText(name.replace(QLatin1Char('&'), QLatin1String("&&")));
    keepUserText(button);
    button->setCheckable(true);
    button->setAutoExclusive(true);
    button->setChecked(i == 0);
    sheetButtons.append(button);
    sheetRow->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, i] { onSheetSelected(int(i)); });
  }
  sheetRow->addStretch(1);
  auto* sheetScroll = new QScrollArea;
  sheetScroll->setFrameShape(QFrame::NoFrame);
  sheetScroll->setWidgetResizable(true);
  sheetScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sheetScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  sheetScroll->setWidget(sheetStrip);
  sheetScroll->setFixedHeight(sheetStrip->sizeHint().height() + sheetScroll->horizontalScrollBar()->sizeHint().height());
  sheetScroll->setVisible(!sheets.isEmpty());
  layout->addWidget(sheetScroll);

  // What could not be read is said here: the user sees why a sheet, a part
  // or the whole workbook is missing.
  if (!notes.isEmpty()) {
    // Names of sheets and parts come from the file: never read as markup.
    auto* problems = new QLabel;
    problems->setTextFormat(Qt::PlainText);
    problems->setText(loadMessageTexts().join(QLatin1Char('\n')));
    problems->setObjectName(QStringLiteral("DialogHint"));
    problems->setWordWrap(true);
    problems->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(problems);
  }

  boundLabel = new QLabel;
  boundLabel->setObjectName(QStringLiteral("DialogHint"));
  boundLabel->setWordWrap(true);
  boundLabel->hide();
  layout->addWidget(boundLabel);
  cutLabel = new QLabel;
  cutLabel->setObjectName(QStringLiteral("DialogHint"));
  cutLabel->setWordWrap(true);
  cutLabel->hide();
  layout->addWidget(cutLabel);

  scrollArea = new QScrollArea;
  scrollArea->setWidgetResizable(false);
  scrollArea->setMinimumHeight(400);
  preview = new XlsxPreviewWidget;
  scrollArea->setWidget(preview);
  layout->addWidget(scrollArea, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
  importButton = buttons->button(QDialogButtonBox::Ok);
  importButton->setText(tr("Импортировать"));
  for (const SheetInfo& sheet : sheets) anyPage = anyPage || !iGridSpan(*sheet.data, sheet.charts).isEmpty();
  updateImportButton(0);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  connect(paperCombo, &QComboBox::currentIndexChanged, this, &XlsxImportDialog::onPaperChanged);
  connect(orientationGroup, &QButtonGroup::idClicked, this, &XlsxImportDialog::onOrientChanged);
  connect(fitCheck, &QCheckBox::toggled, this, &XlsxImportDialog::onScaleToggled);
  connect(preview, &XlsxPreviewWidget::pageBreaksChanged, this, [this] {
    updatePageCountLabel();
    // Breaks the user dragged stay with their sheet while other sheets are
    // looked at; automatic ones are made again whenever needed.
    if (!placingBreaks && currentSheet >= 0 && currentSheet < sheets.size())
      draggedBreaks[currentSheet] = preview->breaks();
  });

  onPaperChanged(0);
  if (!sheets.isEmpty()) onSheetSelected(0);
}

XlsxImportDialog::~XlsxImportDialog() = default;

void XlsxImportDialog::loadXlsx(const QString& path) {
  XlsxWorkbook book = loadXlsxWorkbook(path);
  sheets = book.sheets;
  styles = std::move(book.styles);
  notes = book.notes;
}

QStringList XlsxImportDialog::loadMessages() const {
  QStringList lines;
  for (const XlsxMessage& message : notes) lines.append(message.sourceText());
  return lines;
}

QStringList XlsxImportDialog::loadMessageTexts() const {
  QStringList lines;
  for (const XlsxMessage& message : notes) lines.append(message.text());
  return lines;
}

void XlsxImportDialog::updateImportButton(qint64 totalPages) {
  boundRefusal = xlsxPageBoundRefusal(totalPages);
  boundLabel->setText(boundRefusal);
  boundLabel->setVisible(!boundRefusal.isEmpty());
  // A workbook of which nothing can be read offers nothing to import.
  const QString reason = !styles || !anyPage ? xlsxTranslate(QStringLiteral("В книге нет данных для импорта"))
                                             : boundRefusal;
  importButton->setEnabled(reason.isEmpty());
  importButton->setToolTip(reason);
}

qint64 XlsxImportDialog::pagesOfOtherSheets() {
  if (otherSheetPages < 0) {
    const XlsxPageOptions options = pageOptions();
    otherSheetPages = 0;
    for (qsizetype i = 0; i < sheets.size(); ++i)
      if (i != currentSheet) otherSheetPages += countXlsxSheetPages(sheets[i], options.sheetBreaks.value(i));
  }
  return otherSheetPages;
}

void XlsxImportDialog::updatePageCountLabel() {
  const qint64 shown = currentSheet < sheets.size() ? countXlsxSheetPages(sheets[currentSheet], preview->breaks()) : 0;
  const qint64 total = shown + pagesOfOtherSheets();
  // Made here with a number in it, so put into the interface language here.
  pageCountLabel->setText(xlsxTranslate(QStringLiteral("Страниц: %1")).arg(preview->pageCount()));
  totalLabel->setText(xlsxTranslate(QStringLiteral("Всего к импорту: %1")).arg(total));
  totalLabel->setVisible(total > 0 && total != preview->pageCount());
  if (importButton) updateImportButton(total);
  updateColumnCuts();
}

void XlsxImportDialog::updateColumnCuts() {
  // Not fitted to the width, the pages cut off the columns past their right
  // edge: said before importing, and shaded in the preview where they go.
  const bool cutting = fitCheck && !fitCheck->isChecked() && currentSheet >= 0 && currentSheet < sheets.size();
  XlsxPageOptions paper;
  paper.paperPt = paperPt;
  paper.landscape = landscape;
  paper.fitToWidth = false;
  const QList<XlsxColumnCut> cuts =
      cutting ? xlsxSheetColumnCuts(sheets[currentSheet], paper, preview->breaks()) : QList<XlsxColumnCut>();
  int lost = 0;
  for (const XlsxColumnCut& cut : cuts) lost = std::max(lost, cut.columnsLost);
  const int lostElsewhere = cutting ? columnsCutOnOtherSheets() : 0;
  QStringList parts;
  if (lost > 0)
    parts << xlsxTranslate(QStringLiteral("Столбцов за правым краем страницы: %1 — они будут обрезаны.")).arg(lost);
  if (lostElsewhere > 0)
    parts << xlsxTranslate(QStringLiteral("На других листах столбцов за правым краем страницы: %1 — они будут "
                                          "обрезаны."))
                 .arg(lostElsewhere);
  if (!parts.isEmpty()) parts << xlsxTranslate(QStringLiteral("Чтобы они вошли, включите «Масштаб по ширине»."));
  cutLabel->setText(parts.join(QLatin1Char(' ')));
  cutLabel->setVisible(!parts.isEmpty());
  preview->setColumnCuts(cuts);
}

int XlsxImportDialog::columnsCutOnOtherSheets() {
  // Every sheet is imported; the others are laid out once per paper and sheet shown.
  if (otherSheetCutColumns < 0) {
    otherSheetCutColumns = 0;
    const XlsxPageOptions options = pageOptions();
    for (qsizetype i = 0; i < sheets.size(); ++i)
      if (i != currentSheet)
        for (const XlsxColumnCut& cut : xlsxSheetColumnCuts(sheets[i], options, options.sheetBreaks.value(i)))
          otherSheetCutColumns = std::max(otherSheetCutColumns, cut.columnsLost);
  }
  return otherSheetCutColumns;
}

void XlsxImportDialog::refreshPaper() {
  const QScopedValueRollback<bool> placing(placingBreaks, true);
  preview->setPaperSize(paperPt, landscape);
  updatePageCountLabel();
}

void XlsxImportDialog::onPaperChanged(int index) {
  static const std::array<QSizeF, 4> sizes = {QSizeF(595, 842), QSizeF(842, 1190), QSizeF(612, 792),
                                              QSizeF(612, 1008)};
  paperPt = sizes[size_t(std::clamp(index, 0, 3))];
  landscape = orientationGroup->checkedId() == 1;
  draggedBreaks.clear();
  otherSheetPages = otherSheetCutColumns = -1;
  refreshPaper();
}

void XlsxImportDialog::onOrientChanged() {
  landscape = orientationGroup->checkedId() == 1;
  draggedBreaks.clear();
  otherSheetPages = otherSheetCutColumns = -1;
  refreshPaper();
}

void XlsxImportDialog::onScaleToggled() {
  draggedBreaks.clear();
  const QScopedValueRollback<bool> placing(placingBreaks, true);
  preview->setPaperSize(paperPt, landscape);
}

void XlsxImportDialog::onSheetSelected(int index) {
  if (index < 0 || index >= sheets.size()) return;
  currentSheet = index;
  otherSheetPages = otherSheetCutColumns = -1;
  {
    const QScopedValueRollback<bool> placing(placingBreaks, true);
    preview->setSheet(sheets[index].data.get(), styles.get(), sheets[index].charts);
  }
  refreshPaper();
  if (draggedBreaks.contains(index)) {
    const QScopedValueRollback<bool> placing(placingBreaks, true);
    preview->setBreaks(draggedBreaks.value(index));
  }
  for (qsizetype i = 0; i < sheetButtons.size(); ++i) sheetButtons[i]->setChecked(i == index);
}

XlsxPageOptions XlsxImportDialog::pageOptions() const {
  XlsxPageOptions options;
  options.paperPt = paperPt;
  options.landscape = landscape;
  options.fitToWidth = fitCheck->isChecked();
  // Every sheet is cut where its preview would show the breaks: the shown
  // one as it stands, others as dragged before or else automatically.
  for (qsizetype i = 0; i < sheets.size(); ++i) {
    if (i == currentSheet) options.sheetBreaks.append(preview->breaks());
    else if (draggedBreaks.contains(int(i))) options.sheetBreaks.append(draggedBreaks.value(int(i)));
    else
      options.sheetBreaks.append(
          XlsxPreviewWidget::automaticBreaks(sheets[i].data.get(), sheets[i].charts, paperPt, landscape));
  }
  return options;
}

int XlsxImportDialog::renderPages(QSizeF& pageSizePt, const std::function<bool(const QImage&)>& sink) {
  if (!styles || sheets.isEmpty()) return 0;
  const XlsxPageOptions options = pageOptions();
  pageSizePt = xlsxPageSizePt(options);
  return renderXlsxPages(sheets, *styles, options, sink, &boundRefusal);
}

QList<QImage> XlsxImportDialog::buildPages(QSizeF& pageSizePt) {
  QList<QImage> pages;
  renderPages(pageSizePt, [&pages](const QImage& page) {
    pages.append(page);
    return true;
  });
  return pages;
}
