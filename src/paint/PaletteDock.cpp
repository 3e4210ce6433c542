#include "PaletteDock.h"

#include "ColorSwatchPair.h"
#include "ColorWheelWidget.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

const QList<QColor> kPalette = {
    QColor(QRgb(0xff000000)), QColor(QRgb(0xff404040)), QColor(QRgb(0xff808080)), QColor(QRgb(0xffc0c0c0)), QColor(QRgb(0xffffffff)), QColor(QRgb(0xff800000)),
    QColor(QRgb(0xffff0000)), QColor(QRgb(0xffff8000)), QColor(QRgb(0xffffff00)), QColor(QRgb(0xff808000)), QColor(QRgb(0xff008000)), QColor(QRgb(0xff00ff00)),
    QColor(QRgb(0xff00ffff)), QColor(QRgb(0xff008080)), QColor(QRgb(0xff0000ff)), QColor(QRgb(0xff000080)), QColor(QRgb(0xffff00ff)), QColor(QRgb(0xff800080)),
    QColor(QRgb(0xffff8080)), QColor(QRgb(0xffffc880)), QColor(QRgb(0xffffff80)), QColor(QRgb(0xff80ff80)), QColor(QRgb(0xff80ffff)), QColor(QRgb(0xff8080ff)),
    QColor(QRgb(0xffff80ff)), QColor(QRgb(0xff964b00)), QColor(QRgb(0xffffc896)), QColor(QRgb(0xffc89664)),
};

namespace {

int hueOrZero(const QColor& c) { return std::max(c.hsvHue(), 0); }

}  // namespace

PaletteDock::PaletteDock(QWidget* parent) : QDockWidget(QStringLiteral("Палитра"), parent) {
  auto* container = new QWidget;
  auto* layout = new QVBoxLayout(container);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(4);

  auto* swatchRow = new QHBoxLayout;
  swatch = new ColorSwatchPair(container);
  swatch->setFixedSize(72, 62);
  swatchRow->addWidget(swatch);
  auto* reset = new QPushButton(QStringLiteral("↺"), container);
  reset->setFixedSize(22, 22);
  reset->setStyleSheet(QStringLiteral("padding: 0px;"));  // room for the glyph at 22 x 22
  reset->setToolTip(QStringLiteral("Сбросить (чёрный / белый)"));
  swatchRow->addWidget(reset, 0, Qt::AlignBottom);
  swatchRow->addStretch();
  layout->addLayout(swatchRow);

  wheel = new ColorWheelWidget(container);
  layout->addWidget(wheel, 1);

  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(new QLabel(QStringLiteral("Яр.:"), container));
  valueSlider = new QSlider(Qt::Horizontal, container);
  valueSlider->setRange(0, 255);
  valueSlider->setValue(255);
  valueRow->addWidget(valueSlider, 1);
  layout->addLayout(valueRow);

  auto* grid = new QGridLayout;
  grid->setSpacing(2);
  grid->setContentsMargins(0, 2, 0, 2);
  for (int i = 0; i < kPalette.size(); ++i) {
    const QColor colour = kPalette[i];
    auto* button = new QPushButton(container);
    button->setFixedSize(14, 14);
    button->setStyleSheet(QStringLiteral("background-color:%1; border:1px solid #666; padding:0;").arg(colour.name()));
    button->setToolTip(colour.name());
    grid->addWidget(button, i / 14, i % 14);
    connect(button, &QPushButton::clicked, this, [this, colour] {
      primary = colour;
      primaryActive = true;
      syncSwatch();
      syncWheelToColor(primary);
      emit primaryColorChanged(primary);
    });
  }
  layout->addLayout(grid);

  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(new QLabel(QStringLiteral("Размер:"), container));
  auto* sizeSpin = new QSpinBox(container);
  sizeSpin->setRange(1, 200);
  sizeSpin->setValue(8);
  sizeRow->addWidget(sizeSpin, 1);
  layout->addLayout(sizeRow);
  setWidget(container);

  connect(swatch, &ColorSwatchPair::primaryClicked, this, [this] { setActiveColor(true); });
  connect(swatch, &ColorSwatchPair::secondaryClicked, this, [this] { setActiveColor(false); });
  connect(swatch, &ColorSwatchPair::primaryDoubleClicked, this, [this] { openColorDialog(true); });
  connect(swatch, &ColorSwatchPair::secondaryDoubleClicked, this, [this] { openColorDialog(false); });
  connect(wheel, &ColorWheelWidget::colorChanged, this, &PaletteDock::onWheelColorChanged);
  connect(valueSlider, &QSlider::valueChanged, this, &PaletteDock::onValueChanged);
  connect(sizeSpin, &QSpinBox::valueChanged, this, &PaletteDock::sizeChanged);
  connect(reset, &QPushButton::clicked, this, [this] {
    primary = Qt::black;
    secondary = Qt::white;
    syncSwatch();
    syncWheelToColor(activeSlot());
    emit primaryColorChanged(primary);
    emit secondaryColorChanged(secondary);
  });

  wheel->setColor(primary);
  syncSwatch();
}

PaletteDock::~PaletteDock() = default;

void PaletteDock::syncSwatch() {
  swatch->primary = primary;
  swatch->secondary = secondary;
  swatch->primaryActive = primaryActive;
  swatch->update();
}

void PaletteDock::syncWheelToColor(const QColor& c) {
  wheel->setColor(c);
  const QSignalBlocker blocker(valueSlider);
  valueSlider->setValue(c.value());
}

void PaletteDock::setActiveColor(bool isPrimary) {
  primaryActive = isPrimary;
  syncSwatch();
  syncWheelToColor(activeSlot());
}

void PaletteDock::emitActive() {
  if (primaryActive)
    emit primaryColorChanged(primary);
  else
    emit secondaryColorChanged(secondary);
}

void PaletteDock::onWheelColorChanged(const QColor& c) {
  activeSlot() = QColor::fromHsv(hueOrZero(c), c.hsvSaturation(), valueSlider->value(), 255);
  syncSwatch();
  emitActive();
}

void PaletteDock::onValueChanged(int v) {
  const QColor current = activeSlot();
  activeSlot() = QColor::fromHsv(hueOrZero(current), current.hsvSaturation(), v, 255);
  syncSwatch();
  emitActive();
}

void PaletteDock::openColorDialog(bool isPrimary) {
  QColor& slot = isPrimary ? primary : secondary;
  const QColor c = QColorDialog::getColor(
      slot, this, isPrimary ? QStringLiteral("Основной цвет") : QStringLiteral("Дополнительный цвет"));
  if (!c.isValid()) return;
  slot = c;
  syncSwatch();
  if (isPrimary == primaryActive) syncWheelToColor(c);
  if (isPrimary)
    emit primaryColorChanged(primary);
  else
    emit secondaryColorChanged(secondary);
}

void PaletteDock::externalSetPrimary(const QColor& c) {
  primary = c;
  primaryActive = true;
  syncSwatch();
  syncWheelToColor(c);
}
