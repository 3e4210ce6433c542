// The SANE backend against SANE's own test device: sizes and resolutions of
// grey, colour and line-art scans, 1- and 16-bit and three-pass frames
// compared with scanimage, and read errors reported as errors.
#include "SaneTestDevice.h"
#include "scan/SaneBackend.h"
#include "scan/SaneOptions.h"
#include "scan/ScanBackend.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <set>
#include <thread>
#include <vector>

namespace {

class SaneBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scantest::useSaneTestDevice();
    ASSERT_TRUE(backend.init()) << qPrintable(backend.lastError());
    ASSERT_TRUE(backend.openDevice(QStringLiteral("test:0"))) << qPrintable(backend.lastError());
  }

  // A small scan area keeps the 300 dpi colour scans quick.
  void useArea(double widthMm, double heightMm) {
    ASSERT_TRUE(scantest::setDeviceNumber(&backend, "br-x", widthMm));
    ASSERT_TRUE(scantest::setDeviceNumber(&backend, "br-y", heightMm));
  }

  QImage scan(int dpi, int colorMode) {
    ScanParams params;
    params.dpi = dpi;
    params.colorMode = colorMode;
    // A custom paper keeps the area the test set on the device.
    params.pageSize = QStringLiteral("Произвольный");
    return backend.doScan(params);
  }

  SaneBackend backend;
};

TEST_F(SaneBackendTest, ListsTheTestDevicesAndTheFixedResolutionsOfARangeOption) {
  const QList<ScanDevice> devices = backend.enumerateDevices();
  ASSERT_EQ(devices.size(), 2);
  EXPECT_EQ(devices[0].name, QStringLiteral("test:0"));
  EXPECT_EQ(devices[0].vendor, QStringLiteral("Noname"));
  // The test device's resolution is a fixed-point range, not a word list.
  EXPECT_EQ(backend.supportedResolutions(), (QList<int>{75, 100, 150, 200, 300, 400, 600, 1200}));
}

