#pragma once
// The colour panel: primary and secondary colours, the wheel and value
// slider that edit the active one, a fixed palette and a tool size.

#include <QColor>
#include <QDockWidget>
#include <QList>

class ColorSwatchPair;
class ColorWheelWidget;
class QSlider;

// The 28 fixed colours of the palette grid, in rows of 14.
extern const QList<QColor> kPalette;

class PaletteDock : public QDockWidget {
  Q_OBJECT

 public:
  explicit PaletteDock(QWidget* parent = nullptr);
  ~PaletteDock() override;

  void setActiveColor(bool primary);
  void emitActive();
  void openColorDialog(bool primary);
  void syncWheelToColor(const QColor& c);
  void onValueChanged(int v);
  void onWheelColorChanged(const QColor& c);

  QColor primary = Qt::black;
  QColor secondary = Qt::white;
  bool primaryActive = true;
  ColorSwatchPair* swatch = nullptr;
  ColorWheelWidget* wheel = nullptr;
  QSlider* valueSlider = nullptr;

 public slots:
  void externalSetPrimary(const QColor& c);

 signals:
  void primaryColorChanged(const QColor& color);
  void secondaryColorChanged(const QColor& color);
  void sizeChanged(int size);

 private:
  QColor& activeSlot() { return primaryActive ? primary : secondary; }
  void syncSwatch();
};
