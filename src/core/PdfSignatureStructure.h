#pragma once
// What an incremental update that adds a signature field or draws over a
// page needs to know of a PDF, read through qpdf: cross-reference tables, cross-reference streams,
// object streams, hybrid files and earlier updates all resolve to the same
// objects. Only this file and its source see qpdf.

#include "PdfUpdateWriter.h"

#include <QByteArray>
#include <QString>

#include <memory>

class PdfSignatureStructure {
public:
  PdfSignatureStructure();
  ~PdfSignatureStructure();
  PdfSignatureStructure(const PdfSignatureStructure&) = delete;
  PdfSignatureStructure& operator=(const PdfSignatureStructure&) = delete;

  // Reads the last cross-reference section, the trailer, the catalog, the
  // first page and any form. pdf must outlive this object. On failure one
  // message goes to error.
  bool read(const QByteArray& pdf, QString* error);

  bool crossReferenceIsStream() const;
  qint64 previousCrossReference() const;
  // Past every object number the file uses or announces.
  int nextObjectNumber() const;
  // "/Root n g R", then /Info and /ID when the trailer has them.
  QByteArray trailerEntries() const;
  // "n g R" of the page that gets the widget; empty in a file without pages.
  QByteArray widgetPageReference() const;
  // wanted, or wanted with a suffix when a field of the form already has that name.
  QString unusedFieldName(const QString& wanted) const;

  // New versions of the objects that must list the field: the form (in the
  // catalog or its own object), its /Fields array, the page or its /Annots
  // array. Every other entry of them is carried over.
  bool objectsListingField(int fieldNumber, QList<PdfObjectVersion>* objects, QString* error);

  // What an update needs to draw `overlay`, a PDF whose only page is as
  // large as page `pageIndex` is shown, over that page, upright whatever the
  // page's turn: the overlay page's content and resources as a form (new
  // objects), the streams that draw it, and the page's new version. *size
  // receives the /Size the update's section announces.
  bool objectsOverlayingPage(int pageIndex, const QByteArray& overlay, QList<PdfObjectVersion>* objects, int* size,
                             QString* error);

private:
  struct Data;
  std::unique_ptr<Data> d;
};

// Reads a prepared file back as readers will: the catalog's form must list
// the field, which must point at the signature dictionary.
bool preparedSignatureReadsBack(const QByteArray& pdf, int signatureNumber, int fieldNumber, QString* error);
