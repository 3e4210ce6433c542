// Tests need an application object: fonts, images and PDF writing go through Qt Gui.
#include <gtest/gtest.h>

#include <QGuiApplication>
#ifdef ULVO_TEST_WIDGETS
#include <QApplication>
#endif

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  ::testing::InitGoogleTest(&argc, argv);
#ifdef ULVO_TEST_WIDGETS
  QApplication app(argc, argv);
#else
  QGuiApplication app(argc, argv);
#endif
  return RUN_ALL_TESTS();
}
