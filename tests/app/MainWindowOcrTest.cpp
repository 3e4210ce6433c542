// Recognition through the window on scanned PDFs made here from rendered
// text: the whole-document run (its text layer, skipped text pages, a page
// that cannot be written, a tab closed meanwhile), page and region runs with
// block edits, an image block, and copying and exporting the page text.
// Oracles: pdftotext, qpdf.
#include "../ocr/OcrTestPages.h"
#include "../view/BlockTestData.h"
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "OcrRunRules.h"
#include "core/PdfDocument.h"
#include "core/PopplerOracles.h"
#include "core/RawPdf.h"
#include "core/ReadingOrder.h"
#include "ocr/OcrEngine.h"
#include "ocr/ParallelPageRecognition.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace apptest;
using namespace testsupport;

namespace {

// A gate a worker thread waits at until the test opens it; it never waits
// longer than a minute, so that a fault cannot hang the suite.
class Latch {
 public:
  void wait() {
    std::unique_lock<std::mutex> lock(mutex);
    reached = true;
    changed.notify_all();
    changed.wait_for(lock, std::chrono::minutes(1), [this] { return opened; });
  }
  void open() {
    std::lock_guard<std::mutex> lock(mutex);
    opened = true;
    changed.notify_all();
  }
  bool isReached() {
    std::lock_guard<std::mutex> lock(mutex);
    return reached;
  }

 private:
  std::mutex mutex;
  std::condition_variable changed;
  bool reached = false;
  bool opened = false;
};

class OcrWindow : public TestWindow {
 public:
  using MainWindow::ocrBusy;
  using MainWindow::ocrButton;
  using MainWindow::ocrEngine;
  using MainWindow::ocrRecognition;
  using MainWindow::pendingSelectionPage;
  int failingPage = -1;  // a page whose text layer cannot be written
  int heldPage = -1;     // a page whose render waits at `renderGate`
  mutable Latch renderGate;
  // Page 1 is rendered before any other, and its render ends only once page
  // 2 waits for its turn, so that page 2 is rendered while page 1 is recognised.
  bool firstPageRendersFirst = false;
  mutable Latch firstRenderBegun;
  mutable Latch secondPageAsked;
  mutable std::atomic<int> pagesPrepared{0};

 protected:
  bool writeRecognisedPage(PdfDocument* document, int page, const std::vector<TextBlock>& blocks) override {
    if (page == failingPage) return false;
    return MainWindow::writeRecognisedPage(document, page, blocks);
  }
  PreparedPage prepareDocumentOcrPage(PdfDocument* document, int page, bool skipTextPages,
                                      double storedZoom) const override {
    if (page == 0) firstRenderBegun.open();
    if (page == heldPage) renderGate.wait();
    PreparedPage prepared = MainWindow::prepareDocumentOcrPage(document, page, skipTextPages, storedZoom);
    if (firstPageRendersFirst && page == 0) secondPageAsked.wait();
    ++pagesPrepared;
    return prepared;
  }
  qint64 documentOcrPageBytes(PdfDocument* document, int page, double storedZoom) const override {
    if (firstPageRendersFirst && page == 1) secondPageAsked.open();
    if (firstPageRendersFirst && page != 0) firstRenderBegun.wait();
    return MainWindow::documentOcrPageBytes(document, page, storedZoom);
  }
};

const QSizeF kPage(360, 200);

// One page: its lines, drawn as a picture (a scan) or as real text.
struct Sheet {
  QStringList lines;
  bool scanned = true;
};

const QList<Sheet> kThreeScans = {
    {{"Quarterly report of the northern office", "Revenue grew steadily during spring",
      "Customers praised the friendly service"}},
    {{"Warehouse stock arrived before Monday", "Drivers delivered every parcel safely",
      "Inventory counts match the ledger"}},
    {{"Engineers tested the bridge model", "Results exceeded every expectation",
      "The final review happens tomorrow"}}};

bool writeSheets(const QString& path, const QList<Sheet>& sheets) {
  return writeDrawnPdf(path, int(sheets.size()), kPage, 14, [&sheets](QPainter& painter, int i) {
    if (sheets[i].scanned) {
      ocrtest::PageDrawing drawing;
      drawing.sizePt = kPage;
      ocrtest::addParagraph(drawing, sheets[i].lines, QPointF(24, 30), 14, QStringLiteral("DejaVu Sans"), 1.6);
      ocrtest::drawScan(painter, drawing, 200);
    } else {
      for (qsizetype l = 0; l < sheets[i].lines.size(); ++l)
        painter.drawText(QPointF(24, 44 + l * 22), sheets[i].lines[l]);
    }
  });
}

QString pdfText(const QString& path, int firstPage = 0, int lastPage = 0) {
  QStringList args;
  if (firstPage > 0) args << "-f" << QString::number(firstPage) << "-l" << QString::number(lastPage);
  args << path << "-";
  QByteArray out;
  if (runTool(QStringLiteral("pdftotext"), args, &out) != 0) return QStringLiteral("<pdftotext failed>");
  return QString::fromUtf8(out);
}

QString withoutSpace(QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s+"))); }

double pageRecall(const QString& pdf, int page, const QStringList& lines) {
  return ocrtest::wordRecall(ocrtest::comparableWords(lines.join(' ')),
                             ocrtest::comparableWords(pdfText(pdf, page, page)));
}

bool qpdfCheck(const QString& pdf) { return runTool(QStringLiteral("qpdf"), {"--check", pdf}) == 0; }

// The decoded content streams of one page (1-based), as qpdf reads them.
QByteArray pageContent(const QString& pdf, int page) {
  QByteArray json;
  if (runTool(QStringLiteral("qpdf"), {pdf, "--json", "--json-key=pages"}, &json) != 0) return {};
  const QJsonArray pages = QJsonDocument::fromJson(json).object().value("pages").toArray();
  QByteArray content;
  for (const QJsonValue& ref : pages.at(page - 1).toObject().value("contents").toArray()) {
    QByteArray stream;
    const QString id = ref.toString().section(' ', 0, 0);
    if (runTool(QStringLiteral("qpdf"), {pdf, "--show-object=" + id, "--filtered-stream-data"}, &stream) != 0)
      return {};
    content += stream;
  }
  return content;
}

bool hasEnglish() {
  OcrEngine engine;
  return engine.init(QStringLiteral("eng"));
}

class MainWindowOcrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    useCleanSettings();
    if (!hasEnglish()) GTEST_SKIP() << "tesseract eng data not installed";
    QSettings().setValue("ocr/languages", "eng");
    window.resize(1100, 760);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  QString open(const QString& name, const QList<Sheet>& sheets) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeSheets(path, sheets));
    window.openFile(path);
    EXPECT_TRUE(window.currentDocument->isOpen());
    return path;
  }

  QDialog* ocrDialog() {
    for (QDialog* dialog : window.findChildren<QDialog*>())
      if (dialog->windowTitle() == "OCR" && dialog->isVisible()) return dialog;
    return nullptr;
  }

  // Starts the document run from its dialog and waits for the dialog's end;
  // returns the log.
  QStringList runDocumentOcr() {
    window.showOcrProgressDialog();
    QPointer<QDialog> dialog = ocrDialog();
    EXPECT_TRUE(dialog);
    if (!dialog) return {};
    for (QLabel* line : dialog->findChildren<QLabel*>())
      if (line->text().startsWith(QStringLiteral("Документ: "))) documentLine = line->text();
    QPointer<QListWidget> log = dialog->findChild<QListWidget*>();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return log && log->count() > 0 && log->item(log->count() - 1)->text() == "✓ OCR завершён"; },
        120000));
    QStringList lines;
    for (int i = 0; log && i < log->count(); ++i) lines << log->item(i)->text();
    return lines;
  }

  bool editBlock(const QString& oldText, const QString& newText) {
    return typeOverBlock(window.view, oldText, newText);
  }

  // Runs `act` once, inside the document run, when the first page has its layer.
  void afterFirstRecognisedPage(QTimer& poll, const std::function<void(QDialog*)>& act) {
    whenLogShows(poll, "Добавлен текстовый слой", act);
  }

  // Runs `act` once, inside the document run, when a log line contains `text`.
  void whenLogShows(QTimer& poll, const QString& text, const std::function<void(QDialog*)>& act) {
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &window, [this, &poll, act, text] {
      QDialog* dialog = ocrDialog();
      auto* log = dialog ? dialog->findChild<QListWidget*>() : nullptr;
      if (!log || log->findItems(text, Qt::MatchContains).isEmpty()) return;
      poll.stop();
      act(dialog);
    });
    poll.start();
  }

  int blocksContaining(const QString& text) {
    int count = 0;
    for (const TextBlock& block : window.view->ocrBlocksWithEdits()) count += block.text.contains(text) ? 1 : 0;
    return count;
  }

  QTemporaryDir dir;
  OcrWindow window;
  QString documentLine;  // the run dialog's line naming the page count
};

}  // namespace

