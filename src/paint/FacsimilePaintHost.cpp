#include "FacsimilePaintHost.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "ImageSizeLimit.h"
#include "LayersDock.h"
#include "PaletteDock.h"
#include "ToolsDock.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The load and clear pictures come with the application's own icons; where
// those are not linked in, the buttons show their text only.
QIcon iconIfPresent(const QString& path) { return QFile::exists(path) ? QIcon(path) : QIcon(); }

void fitLater(CanvasWidget* canvas) {
  QTimer::singleShot(0, canvas, [canvas] { canvas->fitToView(); });
}

}  // namespace

FacsimilePaintHost::FacsimilePaintHost(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("FacsimilePaintFrame"));
  setFrameShape(QFrame::StyledPanel);

  canvas = new CanvasWidget(this);
  canvas->setMinimumSize(520, 360);
  canvas->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

  toolsDock = new ToolsDock(this);
  toolsDock->setObjectName(QStringLiteral("FacsimileTools"));
  toolsDock->setMovable(false);
  toolsDock->setFloatable(false);
  toolsDock->setIconSize(QSize(24, 24));

  layersDock = new LayersDock(this);
  layersDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
  layersDock->setMinimumWidth(210);
  paletteDock = new PaletteDock(this);
  paletteDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
  paletteDock->setMinimumWidth(210);

  auto* title = new QLabel(QStringLiteral("Редактор факсимиле"), this);
  title->setObjectName(QStringLiteral("FacsimileTitle"));
  auto* hint = new QLabel(QStringLiteral("Используйте инструменты UlvoPaint, затем нажмите «Сохранить»."), this);
  hint->setObjectName(QStringLiteral("FacsimileHint"));

  auto* header = new QHBoxLayout;
  header->setContentsMargins(14, 12, 14, 4);
  auto* texts = new QVBoxLayout;
  texts->setContentsMargins(0, 0, 0, 0);
  texts->setSpacing(2);
  texts->addWidget(title);
  texts->addWidget(hint);
  header->addLayout(texts, 1);
  auto action = [&](const QString& text, const QString& icon, void (FacsimilePaintHost::*operation)()) {
    auto* button = new QPushButton(iconIfPresent(icon), text, this);
    button->setObjectName(QStringLiteral("PaintAction"));
    button->setIconSize(QSize(20, 20));
    connect(button, &QPushButton::clicked, this, [this, operation] { (this->*operation)(); });
    header->addWidget(button, 0);
  };
  action(QStringLiteral("Загрузить"), QStringLiteral(":/resources/icons/open.svg"), &FacsimilePaintHost::loadFile);
  action(QStringLiteral("Фон в прозрачность"), QStringLiteral(":/icons/background-transparent.svg"),
         &FacsimilePaintHost::makeBackgroundTransparent);
  action(QStringLiteral("Обрезать по выделению"), QStringLiteral(":/icons/crop-selection.svg"),
         &FacsimilePaintHost::cropSelection);
  action(QStringLiteral("Очистить"), QStringLiteral(":/resources/icons/clear-page.svg"),
         &FacsimilePaintHost::clearImage);

  auto* docks = new QVBoxLayout;
  docks->setContentsMargins(0, 0, 0, 0);
  docks->setSpacing(8);
  docks->addWidget(paletteDock, 2);
  docks->addWidget(layersDock, 3);
  auto* body = new QHBoxLayout;
  body->setContentsMargins(12, 0, 12, 12);
  body->setSpacing(10);
  body->addWidget(canvas, 1);
  body->addLayout(docks, 0);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  layout->addLayout(header, 0);
  layout->addWidget(toolsDock, 0);
  layout->addLayout(body, 1);

  connectTools();
  resetDocument(QSize(900, 520), QImage());
}

FacsimilePaintHost::~FacsimilePaintHost() {
  // The canvas outlives this body (it is a child): its undo commands point
  // at the document and its tool at a member, so both go first.
  canvas->setDocument(nullptr);
  canvas->tool = nullptr;
  layersDock->setDocument(nullptr);
  delete document;
}

