// Density levels and their sizes, the remembered ribbon tab, the empty-view
// text after a language change, the about dialog of each edition and the
// busy ring's painted arc.
#include "AppTestSupport.h"
#include "BusyRing.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>

#include "view/PdfView.h"

using namespace apptest;
using testsupport::hasTool;
using testsupport::runTool;

namespace {

class DensityWindow : public TestWindow {
 public:
  using MainWindow::fontFamilyCombo;
  using MainWindow::fontSizeSpin;
};

QToolButton* firstButton(QWidget* root, const char* objectName, bool textUnderIcon) {
  for (QToolButton* button : root->findChildren<QToolButton*>(objectName))
    if ((button->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) == textUnderIcon) return button;
  return nullptr;
}

}  // namespace

TEST(StoredSettings, DensityIsClampedStoredAndSizesTheRibbon) {
  useCleanSettings();
  DensityWindow window;
  QToolButton* ribbonButton = window.ribbon->findChild<QToolButton*>("RibbonToolButton");
  QToolButton* smallIcon = firstButton(window.ribbon, "IconOnlyButton", false);
  QToolButton* floating = window.floatingBar->findChild<QToolButton*>();
  ASSERT_NE(ribbonButton, nullptr);
  ASSERT_NE(floating, nullptr);
  const QSize floatingSize = floating->size();
  struct Case {
    int level, stored, ribbon, icon, minHeight, maxWidth, small, combo, spin;
  };
  for (const Case& c : {Case{5, 2, 158, 36, 68, 168, 36, 184, 86}, Case{-1, 0, 132, 28, 58, 156, 28, 156, 72},
                        Case{1, 1, 144, 32, 62, 160, 32, 168, 78}}) {
    SCOPED_TRACE(c.level);
    window.applyUiDensity(c.level);
    EXPECT_EQ(QSettings().value("ui/density").toInt(), c.stored);
    EXPECT_EQ(window.ribbon->minimumHeight(), c.ribbon);
    EXPECT_EQ(window.ribbon->maximumHeight(), c.ribbon);
    EXPECT_EQ(ribbonButton->iconSize(), QSize(c.icon, c.icon));
    EXPECT_EQ(ribbonButton->minimumHeight(), c.minHeight);
    EXPECT_EQ(ribbonButton->maximumWidth(), c.maxWidth);
    if (smallIcon) {
      EXPECT_EQ(smallIcon->maximumSize(), QSize(c.small, c.small));
    }
    if (window.fontFamilyCombo) {
      EXPECT_EQ(window.fontFamilyCombo->maximumWidth(), c.combo);
    }
    if (window.fontSizeSpin) {
      EXPECT_EQ(window.fontSizeSpin->maximumWidth(), c.spin);
    }
    QTest::qWait(1);
    EXPECT_EQ(floating->size(), floatingSize);
  }
}

TEST(StoredSettings, RememberedTabOutsideTheRangeIsIgnored) {
  useCleanSettings();
  TestWindow window;
  QSettings s;
  s.setValue("ui/rememberTab", true);
  window.ribbon->setCurrentIndex(1);
  for (int stored : {7, -1}) {
    s.setValue("ui/lastRibbonTab", stored);
    window.applyStoredSettings();
    EXPECT_EQ(window.ribbon->currentIndex(), 1) << stored;
  }
  s.setValue("ui/lastRibbonTab", 3);
  window.applyStoredSettings();
  EXPECT_EQ(window.ribbon->currentIndex(), 3);
  s.setValue("ui/rememberTab", false);
  s.setValue("ui/lastRibbonTab", 0);
  window.applyStoredSettings();
  EXPECT_EQ(window.ribbon->currentIndex(), 3);
}

