// The road from the scan dialog to the file: pages scanned through SANE's
// test device or the demonstration scanner are appended to the open document
// and saved at once, checked with pdfinfo, pdfimages and qpdf.
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "scan/SaneTestDevice.h"
#include "scan/ScanBackend.h"
#include "scan/ScanTab.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

class ScanWindow : public apptest::TestWindow {
 public:
  using TestWindow::TestWindow;
  using MainWindow::pageSpin;
  using MainWindow::scanDialog;
  using MainWindow::scanTab;
};

// A flatbed that returns a page of text lines turned by 4 degrees at 150 dpi.
class SkewedPageScanner : public ScanBackend {
 public:
  bool init() override { return true; }
  void cleanup() override {}
  QList<ScanDevice> enumerateDevices() override {
    return {ScanDevice{QStringLiteral("skewed:0"), QStringLiteral("Test"), QStringLiteral("Skewed"), QString()}};
  }
  bool openDevice(const QString&) override { return true; }
  void closeDevice() override {}
  QList<int> supportedResolutions() override { return {150}; }
  QImage doPreview(const ScanParams& params) override { return doScan(params); }
  QImage doScan(const ScanParams&) override {
    QImage image(600, 900, QImage::Format_RGB888);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(300, 450);
    painter.rotate(4);
    painter.translate(-300, -450);
    for (int y = 80; y < 820; y += 30) painter.fillRect(QRect(80, y, 440, 10), Qt::black);
    painter.end();
    image.setDotsPerMeterX(5906);  // 150 dpi
    image.setDotsPerMeterY(5906);
    return image;
  }
  QString lastError() const override { return QString(); }
  bool isDeviceOpen() const override { return true; }
};


QList<QSizeF> pageSizes(const QString& pdf) { return testsupport::pdfPageSizes(pdf); }

class MainWindowScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    apptest::useCleanSettings();
    scantest::useSaneTestDevice();
    ASSERT_TRUE(dir.isValid());
    path = dir.filePath(QStringLiteral("letter.pdf"));
    ASSERT_TRUE(testsupport::writePdf(path, {testsupport::PageSpec{QStringLiteral("First page"), false, {612, 792}}}));
    window = std::make_unique<ScanWindow>();
    window->resize(1300, 900);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override {
    window.reset();
    setSaneBackendMaker(nullptr);
  }

  // The grid of the test device is for measuring, not for straightening.
  static void switchesOff() {
    QSettings settings;
    for (const char* key : {"geom_corr", "persp_corr", "skew", "structural", "noise_remove", "auto_bright",
                            "auto_contrast", "white_balance", "denoise", "sharpen", "text_enhance"})
      settings.setValue(QStringLiteral("scan/") + QLatin1String(key), false);
  }

  QString status() const { return window->statusLabel->text(); }

  // Picks `text` in the dialog's list that offers it, as a user would.
  void choose(const QString& text) {
    bool found = false;
    for (QComboBox* combo : window->scanTab->findChildren<QComboBox*>(QStringLiteral("ScanCombo")))
      if (combo->findText(text) >= 0) {
        combo->setCurrentIndex(combo->findText(text));
        found = true;
      }
    EXPECT_TRUE(found) << qPrintable(text);
  }
  // The control of type T under `parent` that shows `text`, as a user finds it.
  template <typename T>
  static T* withText(QWidget* parent, const QString& text) {
    for (T* candidate : parent->findChildren<T*>())
      if (candidate->text() == text) return candidate;
    return nullptr;
  }
  static QByteArray bytesOf(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
  }
  void slowDevice() { ASSERT_TRUE(scantest::makeDeviceSlow(window->scanTab->scanBackend())); }

  void scanOnce(const QString& expectedStatus) {
    ASSERT_TRUE(window->scanTab);
    auto* button = window->scanTab->findChild<QPushButton*>(QStringLiteral("ScanScanButton"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this, expectedStatus] { return status() == expectedStatus; }, 60000))
        << qPrintable(status());
  }

  // Two scanned pages after the document's own: A4 within 1 %, images at 300 ppi.
  void expectTwoScannedA4Pages(const QString& file) {
    const QList<QSizeF> sizes = pageSizes(file);
    ASSERT_EQ(sizes.size(), 3);
    EXPECT_EQ(sizes[0], QSizeF(612, 792));
    for (int page : {1, 2}) {
      EXPECT_NEAR(sizes[page].width(), 595.28, 5.95) << page;
      EXPECT_NEAR(sizes[page].height(), 841.89, 8.42) << page;
    }
    int scannedImages = 0;
    for (const testsupport::PdfImageInfo& image : testsupport::listPdfImages(file)) {
      if (image.page < 2) continue;
      ++scannedImages;
      EXPECT_NEAR(image.xPpi, 300, 3) << image.page;
      EXPECT_NEAR(image.yPpi, 300, 3) << image.page;
    }
    EXPECT_EQ(scannedImages, 2);
    QByteArray check;
    EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), file}, &check), 0) << check.data();
  }

  QTemporaryDir dir;
  QString path;
  std::unique_ptr<ScanWindow> window;
};

