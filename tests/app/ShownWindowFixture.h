#pragma once
// A shown editor window with clean settings and a temporary folder, for the
// tests that drive the window's file dialogs.

#include "RibbonTestWindow.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace apptest {

class ShownWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useCleanSettings();
    ASSERT_TRUE(dir.isValid());
    window = std::make_unique<RibbonWindow>();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  void TearDown() override { window.reset(); }

  // The push button of a dialog with this text, or null.
  static QPushButton* buttonIn(QWidget* dialog, const QString& text) {
    for (QPushButton* candidate : dialog->findChildren<QPushButton*>())
      if (candidate->text() == text) return candidate;
    return nullptr;
  }

  QTemporaryDir dir;
  std::unique_ptr<RibbonWindow> window;
};

}  // namespace apptest