TEST_F(MainWindowOcrTest, DocumentRunMakesEveryScannedPageSearchable) {
  const QString path = open("scans.pdf", kThreeScans);
  for (int page = 1; page <= 3; ++page) ASSERT_TRUE(withoutSpace(pdfText(path, page, page)).isEmpty());

  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(log.contains("✓ Готово: распознано 3, пропущено 0, без текста 0")) << log.join('\n').toStdString();
  EXPECT_EQ(window.statusLabel->text(), "OCR документа: распознано страниц: 3, пропущено: 0");
  EXPECT_TRUE(documentLine.startsWith("Документ: 3 страницы · ")) << documentLine.toStdString();
  EXPECT_FALSE(window.ocrBusy);
  ASSERT_NE(window.ocrButton, nullptr);
  EXPECT_TRUE(window.ocrButton->isEnabled());
  EXPECT_TRUE(window.currentDocument->isModified());

  window.onSave();
  EXPECT_EQ(window.statusLabel->text(), "Сохранено");
  EXPECT_TRUE(qpdfCheck(path));
  for (int page = 1; page <= 3; ++page) {
    SCOPED_TRACE(page);
    EXPECT_GE(pageRecall(path, page, kThreeScans[page - 1].lines), 0.95) << pdfText(path, page, page).toStdString();
  }
}

TEST_F(MainWindowOcrTest, ParallelRunWritesWhatOnePageAfterAnotherWrites) {
  QList<Sheet> sheets = kThreeScans;
  sheets.append({{"Gardeners planted tulips near the gate", "Rain arrived late in the evening"}});
  const QString path = open("parallel.pdf", sheets);
  const QString sequential = dir.filePath("sequential.pdf");
  ASSERT_TRUE(QFile::copy(path, sequential));
  ASSERT_GT(ParallelPageRecognition::workerCount(4), 1) << "one core: the run would not be parallel";

  // The oracle: one engine, page after page, as the run did before it used threads.
  {
    PdfDocument document;
    ASSERT_TRUE(document.open(sequential));
    OcrEngine engine;
    ASSERT_TRUE(engine.init("eng"));
    for (int page = 0; page < document.pageCount(); ++page) {
      const QSizeF size = document.pageSize(page);
      const double scale = pageOcrScale(size.width(), 0.0);
      std::vector<TextBlock> blocks = engine.recognizePage(document.renderPage(page, scale, 0), page, scale, size.height());
      sortReadingOrder(blocks, size.width(), size.height());
      ASSERT_TRUE(document.overlayOcrText(page, blocks, false));
    }
    ASSERT_TRUE(document.save(sequential));
  }

  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(log.contains("✓ Готово: распознано 4, пропущено 0, без текста 0")) << log.join('\n').toStdString();
  window.onSave();
  EXPECT_TRUE(qpdfCheck(path));
  // Words and their boxes, page by page: the same blocks were written.
  QByteArray parallelWords, sequentialWords;
  ASSERT_EQ(runTool("pdftotext", {"-bbox", path, "-"}, &parallelWords), 0);
  ASSERT_EQ(runTool("pdftotext", {"-bbox", sequential, "-"}, &sequentialWords), 0);
  EXPECT_EQ(parallelWords, sequentialWords);
  for (int page = 1; page <= 4; ++page) {
    SCOPED_TRACE(page);
    EXPECT_EQ(pdfText(path, page, page), pdfText(sequential, page, page));
    EXPECT_GE(pageRecall(path, page, sheets[page - 1].lines), 0.95) << pdfText(path, page, page).toStdString();
  }
}