TEST_F(MainWindowScanTest, TwoSanePagesAreAppendedToTheOpenDocumentAndSaved) {
  switchesOff();
  window->openFile(path);
  window->showScanDialog();
  QPointer<QDialog> first = window->scanDialog;
  window->showScanDialog();
  ASSERT_TRUE(first);
  EXPECT_EQ(window->scanDialog, first.data());
  EXPECT_EQ(window->findChildren<QDialog*>().size(), 1);
  EXPECT_EQ(first->windowTitle(), QStringLiteral("Сканирование"));

  scanOnce(QStringLiteral("Страница 2 добавлена из сканера"));
  scanOnce(QStringLiteral("Страница 3 добавлена из сканера"));
  EXPECT_EQ(window->currentDocument->pageCount(), 3);
  EXPECT_FALSE(window->currentDocument->isModified());
  expectTwoScannedA4Pages(path);
}

TEST_F(MainWindowScanTest, TheDemonstrationScannerTakesTheSameRoad) {
  setSaneBackendMaker([] { return std::make_unique<scantest::SaneThatCannotStart>(); });
  window->openFile(path);
  window->showScanDialog();
  ASSERT_TRUE(window->scanTab);
  EXPECT_EQ(window->scanTab->findChild<QLabel*>(QStringLiteral("ScanStatusLabel"))->text(),
            QStringLiteral("Устройство: Demo Virtual Scanner"));
  scanOnce(QStringLiteral("Страница 2 добавлена из сканера"));
  scanOnce(QStringLiteral("Страница 3 добавлена из сканера"));
  expectTwoScannedA4Pages(path);
}

TEST_F(MainWindowScanTest, WithoutADocumentTheFirstScanBecomesAnUntitledOne) {
  setSaneBackendMaker([] { return std::make_unique<scantest::SaneThatCannotStart>(); });
  window->showScanDialog();
  scanOnce(QStringLiteral("Создан PDF из отсканированной страницы"));
  // Like an import with nothing open: no file yet, so saving asks for one.
  EXPECT_TRUE(window->currentDocument->isOpen());
  EXPECT_TRUE(window->currentDocument->filePath().isEmpty());
  EXPECT_TRUE(window->currentDocument->isModified());
  scanOnce(QStringLiteral("Страница 2 добавлена из сканера"));
  EXPECT_EQ(window->currentDocument->pageCount(), 2);
  EXPECT_TRUE(window->currentDocument->filePath().isEmpty());
  EXPECT_EQ(window->view->currentPageIndex(), 1);
}

