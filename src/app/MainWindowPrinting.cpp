// Printing: the program's print dialog that stores the "print/" settings, and
// the print run through the system dialog, one rendered image per sheet.
#include "MainWindow.h"
#include "ui/UiLanguage.h"
#include "core/AtomicFileWrite.h"
#include "core/OwnedLeftovers.h"
#include "core/OwnedTemporaryFolder.h"

#include "PageCountText.h"
#include "PageListParsing.h"
#include "PrintChoices.h"
#include "RibbonFactories.h"
#include "ToolDialogFrame.h"
#include "ui/DialogHelpers.h"
#include "view/PdfView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPageRanges>
#include <QPixmap>
#include <QDir>
#include <QEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cmath>
#include <functional>
#include <utility>

namespace {

// Runs an action each time the interface language changes, while the widget
// it watches lives.
class LanguageWatch : public QObject {
 public:
  LanguageWatch(QObject* parent, std::function<void()> action) : QObject(parent), action(std::move(action)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == parent() && event->type() == QEvent::LanguageChange) action();
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> action;
};

QPageSize::PageSizeId paperFromSetting(const QString& paper) {
  if (paper == QLatin1String("A3")) return QPageSize::A3;
  if (paper == QLatin1String("A5")) return QPageSize::A5;
  if (paper == QLatin1String("Letter")) return QPageSize::Letter;
  if (paper == QLatin1String("Legal")) return QPageSize::Legal;
  return QPageSize::A4;
}

// Sheet scale from "print/scale": natural size, 125 %, the paper's width, or
// the whole page fitted.
double printScale(const QString& mode, QSizeF sheet, QSizeF page) {
  if (mode == QLatin1String("100") || mode == QLatin1String("100%")) return 1.0;
  if (mode == QLatin1String("125") || mode == QLatin1String("125%")) return 1.25;
  const double w = std::max(page.width(), 1.0);
  const double h = std::max(page.height(), 1.0);
  if (mode == QLatin1String("width") || mode == QStringLiteral("По ширине")) return sheet.width() / w;
  return std::min(sheet.width() / w, sheet.height() / h);
}

QString pageList(const QList<int>& pages) {
  QStringList numbers;
  for (int page : pages) numbers.append(QString::number(page + 1));
  return numbers.join(QStringLiteral(", "));
}

QGroupBox* gridGroup(const QString& title, QGridLayout*& grid) {
  auto* group = new QGroupBox(title);
  group->setObjectName(QStringLiteral("DialogGroupBox"));
  grid = new QGridLayout(group);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(8);
  return group;
}

// A data combo's stored value, with the Russian labels of old settings mapped.
void selectByData(QComboBox* combo, QString value) {
  if (value == QStringLiteral("Книжная")) value = QStringLiteral("portrait");
  if (value == QStringLiteral("Альбомная")) value = QStringLiteral("landscape");
  if (value == QStringLiteral("По размеру страницы")) value = QStringLiteral("fit");
  if (value == QStringLiteral("По ширине")) value = QStringLiteral("width");
  const int index = combo->findData(value);
  combo->setCurrentIndex(index >= 0 ? index : 0);
}

// What one print run shares between the window and the thread drawing its sheets.
struct PrintRun {
  std::atomic<bool> cancelled{false};
  bool started = false;  // the printer took the painter
  bool ended = false;    // and gave every sheet out
  QList<int> failed;     // pages left blank; read once the run has ended
  QString refused;       // why a printer did not take the finished job
};

// Draws one rendered image per sheet, stopping between sheets when cancelled.
void printSheets(PrintRun& run, QPrinter& printer, const PdfDocument& document, const QList<int>& sheets,
                 int rotation, const QString& scaleMode, const std::function<void(int)>& done) {
  QPainter painter;
  if (!painter.begin(&printer)) return;
  run.started = true;
  const double dpi = printer.resolution();
  for (int i = 0; i < sheets.size() && !run.cancelled; ++i) {
    const int page = sheets[i];
    if (i > 0) printer.newPage();
    const QImage image = [&] {
      if (page < 0 || page >= document.pageCount()) return QImage();
      const QSizeF sheet = printer.pageRect(QPrinter::Point).size();
      QSizeF size = document.pageSize(page);
      // A page printed turned by the view is laid out turned, not squeezed
      // into its upright shape.
      if (((rotation / 90) % 2) != 0) size.transpose();
      const double s = printScale(scaleMode, sheet, size);
      const QImage drawn = document.renderPage(page, s * dpi / 72.0, rotation);
      if (!drawn.isNull())
        painter.drawImage(QRectF(0, 0, std::round(size.width() * s * dpi / 72.0),
                                 std::round(size.height() * s * dpi / 72.0)),
                          drawn, QRectF(drawn.rect()));
      return drawn;
    }();
    // The sheet stays blank, and the page is named afterwards.
    if (image.isNull()) run.failed.append(page);
    done(i + 1);
  }
  // A cancelled run's sheets end in the private file, which goes with its
  // folder: a printer is handed nothing.
  if (run.cancelled) return;
  run.ended = painter.end();
}

// How far a print run is, with the Cancel that stops it after the sheet being
// drawn; closing the dialog cancels too, and it stays until the run has ended.
class PrintProgress : public QDialog {
 public:
  PrintProgress(QWidget* parent, int total, std::shared_ptr<PrintRun> run)
      : QDialog(parent), total(total), run(std::move(run)) {
    setObjectName(QStringLiteral("PrintProgressDialog"));
    setWindowTitle(uiTranslate(QStringLiteral("Печать документа")));
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    text = new QLabel(this);
    layout->addWidget(text);
    bar = new QProgressBar(this);
    bar->setRange(0, total);
    bar->setMinimumWidth(320);
    layout->addWidget(bar);
    stop = new QPushButton(uiTranslate(QStringLiteral("Отмена")), this);
    connect(stop, &QPushButton::clicked, this, &PrintProgress::reject);
    layout->addWidget(stop, 0, Qt::AlignRight);
    showDone(0);
  }

