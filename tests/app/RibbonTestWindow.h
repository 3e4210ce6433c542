#pragma once
// A window with the ribbon's controls open to the tests, and helpers that
// list the ribbon's groups and catch the messages a command shows.

#include "AppTestSupport.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace apptest {

class RibbonWindow : public TestWindow {
 public:
  using TestWindow::TestWindow;
  using MainWindow::alignCenterButton;
  using MainWindow::alignJustifyButton;
  using MainWindow::alignLeftButton;
  using MainWindow::alignRightButton;
  using MainWindow::boldButton;
  using MainWindow::fontFamilyCombo;
  using MainWindow::fontSizeSpin;
  using MainWindow::growFontButton;
  using MainWindow::italicButton;
  using MainWindow::pageTextPool;
  using MainWindow::pendingSelectionPage;
  using MainWindow::pendingSelectionRect;
  using MainWindow::strikeOutButton;
  using MainWindow::subscriptButton;
  using MainWindow::superscriptButton;
  using MainWindow::textColorButton;
  using MainWindow::thumbnails;
  using MainWindow::underlineButton;
};

// "Group: control, control, ..." for each ribbon group of a tab page, where
// a control is named by its text, or by its tool tip without the key hint.
std::string ribbonInventory(QWidget* page);
// The expected inventory written as a list, one group a line.
std::string lines(const QStringList& groups);

// Runs the command; returns the text of the message it showed (the message is
// closed), or an empty string when none appeared.
QString messageOf(const std::function<void()>& command);

}  // namespace apptest
