#include "PdfSignatureShell.h"
#include "CoreText.h"

#include "PdfSignatureStructure.h"
#include "PdfUpdateWriter.h"

#include <QDateTime>

namespace {

constexpr qint64 kContentsHexDigits = 131072;

bool fail(QString* error, const QString& message) {
  if (error) *error = message;
  return false;
}

QByteArray fixedPdfNumber(qint64 value) { return QByteArray::number(value).rightJustified(20, '0'); }

QByteArray byteRangePlaceholder() {
  const QByteArray zero = fixedPdfNumber(0);
  return "[" + zero + ' ' + zero + ' ' + zero + ' ' + zero + "]";
}

QByteArray pdfLiteralString(QString text) {
  text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  text.replace(QLatin1Char('('), QStringLiteral("\\("));
  text.replace(QLatin1Char(')'), QStringLiteral("\\)"));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return "(" + text.toUtf8() + ")";
}

// A text string readers decode correctly: PDFDocEncoding is only safe for
// ASCII, anything else is written as UTF-16BE with its byte order mark.
QByteArray pdfTextString(QString text) {
  bool ascii = true;
  for (QChar c : text) ascii = ascii && c.unicode() < 0x80;
  if (ascii) return pdfLiteralString(text);
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  QByteArray utf16 = "\xFE\xFF";
  for (QChar c : text) {
    utf16.append(char(c.unicode() >> 8));
    utf16.append(char(c.unicode() & 0xFF));
  }
  return "<" + utf16.toHex().toUpper() + ">";
}

}  // namespace

bool preparePdfSignatureShell(const QByteArray& pdf, const QString& signerName, PdfSignatureShell* shell,
                              QString* error) {
  QByteArray base = pdf;
  if (base.isEmpty() || base.back() != '\n') base.append('\n');

  PdfSignatureStructure structure;
  if (!structure.read(pdf, error)) return false;
  const int signatureNumber = structure.nextObjectNumber();
  const int fieldNumber = signatureNumber + 1;
  QList<PdfObjectVersion> listing;
  if (!structure.objectsListingField(fieldNumber, &listing, error)) return false;

  const QString signer = signerName.isEmpty() ? coreText("Подписант") : signerName;
  const QByteArray signature =
      "<< /Type /Sig\n/Filter /Adobe.PPKLite\n/SubFilter /adbe.pkcs7.detached\n/ByteRange " +
      byteRangePlaceholder() + "\n/Contents <" + QByteArray(kContentsHexDigits, '0') + ">\n/M " +
      pdfLiteralString(QStringLiteral("D:") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"))) +
      "\n/Name " + pdfTextString(signer) + "\n/Reason " +
      pdfTextString(coreText("Документ подписан в ulvo PDF Reader")) + "\n>>";
  // An invisible widget (no area, printed, locked) on the first page: readers
  // list signatures by their widgets.
  const QByteArray page = structure.widgetPageReference();
  const QByteArray field =
      "<< /FT /Sig /T " + pdfTextString(structure.unusedFieldName(QStringLiteral("UlvoSignature%1").arg(signatureNumber))) +
      " /V " + QByteArray::number(signatureNumber) + " 0 R /Ff 0 /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /F 132" +
      (page.isEmpty() ? QByteArray() : " /P " + page) + " >>";

  PdfUpdateWriter update(base.size());
  update.writeObject({signatureNumber, 0, signature});
  update.writeObject({fieldNumber, 0, field});
  for (const PdfObjectVersion& object : listing) update.writeObject(object);
  if (structure.crossReferenceIsStream())
    update.finishWithStream(fieldNumber + 1, structure.trailerEntries(), structure.previousCrossReference(),
                            fieldNumber + 2);
  else
    update.finishWithTable(structure.trailerEntries(), structure.previousCrossReference(), fieldNumber + 1);

  QByteArray file = base + update.bytes();
  const QByteArray placeholder = byteRangePlaceholder();
  const qsizetype byteRange = file.indexOf(placeholder, base.size());
  const qsizetype contents = file.indexOf("/Contents <", base.size());
  if (byteRange < 0 || contents < 0)
    return fail(error, coreText("Не удалось подготовить ByteRange для PDF-подписи."));
  const qint64 contentsOffset = contents + 11;
  if (contentsOffset + kContentsHexDigits >= file.size() || file.at(contents + 10) != '<')
    return fail(error, coreText("Не удалось найти резерв подписи в PDF."));
  const qint64 afterContents = contentsOffset + kContentsHexDigits + 1;
  const QByteArray finalRange = "[" + fixedPdfNumber(0) + ' ' + fixedPdfNumber(contents + 10) + ' ' +
                                fixedPdfNumber(afterContents) + ' ' + fixedPdfNumber(file.size() - afterContents) +
                                "]";
  file.replace(byteRange, placeholder.size(), finalRange);

  if (!preparedSignatureReadsBack(file, signatureNumber, fieldNumber, error)) return false;

  shell->signedBytes = file.left(contents + 10) + file.mid(afterContents);
  shell->pdf = file;
  shell->contentsOffset = contentsOffset;
  shell->contentsLength = kContentsHexDigits;
  return true;
}
