#include "ocr/OcrEngine.h"

#include "ocr/OcrImageGeometry.h"
#include "ocr/OcrPagePipeline.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <leptonica/allheaders.h>
#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

bool usableImage(const QImage& image) { return !image.isNull() && image.width() >= 4 && image.height() >= 4; }

// Recognition of one page stays on the calling thread: tesseract's OpenMP
// loops would otherwise start a thread pool per process and compete with the
// render jobs for the cores. The environment variable covers a runtime that
// is loaded later; the runtime already loaded reads it only at start, so it
// is also told directly that no parallel region may fork.
void limitRecogniserThreads() {
  qputenv("OMP_THREAD_LIMIT", "1");
  omp_set_num_threads(1);
  omp_set_max_active_levels(0);
}

struct PixDeleter {
  void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixHandle = std::unique_ptr<Pix, PixDeleter>;

struct TextDeleter {
  void operator()(char* text) const { delete[] text; }
};
using TessText = std::unique_ptr<char[], TextDeleter>;

bool stopRequested(void* flag, int) { return static_cast<const std::atomic<bool>*>(flag)->load(); }

}  // namespace

OcrEngine::OcrEngine(QObject* parent) : QObject(parent) {}

OcrEngine::~OcrEngine() {
  if (api) {
    api->End();
    delete api;
  }
}

bool OcrEngine::init(const QString& language) {
  if (api) {
    api->End();
    delete api;
    api = nullptr;
  }
  ready = false;
  limitRecogniserThreads();
  auto fresh = std::make_unique<tesseract::TessBaseAPI>();
  const QByteArray lang = language.toUtf8();
  if (fresh->Init(nullptr, lang.constData(), tesseract::OEM_DEFAULT) != 0) {
    qWarning() << "Tesseract init failed for lang:" << language;
    fresh->End();
    return false;
  }
  api = fresh.release();
  ready = true;
  return true;
}

QString OcrEngine::recognizeText(const QImage& image) {
  if (!ready || !usableImage(image)) return {};
  PixHandle pix(qImageToPix(image));
  if (!pix) return {};
  // A small image is read as one block of text, the library's default.
  api->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
  api->SetImage(pix.get());
  const TessText text(api->GetUTF8Text());
  const QString result = text ? QString::fromUtf8(text.get()) : QString();
  api->Clear();
  return result.trimmed();
}

std::vector<OcrWord> OcrEngine::recognizeWords(const QImage& image, double scale, double pageHeight,
                                               const std::atomic<bool>* stop) {
  std::vector<OcrWord> words;
  if (!ready || !usableImage(image) || !(scale > 0)) return words;
  // Grey is all the recogniser reads of a page, and it copies and encodes
  // each word's crop from the image it is given: colour would cost a second
  // per page for the same words.
  PixHandle pix(qImageToGreyPix(image));
  if (!pix) return words;
  // The render resolution is known exactly; left unset, tesseract guesses it
  // from the text height and its guess can make it read a ruled table as a
  // picture and lose every word in it.
  const int dpi = int(std::lround(scale * 72.0));
  pixSetResolution(pix.get(), dpi, dpi);
  // The library's default reads the page as one uniform block of text, which
  // loses whole ruled tables; full layout analysis, as the command-line tool
  // does it, keeps them.
  api->SetPageSegMode(tesseract::PSM_AUTO);
  api->SetImage(pix.get());
  // The monitor only asks whether to give up; it sets no deadline, so the
  // words are those of a run without it.
  tesseract::ETEXT_DESC monitor;
  if (stop) {
    monitor.cancel = &stopRequested;
    monitor.cancel_this = const_cast<std::atomic<bool>*>(stop);
  }
  if (api->Recognize(stop ? &monitor : nullptr) != 0 || (stop && stop->load())) {
    api->Clear();
    return words;
  }
  std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
  if (it) {
    it->Begin();
    int layoutBlock = -1;
    do {
      if (it->IsAtBeginningOf(tesseract::RIL_BLOCK)) ++layoutBlock;
      if (it->Empty(tesseract::RIL_WORD)) continue;
      const float confidence = it->Confidence(tesseract::RIL_WORD);
      const TessText text(it->GetUTF8Text(tesseract::RIL_WORD));
      if (!text) continue;
      int left = 0, top = 0, right = 0, bottom = 0;
      if (!it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom)) continue;
      OcrWord word;
      word.text = QString::fromUtf8(text.get());
      word.rect = pdfRectForPixelBox(left, top, right, bottom, scale, pageHeight);
      word.confidence = confidence;
      word.layoutBlock = layoutBlock;
      if (acceptRecognizedWord(word)) words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
  }
  it.reset();
  api->Clear();
  return words;
}

std::vector<TextBlock> OcrEngine::recognizePage(const QImage& image, int page, double scale, double pageHeight,
                                                const std::atomic<bool>* stop) {
  if (!ready || !usableImage(image) || !(scale > 0)) return {};
  std::vector<OcrWord> words = recognizeWords(image, scale, pageHeight, stop);
  if (stop && stop->load()) return {};
  return assemblePageBlocks(std::move(words), image, page, scale, pageHeight);
}

QStringList OcrEngine::availableLanguages() const {
  static const char* const folders[] = {"/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4/tessdata",
                                        "/usr/share/tessdata", "/usr/local/share/tessdata"};
  for (const char* folder : folders) {
    const QDir dir(QString::fromUtf8(folder));
    if (!dir.exists()) continue;
    const QStringList files = dir.entryList({QStringLiteral("*.traineddata")}, QDir::Files);
    if (files.isEmpty()) continue;
    QStringList names;
    for (const QString& file : files) names << file.section(u'.', 0, 0);
    std::sort(names.begin(), names.end());
    return names;
  }
  return {};
}

Pix* qImageToGreyPix(const QImage& image) {
  if (image.isNull()) return nullptr;
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  Pix* pix = pixCreate(grey.width(), grey.height(), 8);
  if (!pix) return nullptr;
  l_uint32* data = pixGetData(pix);
  const int wpl = pixGetWpl(pix);
  for (int y = 0; y < grey.height(); ++y) {
    const uchar* row = grey.constScanLine(y);
    l_uint32* line = data + std::ptrdiff_t(y) * wpl;
    for (int x = 0; x < grey.width(); ++x) SET_DATA_BYTE(line, x, row[x]);
  }
  return pix;
}

Pix* qImageToPix(const QImage& image) {
  if (image.isNull()) return nullptr;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  Pix* pix = pixCreate(rgb.width(), rgb.height(), 32);
  if (!pix) return nullptr;
  // Leptonica stores 32-bit pixels as RGBA words, red in the high byte; the
  // words are written directly rather than through a call per pixel.
  l_uint32* data = pixGetData(pix);
  const int wpl = pixGetWpl(pix);
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    l_uint32* line = data + std::ptrdiff_t(y) * wpl;
    for (int x = 0; x < rgb.width(); ++x) {
      line[x] = (l_uint32(qRed(row[x])) << 24) | (l_uint32(qGreen(row[x])) << 16) | (l_uint32(qBlue(row[x])) << 8);
    }
  }
  return pix;
}
