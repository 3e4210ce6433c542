#pragma once
// One scan's settings and post-processing switches, and one device as a
// backend lists it. Plain records, copied by value into the worker.

#include <QString>

struct ScanParams {
  int dpi = 300;
  int colorMode = 0;  // 0 colour, 1 grey, 2 black and white
  int brightness = 0;  // -100..100
  QString pageSize = QStringLiteral("A4");
  bool landscape = false;
  bool adf = false;
  bool duplex = false;
  int delayMs = 0;
  bool geomCorr = false;
  bool perspCorr = false;
  bool skew = false;
  bool structural = false;
  bool noiseRemove = false;
  bool autoBright = false;
  bool autoContrast = false;
  bool whiteBalance = false;
  bool denoise = false;
  bool sharpen = false;
  bool textEnhance = false;
};

struct ScanDevice {
  QString name;  // the identifier openDevice takes
  QString vendor;
  QString model;
  QString type;
};
