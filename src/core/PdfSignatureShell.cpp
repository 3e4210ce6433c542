#include "PdfSignatureShell.h"

#include <QDateTime>
#include <QRegularExpression>

namespace {

constexpr qint64 kContentsHexDigits = 131072;

bool fail(QString* error, const QString& message) {
  if (error) *error = message;
  return false;
}

bool isPdfWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArray fixedPdfNumber(qint64 value) { return QByteArray::number(value).rightJustified(20, '0'); }

QByteArray byteRangePlaceholder() {
  const QByteArray zero = fixedPdfNumber(0);
  return "[" + zero + ' ' + zero + ' ' + zero + ' ' + zero + "]";
}

QByteArray xrefEntry(qint64 offset, int generation) {
  return QByteArray::number(offset).rightJustified(10, '0') + ' ' +
         QByteArray::number(generation).rightJustified(5, '0') + " n \n";
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

int capturedInt(const QRegularExpressionMatch& match, int group) {
  bool ok = false;
  const int value = match.captured(group).toInt(&ok);
  return ok ? value : 0;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the last "<number> <generation> obj" header in the file, or -1.
// Scanned backwards over the bytes: the file may be large and binary.
qsizetype lastObjectHeaderEnd(const QByteArray& pdf, int objectNumber, int generation) {
  const QByteArray number = QByteArray::number(objectNumber);
  const QByteArray generationText = QByteArray::number(generation);
  for (qsizetype at = pdf.lastIndexOf("obj"); at > 0; at = pdf.lastIndexOf("obj", at - 1)) {
    const qsizetype end = at + 3;
    if (end < pdf.size() && (isDigit(pdf.at(end)) || QChar::isLetter(uchar(pdf.at(end))) || pdf.at(end) == '_'))
      continue;
    // Walk back over: white space, the generation, white space, the number.
    qsizetype i = at;
    auto skipSpace = [&] {
      const qsizetype from = i;
      while (i > 0 && isPdfWhiteSpace(pdf.at(i - 1))) --i;
      return i < from;
    };
    auto takeDigits = [&](const QByteArray& expected) {
      const qsizetype from = i;
      while (i > 0 && isDigit(pdf.at(i - 1))) --i;
      return i < from && pdf.mid(i, from - i) == expected;
    };
    if (!skipSpace() || !takeDigits(generationText) || !skipSpace() || !takeDigits(number)) continue;
    if (i == 0 || isPdfWhiteSpace(pdf.at(i - 1))) return end;
  }
  return -1;
}

// The dictionary of the last definition of the object in the file, which in
// an incrementally updated file is the one in force.
bool extractObjectDictionary(const QByteArray& pdf, int objectNumber, int generation, QByteArray* dictionary,
                             QString* error) {
  const qsizetype headerEnd = lastObjectHeaderEnd(pdf, objectNumber, generation);
  if (headerEnd < 0)
    return fail(error, QStringLiteral("Не найден объект каталога PDF %1 %2 obj.").arg(objectNumber).arg(generation));
  const qsizetype end = pdf.indexOf("endobj", headerEnd);
  if (end < 0) return fail(error, QStringLiteral("Объект каталога PDF повреждён."));
  const qsizetype open = pdf.indexOf("<<", headerEnd);
  if (open < 0 || open > end) return fail(error, QStringLiteral("Каталог PDF не является словарём."));
  int depth = 0;
  for (qsizetype i = open; i + 1 < end;) {
    if (pdf.at(i) == '<' && pdf.at(i + 1) == '<') {
      ++depth;
      i += 2;
    } else if (pdf.at(i) == '>' && pdf.at(i + 1) == '>') {
      if (--depth == 0) {
        *dictionary = pdf.mid(open, i + 2 - open);
        return true;
      }
      i += 2;
    } else {
      ++i;
    }
  }
  return fail(error, QStringLiteral("Не удалось прочитать словарь каталога PDF."));
}

struct OldTrailer {
  qint64 previousXref = 0;
  int rootNumber = 0;
  int rootGeneration = 0;
  int size = 0;
  QByteArray info;  // "/Info n g R", or empty
  QByteArray id;    // "/ID [...]", or empty
};

bool readOldTrailer(const QByteArray& pdf, OldTrailer* trailer, QString* error) {
  const QString streamsRefused = QStringLiteral(
      "PDF использует потоки перекрёстных ссылок; встроенную подпись в такой файл добавить нельзя.");
  const qsizetype startxref = pdf.lastIndexOf("startxref");
  if (startxref < 0) return fail(error, QStringLiteral("В PDF не найден startxref."));
  qsizetype i = startxref + 9;
  while (i < pdf.size() && isPdfWhiteSpace(pdf.at(i))) ++i;
  const qsizetype digits = i;
  while (i < pdf.size() && pdf.at(i) >= '0' && pdf.at(i) <= '9') ++i;
  bool ok = false;
  trailer->previousXref = pdf.mid(digits, i - digits).toLongLong(&ok);
  if (i == digits || !ok || trailer->previousXref < 0 || trailer->previousXref >= startxref)
    return fail(error, QStringLiteral("В PDF некорректный startxref."));

  // Only a classic cross-reference table can be extended by a classic one.
  qsizetype at = trailer->previousXref;
  while (at < startxref && isPdfWhiteSpace(pdf.at(at))) ++at;
  if (!pdf.mid(at, 4).startsWith("xref")) {
    if (at < startxref && pdf.at(at) >= '0' && pdf.at(at) <= '9') return fail(error, streamsRefused);
    return fail(error, QStringLiteral("В PDF некорректный startxref."));
  }
  const qsizetype trailerAt = pdf.lastIndexOf("trailer", startxref);
  if (trailerAt < at) return fail(error, QStringLiteral("В PDF не найден trailer."));

  const QString text = QString::fromLatin1(pdf.mid(trailerAt, startxref - trailerAt));
  const QRegularExpressionMatch root = QRegularExpression(QStringLiteral("/Root\\s+(\\d+)\\s+(\\d+)\\s+R")).match(text);
  const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("/Size\\s+(\\d+)")).match(text);
  if (!root.hasMatch() || !size.hasMatch())
    return fail(error, QStringLiteral("В trailer PDF не найдены /Root или /Size."));
  trailer->rootNumber = capturedInt(root, 1);
  trailer->rootGeneration = capturedInt(root, 2);
  trailer->size = capturedInt(size, 1);
  if (trailer->rootNumber <= 0 || trailer->size <= 0 || trailer->size > 0x7FFFFFF0)
    return fail(error, QStringLiteral("В trailer PDF не найдены /Root или /Size."));
  if (text.contains(QLatin1String("/Encrypt")))
    return fail(error, QStringLiteral("Зашифрованный PDF нельзя подписать встроенной подписью."));
  if (text.contains(QLatin1String("/XRefStm"))) return fail(error, streamsRefused);

  // The new trailer replaces this one for readers; without /Info and /ID the
  // document would lose its properties and identity.
  const QRegularExpressionMatch info = QRegularExpression(QStringLiteral("/Info\\s+\\d+\\s+\\d+\\s+R")).match(text);
  if (info.hasMatch()) trailer->info = info.captured(0).toLatin1();
  const QRegularExpressionMatch id = QRegularExpression(QStringLiteral("/ID\\s*\\[[^\\]]*\\]")).match(text);
  if (id.hasMatch()) trailer->id = id.captured(0).toLatin1();
  return true;
}

// Collects the update; offsets are those in the final file.
class UpdateWriter {
public:
  explicit UpdateWriter(qint64 baseLength) : baseLength(baseLength) {}
  qint64 offset() const { return baseLength + bytes.size(); }
  qint64 writeObject(int number, int generation, const QByteArray& body) {
    const qint64 at = offset();
    bytes += QByteArray::number(number) + ' ' + QByteArray::number(generation) + " obj\n" + body + "\nendobj\n";
    return at;
  }
  QByteArray bytes;

private:
  qint64 baseLength;
};

}  // namespace

bool preparePdfSignatureShell(const QByteArray& pdf, const QString& signerName, PdfSignatureShell* shell,
                              QString* error) {
  QByteArray base = pdf;
  if (base.isEmpty() || base.back() != '\n') base.append('\n');

  OldTrailer trailer;
  if (!readOldTrailer(pdf, &trailer, error)) return false;
  QByteArray catalog;
  if (!extractObjectDictionary(pdf, trailer.rootNumber, trailer.rootGeneration, &catalog, error)) return false;
  if (catalog.contains("/AcroForm"))
    return fail(error, QStringLiteral(
                           "PDF уже содержит AcroForm. Встроенная подпись для таких PDF будет добавлена отдельным этапом."));
  const qsizetype close = catalog.lastIndexOf(">>");
  if (close < 0) return fail(error, QStringLiteral("Не удалось обновить каталог PDF для подписи."));
  const int signatureNumber = trailer.size;
  const int fieldNumber = trailer.size + 1;
  catalog.insert(close, "\n/AcroForm << /SigFlags 3 /Fields [" + QByteArray::number(fieldNumber) + " 0 R] >>\n");

  const QString signer = signerName.isEmpty() ? QStringLiteral("Подписант") : signerName;
  const QByteArray signature =
      "<< /Type /Sig\n/Filter /Adobe.PPKLite\n/SubFilter /adbe.pkcs7.detached\n/ByteRange " +
      byteRangePlaceholder() + "\n/Contents <" + QByteArray(kContentsHexDigits, '0') + ">\n/M " +
      pdfLiteralString(QStringLiteral("D:") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"))) +
      "\n/Name " + pdfTextString(signer) + "\n/Reason " +
      pdfTextString(QStringLiteral("Документ подписан в ulvo PDF Reader")) + "\n>>";
  const QByteArray field = "<< /FT /Sig /T " +
                           pdfLiteralString(QStringLiteral("UlvoSignature%1").arg(signatureNumber)) + " /V " +
                           QByteArray::number(signatureNumber) + " 0 R /Ff 0 >>";

  UpdateWriter update(base.size());
  const qint64 signatureAt = update.writeObject(signatureNumber, 0, signature);
  const qint64 fieldAt = update.writeObject(fieldNumber, 0, field);
  const qint64 catalogAt = update.writeObject(trailer.rootNumber, trailer.rootGeneration, catalog);
  const qint64 xrefAt = update.offset();
  update.bytes += "xref\n" + QByteArray::number(trailer.rootNumber) + " 1\n" +
                  xrefEntry(catalogAt, trailer.rootGeneration) + QByteArray::number(signatureNumber) + " 2\n" +
                  xrefEntry(signatureAt, 0) + xrefEntry(fieldAt, 0);
  update.bytes += "trailer\n<< /Size " + QByteArray::number(trailer.size + 2) + " /Root " +
                  QByteArray::number(trailer.rootNumber) + ' ' + QByteArray::number(trailer.rootGeneration) + " R";
  if (!trailer.info.isEmpty()) update.bytes += ' ' + trailer.info;
  if (!trailer.id.isEmpty()) update.bytes += ' ' + trailer.id;
  update.bytes += " /Prev " + QByteArray::number(trailer.previousXref) + " >>\n";
  update.bytes += "startxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";

  QByteArray file = base + update.bytes;
  const QByteArray placeholder = byteRangePlaceholder();
  const qsizetype byteRange = file.indexOf(placeholder, base.size());
  const qsizetype contents = file.indexOf("/Contents <", base.size());
  if (byteRange < 0 || contents < 0)
    return fail(error, QStringLiteral("Не удалось подготовить ByteRange для PDF-подписи."));
  const qint64 contentsOffset = contents + 11;
  if (contentsOffset + kContentsHexDigits >= file.size() || file.at(contents + 10) != '<')
    return fail(error, QStringLiteral("Не удалось найти резерв подписи в PDF."));
  const qint64 afterContents = contentsOffset + kContentsHexDigits + 1;
  const QByteArray finalRange = "[" + fixedPdfNumber(0) + ' ' + fixedPdfNumber(contents + 10) + ' ' +
                                fixedPdfNumber(afterContents) + ' ' + fixedPdfNumber(file.size() - afterContents) +
                                "]";
  file.replace(byteRange, placeholder.size(), finalRange);

  shell->signedBytes = file.left(contents + 10) + file.mid(afterContents);
  shell->pdf = file;
  shell->contentsOffset = contentsOffset;
  shell->contentsLength = kContentsHexDigits;
  return true;
}
