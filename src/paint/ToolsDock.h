#pragma once
// The editor's tool bar: one button per tool, the tool size and, while the
// text tool is chosen, the text controls. It reports what the user does.

#include <QToolBar>

class QAction;
class QButtonGroup;

class ToolsDock : public QToolBar {
  Q_OBJECT

 public:
  explicit ToolsDock(QWidget* parent = nullptr);
  ~ToolsDock() override;

  void setTextControlsVisible(bool visible);

  QButtonGroup* buttonGroup = nullptr;
  QAction* textSeparatorAction = nullptr;
  QAction* fontLabelAction = nullptr;
  QAction* fontComboAction = nullptr;
  QAction* boldAction = nullptr;
  QAction* italicAction = nullptr;

 signals:
  void toolSelected(const QString& id);
  void sizeChanged(int size);
  void fontFamilyChanged(const QString& family);
  void boldChanged(bool bold);
  void italicChanged(bool italic);
};