TEST_F(MainWindowScanTest, AFailedSaveIsReportedAsAFailure) {
  setSaneBackendMaker([] { return std::make_unique<scantest::SaneThatCannotStart>(); });
  window->openFile(path);
  window->showScanDialog();
  // A folder where the file was: no save can replace it, not even as root.
  ASSERT_TRUE(QFile::remove(path));
  ASSERT_TRUE(QDir().mkdir(path));
  const auto message = apptest::answerNextDialog(QString(), QStringLiteral("Ошибка"));
  scanOnce(QStringLiteral("Страница 2 добавлена, но файл не сохранён"));
  EXPECT_TRUE(QTest::qWaitFor([message] { return message->shown; }, 5000));
  message->stopWaiting = true;
  EXPECT_EQ(window->currentDocument->pageCount(), 2);
  EXPECT_TRUE(window->currentDocument->isModified());
}

TEST_F(MainWindowScanTest, ClosingTheDialogDuringAScanLeavesTheDocumentAlone) {
  window->openFile(path);
  window->showScanDialog();
  const QByteArray before = bytesOf(path);
  slowDevice();
  QTest::mouseClick(window->scanTab->findChild<QPushButton*>(QStringLiteral("ScanScanButton")), Qt::LeftButton);
  ASSERT_TRUE(window->scanTab->isBusy());
  QTest::qWait(200);
  QPushButton* close = withText<QPushButton>(window->scanDialog, QStringLiteral("Закрыть"));
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !window->scanDialog; }, 5000));
  EXPECT_EQ(window->scanTab, nullptr);
  QTest::qWait(100);
  EXPECT_EQ(window->currentDocument->pageCount(), 1);
  EXPECT_EQ(bytesOf(path), before);
  // The next call builds a fresh dialog.
  window->showScanDialog();
  EXPECT_TRUE(window->scanDialog);
}

TEST_F(MainWindowScanTest, PaperAndModeOfTheDialogAreWhatTheFileHolds) {
  switchesOff();
  window->openFile(path);
  window->showScanDialog();
  choose(QStringLiteral("A6"));
  choose(QStringLiteral("150 dpi"));
  choose(QStringLiteral("Цветной"));
  scanOnce(QStringLiteral("Страница 2 добавлена из сканера"));
  // A3 is larger than the test device's 300 x 300 mm glass: the glass it is.
  choose(QStringLiteral("A3"));
  choose(QStringLiteral("75 dpi"));
  choose(QStringLiteral("Полутон"));
  scanOnce(QStringLiteral("Страница 3 добавлена из сканера"));
  // The view and the page box show the new page at once.
  EXPECT_EQ(window->view->currentPageIndex(), 2);
  EXPECT_EQ(window->pageSpin->value(), 3);
  choose(QStringLiteral("A6"));
  choose(QStringLiteral("Ч/Б"));
  scanOnce(QStringLiteral("Страница 4 добавлена из сканера"));

  const QList<QSizeF> sizes = pageSizes(path);
  ASSERT_EQ(sizes.size(), 4);
  EXPECT_NEAR(sizes[1].width(), 298, 2.98);
  EXPECT_NEAR(sizes[1].height(), 420, 4.2);
  EXPECT_NEAR(sizes[2].width(), 297 / 25.4 * 72, 8.42);
  EXPECT_NEAR(sizes[2].height(), 300 / 25.4 * 72, 8.5);
  EXPECT_NEAR(sizes[3].width(), 298, 2.98);
  QMap<int, QPair<QString, int>> kinds;
  for (const testsupport::PdfImageInfo& image : testsupport::listPdfImages(path))
    if (image.page > 1) kinds[image.page] = {image.color, image.bitsPerComponent};
  EXPECT_EQ(kinds.value(2), qMakePair(QStringLiteral("rgb"), 8));
  EXPECT_EQ(kinds.value(3), qMakePair(QStringLiteral("gray"), 8));
  EXPECT_EQ(kinds.value(4), qMakePair(QStringLiteral("gray"), 1));
  QByteArray check;
  EXPECT_EQ(testsupport::runTool(QStringLiteral("qpdf"), {QStringLiteral("--check"), path}, &check), 0) << check.data();
}

