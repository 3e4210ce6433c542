#pragma once
// Builds a PDF from object bodies written by hand, for fixtures that
// QPdfWriter cannot make (indexed and masked images, broken page trees).
// Object k of the list gets number k + 1; object 1 is the catalog.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

namespace rawpdf {

inline QByteArray build(const QList<QByteArray>& objects) {
  QByteArray pdf = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
  QList<qsizetype> offsets;
  for (qsizetype i = 0; i < objects.size(); ++i) {
    offsets.append(pdf.size());
    pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
  }
  const qsizetype xref = pdf.size();
  pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  return pdf;
}

// A stream object with its /Length filled in; `dictionary` holds the other entries.
inline QByteArray stream(const QByteArray& dictionary, const QByteArray& data) {
  return "<< " + dictionary + " /Length " + QByteArray::number(data.size()) + " >>\nstream\n" + data +
         "\nendstream";
}

inline bool save(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace rawpdf
