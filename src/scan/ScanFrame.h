#pragma once
// Scanner frames into one image. A frame is what one sane_start ... EOF run
// delivers; a three-pass colour scan delivers a red, a green and a blue one.

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

struct ScanFrame {
  int format = 0;  // SANE_Frame: 0 grey, 1 RGB, 2 red, 3 green, 4 blue
  int bytesPerLine = 0;
  int pixelsPerLine = 0;
  int depth = 8;  // bits per sample: 1, 8 or 16 (16-bit samples in host byte order)
  QByteArray data;
};

// Grey frames become 8-bit grey images, colour ones 24-bit RGB. 1-bit grey
// follows the scanner rule "1 is black"; 16-bit samples keep their high byte.
// The height is the number of whole lines received (three passes: the
// shortest). A null image with `error` empty means the data held no whole
// line; with `error` set, the frames cannot be turned into an image.
QImage imageFromScanFrames(const QList<ScanFrame>& frames, QString* error);
