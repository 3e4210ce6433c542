// The scan tab driven by clicks: devices of SANE's test backend, scans that
// reach pageScanned and previews that do not, read errors on the status line,
// the demonstration backend when SANE cannot start, and closing the dialog
// while a slow scan runs.
#include "SaneTestDevice.h"
#include "scan/ScanBackend.h"
#include "scan/ScanTab.h"

#include <sane/sane.h>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <memory>

namespace {

// A scanner whose scan call does not return until the test lets it, whatever
// cancel it is told.
class StuckScanner : public scantest::SaneThatCannotStart {
 public:
  static inline std::atomic<bool> release{false};
  static inline std::atomic<int> destroyed{0};
  ~StuckScanner() override { ++destroyed; }
  bool init() override { return true; }
  QList<ScanDevice> enumerateDevices() override { return {ScanDevice{QStringLiteral("stuck:0"), {}, QStringLiteral("Stuck"), {}}}; }
  bool openDevice(const QString&) override { return true; }
  bool isDeviceOpen() const override { return true; }
  QImage doScan(const ScanParams&) override {
    while (!release) QThread::msleep(10);
    return QImage();
  }
};

// A feeder whose first sheet comes at once and whose second waits for the
// test: the first page is on its way to the tab while the second is read.
class HeldFeeder : public scantest::SaneThatCannotStart {
 public:
  static inline std::atomic<bool> secondStarted{false};
  static inline std::atomic<bool> release{false};
  bool init() override { return true; }
  QList<ScanDevice> enumerateDevices() override { return {ScanDevice{QStringLiteral("feeder:0"), {}, QStringLiteral("Feeder"), {}}}; }
  bool openDevice(const QString&) override { return true; }
  bool isDeviceOpen() const override { return true; }
  bool offersFeeder() const override { return true; }
  bool feederEmpty() const override { return sheets > 1; }
  QImage doScan(const ScanParams&) override {
    if (++sheets == 1) {
      QImage page(200, 300, QImage::Format_RGB888);
      page.fill(Qt::white);
      return page;
    }
    secondStarted = true;
    while (!release) QThread::msleep(5);
    return QImage();
  }
  std::atomic<int> sheets{0};
};

// Shows a scan tab in `dialog`, which deletes itself when closed.
ScanTab* showInDialog(QDialog* dialog) {
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  auto* tab = new ScanTab(dialog);
  (new QVBoxLayout(dialog))->addWidget(tab);
  dialog->show();
  return tab;
}

// Closes the dialog, sees it deleted and returns how long that took in milliseconds.
qint64 closeAndDelete(QDialog* dialog) {
  QPointer<QDialog> alive(dialog);
  QElapsedTimer clock;
  clock.start();
  dialog->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive.isNull());
  return clock.elapsed();
}

class ScanTabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scantest::useSaneTestDevice();
    static QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QCoreApplication::setOrganizationName(QStringLiteral("ulvo"));
    QCoreApplication::setApplicationName(QStringLiteral("ulvo-scan-tests"));
    QSettings().clear();
  }
  void TearDown() override { setSaneBackendMaker(nullptr); }

  template <typename T>
  static T* child(QWidget* tab, const char* name) {
    return tab->findChild<T*>(QString::fromLatin1(name));
  }
  static QString status(QWidget* tab) { return child<QLabel>(tab, "ScanStatusLabel")->text(); }
  static void clickAndWait(ScanTab* tab, const char* button) {
    QTest::mouseClick(child<QPushButton>(tab, button), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([tab] { return !tab->isBusy(); }, 60000));
  }
  // Picks `text` in the list that offers it, as a user would.
  static void choose(ScanTab* tab, const QString& text) {
    for (QComboBox* combo : tab->findChildren<QComboBox*>(QStringLiteral("ScanCombo")))
      if (combo->findText(text) >= 0) combo->setCurrentIndex(combo->findText(text));
  }
  // The grid of the test picture is for measuring, not for straightening.
  static void switchesOff(ScanTab* tab) {
    for (QCheckBox* box : tab->findChildren<QCheckBox*>(QStringLiteral("ScanCheckBox"))) box->setChecked(false);
  }
  // A custom paper keeps the area set on the device.
  static void smallArea(ScanTab* tab) {
    switchesOff(tab);
    choose(tab, QStringLiteral("Произвольный"));
    ASSERT_EQ(tab->currentParams().pageSize, QStringLiteral("Произвольный"));
    ASSERT_TRUE(scantest::setDeviceNumber(tab->scanBackend(), "br-x", 30));
    ASSERT_TRUE(scantest::setDeviceNumber(tab->scanBackend(), "br-y", 40));
  }
};