TEST_F(MainWindowOcrTest, LanguagesThatDoNotLoadStopTheRunWithItsMessage) {
  const QString path = open("scans.pdf", kThreeScans);
  QSettings().setValue("ocr/languages", "zzz");
  std::shared_ptr<DialogSeen> seen = answerNextDialog("OK");
  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(seen->texts.contains("Не удалось инициализировать Tesseract")) << seen->texts.toStdString();
  EXPECT_TRUE(log.contains("✓ Готово: распознано 0, пропущено 0, без текста 0")) << log.join('\n').toStdString();
  EXPECT_FALSE(log.contains("• Страница 2: проверка"));
  EXPECT_FALSE(window.ocrBusy);
  EXPECT_FALSE(window.currentDocument->isModified());
}

TEST_F(MainWindowOcrTest, PageWithItsOwnTextIsSkippedAndKeepsItsContent) {
  const QList<Sheet> sheets = {kThreeScans[0], {{"Native text line stays exactly as written"}, false}};
  const QString path = open("mixed.pdf", sheets);
  const QByteArray before = pageContent(path, 2);
  ASSERT_FALSE(before.isEmpty());

  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(log.contains("  Уже есть текстовый слой — пропущено")) << log.join('\n').toStdString();
  EXPECT_TRUE(log.contains("✓ Готово: распознано 1, пропущено 1, без текста 0")) << log.join('\n').toStdString();

  window.onSave();
  EXPECT_TRUE(qpdfCheck(path));
  EXPECT_EQ(pageContent(path, 2), before);
  EXPECT_GE(pageRecall(path, 1, sheets[0].lines), 0.95);
}

TEST_F(MainWindowOcrTest, WithTheNativeLayerSettingOffAPageWithTextIsRecognisedByOneWorker) {
  const QList<Sheet> sheets = {{{"Native text line stays exactly as written"}, false}};
  open("native.pdf", sheets);
  QSettings().setValue("ocr/preferNativeTextLayer", false);
  int workers = -1;
  QTimer poll;
  whenLogShows(poll, "• Страница 1: проверка", [&](QDialog*) {
    if (window.ocrRecognition) workers = window.ocrRecognition->workerThreads();
  });
  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(log.contains("✓ Готово: распознано 1, пропущено 0, без текста 0")) << log.join('\n').toStdString();
  EXPECT_FALSE(log.contains("  Уже есть текстовый слой — пропущено"));
  // One page, one worker: no recogniser is started for nothing.
  EXPECT_EQ(workers, 1);
}

TEST_F(MainWindowOcrTest, AFinishedPageIsWrittenOnlyOnceTheRenderUnderWayEnds) {
  const QList<Sheet> sheets = {kThreeScans[0], kThreeScans[1]};
  const QString path = open("scans.pdf", sheets);
  window.firstPageRendersFirst = true;
  window.heldPage = 1;
  bool sawPageOneWaiting = false;
  bool writtenDuringRender = false;
  int ticksSinceReady = 0;
  int workers = -1;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, &window, [&] {
    if (!window.ocrRecognition || !window.renderGate.isReached()) return;
    workers = window.ocrRecognition->workerThreads();
    // Page 1 is recognised while page 2's render is held; the run is given
    // a few turns to take it before the render ends.
    writtenDuringRender = window.currentDocument->isModified();
    if (window.ocrRecognition->resultWaiting(0)) sawPageOneWaiting = true;
    if (!writtenDuringRender && (!sawPageOneWaiting || ++ticksSinceReady < 5)) return;
    poll.stop();
    writtenDuringRender = writtenDuringRender || !window.ocrRecognition->resultWaiting(0);
    window.renderGate.open();
  });
  poll.start();
  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(sawPageOneWaiting);
  EXPECT_FALSE(writtenDuringRender);
  EXPECT_EQ(workers, 2);
  // Once the render ended, the waiting page and the other were written.
  EXPECT_TRUE(log.contains("✓ Готово: распознано 2, пропущено 0, без текста 0")) << log.join('\n').toStdString();
  window.onSave();
  for (int page = 1; page <= 2; ++page) EXPECT_GE(pageRecall(path, page, sheets[page - 1].lines), 0.95);
}

TEST_F(MainWindowOcrTest, PageThatCannotBeWrittenStopsTheRunAndSaysWhich) {
  const QString path = open("scans.pdf", kThreeScans);
  window.failingPage = 1;
  auto warning = std::make_shared<QString>();
  whenModalOpens<QMessageBox>([warning](QMessageBox* box) {
    *warning = box->text();
    box->accept();
  });
  const QStringList log = runDocumentOcr();
  EXPECT_TRUE(warning->contains("страницы 2")) << warning->toStdString();
  EXPECT_TRUE(warning->contains("Распознавание остановлено")) << warning->toStdString();
  EXPECT_EQ(window.statusLabel->text(), "OCR документа остановлен на странице 2");
  EXPECT_TRUE(log.contains("  Не удалось добавить текстовый слой"));
  EXPECT_TRUE(log.contains("• Страница 2: проверка"));
  EXPECT_FALSE(log.contains("• Страница 3: проверка")) << log.join('\n').toStdString();

  // The page done before the failure keeps its layer; nothing after it was touched.
  window.onSave();
  EXPECT_GE(pageRecall(path, 1, kThreeScans[0].lines), 0.95);
  EXPECT_TRUE(withoutSpace(pdfText(path, 2, 3)).isEmpty());
}

