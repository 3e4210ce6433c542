#include "HandWrittenPdf.h"

#include <QFile>

namespace handwritten {

QByteArray buildPdf(const QStringList& objects) {
  QByteArray out("%PDF-1.7\n");
  QList<qsizetype> offsets;
  for (qsizetype i = 0; i < objects.size(); ++i) {
    offsets.append(out.size());
    out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i).toLatin1() + "\nendobj\n";
  }
  const qsizetype xref = out.size();
  out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (qsizetype offset : offsets) out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
  out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         QByteArray::number(xref) + "\n%%EOF\n";
  return out;
}

bool writePdf(const QString& path, const QStringList& objects) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(buildPdf(objects)) >= 0 &&
         file.flush();
}

QString stream(const QByteArray& content, const QByteArray& entries) {
  const QByteArray dictionary = entries.isEmpty() ? QByteArray() : entries + ' ';
  return QString::fromLatin1("<< " + dictionary + "/Length " + QByteArray::number(content.size()) + " >>\nstream\n" +
                             content + "\nendstream");
}

}  // namespace handwritten