  void showDone(int done) {
    bar->setValue(done);
    if (!run->cancelled)
      text->setText(uiTranslate(QStringLiteral("Печать: лист %1 из %2")).arg(std::min(done + 1, total)).arg(total));
    if (follow) follow(done);
  }

  void reject() override {
    run->cancelled = true;
    stop->setEnabled(false);
    text->setText(uiTranslate(QStringLiteral("Печать останавливается…")));
  }

  std::function<void(int)> follow;  // also told each sheet drawn

 private:
  int total;
  std::shared_ptr<PrintRun> run;
  QLabel* text = nullptr;
  QProgressBar* bar = nullptr;
  QPushButton* stop = nullptr;
};

}  // namespace

void MainWindow::showPrintDialog() {
  auto* dialog = new QDialog(this);
  dialog->setObjectName(QStringLiteral("PrintDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Печать"));
  dialog->resize(760, 520);
  auto* layout = new QVBoxLayout(dialog);
  layout->setContentsMargins(14, 14, 14, 14);
  layout->setSpacing(12);

  const bool open = currentDocument->isOpen();
  auto* header = new QHBoxLayout;
  auto* titles = new QVBoxLayout;
  titles->setSpacing(1);
  titles->addWidget(label(QStringLiteral("Печать документа"), QStringLiteral("DialogTitle")));
  QLabel* subtitle = label(QStringLiteral("Документ не открыт"), QStringLiteral("DialogSubtitle"));
  // The file's name with the page count in the interface language: made
  // again when the language changes, as a name is never translated.
  const auto retitle = [this, subtitle, open] {
    if (open)
      subtitle->setText(QFileInfo(currentDocument->filePath()).fileName() + QStringLiteral(" · ") +
                        pageCountText(currentDocument->pageCount()));
  };
  retitle();
  titles->addWidget(subtitle);
  header->addLayout(titles, 1);
  header->addWidget(iconOnlyButton(QStringLiteral("print"), QStringLiteral("Печать")));
  layout->addLayout(header);

  auto* body = new QHBoxLayout;
  body->setSpacing(14);
  auto* preview = new QFrame;
  preview->setObjectName(QStringLiteral("PrintPreviewPanel"));
  preview->setMinimumWidth(260);
  auto* previewLayout = new QVBoxLayout(preview);
  previewLayout->setContentsMargins(18, 18, 18, 18);
  previewLayout->setSpacing(10);
  auto* sheet = new QLabel;
  sheet->setObjectName(QStringLiteral("PrintPreviewPage"));
  sheet->setFixedSize(180, 250);
  sheet->setAlignment(Qt::AlignCenter);
  sheet->setWordWrap(true);
  previewLayout->addWidget(sheet, 0, Qt::AlignHCenter);
  QLabel* sheetNumber = label(QString(), QStringLiteral("PrintPreviewCaption"));
  sheetNumber->setAlignment(Qt::AlignCenter);
  previewLayout->addWidget(sheetNumber);
  QLabel* caption = label(QStringLiteral("Предпросмотр листа A4"), QStringLiteral("PrintPreviewCaption"));
  caption->setAlignment(Qt::AlignCenter);
  previewLayout->addWidget(caption);
  previewLayout->addStretch(1);
  body->addWidget(preview);

  QSettings settings;
  auto* right = new QVBoxLayout;
  right->setContentsMargins(0, 0, 0, 0);
  right->setSpacing(10);
  QGridLayout* printerGrid = nullptr;
  QGroupBox* printerGroup = gridGroup(QStringLiteral("Принтер"), printerGrid);
  auto* printers = new QComboBox;
  printers->addItem(QStringLiteral("PDF (файл)"), QString());
  // Every printer the system knows, the default one chosen.
  const QString defaultPrinter = QPrinterInfo::defaultPrinterName();
  for (const QString& name : QPrinterInfo::availablePrinterNames()) {
    printers->addItem(name, name);
    if (name == defaultPrinter) printers->setCurrentIndex(printers->count() - 1);
  }
  QPushButton* system = dialogButton(QStringLiteral("Системный диалог..."), QStringLiteral("SecondaryDialogButton"));
  printerGrid->addWidget(new QLabel(QStringLiteral("Имя:")), 0, 0);
  printerGrid->addWidget(printers, 0, 1);
  printerGrid->addWidget(system, 0, 2);
  printerGrid->addWidget(new QLabel(QStringLiteral("Состояние:")), 1, 0);
  printerGrid->addWidget(new QLabel(QStringLiteral("Готов")), 1, 1, 1, 2);
  right->addWidget(printerGroup);

  auto* rangeRow = new QHBoxLayout;
  rangeRow->setSpacing(10);
  auto* pagesGroup = new QGroupBox(QStringLiteral("Страницы"));
  pagesGroup->setObjectName(QStringLiteral("DialogGroupBox"));
  auto* pagesLayout = new QVBoxLayout(pagesGroup);
  auto* all = new QRadioButton(QStringLiteral("Все"));
  all->setChecked(true);
  pagesLayout->addWidget(all);
  auto* current = new QRadioButton(QStringLiteral("Текущая страница"));
  pagesLayout->addWidget(current);
  auto* rangeLine = new QHBoxLayout;
  auto* someRadio = new QRadioButton(QStringLiteral("Страницы:"));
  rangeLine->addWidget(someRadio);
  QLineEdit* someText = dialogLineEdit(QStringLiteral("1-3, 5"));
  rangeLine->addWidget(someText);
  pagesLayout->addLayout(rangeLine);
  rangeRow->addWidget(pagesGroup);
  QGridLayout* copiesGrid = nullptr;
  QGroupBox* copiesGroup = gridGroup(QStringLiteral("Копии"), copiesGrid);
  auto* copies = new QSpinBox;
  copies->setRange(1, 99);
  // Copies belong to one print: the dialog starts from the default of the
  // settings window (1 unless set there) and never stores what it printed.
  copies->setValue(settings.value(QStringLiteral("print/copies"), 1).toInt());
  copiesGrid->addWidget(new QLabel(QStringLiteral("Количество:")), 0, 0);
  copiesGrid->addWidget(copies, 0, 1);
  auto* collate = new QCheckBox(QStringLiteral("Разобрать по копиям"));
  collate->setChecked(true);
  copiesGrid->addWidget(collate, 1, 0, 1, 2);
  rangeRow->addWidget(copiesGroup);
  right->addLayout(rangeRow);

  QGridLayout* pageGrid = nullptr;
  QGroupBox* pageGroup = gridGroup(QStringLiteral("Параметры страницы"), pageGrid);
  auto* paper = new QComboBox;
  paper->addItems({QStringLiteral("A4"), QStringLiteral("A5"), QStringLiteral("Letter"), QStringLiteral("Legal")});
  paper->setCurrentText(settings.value(QStringLiteral("print/paper"), QStringLiteral("A4")).toString());
  auto* orientation = new QComboBox;
  orientation->addItem(QStringLiteral("Книжная"), QStringLiteral("portrait"));
  orientation->addItem(QStringLiteral("Альбомная"), QStringLiteral("landscape"));
  selectByData(orientation, settings.value(QStringLiteral("print/orientation"), QStringLiteral("portrait")).toString());
  auto* scale = new QComboBox;
  scale->addItem(QStringLiteral("По размеру страницы"), QStringLiteral("fit"));
  scale->addItem(QStringLiteral("100%"), QStringLiteral("100"));
  scale->addItem(QStringLiteral("125%"), QStringLiteral("125"));
  scale->addItem(QStringLiteral("По ширине"), QStringLiteral("width"));
  selectByData(scale, settings.value(QStringLiteral("print/scale"), QStringLiteral("fit")).toString());
  pageGrid->addWidget(new QLabel(QStringLiteral("Бумага:")), 0, 0);
  pageGrid->addWidget(paper, 0, 1);
  pageGrid->addWidget(new QLabel(QStringLiteral("Ориентация:")), 1, 0);
  pageGrid->addWidget(orientation, 1, 1);
  pageGrid->addWidget(new QLabel(QStringLiteral("Масштаб:")), 2, 0);
  pageGrid->addWidget(scale, 2, 1);
  // Notes and marks are part of the printed page; the box only says so.
  auto* comments = new QCheckBox(QStringLiteral("Печатать комментарии"));
  comments->setChecked(true);
  comments->setEnabled(false);
  comments->setToolTip(QStringLiteral("Заметки и разметка печатаются вместе со страницей"));
  pageGrid->addWidget(comments, 3, 0, 1, 2);
  auto* duplex = new QCheckBox(QStringLiteral("Двусторонняя печать"));
  pageGrid->addWidget(duplex, 4, 0, 1, 2);
  right->addWidget(pageGroup);
  right->addStretch(1);
  body->addLayout(right, 1);
  layout->addLayout(body, 1);

  const auto [cancel, print] = addDialogButtonRow(layout, QStringLiteral("Отмена"), QStringLiteral("Печать"));
  print->setEnabled(open);

  // What the dialog asks for, as the print run takes it.
  const auto choices = [this, printers, current, someRadio, someText, copies, collate, duplex] {
    PrintChoices chosen;
    chosen.printerName = printers->currentData().toString();
    chosen.toPdfFile = chosen.printerName.isEmpty();
    chosen.copies = copies->value();
    chosen.collate = collate->isChecked();
    chosen.duplex = duplex->isChecked();
    chosen.currentPage = current->isChecked();
    chosen.rangeAsked = someRadio->isChecked();
    if (chosen.rangeAsked) chosen.pages = parsePageList(someText->text(), currentDocument->pageCount());
    return chosen;
  };
  // The preview is the real first page of what will be printed, drawn off
  // the window's thread: the page may still be being checked, for seconds.
  // A page drawn, or being drawn, is not drawn again for every key typed.
  auto previewOf = std::make_shared<int>(-1);
  const auto refreshPreview = [this, sheet, sheetNumber, choices, print, open, previewOf] {
    const PrintChoices chosen = choices();
    const QList<int> pages = chosen.currentPage ? QList<int>{view->currentPageIndex()} : chosen.pages;
    const bool nothing = chosen.rangeAsked && pages.isEmpty();
    print->setEnabled(open && !nothing);
    const int first = pages.isEmpty() ? 0 : pages.first();
    if (!open || nothing || currentDocument->pageCount() <= 0) {
      *previewOf = -1;
      sheet->setPixmap(QPixmap());
      sheetNumber->setText(open ? tr("Нет страниц для печати") : QString());
      return;
    }
    sheetNumber->setText(tr("Страница %1").arg(first + 1));
    if (*previewOf == first) return;
    *previewOf = first;
    sheet->setText(tr("Страница проверяется…"));
    const PdfDocument* document = currentDocument;
    const QSizeF size = document->pageSize(first);
    const double scale = std::min(176.0 / std::max(size.width(), 1.0), 246.0 / std::max(size.height(), 1.0));
    const QFuture<QImage> drawing =
        QtConcurrent::run([document, first, scale] { return document->renderPage(first, scale, 0); });
    std::erase_if(printPreviews, [](const auto& job) { return job.second.isFinished(); });
    printPreviews.emplace_back(document, drawing);
    auto* watcher = new QFutureWatcher<QImage>(sheet);
    connect(watcher, &QFutureWatcherBase::finished, sheet, [this, watcher, sheet, document, first, previewOf] {
      watcher->deleteLater();
      // Another page asked for meanwhile, or the document changed: not shown.
      if (*previewOf != first || currentDocument != document) return;
      const QImage image = watcher->result();
      if (!image.isNull())
        sheet->setPixmap(QPixmap::fromImage(image));
      else if (document->isPageRefused(first))
        sheet->setText(tr("Страница не показана: её содержимое превышает пределы, которые программа может обработать."));
      else
        sheet->setText(QString());
    });
    watcher->setFuture(drawing);
  };
  for (QRadioButton* radio : {all, current, someRadio})
    connect(radio, &QRadioButton::toggled, dialog, [refreshPreview](bool on) {
      if (on) refreshPreview();
    });
  connect(someText, &QLineEdit::textEdited, dialog, [someRadio, refreshPreview] {
    someRadio->setChecked(true);
    refreshPreview();
  });
  refreshPreview();
  // Texts made here, not by the translation pass, follow a language chosen
  // while the dialog is open.
  dialog->installEventFilter(new LanguageWatch(dialog, [retitle, refreshPreview, previewOf] {
    retitle();
    *previewOf = -1;
    refreshPreview();
  }));

  connect(cancel, &QPushButton::clicked, dialog, &QDialog::close);
  connect(system, &QPushButton::clicked, this, [this, dialog] {
    dialog->close();
    onPrint();
  });
  connect(print, &QPushButton::clicked, this, [this, dialog, paper, orientation, scale, choices] {
    QSettings stored;
    stored.setValue(QStringLiteral("print/paper"), paper->currentText());
    stored.setValue(QStringLiteral("print/orientation"), orientation->currentData().toString());
    stored.setValue(QStringLiteral("print/scale"), scale->currentData().toString());
    const PrintChoices chosen = choices();
    dialog->close();
    runPrint(chosen);
  });
  dialog->show();
}