TEST_F(ScanTabTest, FirstStartListsTheTestDevicesWithTheStoredDefaults) {
  ScanTab tab;
  tab.show();
  auto* devices = child<QComboBox>(&tab, "ScanCombo");
  ASSERT_NE(devices, nullptr);
  EXPECT_EQ(devices->count(), 2);
  EXPECT_EQ(devices->itemText(0), QStringLiteral("Noname frontend-tester"));
  EXPECT_EQ(status(&tab), QStringLiteral("Устройство: Noname frontend-tester"));
  QStringList on;
  for (QCheckBox* box : tab.findChildren<QCheckBox*>(QStringLiteral("ScanCheckBox")))
    if (box->isChecked()) on << box->text();
  EXPECT_EQ(on, (QStringList{QStringLiteral("Обнаружение перекоса"), QStringLiteral("Удаление шума"),
                             QStringLiteral("Авто яркость"), QStringLiteral("Авто контраст"),
                             QStringLiteral("Шумоподавление"), QStringLiteral("Улучшение текста")}));
  EXPECT_EQ(tab.currentParams().dpi, 300);
  // One toggle stores the whole table.
  QTest::mouseClick(tab.findChildren<QCheckBox*>(QStringLiteral("ScanCheckBox")).first(), Qt::LeftButton);
  EXPECT_TRUE(QSettings().value(QStringLiteral("scan/geom_corr")).toBool());
  EXPECT_EQ(QSettings().value(QStringLiteral("scan/resolution")).toString(), QStringLiteral("300 dpi"));
  EXPECT_EQ(QSettings().value(QStringLiteral("scan/interface_id")).toString(), QStringLiteral("sane"));
}

TEST_F(ScanTabTest, AScanReachesPageScannedAndAPreviewDoesNot) {
  ScanTab tab;
  smallArea(&tab);
  QSignalSpy scanned(&tab, &ScanTab::pageScanned);
  clickAndWait(&tab, "ScanPreviewButton");
  EXPECT_EQ(status(&tab), QStringLiteral("Предпросмотр готов"));
  EXPECT_EQ(scanned.count(), 0);
  clickAndWait(&tab, "ScanScanButton");
  EXPECT_EQ(status(&tab), QStringLiteral("Сканирование завершено"));
  ASSERT_EQ(scanned.count(), 1);
  const QImage image = scanned.first().first().value<QImage>();
  EXPECT_NEAR(image.width(), 30 / 25.4 * 300, 1.0);
  EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, 300, 0.5);
}

TEST_F(ScanTabTest, AJammedFeederIsAnErrorAndNoPage) {
  ScanTab tab;
  smallArea(&tab);
  ASSERT_TRUE(scantest::setDeviceString(tab.scanBackend(), "read-return-value", QStringLiteral("SANE_STATUS_JAMMED")));
  QSignalSpy scanned(&tab, &ScanTab::pageScanned);
  clickAndWait(&tab, "ScanScanButton");
  EXPECT_EQ(status(&tab), QStringLiteral("Ошибка: sane_read: ") + QString::fromUtf8(sane_strstatus(SANE_STATUS_JAMMED)));
  EXPECT_EQ(scanned.count(), 0);
  EXPECT_TRUE(child<QPushButton>(&tab, "ScanScanButton")->isEnabled());
}

