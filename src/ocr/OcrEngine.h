#pragma once
// The recogniser of the page text: one tesseract instance, and the pipeline
// that turns its words into styled, editable blocks.

#include "core/TextBlock.h"
#include "ocr/OcrWord.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}
struct Pix;

class OcrEngine : public QObject {
  Q_OBJECT

public:
  explicit OcrEngine(QObject* parent = nullptr);
  ~OcrEngine() override;

  // (Re)creates the recogniser for a language string such as "rus+eng".
  bool init(const QString& language);
  bool isReady() const { return ready; }

  // Plain, trimmed text of a whole (small) image.
  QString recognizeText(const QImage& image);

  // Blocks of a page rendered at `scale` pixels per point: text blocks first,
  // then image blocks. When `stop` is given and becomes true, recognition
  // gives up within a few words and returns nothing.
  std::vector<TextBlock> recognizePage(const QImage& image, int page, double scale, double pageHeight,
                                       const std::atomic<bool>* stop = nullptr);

  // The first stage of recognizePage alone: the kept words of the page.
  std::vector<OcrWord> recognizeWords(const QImage& image, double scale, double pageHeight,
                                      const std::atomic<bool>* stop = nullptr);

  QStringList availableLanguages() const;

private:
  tesseract::TessBaseAPI* api = nullptr;
  bool ready = false;
};

// A new 32-bit leptonica image of the same pixels; destroy it with pixDestroy.
Pix* qImageToPix(const QImage& image);

// The same image as 8-bit grey, as page recognition reads it.
Pix* qImageToGreyPix(const QImage& image);