void MainWindow::endPrintPreviews(const PdfDocument* document) {
  for (auto& [drawn, drawing] : printPreviews) {
    if (drawn != document) continue;
    // A preview waiting for its page's check gives up at once.
    document->interruptPageChecks(true);
    drawing.waitForFinished();
    document->interruptPageChecks(false);
  }
  std::erase_if(printPreviews, [document](const auto& job) { return job.first == document; });
}

void MainWindow::onPrint() {
  PrintChoices stored;
  stored.copies = QSettings().value(QStringLiteral("print/copies"), 1).toInt();
  runPrint(stored);
}

void MainWindow::runPrint(const PrintChoices& choices) {
  if (!currentDocument->isOpen() || (choices.rangeAsked && choices.pages.isEmpty())) return;
  QSettings settings;
  QPrinter printer(QPrinter::HighResolution);
  if (choices.toPdfFile) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    // Beside the document, named after it; a never-saved document prints into the home folder.
    const QFileInfo source(currentDocument->filePath());
    printer.setOutputFileName(source.fileName().isEmpty()
                                  ? QDir::home().filePath(QStringLiteral("document-print.pdf"))
                                  : source.dir().filePath(source.completeBaseName() + QStringLiteral("-print.pdf")));
  } else if (!choices.printerName.isEmpty()) {
    printer.setPrinterName(choices.printerName);
  }
  printer.setResolution(std::clamp(settings.value(QStringLiteral("print/dpi"), 300).toInt(), 72, 1200));
  printer.setPageSize(QPageSize(paperFromSetting(settings.value(QStringLiteral("print/paper"), QStringLiteral("A4")).toString())));
  const QString orientation = settings.value(QStringLiteral("print/orientation"), QStringLiteral("portrait")).toString();
  printer.setPageOrientation(orientation == QLatin1String("landscape") || orientation == QStringLiteral("Альбомная")
                                 ? QPageLayout::Landscape
                                 : QPageLayout::Portrait);
  printer.setCopyCount(std::clamp(choices.copies, 1, 99));
  printer.setCollateCopies(choices.collate);
  if (choices.duplex) printer.setDuplex(QPrinter::DuplexLongSide);
  const int count = currentDocument->pageCount();
  // The system dialog starts from what the program's dialog chose.
  if (choices.currentPage) {
    printer.setPrintRange(QPrinter::CurrentPage);
  } else if (!choices.pages.isEmpty()) {
    QPageRanges ranges;
    for (int page : choices.pages) ranges.addPage(page + 1);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setPageRanges(ranges);
  }

  const QString pdfFile = printer.outputFileName();  // Qt's dialog may clear it as it opens
  QPrintDialog chooser(&printer, this);
  chooser.setWindowTitle(QStringLiteral("Печать"));
  chooser.setOption(QAbstractPrintDialog::PrintPageRange, true);
  chooser.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
  chooser.setMinMax(1, std::max(count, 1));
  // Qt's dialog offers the system's printer first even for a printer set to
  // write a PDF file: "PDF (файл)" chosen here must stay the file there.
  if (choices.toPdfFile)
    QMetaObject::invokeMethod(&chooser, [&chooser, pdfFile] {
      auto* printers = chooser.findChild<QComboBox*>(QStringLiteral("printers"));
      auto* name = chooser.findChild<QLineEdit*>(QStringLiteral("filename"));
      if (!printers || !name) return;
      printers->setCurrentIndex(printers->count() - 1);
      name->setText(pdfFile);
    }, Qt::QueuedConnection);
  // A cancelled system dialog prints nothing and says nothing.
  if (chooser.exec() != QDialog::Accepted) return;
  if (!currentDocument->isOpen()) return;

  QList<int> pages;
  if (printer.printRange() == QPrinter::PageRange) {
    for (const QPageRanges::Range& range : printer.pageRanges().toRangeList())
      for (int page = std::max(range.from, 1); page <= std::min(range.to, count); ++page) pages.append(page - 1);
  } else if (printer.printRange() == QPrinter::CurrentPage) {
    pages.append(view->currentPageIndex());
  } else {
    for (int page = 0; page < count; ++page) pages.append(page);
  }
  // A printer that makes no copies itself (a PDF file) gets every copy's
  // sheets, collated or page by page as asked.
  const int copies = printer.supportsMultipleCopies() ? 1 : std::clamp(printer.copyCount(), 1, 99);
  printPages(printer, printSheetOrder(pages, copies, printer.collateCopies()));
}