void FacsimilePaintHost::connectTools() {
  tools.insert(QStringLiteral("brush"), &brushTool);
  tools.insert(QStringLiteral("eraser"), &eraserTool);
  tools.insert(QStringLiteral("line"), &lineTool);
  tools.insert(QStringLiteral("rect"), &rectTool);
  tools.insert(QStringLiteral("ellipse"), &ellipseTool);
  tools.insert(QStringLiteral("fill"), &fillTool);
  tools.insert(QStringLiteral("pencil"), &pencilTool);
  tools.insert(QStringLiteral("eyedropper"), &eyedropperTool);
  tools.insert(QStringLiteral("zoom"), &zoomTool);
  tools.insert(QStringLiteral("hand"), &handTool);
  tools.insert(QStringLiteral("move"), &moveTool);
  tools.insert(QStringLiteral("select"), &selectToolObject);
  tools.insert(QStringLiteral("text"), &textTool);
  tools.insert(QStringLiteral("gradient"), &gradientTool);
  tools.insert(QStringLiteral("wand"), &wandTool);
  tools.insert(QStringLiteral("lasso"), &lassoTool);
  tools.insert(QStringLiteral("crop"), &cropTool);

  connect(toolsDock, &ToolsDock::toolSelected, this, [this](const QString& id) { selectTool(id); });
  connect(toolsDock, &ToolsDock::sizeChanged, canvas, &CanvasWidget::setToolSize);
  connect(toolsDock, &ToolsDock::fontFamilyChanged, this, [this](const QString& family) {
    textTool.fontFamily = family;
    canvas->setPendingTextFontFamily(family);
  });
  connect(toolsDock, &ToolsDock::boldChanged, this, [this](bool bold) {
    textTool.bold = bold;
    canvas->setPendingTextBold(bold);
  });
  connect(toolsDock, &ToolsDock::italicChanged, this, [this](bool italic) {
    textTool.italic = italic;
    canvas->setPendingTextItalic(italic);
  });
  connect(paletteDock, &PaletteDock::primaryColorChanged, canvas, &CanvasWidget::setPrimaryColor);
  connect(paletteDock, &PaletteDock::secondaryColorChanged, canvas, &CanvasWidget::setSecondaryColor);
  connect(paletteDock, &PaletteDock::sizeChanged, canvas, &CanvasWidget::setToolSize);
  connect(canvas, &CanvasWidget::colorPicked, canvas, &CanvasWidget::setPrimaryColor);
  connect(canvas, &CanvasWidget::colorPicked, paletteDock, &PaletteDock::externalSetPrimary);
  connect(layersDock, &LayersDock::changed, canvas, qOverload<>(&QWidget::update));
  connect(layersDock, &LayersDock::mergeDownRequested, canvas, &CanvasWidget::mergeDown);
  connect(layersDock, &LayersDock::flattenRequested, canvas, &CanvasWidget::flattenAll);

  // Layer changes are undo steps too; the list follows every undo and redo.
  layersDock->setUndoStack(&canvas->undoStack);
  connect(layersDock, &LayersDock::aboutToChangeLayers, canvas, &CanvasWidget::commitPendingShape);
  connect(&canvas->undoStack, &QUndoStack::indexChanged, layersDock, &LayersDock::refresh);
}

bool FacsimilePaintHost::resetDocument(const QSize& size, const QImage& image) {
  const QSize pictureSize(std::max(size.width(), 1), std::max(size.height(), 1));
  if (!editorImageSizeProblem(pictureSize).isEmpty()) return false;
  Document* previous = document;
  document = new Document(pictureSize);
  Layer* layer = document->activeLayer();
  layer->name = QStringLiteral("Факсимиле");
  layer->image.fill(Qt::transparent);
  if (!image.isNull()) {
    layer->image = image.scaled(pictureSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
  }
  layersDock->setDocument(document);
  canvas->setDocument(document);
  delete previous;
  selectTool(QStringLiteral("brush"));
  fitLater(canvas);
  return true;
}

void FacsimilePaintHost::selectTool(const QString& id) {
  Tool* tool = tools.value(id, &brushTool);
  canvas->commitPendingShape();
  canvas->tool = tool;
  tool->setPrimaryColor(canvas->primaryColor);
  tool->setSecondaryColor(canvas->secondaryColor);
  tool->setSize(canvas->toolSize);
  canvas->setCursor(tool->cursor());
  currentToolId = tools.contains(id) ? id : QStringLiteral("brush");
}

void FacsimilePaintHost::loadFile() {
  const QString path = QFileDialog::getOpenFileName(
      this, QStringLiteral("Загрузить факсимиле"), QString(),
      QStringLiteral("Изображения (*.png *.jpg *.jpeg *.bmp *.webp);;Все файлы (*.*)"));
  if (path.isEmpty()) return;
  QString problem;
  const QImage loaded = readEditorImage(path, &problem);
  if (!problem.isEmpty()) QMessageBox::warning(this, QStringLiteral("Загрузить факсимиле"), problem);
  if (loaded.isNull()) return;
  const QImage converted = loaded.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  resetDocument(converted.size(), converted);
}

void FacsimilePaintHost::cropSelection() {
  if (canvas->selection.isEmpty()) return;
  canvas->cropToSelection();
  layersDock->refresh();
  fitLater(canvas);
}

void FacsimilePaintHost::clearImage() {
  Layer* layer = document ? document->activeLayer() : nullptr;
  if (!layer) return;
  canvas->cancelPendingShape();
  layer->image.fill(Qt::transparent);
  canvas->undoStack.clear();
  canvas->clearSelection();
  layersDock->refresh();
  canvas->update();
}