TEST_F(MainWindowOcrTest, ClosingTheDocumentDuringTheRunStopsItWithoutTouchingTheNextOne) {
  const QString otherPath = open("other.pdf", {kThreeScans[2]});
  const QByteArray otherBytes = [&] {
    QFile file(otherPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }();
  open("scans.pdf", kThreeScans);
  PdfDocument* other = window.documents[0].document.get();

  // After the first page: a page operation and a second run are refused, then
  // the run's tab is closed without saving.
  QString refusal;
  int dialogs = 0;
  QTimer poll;
  afterFirstRecognisedPage(poll, [&](QDialog*) {
    std::shared_ptr<DialogSeen> refused = answerNextDialog("OK");
    window.onInsertBlankPage();
    refusal = refused->texts;
    window.showOcrProgressDialog();
    for (QDialog* d : window.findChildren<QDialog*>()) dialogs += d->windowTitle() == "OCR" ? 1 : 0;
    answerNextDialog("Не сохранять");
    window.closeDocumentAt(window.activeIndex);
  });
  const QStringList log = runDocumentOcr();

  EXPECT_TRUE(refusal.contains("Дождитесь окончания распознавания")) << refusal.toStdString();
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(log.contains("  Документ закрыт — распознавание остановлено")) << log.join('\n').toStdString();
  EXPECT_EQ(window.statusLabel->text(), "OCR документа остановлен: документ закрыт");
  EXPECT_FALSE(window.ocrBusy);
  ASSERT_EQ(window.documents.size(), 1u);
  EXPECT_EQ(window.currentDocument, other);
  EXPECT_FALSE(other->isModified());
  EXPECT_TRUE(withoutSpace(other->extractAllText(0)).isEmpty());
  QFile file(otherPath);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), otherBytes);
}

// The workers are rendering and recognising the pages when the tab goes, and
// must let go of its document first (the sanitizer pass drops a run halfway
// in the OCR tests).
TEST_F(MainWindowOcrTest, ClosingTheTabWhileItsPagesAreRecognisedStopsTheWorkers) {
  const QString otherPath = open("other.pdf", {kThreeScans[2]});
  QList<Sheet> sheets;
  for (int copy = 0; copy < 6; ++copy) sheets += kThreeScans;
  open("scans.pdf", sheets);
  PdfDocument* other = window.documents[0].document.get();

  // Page 2 is being rendered when the tab goes, so the run cannot have gone
  // past it: it waits for page 1 or 2 and cannot reach page 3 before the close.
  window.firstPageRendersFirst = true;
  window.heldPage = 1;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, &window, [&] {
    QDialog* dialog = ocrDialog();
    auto* log = dialog ? dialog->findChild<QListWidget*>() : nullptr;
    if (!log || !window.renderGate.isReached()) return;
    poll.stop();
    // Closing waits for the render under way, so it goes on first.
    window.renderGate.open();
    answerNextDialog("Не сохранять");
    window.closeDocumentAt(window.activeIndex);
  });
  poll.start();
  const QStringList log = runDocumentOcr();

  EXPECT_TRUE(log.contains("  Документ закрыт — распознавание остановлено")) << log.join('\n').toStdString();
  EXPECT_FALSE(log.contains("• Страница 3: проверка")) << log.join('\n').toStdString();
  EXPECT_FALSE(window.ocrBusy);
  ASSERT_EQ(window.documents.size(), 1u);
  EXPECT_EQ(window.currentDocument, other);
  EXPECT_FALSE(other->isModified());
  EXPECT_TRUE(withoutSpace(other->extractAllText(0)).isEmpty());
  EXPECT_TRUE(withoutSpace(pdfText(otherPath)).isEmpty());
}

TEST_F(MainWindowOcrTest, EditOfARecognisedBlockReachesTheFileAndRegionRunKeepsTheOtherBlocks) {
  const QList<Sheet> sheets = {
      {{"Quarterly report of the northern office", "", "", "", "Drivers delivered every parcel safely"}}};
  const QString path = open("page.pdf", sheets);
  window.onRunOcr();
  EXPECT_TRUE(window.editMode);
  ASSERT_EQ(blocksContaining("Drivers"), 1) << window.statusLabel->text().toStdString();
  ASSERT_EQ(blocksContaining("Quarterly"), 1);
  ASSERT_TRUE(editBlock("Drivers", "Zebra quantum ledger"));

  // The top line again, as a region: the edited block below stays, edited.
  window.onRunOcrRegion(0, QRectF(10, 20, 340, 40));
  EXPECT_TRUE(window.view->hasOcrEdits());
  EXPECT_EQ(blocksContaining("Zebra quantum ledger"), 1);
  EXPECT_EQ(blocksContaining("Quarterly"), 1);
  EXPECT_EQ(blocksContaining("Drivers"), 0);

  window.onSave();
  EXPECT_TRUE(qpdfCheck(path));
  const QString text = pdfText(path);
  EXPECT_TRUE(text.contains("Zebra quantum ledger")) << text.toStdString();
  EXPECT_TRUE(text.contains("Quarterly report")) << text.toStdString();
  // The region's words land under the region (20-60 pt from the top), not mirrored.
  const QList<QRectF> boxes = oracles::wordBoxes(path, 0, "Quarterly", kPage.height());
  ASSERT_FALSE(boxes.isEmpty());
  for (const QRectF& box : boxes) {
    EXPECT_GT(box.center().y(), kPage.height() - 60) << box.y();
    EXPECT_LT(box.center().y(), kPage.height() - 20) << box.y();
  }
}

TEST_F(MainWindowOcrTest, RecognisingThePageAgainKeepsItsTypedEdits) {
  const QString path = open("page.pdf", {kThreeScans[0]});
  window.onRunOcr();
  ASSERT_TRUE(editBlock("Customers", "Zebra quantum ledger"));
  window.onRunOcr();  // replaces every block: the edit is written first
  window.onSave();
  EXPECT_TRUE(qpdfCheck(path));
  const QString text = pdfText(path);
  EXPECT_TRUE(text.contains("Zebra quantum ledger")) << text.toStdString();
  EXPECT_FALSE(text.contains("Customers praised")) << text.toStdString();
}