QList<int> MainWindow::printPages(QPrinter& printer, const QList<int>& sheets) {
  const std::optional<PrinterJob> job = printerJobOf(printer, QFileInfo(currentDocument->filePath()).fileName());
  return printPages(printer, sheets, job ? &*job : nullptr);
}

QList<int> MainWindow::printPages(QPrinter& printer, const QList<int>& sheets, const PrinterJob* job) {
  QList<int> failed;
  if (!currentDocument->isOpen() || sheets.isEmpty()) return failed;
  // The document printed is the one the run began with, even if the user
  // switches tabs while pending events are let through.
  PdfDocument* document = currentDocument;
  const int rotation = view->globalRotation();
  const QString scaleMode = QSettings().value(QStringLiteral("print/scale"), QStringLiteral("fit")).toString();

  // A PDF file is written whole or not at all: the sheets go to a private
  // temporary file, which then replaces the target in one step.
  // A printer's sheets go there too, and the printer is handed the file
  // only when the last one is drawn: Qt's engines cannot take back a job.
  const QString pdfTarget = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
  const std::unique_ptr<OwnedTemporaryFolder> privateFolder = newOwnedTemporaryFolder(kPrintFolderPrefix);
  const QString printed = privateFolder->filePath(QStringLiteral("print.pdf"));
  const bool throughFile = !pdfTarget.isEmpty() || job;
  if (throughFile) printer.setOutputFileName(privateFolder->isValid() ? printed : QString());
  const auto hand = handToPrinter ? handToPrinter : sendToPrinter;

  const auto run = std::make_shared<PrintRun>();
  if (!throughFile || privateFolder->isValid()) {
    view->releaseUnseenPages();
    const int total = int(sheets.size());
    PrintProgress progress(this, total, run);
    progressBar->setRange(0, total);
    progressBar->setValue(0);
    progressBar->show();
    QFutureWatcher<void> watcher;
    connect(&watcher, &QFutureWatcher<void>::finished, &progress, &QDialog::accept);
    // The sheets are drawn off the window's thread: a costly page takes as
    // long as its check allows, and the window goes on painting meanwhile.
    // The dialog is modal, so the document cannot be closed under the run.
    watcher.setFuture(QtConcurrent::run([run, &printer, document, sheets, rotation, scaleMode, &progress, job, hand,
                                         printed] {
      printSheets(*run, printer, *document, sheets, rotation, scaleMode, [&progress](int done) {
        QMetaObject::invokeMethod(&progress, [&progress, done] { progress.showDone(done); }, Qt::QueuedConnection);
      });
      if (job && run->ended && !run->cancelled) run->refused = hand(*job, printed);
    }));
    progress.follow = [this](int done) { progressBar->setValue(done); };
    if (!watcher.isFinished()) progress.exec();
    watcher.waitForFinished();
    progressBar->hide();
    failed = run->failed;
  }
  // The printer names its own target again, never the private file.
  if (throughFile) printer.setOutputFileName(pdfTarget);
  if (!run->started) {
    QMessageBox::warning(this, QStringLiteral("Печать"), QStringLiteral("Не удалось начать печать"));
    return failed;
  }
  if (run->cancelled) {
    // Nothing reaches the target of a cancelled run; the private folder goes with what was drawn.
    statusLabel->setText(tr("Печать отменена"));
    return sheets;
  }
  if (job && (!run->ended || !run->refused.isEmpty())) {
    // The queue's name and CUPS's reason are the system's words: plain text.
    plainMessageBox(this, QMessageBox::Warning, QStringLiteral("Печать"),
                    tr("Принтер не принял задание:\n%1").arg(run->refused.isEmpty() ? job->queue : run->refused));
    return sheets;
  }
  if (!pdfTarget.isEmpty()) {
    QFile sheetsFile(printed);
    QString error;
    const bool written = run->ended && sheetsFile.open(QIODevice::ReadOnly) &&
                         writeFileAtomically(pdfTarget, [&](QIODevice* device, QString*) {
                           while (!sheetsFile.atEnd()) {
                             const QByteArray chunk = sheetsFile.read(1 << 20);
                             if (chunk.isEmpty() || device->write(chunk) != chunk.size()) return false;
                           }
                           return true;
                         }, &error);
    if (!written) {
      plainMessageBox(this, QMessageBox::Warning, QStringLiteral("Печать"),
                      tr("Не удалось сохранить файл:\n%1").arg(error.isEmpty() ? pdfTarget : pdfTarget + "\n" + error));
      return sheets;
    }
  }
  const int total = int(sheets.size());
  if (failed.isEmpty()) {
    statusLabel->setText(tr("Напечатано страниц: %1").arg(total));
  } else {
    statusLabel->setText(tr("Напечатано страниц: %1 из %2").arg(total - failed.size()).arg(total));
    QMessageBox::warning(this, QStringLiteral("Печать"),
                         uiTranslate(QStringLiteral("Не удалось отрисовать страницы: %1. Их листы остались пустыми."))
                             .arg(pageList(failed)));
  }
  return failed;
}
