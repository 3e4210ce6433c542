#pragma once
// Writes one incremental update behind a PDF's own bytes: indirect objects,
// then a cross-reference section in the form the file already uses (a classic
// table after a table, a cross-reference stream after a stream), so that
// readers of either kind find the old and the new objects alike.

#include <QByteArray>
#include <QList>

struct PdfObjectVersion {
  int number = 0;
  int generation = 0;
  QByteArray body;  // the object's text between "obj" and "endobj"
};

class PdfUpdateWriter {
public:
  // baseLength: the length of the file the update will follow.
  explicit PdfUpdateWriter(qint64 baseLength);

  // The offset in the final file of the next byte written.
  qint64 offset() const { return baseLength + update.size(); }
  void writeObject(const PdfObjectVersion& object);

  // trailerEntries: what the old trailer carries on ("/Root 1 0 R /Info 5 0 R /ID [...]").
  // size: the new /Size, past every object number of the file and the update.
  void finishWithTable(const QByteArray& trailerEntries, qint64 previous, int size);
  // The stream itself takes the object number streamNumber, which must be size - 1.
  void finishWithStream(int streamNumber, const QByteArray& trailerEntries, qint64 previous, int size);

  const QByteArray& bytes() const { return update; }

private:
  struct Entry {
    int number;
    int generation;
    qint64 offset;
  };
  // Runs of consecutive object numbers, as (first, count) pairs.
  QList<QPair<int, int>> subsections() const;
  void finish(qint64 sectionOffset);

  qint64 baseLength;
  QByteArray update;
  QList<Entry> entries;
};
