#pragma once
// The image editor itself: canvas, tool bar, palette and layers docks, the
// seventeen tools and the host actions, wired together around one document
// that the host owns.

#include "BrushTool.h"
#include "CropTool.h"
#include "EllipseTool.h"
#include "EraserTool.h"
#include "EyedropperTool.h"
#include "FillTool.h"
#include "GradientTool.h"
#include "HandTool.h"
#include "LassoTool.h"
#include "LineTool.h"
#include "MoveTool.h"
#include "PencilTool.h"
#include "RectTool.h"
#include "SelectTool.h"
#include "TextTool.h"
#include "WandTool.h"
#include "ZoomTool.h"

#include <QFrame>
#include <QHash>
#include <QImage>

class CanvasWidget;
class Document;
class LayersDock;
class PaletteDock;
class QLabel;
class ToolsDock;

class FacsimilePaintHost : public QFrame {
 public:
  explicit FacsimilePaintHost(QWidget* parent = nullptr);
  ~FacsimilePaintHost() override;

  // Replaces the document by one of `size` whose one layer holds `image`
  // (scaled to it). Refuses a size the editor cannot hold and keeps the
  // document it had; returns whether it replaced it.
  bool resetDocument(const QSize& size, const QImage& image);
  void connectTools();
  void selectTool(const QString& id);
  void loadFile();
  void cropSelection();
  void clearImage();
  // Background to transparent (FacsimilePaintHostBackground.cpp).
  void makeBackgroundTransparent();
  void showBackgroundToleranceDialog(const QColor& color);

  Document* document = nullptr;
  CanvasWidget* canvas = nullptr;
  ToolsDock* toolsDock = nullptr;
  LayersDock* layersDock = nullptr;
  PaletteDock* paletteDock = nullptr;
  QHash<QString, Tool*> tools;
  QString currentToolId = QStringLiteral("brush");
  QLabel* pickHint = nullptr;

  BrushTool brushTool;
  EraserTool eraserTool;
  LineTool lineTool;
  RectTool rectTool;
  EllipseTool ellipseTool;
  FillTool fillTool;
  PencilTool pencilTool;
  EyedropperTool eyedropperTool;
  ZoomTool zoomTool;
  HandTool handTool;
  MoveTool moveTool;
  SelectTool selectToolObject;
  TextTool textTool;
  GradientTool gradientTool;
  WandTool wandTool;
  LassoTool lassoTool;
  CropTool cropTool;
};
