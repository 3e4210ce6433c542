// Parts of the window that must reach the user: the status strip at the
// bottom, the floating bar's pointer tools, and the optional layout model
// beside the program, which is probed and may quietly fail to load.
#include "AppTestSupport.h"
#include "TestSupport.h"
#include "core/PdfDocument.h"
#include "view/PdfView.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace apptest;

namespace {

class ProbeWindow : public TestWindow {
 public:
  using TestWindow::TestWindow;
  using MainWindow::layoutDetector;
};

QToolButton* floatingButton(QWidget* window, const QString& tip) {
  for (QToolButton* button : window->findChild<QWidget*>(QStringLiteral("FloatingBar"))->findChildren<QToolButton*>())
    if (button->toolTip().startsWith(tip)) return button;
  return nullptr;
}

}  // namespace

TEST(WindowStatusAndTools, StatusStripIsAThinVisibleLineAtTheBottom) {
  useCleanSettings();
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("two.pdf"));
  ASSERT_TRUE(testsupport::writePdf(path, {testsupport::PageSpec{QStringLiteral("One")},
                                           testsupport::PageSpec{QStringLiteral("Two")}}));
  TestWindow window;
  window.resize(1200, 800);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QWidget* strip = window.findChild<QWidget*>(QStringLiteral("StatusBar"));
  ASSERT_NE(strip, nullptr);
  EXPECT_TRUE(strip->isVisible());
  EXPECT_TRUE(window.statusLabel->isVisible());
  EXPECT_LE(strip->height(), 30);
  const QRect inWindow(strip->mapTo(&window, QPoint(0, 0)), strip->size());
  EXPECT_EQ(inWindow.bottom(), window.centralWidget()->mapTo(&window, QPoint(0, 0)).y() + window.centralWidget()->height() - 1);
  EXPECT_GE(inWindow.width(), window.width() - 2);

  // An outcome written there is what the user reads.
  window.openFile(path);
  window.onRotateCW();
  EXPECT_EQ(window.statusLabel->text(), QStringLiteral("Страница 1 повёрнута"));
  EXPECT_TRUE(window.statusLabel->isVisible());
  EXPECT_FALSE(window.statusLabel->visibleRegion().isEmpty());
}

TEST(WindowStatusAndTools, FloatingBarSelectAndHandSwitchThePointerTool) {
  useCleanSettings();
  TestWindow window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QToolButton* select = floatingButton(&window, QStringLiteral("Выбор"));
  QToolButton* hand = floatingButton(&window, QStringLiteral("Рука"));
  ASSERT_NE(select, nullptr);
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(window.view->currentEditTool(), EditTool::Select);
  QTest::mouseClick(hand, Qt::LeftButton);
  EXPECT_EQ(window.view->currentEditTool(), EditTool::Hand);
  EXPECT_TRUE(hand->isChecked());
  QTest::mouseClick(select, Qt::LeftButton);
  EXPECT_EQ(window.view->currentEditTool(), EditTool::Select);
  EXPECT_FALSE(hand->isChecked());
}

TEST(WindowStatusAndTools, LayoutModelBesideTheProgramIsProbedAndItsFailureIsQuiet) {
  useCleanSettings();
  const QString model = QCoreApplication::applicationDirPath() + QStringLiteral("/layout.onnx");
  ASSERT_FALSE(QFile::exists(model)) << "left over from another run: " << model.toStdString();
  {
    ProbeWindow window;
    EXPECT_TRUE(window.layoutDetector.probedModelPath().isEmpty());  // nothing there, nothing tried
    EXPECT_EQ(window.statusLabel->text(), QStringLiteral("Готово"));
  }
  QFile file(model);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("not a model");
  file.close();
  struct Remove {
    QString path;
    ~Remove() { QFile::remove(path); }
  } removeModel{model};
  {
    ProbeWindow window;
    EXPECT_EQ(window.layoutDetector.probedModelPath(), model);
    EXPECT_FALSE(window.layoutDetector.isLoaded());
    EXPECT_EQ(window.statusLabel->text(), QStringLiteral("Готово"));
  }
  {
    // The e-signature edition does not look for it.
    ProbeWindow window(AppProduct::Ecp);
    EXPECT_TRUE(window.layoutDetector.probedModelPath().isEmpty());
  }
}
