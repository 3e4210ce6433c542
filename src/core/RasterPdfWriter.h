#pragma once
// The program's own minimal PDF writer: every page of a document rendered to
// one image (JPEG, or 1-bit Flate in monochrome) and written as a new file of
// one image per page. The size forecast builds the very same object bodies
// without writing them, so for short documents it is exact to the byte.
// Callers hold the pdfium lock for write() and estimateSize().

#include "PageRenderCost.h"
#include "PdfDocument.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct fpdf_document_t__;

class RasterPdfWriter {
public:
  // What drawing a page cost its check, by page index.
  using CostOf = std::function<std::optional<PageRenderCost>(int)>;
  // `form`, the document's form-fill environment, draws its form fields;
  // `costOf` bounds each page's rendering.
  RasterPdfWriter(fpdf_document_t__* document, const PdfDocument::CompressionOptions& options,
                  void* form = nullptr, CostOf costOf = {});

  // Renders and encodes every page, then writes the file atomically. On
  // failure `error` holds the reason; an existing file at `path` is kept.
  bool write(const QString& path, QString* error) const;
  // The size in bytes write() would produce, or -1 with `error` set. Up to 20
  // pages every page is encoded and the result is exact; above that seven
  // sample pages stand for the rest and `sampled` becomes true.
  qint64 estimateSize(bool* sampled, QString* error) const;

  // Pieces shared by the writer, the forecast and the in-place recompression.
  static int clampedDpi(int dpi);
  static int clampedJpegQuality(int quality);
  static QByteArray pdfNumber(double value);
  static qint64 serializedPdfObjectSize(int number, const QByteArray& body);
  static QByteArray imageToJpegBytes(QImage image, int quality, bool grayscale);
  static QByteArray imageToMonoFlateBytes(const QImage& image);
  // Page indices the forecast encodes for a document of `pageCount` pages.
  static QList<int> samplePageIndices(int pageCount);
  // Scales the total of the sample pages up to the whole document, rounding up.
  static qint64 extrapolatedTotal(qint64 sampleTotal, int pageCount, int sampleCount);
  // An image XObject; `entries` names its colour space, bits and filter.
  static QByteArray imageObjectBody(int width, int height, const QByteArray& entries, const QByteArray& data);
  // A whole file of one page `width` x `height` points showing one image.
  static QByteArray onePageFile(double width, double height, const QByteArray& imageObject);
  // An image XObject of `image`'s 8-bit samples, Flate-compressed without
  // loss: grey stays grey, anything else becomes RGB (alpha is dropped).
  static QByteArray flateImageObject(const QImage& image);

  // The frame of a file of one image per page, for writers that stream
  // their pages: objects 1 and 2 are the catalog and the page tree, page k
  // (from 1) owns objects 3k (page), 3k + 1 (image) and 3k + 2 (content).
  static int pageObjectNumber(int pageNumber) { return 3 * pageNumber; }
  static QByteArray header();
  static QByteArray catalogBody();
  static QByteArray pageTreeBody(int pageCount);
  static QByteArray pageBody(int pageNumber, double width, double height);
  static QByteArray contentBody(double width, double height);
  static QByteArray crossReferenceAndTrailer(const QList<qint64>& offsets, int pageCount, qint64 xrefOffset);
  // One object framed as "N 0 obj ... endobj".
  static QByteArray framedObject(int number, const QByteArray& body);

private:
  struct PageObjects {
    QByteArray page;
    QByteArray image;
    QByteArray content;
  };
  // Renders and encodes page `index`; `encodeFailure` is the message (with %1
  // for the page number) when the encoder gives no bytes.
  bool buildPage(int index, PageObjects* objects, QString* error, const QString& encodeFailure) const;
  QByteArray imageBody(int width, int height, const QByteArray& data) const;

  fpdf_document_t__* document;
  void* form;
  CostOf costOf;
  PdfDocument::CompressionOptions options;
  double scale;
};