// Every word poppler finds on the page lies in a block whose text holds it,
// and no text block is empty.
static void expectBlocksOnTheirWords(const std::vector<TextBlock>& blocks, const QString& pdf, double pageHeight) {
  const QRegularExpression word(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  QByteArray xml;
  ASSERT_EQ(runTool(QStringLiteral("pdftotext"), {"-bbox", "-f", "1", "-l", "1", pdf, "-"}, &xml), 0);
  int words = 0;
  for (auto it = word.globalMatch(QString::fromUtf8(xml)); it.hasNext(); ++words) {
    const auto m = it.next();
    const QPointF centre((m.captured(1).toDouble() + m.captured(3).toDouble()) / 2,
                         pageHeight - (m.captured(2).toDouble() + m.captured(4).toDouble()) / 2);
    const bool held = std::any_of(blocks.begin(), blocks.end(), [&](const TextBlock& block) {
      return !block.isImage && block.rect.contains(centre) && block.text.contains(m.captured(5));
    });
    EXPECT_TRUE(held) << m.captured(5).toStdString();
  }
  EXPECT_GT(words, 5);
  for (const TextBlock& block : blocks) {
    if (!block.isImage) {
      EXPECT_FALSE(block.text.trimmed().isEmpty());
    }
  }
}

TEST_F(MainWindowOcrTest, RecognisingAPageWithItsOwnTextShowsThatTextOnItsWords) {
  const QList<Sheet> sheets = {{{"Warehouse stock arrived before Monday", "Drivers delivered every parcel safely",
                                 "Inventory counts match the ledger"},
                                false}};
  const QString path = open("native.pdf", sheets);
  window.onRunOcr();
  EXPECT_TRUE(window.editMode);
  EXPECT_EQ(window.statusLabel->text(), "На странице уже есть текстовый слой: распознавание не требуется");
  expectBlocksOnTheirWords(window.view->ocrBlocksWithEdits(), path, kPage.height());

  // "Распознать текст" on a marked part of it does the same.
  window.onRunOcrRegion(0, QRectF(10, 20, 340, 40));
  EXPECT_EQ(window.statusLabel->text(), "На странице уже есть текстовый слой: распознавание не требуется");
  expectBlocksOnTheirWords(window.view->ocrBlocksWithEdits(), path, kPage.height());
  EXPECT_FALSE(window.view->hasOcrEdits());

  // A region that cuts through the lines, holding the middle of none of
  // them: the page's words are still used, nothing is laid over them and
  // the tab stays unchanged.
  const std::vector<TextBlock> before = window.view->ocrBlocksWithEdits();
  window.statusLabel->clear();
  window.onRunOcrRegion(0, QRectF(60, 36, 70, 36));
  EXPECT_EQ(window.statusLabel->text(), "На странице уже есть текстовый слой: распознавание не требуется");
  const std::vector<TextBlock> after = window.view->ocrBlocksWithEdits();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].text, before[i].text);
    EXPECT_EQ(after[i].rect, before[i].rect);
  }
  EXPECT_FALSE(window.view->hasOcrEdits());
  EXPECT_FALSE(window.currentDocument->isModified());
  EXPECT_FALSE(window.windowTitle().contains('*')) << window.windowTitle().toStdString();
}

TEST_F(MainWindowOcrTest, ImageBlockTextIsRecognisedAndAFailureKeepsTheBlock) {
  open("page.pdf", {kThreeScans[0]});
  window.view->setEditMode(true);
  window.view->setOcrBlocks({blocktest::nativeBlock("Old words", QRectF(20, 150, 320, 24), 14.0f)}, 0, false);
  window.view->activateOcrBlock(0);
  ASSERT_NE(window.view->activeTextEditor(), nullptr);

  // A page that does not exist: the block keeps its text and a warning says so.
  auto box = std::make_shared<QString>();
  whenModalOpens<QMessageBox>([box](QMessageBox* b) {
    *box = b->text();
    b->accept();
  });
  window.onImageBlockActivated(7, QRectF(20, 150, 320, 24));
  EXPECT_FALSE(box->isEmpty());
  EXPECT_EQ(window.view->ocrBlocksWithEdits().at(0).text, "Old words");
  EXPECT_FALSE(window.view->hasOcrEdits());

  // The first line of the scan (top 30 pt, 14 pt high) in points from the bottom.
  window.onImageBlockActivated(0, QRectF(20, 200 - 52, 330, 26));
  const QString text = window.view->ocrBlocksWithEdits().at(0).text;
  EXPECT_GE(ocrtest::wordRecall(ocrtest::comparableWords(kThreeScans[0].lines[0]), ocrtest::comparableWords(text)),
            0.8)
      << text.toStdString();
  EXPECT_EQ(window.statusLabel->text(), QString("OCR блока: распознано символов: %1").arg(text.size()));
}

TEST_F(MainWindowOcrTest, CopiedAndExportedTextIsThePdfsOwnText) {
  const QList<Sheet> sheets = {{{"First page words to copy", "Ещё одна строка по-русски"}, false},
                               {{"Second page closing line"}, false}};
  const QString path = open("text.pdf", sheets);
  window.onCopyOcrText();
  const QString copied = QGuiApplication::clipboard()->text();
  EXPECT_EQ(withoutSpace(copied), withoutSpace(pdfText(path, 1, 1)));
  EXPECT_EQ(window.statusLabel->text(), QString("Текст страницы скопирован (символов: %1)").arg(copied.size()));

  const QString target = dir.filePath("export");  // the extension is added
  whenModalOpens<QFileDialog>([target](QFileDialog* dialog) {
    dialog->selectFile(target);
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
  });
  window.onExportOcrText();
  QFile file(target + ".txt");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
  EXPECT_EQ(withoutSpace(QString::fromUtf8(bytes)), withoutSpace(pdfText(path)));
  EXPECT_EQ(window.statusLabel->text(), "Текст экспортирован в export.txt");

  // A page without text leaves the clipboard alone.
  window.onInsertBlankPage();
  window.view->setCurrentPage(0);
  window.onCopyOcrText();
  EXPECT_EQ(window.statusLabel->text(), "Нет текста для копирования");
  EXPECT_EQ(QGuiApplication::clipboard()->text(), copied);
}

