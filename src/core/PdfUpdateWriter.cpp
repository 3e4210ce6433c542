#include "PdfUpdateWriter.h"

#include <algorithm>

namespace {

QByteArray xrefEntry(qint64 offset, int generation) {
  return QByteArray::number(offset).rightJustified(10, '0') + ' ' +
         QByteArray::number(generation).rightJustified(5, '0') + " n \n";
}

// Big-endian, exactly width bytes.
void appendField(QByteArray* data, qint64 value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) data->append(char((value >> shift) & 0xFF));
}

int bytesFor(qint64 value) {
  int width = 1;
  while (width < 8 && (value >> (width * 8)) != 0) ++width;
  return width;
}

}  // namespace

PdfUpdateWriter::PdfUpdateWriter(qint64 baseLength) : baseLength(baseLength) {}

void PdfUpdateWriter::writeObject(const PdfObjectVersion& object) {
  entries.append({object.number, object.generation, offset()});
  update += QByteArray::number(object.number) + ' ' + QByteArray::number(object.generation) + " obj\n" +
            object.body + "\nendobj\n";
}

QList<QPair<int, int>> PdfUpdateWriter::subsections() const {
  QList<QPair<int, int>> runs;
  for (const Entry& entry : entries) {
    if (!runs.isEmpty() && runs.last().first + runs.last().second == entry.number) ++runs.last().second;
    else runs.append({entry.number, 1});
  }
  return runs;
}

void PdfUpdateWriter::finishWithTable(const QByteArray& trailerEntries, qint64 previous, int size) {
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.number < b.number; });
  const qint64 sectionOffset = offset();
  update += "xref\n";
  qsizetype next = 0;
  for (const auto& [first, count] : subsections()) {
    update += QByteArray::number(first) + ' ' + QByteArray::number(count) + '\n';
    for (int i = 0; i < count; ++i, ++next) update += xrefEntry(entries.at(next).offset, entries.at(next).generation);
  }
  update += "trailer\n<< /Size " + QByteArray::number(size) + ' ' + trailerEntries + " /Prev " +
            QByteArray::number(previous) + " >>\n";
  finish(sectionOffset);
}

void PdfUpdateWriter::finishWithStream(int streamNumber, const QByteArray& trailerEntries, qint64 previous,
                                       int size) {
  const qint64 sectionOffset = offset();
  // The stream lists itself too, as the writers of such files do.
  entries.append({streamNumber, 0, sectionOffset});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.number < b.number; });
  // The widest offset in the update is the stream's own, the last object.
  const int offsetWidth = bytesFor(sectionOffset);
  QByteArray data;
  for (const Entry& entry : entries) {
    appendField(&data, 1, 1);
    appendField(&data, entry.offset, offsetWidth);
    appendField(&data, entry.generation, 2);
  }
  QByteArray index;
  for (const auto& [first, count] : subsections())
    index += (index.isEmpty() ? "" : " ") + QByteArray::number(first) + ' ' + QByteArray::number(count);
  update += QByteArray::number(streamNumber) + " 0 obj\n<< /Type /XRef /Size " + QByteArray::number(size) +
            " /Index [" + index + "] /W [1 " + QByteArray::number(offsetWidth) + " 2] " + trailerEntries +
            " /Prev " + QByteArray::number(previous) + " /Length " + QByteArray::number(data.size()) +
            " >>\nstream\n" + data + "\nendstream\nendobj\n";
  finish(sectionOffset);
}

void PdfUpdateWriter::finish(qint64 sectionOffset) {
  update += "startxref\n" + QByteArray::number(sectionOffset) + "\n%%EOF\n";
}