TEST(StoredSettings, EmptyViewTextFollowsTheLanguage) {
  if (!hasTool("tesseract")) GTEST_SKIP() << "tesseract is not installed";
  useCleanSettings();
  TestWindow window;
  window.resize(900, 700);
  window.show();
  QTemporaryDir dir;
  // What the empty view paints, read back by the recogniser.
  const auto shownText = [&] {
    QTest::qWait(5);
    const QString image = qEnvironmentVariableIsSet("ULVO_KEEP_REGIONS") ? "/tmp/view.png" : dir.filePath("view.png");
    const QImage shown = window.view->viewport()->grab().toImage();
    const QRect band(shown.width() / 2 - 250, shown.height() / 2 - 30, 500, 60);
    shown.copy(band).convertToFormat(QImage::Format_Grayscale8).scaled(band.size() * 3, Qt::IgnoreAspectRatio,
                                                                         Qt::SmoothTransformation).save(image);
    QByteArray text;
    EXPECT_EQ(runTool("tesseract", {image, "stdout", "-l", "eng+rus"}, &text), 0);
    return QString::fromUtf8(text).simplified();
  };
  QSettings().setValue("ui/language", "en");
  window.applyStoredSettings();
  EXPECT_EQ(qApp->property("uiLanguage").toString(), "en");
  const QString english = shownText();
  EXPECT_TRUE(english.contains("Open a PDF file")) << english.toStdString();
  QSettings().setValue("ui/language", "ru");
  window.applyStoredSettings();
  const QString russian = shownText();
  EXPECT_TRUE(russian.contains("Откройте PDF файл")) << russian.toStdString();
}

TEST(StoredSettings, AboutDialogNamesTheEdition) {
  useCleanSettings();
  QCoreApplication::setApplicationVersion("1.0.6");
  for (const auto& [product, name] : {std::pair{AppProduct::Viewer, "УЛВО PDF Просмотр"}, std::pair{AppProduct::Ecp, "УЛВО ЭЦП"},
                                      std::pair{AppProduct::Editor, "УЛВО PDF Редактор"}}) {
    TestWindow window(product);
    window.showAboutDialog();
    QDialog* about = window.findChild<QDialog*>();
    ASSERT_NE(about, nullptr);
    QTest::qWait(5);
    EXPECT_EQ(about->windowTitle(), "О программе");
    EXPECT_EQ(about->findChild<QLabel*>("DialogTitle")->text(), QString::fromUtf8(name));
    EXPECT_TRUE(about->findChild<QLabel*>("DialogSubtitle")->text().startsWith("UlvoPDF Suite · версия 1.0.6 · "));
    const QString body = about->findChild<QTextBrowser*>("AboutText")->toPlainText();
    EXPECT_TRUE(body.contains(QString::fromUtf8(name))) << body.toStdString();
    EXPECT_TRUE(body.contains("Tesseract OCR и tessdata - распознавание текста."));
    // The icon survives the translation pass over its label.
    bool hasIcon = false;
    for (QLabel* label : about->findChildren<QLabel*>()) hasIcon = hasIcon || !label->pixmap().isNull();
    EXPECT_TRUE(hasIcon);
  }
  QCoreApplication::setApplicationVersion(QString());
}

TEST(BusyRingPaint, ArcStartsAtItsAngleAndTracksTheRest) {
  BusyRing ring;
  EXPECT_EQ(ring.size(), QSize(54, 54));
  QImage image(ring.size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  ring.render(&image, {}, {}, QWidget::DrawChildren);
  // Ring of radius 20 around the centre: the arc covers 0..115 degrees
  // counter-clockwise from three o'clock, the faint track the rest.
  const auto at = [&](double degrees) {
    const double r = qDegreesToRadians(degrees);
    return QColor(image.pixel(qRound(27 + 20 * std::cos(r)), qRound(27 - 20 * std::sin(r))));
  };
  for (double inArc : {20.0, 60.0, 100.0}) {
    EXPECT_LT(at(inArc).red(), 80) << inArc;
    EXPECT_GT(at(inArc).blue(), 200) << inArc;
  }
  for (double onTrack : {180.0, 250.0, 320.0}) {
    EXPECT_GT(at(onTrack).red(), 200) << onTrack;
    EXPECT_LT(at(onTrack).red(), 250) << onTrack;
  }
  EXPECT_EQ(QColor(image.pixel(27, 27)), QColor(Qt::white));
}