TEST_F(MainWindowOcrTest, RunGoesOnInTheBackgroundWhenItsDialogClosesAnotherTabIsShownOrItsEngineIsDropped) {
  open("other.pdf", {kThreeScans[2]});
  open("scans.pdf", {kThreeScans[0], kThreeScans[1]});
  PdfDocument* other = window.documents[0].document.get();
  PdfDocument* scans = window.documents[1].document.get();

  // Page 2's render waits until the dialog is closed, so the run cannot end first.
  window.heldPage = 1;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, &window, [&] {
    QDialog* dialog = ocrDialog();
    if (!dialog || !window.renderGate.isReached()) return;
    poll.stop();
    dialog->close();
    window.activateDocument(0);
    window.discardOcrEngine();  // new languages chosen: the engine goes once the run ends
    EXPECT_TRUE(window.ocrBusy);
    window.renderGate.open();
  });
  poll.start();
  window.showOcrProgressDialog();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window.ocrBusy && !poll.isActive(); }, 120000));

  EXPECT_EQ(ocrDialog(), nullptr);
  EXPECT_EQ(window.ocrEngine, nullptr);
  EXPECT_EQ(window.statusLabel->text(), "OCR документа: распознано страниц: 2, пропущено: 0");
  EXPECT_EQ(window.currentDocument, other);
  EXPECT_EQ(window.view->shownDocument(), other);
  EXPECT_FALSE(other->isModified());
  EXPECT_TRUE(withoutSpace(other->extractAllText(0)).isEmpty());
  EXPECT_TRUE(scans->isModified());
  EXPECT_GE(ocrtest::wordRecall(ocrtest::comparableWords(kThreeScans[1].lines.join(' ')),
                                ocrtest::comparableWords(scans->extractAllText(1))),
            0.95);
}

TEST_F(MainWindowOcrTest, PageRunMarksTheTabChangedAndSavingWritesItsWords) {
  // About 75 words: a bold heading, body lines with a bold phrase, a page number.
  const QStringList body = {"Members of the committee met on Tuesday to discuss the budget",
                            "Several proposals were presented by the finance team today",
                            "The chairman asked everyone to review the attached tables",
                            "Most members agreed that travel costs should be reduced",
                            "A final decision about new equipment was postponed again",
                            "The secretary will circulate the minutes before Friday",
                            "Questions about salaries remain open until the spring"};
  ocrtest::PageDrawing drawing;
  drawing.sizePt = QSizeF(520, 420);
  drawing.texts.push_back({"Annual Budget Meeting Summary", QPointF(30, 24), "DejaVu Sans", 16, Qt::black, true});
  ocrtest::addParagraph(drawing, body, QPointF(30, 70), 12, QStringLiteral("DejaVu Sans"), 1.8);
  drawing.texts.push_back({"Important deadline approaching", QPointF(30, 250), "DejaVu Sans", 12, Qt::black, true});
  drawing.texts.push_back({"17", QPointF(252, 380), "DejaVu Sans", 12, Qt::black, false});
  const QString path = dir.filePath("meeting.pdf");
  ASSERT_TRUE(writeDrawnPdf(path, 1, drawing.sizePt, 12,
                            [&drawing](QPainter& painter, int) { ocrtest::drawScan(painter, drawing, 200); }));
  window.openFile(path);
  ASSERT_TRUE(window.currentDocument->isOpen());
  ASSERT_TRUE(withoutSpace(pdfText(path)).isEmpty());

  // The user's road: a text insertion asks whether to recognise the page first.
  std::shared_ptr<DialogSeen> asked = answerNextDialog("Распознать", "Распознавание");
  EXPECT_TRUE(window.ensureOcrReady());
  EXPECT_TRUE(asked->shown);
  EXPECT_TRUE(window.currentDocument->isModified());
  EXPECT_TRUE(window.windowTitle().contains(" *")) << window.windowTitle().toStdString();
  EXPECT_TRUE(window.documentTabs->tabText(0).endsWith(" *")) << window.documentTabs->tabText(0).toStdString();

  window.onSave();
  EXPECT_EQ(window.statusLabel->text(), "Сохранено");
  EXPECT_TRUE(qpdfCheck(path));
  EXPECT_FALSE(window.documentTabs->tabText(0).endsWith(" *"));
  const QString saved = pdfText(path);
  QStringList expected = body;
  expected << "Annual Budget Meeting Summary" << "Important deadline approaching" << "17";
  const QStringList words = ocrtest::comparableWords(expected.join(' '));
  ASSERT_GE(words.size(), 70);
  EXPECT_GE(ocrtest::wordRecall(words, ocrtest::comparableWords(saved)), 0.9) << saved.toStdString();
  // Bold words and the page number are text in the file, not pictures.
  EXPECT_GE(ocrtest::wordRecall(ocrtest::comparableWords("Annual Budget Meeting Summary Important deadline 17"),
                                ocrtest::comparableWords(saved)),
            0.85)
      << saved.toStdString();
}

TEST_F(MainWindowOcrTest, CancelStopsTheDocumentRunAfterThePageItIsOnAndKeepsTheDonePages) {
  QList<Sheet> sheets;
  for (int i = 0; i < 6; ++i) sheets << kThreeScans[i % 3];
  const QString path = open("six.pdf", sheets);

  // The user presses "Отмена" once the first page has its layer.
  QTimer poll;
  afterFirstRecognisedPage(poll, [&](QDialog* dialog) {
    ASSERT_EQ(dialog->findChildren<QPushButton*>().size(), 1);  // no dead "Пауза"
    QPushButton* cancel = dialog->findChild<QPushButton*>();
    ASSERT_EQ(cancel->text(), "Отмена");
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(cancel->isEnabled());
  });
  window.showOcrProgressDialog();
  QPointer<QDialog> dialog = ocrDialog();
  ASSERT_TRUE(dialog);
  QPointer<QListWidget> log = dialog->findChild<QListWidget*>();
  ASSERT_TRUE(QTest::qWaitFor([&] { return log && !window.ocrBusy && log->count() > 0 &&
                                           log->item(log->count() - 1)->text() == "■ OCR остановлен"; },
                              120000));
  ASSERT_TRUE(dialog) << "the dialog stays open to show where the run stopped";
  QStringList lines;
  for (int i = 0; i < log->count(); ++i) lines << log->item(i)->text();
  const int recognised = static_cast<int>(lines.filter("Добавлен текстовый слой").size());
  EXPECT_GE(recognised, 1);
  EXPECT_LT(recognised, 6) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines.contains(QString("  Остановлено пользователем: страницы с %1 по 6 не распознаны").arg(recognised + 1)))
      << lines.join('\n').toStdString();
  EXPECT_TRUE(window.statusLabel->text().startsWith("OCR документа остановлен перед страницей"));
  QPushButton* close = dialog->findChild<QPushButton*>();
  EXPECT_EQ(close->text(), "Закрыть");
  EXPECT_TRUE(close->isEnabled());

  window.onSave();
  EXPECT_TRUE(qpdfCheck(path));
  QByteArray info;
  ASSERT_EQ(runTool("pdfinfo", {path}, &info), 0);
  EXPECT_TRUE(info.contains("Pages:           6")) << info.toStdString();
  for (int page = 1; page <= 6; ++page) {
    SCOPED_TRACE(page);
    if (page <= recognised)
      EXPECT_GE(pageRecall(path, page, sheets[page - 1].lines), 0.95);
    else
      EXPECT_TRUE(withoutSpace(pdfText(path, page, page)).isEmpty());
  }
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog; }, 5000));
}

