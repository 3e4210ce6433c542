// "Фон в прозрачность": pick the background colour with the eyedropper, then
// choose a tolerance with a live preview on the active layer.
#include "BackgroundRemoval.h"
#include "CanvasWidget.h"
#include "Document.h"
#include "EditorStyle.h"
#include "FacsimilePaintHost.h"
#include "LayersDock.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

void FacsimilePaintHost::makeBackgroundTransparent() {
  const Layer* layer = document ? document->activeLayer() : nullptr;
  if (!layer || layer->image.isNull()) return;
  const QString previousTool = currentToolId;
  selectTool(QStringLiteral("eyedropper"));
  if (!pickHint) {
    pickHint = new QLabel(canvas);
    pickHint->setObjectName(QStringLiteral("FacsimilePickHint"));
    pickHint->setAlignment(Qt::AlignCenter);
  }
  pickHint->setText(QStringLiteral("Кликните по пикселю фона,\nкоторый нужно сделать прозрачным"));
  pickHint->adjustSize();
  pickHint->move((canvas->width() - pickHint->width()) / 2, 14);
  pickHint->show();
  pickHint->raise();
  disconnect(canvas, &CanvasWidget::colorPicked, this, nullptr);
  connect(
      canvas, &CanvasWidget::colorPicked, this,
      [this, previousTool](const QColor& color) {
        pickHint->hide();
        selectTool(previousTool);
        showBackgroundToleranceDialog(color);
      },
      Qt::SingleShotConnection);
}

void FacsimilePaintHost::showBackgroundToleranceDialog(const QColor& color) {
  Layer* layer = document ? document->activeLayer() : nullptr;
  if (!layer) return;
  const QImage snapshot = layer->image.copy();
  if (snapshot.isNull()) return;

  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Фон в прозрачность"));
  dialog.setModal(true);
  dialog.setStyleSheet(facsimileEditorStyleSheet());
  auto* title = new QLabel(QStringLiteral("Настройте допуск цвета фона"), &dialog);
  title->setObjectName(QStringLiteral("FacsimileTitle"));
  auto* hint = new QLabel(
      QStringLiteral("Ползунок применяется сразу к предпросмотру. Если результат не подходит, нажмите «Отмена»."),
      &dialog);
  hint->setObjectName(QStringLiteral("FacsimileHint"));
  hint->setWordWrap(true);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(QStringLiteral("Цвет:"), &dialog));
  auto* swatch = new QLabel(&dialog);
  swatch->setFixedSize(34, 22);
  swatch->setStyleSheet(
      QStringLiteral("background:%1; border:1px solid #94a3b8; border-radius:5px;").arg(color.name()));
  row->addWidget(swatch);
  row->addSpacing(12);
  row->addWidget(new QLabel(QStringLiteral("Допуск:"), &dialog));
  auto* slider = new QSlider(Qt::Horizontal, &dialog);
  slider->setRange(0, 160);
  slider->setValue(18);
  slider->setMinimumWidth(300);
  row->addWidget(slider, 1);
  auto* value = new QLabel(QStringLiteral("18"), &dialog);
  value->setMinimumWidth(34);
  row->addWidget(value);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Применить"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(16, 16, 16, 16);
  layout->setSpacing(12);
  layout->addWidget(title);
  layout->addWidget(hint);
  layout->addLayout(row);
  layout->addWidget(buttons);

  // Every preview starts again from the snapshot, so previews never add up.
  auto preview = [this, layer, snapshot, color](int tolerance) {
    layer->image = removeBackground(snapshot, color, tolerance);
    layersDock->refresh();
    canvas->update();
  };
  preview(18);
  QObject::connect(slider, &QSlider::valueChanged, &dialog, [value, preview](int v) {
    value->setText(QString::number(v));
    preview(v);
  });

  if (dialog.exec() == QDialog::Accepted) {
    canvas->commitLayerSnapshot(snapshot, QStringLiteral("Фон в прозрачность"));
  } else {
    layer->image = snapshot;
    layersDock->refresh();
    canvas->update();
  }
}
