#include "CompressionOptionsJson.h"

QJsonObject compressionOptionsToJson(const PdfDocument::CompressionOptions& options) {
  QJsonObject json;
  json.insert(QStringLiteral("imageDpi"), options.imageDpi);
  json.insert(QStringLiteral("jpegQuality"), options.jpegQuality);
  json.insert(QStringLiteral("grayscale"), options.grayscale);
  json.insert(QStringLiteral("recompressSmallImages"), options.recompressSmallImages);
  json.insert(QStringLiteral("rasterizePages"), options.rasterizePages);
  json.insert(QStringLiteral("monochrome"), options.monochrome);
  return json;
}