TEST_F(MainWindowOcrTest, SelectedRegionOnlySettingDecidesWhetherAPageRunReadsTheSelection) {
  const QList<Sheet> sheets = {
      {{"Quarterly report of the northern office", "", "", "", "Drivers delivered every parcel safely"}}};
  open("page.pdf", sheets);
  const QRectF topLine(10, 20, 340, 40);  // points, from the top-left corner

  // On by default: the selected region alone is recognised.
  emit window.view->selectionRectReady(0, topLine);
  answerNextDialog("Распознать", "Распознавание");
  window.ensureOcrReady();
  EXPECT_EQ(blocksContaining("Quarterly"), 1);
  EXPECT_EQ(blocksContaining("Drivers"), 0);
  EXPECT_EQ(window.pendingSelectionPage, -1);

  // Off: the whole page, whatever is selected.
  QSettings().setValue("ocr/selectedRegionOnly", false);
  window.onOcrCancel();
  emit window.view->selectionRectReady(0, topLine);
  answerNextDialog("Распознать", "Распознавание");
  window.ensureOcrReady();
  EXPECT_EQ(blocksContaining("Quarterly"), 1);
  EXPECT_EQ(blocksContaining("Drivers"), 1);
  EXPECT_EQ(window.pendingSelectionPage, 0);
}

// Pages far larger than any paper: the whole-document run in a child process
// of its own, whose peak memory is read from /proc, once to its end and once
// with its window closed while the pages are recognised.
namespace {

constexpr auto kHugePagesVariable = "ULVO_OCR_HUGE_PAGES";
constexpr auto kCloseMidRunVariable = "ULVO_OCR_CLOSE_MID_RUN";

// Four pages of 9400 x 9400 pt: bars of a chart drawn as vectors, under a
// title drawn as outlines (no text of the page's own).
bool writeHugePages(const QString& path) {
  const QSizeF size(9400, 9400);
  return writeDrawnPdf(path, 4, size, 14, [size](QPainter& painter, int page) {
    QPainterPath title;
    title.addText(QPointF(400, 600), QFont(QStringLiteral("DejaVu Sans"), 160),
                  QStringLiteral("Quarterly deliveries of depot %1").arg(page + 1));
    painter.fillPath(title, Qt::black);
    for (int bar = 0; bar < 600; ++bar) {
      const double height = 600 + (bar * 7919 + page * 104729) % 7000;
      painter.fillRect(QRectF(300 + bar * 14.5, size.height() - 300 - height, 9, height), Qt::black);
    }
  });
}

struct HugeRun {
  bool finished = false;
  bool exited = false;
  double peakMb = -1;
  qint64 closedAtMs = -1;  // in the child, from the run's start
  qint64 loopEndedMs = -1;
  qint64 exitedAfterCloseMs = -1;  // measured by the parent
  QString status;
  QString output;
};

HugeRun runHugePagesInChild(const QString& path, bool closeMidRun) {
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QString::fromLatin1(kHugePagesVariable), path);
  if (closeMidRun) environment.insert(QString::fromLatin1(kCloseMidRunVariable), QStringLiteral("1"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  HugeRun result;
  QElapsedTimer closed;
  QByteArray output;
  QObject::connect(&child, &QProcess::readyRead, [&] {
    output += child.readAll();
    if (!closed.isValid() && output.contains("CHILD-CLOSED")) closed.start();
  });
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_also_run_disabled_tests"),
               QStringLiteral("--gtest_filter=MainWindowOcrChild.DISABLED_RunsHugePages")});
  // A guard against a run that never ends; the child reports its own times.
  result.exited = child.waitForFinished(600000);
  if (!result.exited) {
    child.kill();
    child.waitForFinished();
  }
  output += child.readAll();
  if (closed.isValid()) result.exitedAfterCloseMs = closed.elapsed();
  result.output = QString::fromUtf8(output);
  for (const QString& line : result.output.split(QLatin1Char('\n'))) {
    if (!line.startsWith(QLatin1String("CHILD "))) continue;
    const QJsonObject report = QJsonDocument::fromJson(line.mid(6).toUtf8()).object();
    result.finished = true;
    result.peakMb = report.value("peakMb").toDouble(-1);
    result.closedAtMs = report.value("closedAtMs").toInteger(-1);
    result.loopEndedMs = report.value("loopEndedMs").toInteger(-1);
    result.status = report.value("status").toString();
  }
  return result;
}

}  // namespace

// The child: runs the document OCR of the huge pages from its dialog, to its
// end or until its window is closed while the first page is recognised.
TEST(MainWindowOcrChild, DISABLED_RunsHugePages) {
  const QString path = qEnvironmentVariable(kHugePagesVariable);
  if (path.isEmpty()) GTEST_SKIP();
  const bool closeMidRun = qEnvironmentVariableIsSet(kCloseMidRunVariable);
  useCleanSettings();
  QSettings().setValue("ocr/languages", "eng");
  QJsonObject report;
  QElapsedTimer timer;
  {
    OcrWindow window;
    window.resize(1100, 760);
    window.show();
    window.openFile(path);
    ASSERT_TRUE(window.currentDocument->isOpen());
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
      // A page is rendered and recognised by now, and more are on their way.
      if (window.pagesPrepared < 1) return;
      poll.stop();
      report["closedAtMs"] = timer.elapsed();
      std::printf("CHILD-CLOSED\n");
      std::fflush(stdout);
      answerNextDialog("Не сохранять");
      window.close();
    });
    timer.start();
    window.showOcrProgressDialog();
    if (closeMidRun) {
      poll.start();
      QApplication::exec();
    } else {
      EXPECT_TRUE(QTest::qWaitFor([&] { return !window.ocrBusy && window.pagesPrepared > 0; }, 590000));
    }
    report["loopEndedMs"] = timer.elapsed();
    report["status"] = window.statusLabel->text();
  }
  report["peakMb"] = peakResidentMb();
  std::printf("CHILD %s\n", QJsonDocument(report).toJson(QJsonDocument::Compact).constData());
  std::fflush(stdout);
  // As the program ends: a worker left inside the recogniser is not waited for.
  if (ParallelPageRecognition::workersLeftRunning() > 0) std::_Exit(0);
}