TEST_F(ScanTabTest, TheDemonstrationScannerStandsInWhenSaneCannotStart) {
  setSaneBackendMaker([] { return std::make_unique<scantest::SaneThatCannotStart>(); });
  ScanTab tab;
  EXPECT_EQ(child<QComboBox>(&tab, "ScanCombo")->itemText(0), QStringLiteral("Demo Virtual Scanner"));
  QSignalSpy scanned(&tab, &ScanTab::pageScanned);
  clickAndWait(&tab, "ScanScanButton");
  ASSERT_EQ(scanned.count(), 1);
  const QImage image = scanned.first().first().value<QImage>();
  // A4 at 300 dpi; the blank demonstration page is not turned by the deskew.
  EXPECT_NEAR(image.width() / (image.dotsPerMeterX() / 1000.0), 210, 2);
  EXPECT_NEAR(image.height() / (image.dotsPerMeterY() / 1000.0), 297, 2);
}

TEST_F(ScanTabTest, ClosingTheDialogDuringAScanCancelsItAndWaitsForTheWorker) {
  auto* dialog = new QDialog;
  ScanTab* tab = showInDialog(dialog);
  ASSERT_TRUE(scantest::makeDeviceSlow(tab->scanBackend()));
  QTest::mouseClick(child<QPushButton>(tab, "ScanScanButton"), Qt::LeftButton);
  ASSERT_TRUE(tab->isBusy());
  QTest::qWait(300);
  EXPECT_LT(closeAndDelete(dialog), 5000);
  // Late results of the cancelled run find no tab and do no harm.
  QTest::qWait(100);
}

TEST_F(ScanTabTest, CancelDropsAFeederPageAlreadyOnItsWay) {
  HeldFeeder::secondStarted = false;
  HeldFeeder::release = false;
  setSaneBackendMaker([] { return std::make_unique<HeldFeeder>(); });
  ScanTab tab;
  switchesOff(&tab);
  QCheckBox* feeder = nullptr;
  for (QCheckBox* box : tab.findChildren<QCheckBox*>())
    if (box->text() == QStringLiteral("АПД")) feeder = box;
  ASSERT_NE(feeder, nullptr);
  ASSERT_TRUE(feeder->isEnabled());
  feeder->setChecked(true);
  QSignalSpy scanned(&tab, &ScanTab::pageScanned);
  QTest::mouseClick(child<QPushButton>(&tab, "ScanScanButton"), Qt::LeftButton);
  // No events are let through until the cancel: the first page waits in the queue.
  while (!HeldFeeder::secondStarted) QThread::msleep(2);
  QTest::mouseClick(child<QPushButton>(&tab, "SecondaryDialogButton"), Qt::LeftButton);
  HeldFeeder::release = true;
  EXPECT_TRUE(QTest::qWaitFor([&tab] { return !tab.isBusy(); }, 10000));
  EXPECT_EQ(scanned.count(), 0);
  EXPECT_EQ(status(&tab), QStringLiteral("Сканирование отменено"));
}

TEST_F(ScanTabTest, ClosingNeverWaitsForADeviceThatDoesNotAnswer) {
  StuckScanner::release = false;
  StuckScanner::destroyed = 0;
  setSaneBackendMaker([] { return std::make_unique<StuckScanner>(); });
  auto* dialog = new QDialog;
  ScanTab* tab = showInDialog(dialog);
  QTest::mouseClick(child<QPushButton>(tab, "ScanScanButton"), Qt::LeftButton);
  ASSERT_TRUE(tab->isBusy());
  EXPECT_LT(closeAndDelete(dialog), 10000);
  // The device is let go of only when its call returns.
  EXPECT_EQ(StuckScanner::destroyed, 0);
  StuckScanner::release = true;
  EXPECT_TRUE(QTest::qWaitFor([] { return StuckScanner::destroyed == 1; }, 10000));
}

}  // namespace
