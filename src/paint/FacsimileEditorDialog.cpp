#include "FacsimileEditorDialog.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "EditorStyle.h"
#include "FacsimilePaintHost.h"
#include "ui/DialogHelpers.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

FacsimileEditorDialog::FacsimileEditorDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Редактор факсимиле"));
  setModal(true);
  resize(1120, 760);
  setStyleSheet(facsimileEditorStyleSheet());
  host = new FacsimilePaintHost(this);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* save = buttons->addButton(QStringLiteral("Сохранить"), QDialogButtonBox::AcceptRole);
  save->setObjectName(QStringLiteral("PrimaryAction"));
  buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  // Saving takes what is on the canvas: a shape or a text still being placed
  // is painted in first, as choosing another tool would.
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    host->canvas->commitPendingShape();
    accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->setSpacing(10);
  layout->addWidget(host, 1);
  layout->addWidget(buttons, 0);
  opened = image();
}

FacsimileEditorDialog::~FacsimileEditorDialog() = default;

bool FacsimileEditorDialog::setImage(const QImage& image) {
  if (!image.isNull() && !editorImageSizeProblem(image.size()).isEmpty()) return false;
  const QImage converted = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QSize size = converted.isNull() ? QSize(900, 520) : converted.size();
  if (!host->resetDocument(size, converted)) return false;
  opened = this->image();
  return true;
}

QImage FacsimileEditorDialog::image() const {
  if (!host || !host->document) return QImage();
  return host->document->mergedImage();
}

bool FacsimileEditorDialog::hasUnsavedDrawing() const {
  // Compared by pixels: strokes undone back to the start leave nothing to lose.
  return host && (host->canvas->hasPendingShape() || image() != opened);
}

void FacsimileEditorDialog::reject() {
  if (hasUnsavedDrawing() &&
      !appQuestion(this, windowTitle(), QStringLiteral("Нарисованное не сохранено. Закрыть редактор без сохранения?"),
                   QStringLiteral("Не сохранять"), QStringLiteral("Продолжить редактирование")))
    return;
  QDialog::reject();
}
