// The road from the scan dialog to the file: pages scanned through SANE's
// test device or the demonstration scanner are appended to the open document
// and saved at once, checked with pdfinfo, pdfimages and qpdf.
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "scan/SaneTestDevice.h"
#include "scan/ScanBackend.h"
#include "scan/ScanTab.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

class ScanWindow : public apptest::TestWindow {
 public:
  using TestWindow::TestWindow;
  using MainWindow::scanDialog;
  using MainWindow::scanTab;
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

TEST_F(MainWindowScanTest, WithoutADocumentTheFirstScanBecomesOneAndTheNextIsAppended) {
  setSaneBackendMaker([] { return std::make_unique<scantest::SaneThatCannotStart>(); });
  window->showScanDialog();
  scanOnce(QStringLiteral("Создан PDF из отсканированной страницы"));
  const QString created = window->currentDocument->filePath();
  ASSERT_FALSE(created.isEmpty());
  EXPECT_TRUE(QFileInfo(created).fileName().startsWith(QStringLiteral("ulvo_scan_")));
  EXPECT_EQ(QFile::permissions(created) & (QFile::ReadGroup | QFile::ReadOther), QFileDevice::Permissions());
  scanOnce(QStringLiteral("Страница 2 добавлена из сканера"));
  EXPECT_EQ(pageSizes(created).size(), 2);
  window.reset();
  QFile::remove(created);
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
  ScanBackend* backend = window->scanTab->scanBackend();
  ASSERT_TRUE(scantest::setDeviceNumber(backend, "read-limit", 1));
  ASSERT_TRUE(scantest::setDeviceNumber(backend, "read-limit-size", 64));
  ASSERT_TRUE(scantest::setDeviceNumber(backend, "read-delay", 1));
  ASSERT_TRUE(scantest::setDeviceNumber(backend, "read-delay-duration", 20000));
  QTest::mouseClick(window->scanTab->findChild<QPushButton*>(QStringLiteral("ScanScanButton")), Qt::LeftButton);
  ASSERT_TRUE(window->scanTab->isBusy());
  QTest::qWait(200);
  QPushButton* close = nullptr;
  for (QPushButton* button : window->scanDialog->findChildren<QPushButton*>())
    if (button->text() == QStringLiteral("Закрыть")) close = button;
  ASSERT_NE(close, nullptr);
  QTest::mouseClick(close, Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !window->scanDialog; }, 5000));
  EXPECT_EQ(window->scanTab, nullptr);
  QTest::qWait(100);
  EXPECT_EQ(window->currentDocument->pageCount(), 1);
  // The next call builds a fresh dialog.
  window->showScanDialog();
  EXPECT_TRUE(window->scanDialog);
}

}  // namespace