TEST_F(MainWindowScanTest, TheFeederScansPagesUntilItIsEmpty) {
  switchesOff();
  window->openFile(path);
  window->showScanDialog();
  QCheckBox* feeder = withText<QCheckBox>(window->scanTab, QStringLiteral("АПД"));
  QCheckBox* duplex = withText<QCheckBox>(window->scanTab, QStringLiteral("Дуплекс"));
  ASSERT_TRUE(feeder && duplex);
  // The test device has a feeder but no duplex source.
  EXPECT_TRUE(feeder->isEnabled());
  EXPECT_FALSE(duplex->isEnabled());
  EXPECT_FALSE(duplex->toolTip().isEmpty());
  QTest::mouseClick(feeder, Qt::LeftButton);
  choose(QStringLiteral("A6"));
  choose(QStringLiteral("75 dpi"));
  QTest::mouseClick(window->scanTab->findChild<QPushButton*>(QStringLiteral("ScanScanButton")), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !window->scanTab->isBusy(); }, 60000));
  const int pages = window->currentDocument->pageCount();
  EXPECT_GE(pages, 3) << qPrintable(status());
  EXPECT_EQ(status(), QStringLiteral("Страница %1 добавлена из сканера").arg(pages));
  EXPECT_EQ(pageSizes(path).size(), pages);
}

TEST_F(MainWindowScanTest, CancellingAScanAddsNothingAndWritesNothing) {
  window->openFile(path);
  window->showScanDialog();
  const QByteArray before = bytesOf(path);
  slowDevice();
  QPushButton* cancel = withText<QPushButton>(window->scanTab, QStringLiteral("Отмена"));
  ASSERT_NE(cancel, nullptr);
  EXPECT_FALSE(cancel->isVisible());
  QTest::mouseClick(window->scanTab->findChild<QPushButton*>(QStringLiteral("ScanScanButton")), Qt::LeftButton);
  ASSERT_TRUE(window->scanTab->isBusy());
  EXPECT_TRUE(cancel->isVisible());
  QTest::qWait(200);
  QTest::mouseClick(cancel, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !window->scanTab->isBusy(); }, 5000));
  EXPECT_EQ(window->scanTab->findChild<QLabel*>(QStringLiteral("ScanStatusLabel"))->text(),
            QStringLiteral("Сканирование отменено"));
  EXPECT_FALSE(cancel->isVisible());
  EXPECT_EQ(window->currentDocument->pageCount(), 1);
  EXPECT_EQ(bytesOf(path), before);
}

TEST_F(MainWindowScanTest, ADeskewedScanIsInsertedAtItsPhysicalSize) {
  setSaneBackendMaker([] { return std::make_unique<SkewedPageScanner>(); });
  switchesOff();
  QSettings().setValue(QStringLiteral("scan/skew"), true);
  window->openFile(path);
  window->showScanDialog();
  scanOnce(QStringLiteral("Страница 2 добавлена из сканера"));
  const QList<QSizeF> sizes = pageSizes(path);
  ASSERT_EQ(sizes.size(), 2);
  int checked = 0;
  for (const testsupport::PdfImageInfo& image : testsupport::listPdfImages(path)) {
    if (image.page != 2) continue;
    ++checked;
    // Turned straight, the page grew beyond its 600 pixels.
    EXPECT_GT(image.size.width(), 600);
    EXPECT_NEAR(image.xPpi, 150, 2);
    // The page is the image at the scan's 150 dpi, not at a default.
    EXPECT_NEAR(sizes[1].width(), image.size.width() * 72.0 / 150, 1.5);
    EXPECT_NEAR(sizes[1].height(), image.size.height() * 72.0 / 150, 1.5);
  }
  EXPECT_EQ(checked, 1);
}

}  // namespace
