#pragma once
// The place for a page-layout detection model. No model runtime is linked, so
// loading never succeeds and detection finds nothing; the tensor preparation,
// the output decoders, suppression and class mapping are ready for one.

#include <QImage>
#include <QRectF>
#include <QString>

#include <vector>

enum class LayoutClass {
  Text = 0,
  Title = 1,
  List = 2,
  Table = 3,
  Figure = 4,
  Caption = 5,
  Footnote = 6,
  Formula = 7,
  Header = 8,
  Footer = 9,
  Unknown = 10,
};

struct LayoutBlock {
  // Normalised to 0..1 of the input image, top-left origin.
  QRectF rect;
  int cls = 0;
  float score = 0.0f;
};

class LayoutDetector {
public:
  // True when the model at modelPath is usable; a missing, unreadable or
  // unusable file is refused quietly.
  bool load(const QString& modelPath);
  bool isLoaded() const { return loaded; }
  // The model file last offered to load, whatever came of it.
  const QString& probedModelPath() const { return probedPath; }
  std::vector<LayoutBlock> detect(const QImage& image, float minScore, float iou) const;

  // Planar RGB floats in 0..1 of the image scaled to width x height.
  static std::vector<float> preprocess(const QImage& image, int width, int height);
  // Rows of (x1, y1, x2, y2, score, class) in input pixels.
  static std::vector<LayoutBlock> decodePostNMS(const float* data, long rows, int inputWidth, int inputHeight,
                                                float minScore);
  // Rows of (cx, cy, w, h, class scores...), normalised, possibly transposed.
  static std::vector<LayoutBlock> decodeYolo(const float* data, long dim0, long dim1, int classCount,
                                             float minScore);
  static void nms(std::vector<LayoutBlock>& blocks, float iouLimit);
  static float iou(const QRectF& a, const QRectF& b);

  LayoutClass mapClass(int index) const;
  static QString className(LayoutClass cls);

  int inputWidth = 1024;
  int inputHeight = 1024;
  int classCount = 10;
  bool tenClassLabels = false;

private:
  QString probedPath;
  bool loaded = false;
};