TEST_F(SaneBackendTest, ScansHaveTheAreaAtTheirResolutionAndCarryIt) {
  useArea(40, 50);
  const char* modes[] = {"colour", "grey", "line art"};
  for (int dpi : {75, 150, 300}) {
    for (int mode = 0; mode < 3; ++mode) {
      SCOPED_TRACE(testing::Message() << dpi << " dpi, " << modes[mode]);
      const QImage image = scan(dpi, mode);
      ASSERT_FALSE(image.isNull()) << qPrintable(backend.lastError());
      EXPECT_NEAR(image.width(), 40 / 25.4 * dpi, 1.0);
      EXPECT_NEAR(image.height(), 50 / 25.4 * dpi, 1.0);
      EXPECT_NEAR(image.dotsPerMeterX() * 0.0254, dpi, 0.5);
      EXPECT_NEAR(image.dotsPerMeterY() * 0.0254, dpi, 0.5);
      EXPECT_EQ(image.format(), mode == 0 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
      // The grid is black and white in every mode; line art has nothing else.
      std::set<int> levels;
      const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
      for (int y = 0; y < grey.height(); y += 3)
        for (int x = 0; x < grey.width(); x += 3) levels.insert(grey.constScanLine(y)[x]);
      EXPECT_TRUE(levels.count(0) && levels.count(255));
      if (mode == 2) {
        EXPECT_EQ(levels.size(), 2u);
      }
    }
  }
}

TEST_F(SaneBackendTest, DeepAndShallowFramesMatchScanimage) {
  useArea(40, 50);
  struct Case {
    const char* name;
    QString mode;
    int depth;
    QString picture;
    bool threePass;
  };
  const Case cases[] = {
      {"1-bit grey grid", QStringLiteral("Gray"), 1, QStringLiteral("Grid"), false},
      {"16-bit grey grid", QStringLiteral("Gray"), 16, QStringLiteral("Grid"), false},
      {"16-bit colour pattern", QStringLiteral("Color"), 16, QStringLiteral("Color pattern"), false},
      {"8-bit colour pattern in three passes", QStringLiteral("Color"), 8, QStringLiteral("Color pattern"), true},
      {"16-bit colour pattern in three passes", QStringLiteral("Color"), 16, QStringLiteral("Color pattern"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(scantest::setDeviceString(&backend, "mode", c.mode));
    ASSERT_TRUE(scantest::setDeviceNumber(&backend, "depth", c.depth));
    ASSERT_TRUE(scantest::setDeviceString(&backend, "test-picture", c.picture));
    if (c.mode == QLatin1String("Color")) {
      ASSERT_TRUE(scantest::setDeviceNumber(&backend, "three-pass", c.threePass));
    }
    // Grey and colour keep the 16-bit depth; line art asks for 1 bit itself.
    const QImage image = scan(75, c.mode == QLatin1String("Color") ? 0 : c.depth == 1 ? 2 : 1);
    ASSERT_FALSE(image.isNull()) << qPrintable(backend.lastError());
    const QImage reference = scantest::scanimageReference(
        {QStringLiteral("--mode"), c.mode, QStringLiteral("--depth"), QString::number(c.depth),
         QStringLiteral("--test-picture"), c.picture, QStringLiteral("--resolution"), QStringLiteral("75"),
         QStringLiteral("-x"), QStringLiteral("40"), QStringLiteral("-y"), QStringLiteral("50")});
    ASSERT_FALSE(reference.isNull());
    ASSERT_EQ(image.size(), reference.size());
    EXPECT_EQ(image.convertToFormat(reference.format()), reference);
    if (c.depth == 1) {
      // The grid starts with a white 10 mm square; the next one is black.
      EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::white));
      EXPECT_EQ(image.pixelColor(45, 5), QColor(Qt::black));
    }
  }
}

TEST_F(SaneBackendTest, ReadStatusCodesFailTheScan) {
  useArea(20, 20);
  const std::pair<const char*, SANE_Status> codes[] = {{"SANE_STATUS_JAMMED", SANE_STATUS_JAMMED},
                                                       {"SANE_STATUS_COVER_OPEN", SANE_STATUS_COVER_OPEN},
                                                       {"SANE_STATUS_NO_DOCS", SANE_STATUS_NO_DOCS},
                                                       {"SANE_STATUS_IO_ERROR", SANE_STATUS_IO_ERROR}};
  for (const auto& [code, status] : codes) {
    SCOPED_TRACE(code);
    ASSERT_TRUE(scantest::setDeviceString(&backend, "read-return-value", QString::fromLatin1(code)));
    EXPECT_TRUE(scan(150, 1).isNull());
    EXPECT_EQ(backend.lastError(), QStringLiteral("sane_read: ") + QString::fromUtf8(sane_strstatus(status)));
  }
  ASSERT_TRUE(scantest::setDeviceString(&backend, "read-return-value", QStringLiteral("Default")));
  EXPECT_FALSE(scan(150, 1).isNull());
}

TEST_F(SaneBackendTest, CancellingAsTheDeviceStartsNeverHangs) {
  // The device's reader thread allocates memory as it starts, and a jammed
  // read is cancelled at once. Cancelled inside the allocator, that thread
  // once took a lock to its end and sane_cancel waited for it for ever; other
  // threads allocating and the process forking make that moment likely.
  useArea(20, 20);
  ASSERT_TRUE(scantest::setDeviceString(&backend, "read-return-value", QStringLiteral("SANE_STATUS_JAMMED")));
  std::atomic<bool> stop{false};
  std::atomic<int> touched{0};
  std::thread allocating([&stop, &touched] {
    unsigned seed = 7;
    while (!stop) {
      seed = seed * 1103515245u + 12345u;
      std::vector<char> block(1000 + seed % 100000, char(seed));
      touched += block.back();
    }
  });
  std::thread forking([&stop] {
    while (!stop) {
      const pid_t child = fork();
      if (child == 0) _exit(0);
      if (child > 0) waitpid(child, nullptr, 0);
    }
  });
  std::promise<void> done;
  std::future<void> finished = done.get_future();
  std::thread scanning([&] {
    for (int i = 0; i < 600; ++i) scan(150, 1);
    done.set_value();
  });
  if (finished.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    // The other threads may wait on the same lock: none can be joined.
    std::fputs("FAILED: sane_cancel did not return within 60 s\n", stderr);
    std::_Exit(1);
  }
  stop = true;
  allocating.join();
  forking.join();
  scanning.join();
  EXPECT_TRUE(backend.lastError().startsWith(QStringLiteral("sane_read: ")));
}

// Devices the test backend cannot stand in for: feeders with front, back and
// duplex sources, and scan areas measured in pixels.
TEST(SaneDeviceChoices, SimplexFeedsTheFrontAndPixelAreasFollowTheResolution) {
  const QStringList sheetFed{QStringLiteral("ADF Back"), QStringLiteral("ADF Duplex"), QStringLiteral("ADF Front")};
  EXPECT_EQ(pickSaneSource(sheetFed, true, false), QStringLiteral("ADF Front"));
  EXPECT_EQ(pickSaneSource(sheetFed, true, true), QStringLiteral("ADF Duplex"));
  EXPECT_EQ(pickSaneSource(sheetFed, false, false), QString());
  const QStringList office{QStringLiteral("Flatbed"), QStringLiteral("Automatic Document Feeder")};
  EXPECT_EQ(pickSaneSource(office, true, false), QStringLiteral("Automatic Document Feeder"));
  EXPECT_EQ(pickSaneSource(office, false, false), QStringLiteral("Flatbed"));
  EXPECT_EQ(pickSaneSource(office, true, true), QString());

  ScanParams a4;
  a4.pageSize = QStringLiteral("A4");
  const std::optional<QSizeF> paper = scanPaperMillimetres(a4);
  ASSERT_TRUE(paper);
  EXPECT_NEAR(saneAreaExtent(paper->width(), SANE_UNIT_PIXEL, 300), 2480, 1);
  EXPECT_NEAR(saneAreaExtent(paper->height(), SANE_UNIT_PIXEL, 300), 3508, 1);
  EXPECT_DOUBLE_EQ(saneAreaExtent(paper->width(), SANE_UNIT_MM, 300), 210);
}

TEST_F(SaneBackendTest, WithoutAnOpenDeviceNothingIsScanned) {
  backend.closeDevice();
  EXPECT_TRUE(scan(300, 0).isNull());
  EXPECT_EQ(backend.lastError(), QStringLiteral("No device open"));
  EXPECT_FALSE(backend.openDevice(QStringLiteral("test:9")));
  EXPECT_TRUE(backend.lastError().startsWith(QStringLiteral("sane_open: ")));
}

}  // namespace