TEST(MainWindowOcrHugePages, WholeDocumentRunStaysWithinItsMemoryAndClosingTheWindowEndsTheProcess) {
  if (!OcrEngine().init(QStringLiteral("eng"))) GTEST_SKIP() << "tesseract eng data not installed";
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath(QStringLiteral("huge.pdf"));
  ASSERT_TRUE(writeHugePages(path));
  ASSERT_LT(QFileInfo(path).size(), 200 * 1024);

  const HugeRun whole = runHugePagesInChild(path, false);
  ASSERT_TRUE(whole.finished) << whole.output.right(3000).toStdString();
  std::printf("  whole run: %lld ms, peak %.0f MB, %s\n", static_cast<long long>(whole.loopEndedMs), whole.peakMb,
              whole.status.toUtf8().constData());
  EXPECT_LT(whole.peakMb, 3072.0);
  EXPECT_TRUE(whole.status.startsWith("OCR документа: распознано")) << whole.status.toStdString();

  const HugeRun closed = runHugePagesInChild(path, true);
  ASSERT_TRUE(closed.exited) << closed.output.right(3000).toStdString();
  ASSERT_TRUE(closed.finished) << closed.output.right(3000).toStdString();
  std::printf("  closed at %lld ms, loop ended at %lld ms, process gone %lld ms after the close, peak %.0f MB\n",
              static_cast<long long>(closed.closedAtMs), static_cast<long long>(closed.loopEndedMs),
              static_cast<long long>(closed.exitedAfterCloseMs), closed.peakMb);
  EXPECT_EQ(closed.status, "OCR документа остановлен: документ закрыт");
  // The close stops the run within moments: a page the recogniser is still
  // laying out (ten seconds and more) is not waited for.
  EXPECT_LT(closed.loopEndedMs - closed.closedAtMs, 5000);
  EXPECT_LT(closed.exitedAfterCloseMs, 8000);
}

// A line of a layer just recognised over a scan is invisible: typed into and
// saved, the window shows the scan's words and no new ink, as the file does.
TEST_F(MainWindowOcrTest, AnEditedRecognisedLineStaysInvisibleOnScreenAndInTheFile) {
  const QString path = open("scan.pdf", {kThreeScans[0]}), original = dir.filePath("original.pdf");
  ASSERT_TRUE(QFile::copy(path, original) && showActive(&window, {1100, 760}));
  QTest::keyClick(&window, Qt::Key_F2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.ocrBusy && blocksContaining("Customers") == 1; }, 120000));
  ocrDialog()->close();
  window.activateWindow();
  int index = 0;
  while (!window.view->currentOcrBlocks()[size_t(index)].text.contains("Customers")) ++index;
  const QRect line = window.view->ocrBlockScreenRect(index), region = line.adjusted(-6, -line.height(), 6, line.height());
  auto expectNoInk = [&, scan = QImage()](const char* moment) mutable {
    QTest::qWait(400);
    const QImage now = window.view->viewport()->grab().toImage().copy(region);
    if (scan.isNull()) scan = now;
    const auto [kept, added] = darkChange(scan, now);
    EXPECT_GT(kept, 0.95) << moment << ": the scan's words are wiped";
    EXPECT_LE(added, 3 * region.height()) << moment << ": the invisible line is drawn as ink";
  };
  expectNoInk("recognised");
  QTest::mouseClick(window.view->viewport(), Qt::LeftButton, {}, line.center());
  ASSERT_NE(window.view->activeTextEditor(), nullptr);
  QTest::keyClicks(window.view->activeTextEditor(), " Zebra quantum");
  expectNoInk("typing");
  QTest::keyClick(window.view->activeTextEditor(), Qt::Key_Escape);
  QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
  expectNoInk("saved");
  EXPECT_TRUE(pdfText(path).contains("Zebra quantum")) << pdfText(path).toStdString();
  EXPECT_LT(meanChannelDifference(oracles::renderWithPoppler(original, 0, 72), oracles::renderWithPoppler(path, 0, 72)), 0.5);
}

// Form fields are no page text: over a page whose only words are a filled
// field's, neither edit mode nor a run recognises anything or changes the document.
TEST_F(MainWindowOcrTest, AFilledFieldIsNotRecognised) {
  const QString path = dir.filePath("form.pdf");
  ASSERT_TRUE(handwritten::writePdf(
      path, {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] >> >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 360 200] /Annots [4 0 R] >>",
             "<< /Type /Annot /Subtype /Widget /FT /Tx /T (n) /V (Hello World) /F 4 /Rect [20 120 340 160] /AP << /N 5 0 R >> >>",
             handwritten::stream("BT /Helv 24 Tf 4 10 Td (Hello World) Tj ET",
                                 "/Subtype /Form /BBox [0 0 320 40] /Resources << /Font << /Helv 6 0 R >> >>"),
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}));
  window.openFile(path);
  ASSERT_TRUE(showActive(&window, {1100, 760}));
  QTest::keyClick(&window, Qt::Key_F2);
  QTest::qWait(400);
  EXPECT_TRUE(window.editMode && !ocrDialog() && !window.currentDocument->isModified()) << "recognition started";
  runDocumentOcr();
  EXPECT_FALSE(window.currentDocument->isModified());
  EXPECT_TRUE(window.currentDocument->extractAllText(0).trimmed().isEmpty());
}
