#pragma once
// Writes hand-made package parts into a zip file, for workbooks that no
// spreadsheet library would write.

#include <QByteArray>
#include <QList>
#include <QString>

#include <zip.h>

#include <cstdlib>
#include <cstring>
#include <utility>

using XlsxParts = QList<std::pair<QString, QByteArray>>;

inline bool writeZipParts(const QString& path, const XlsxParts& parts) {
  int error = 0;
  zip_t* archive = zip_open(path.toUtf8().constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  for (const auto& [name, data] : parts) {
    // libzip frees the copy once the archive is written.
    void* copy = std::malloc(size_t(std::max<qsizetype>(data.size(), 1)));
    std::memcpy(copy, data.constData(), size_t(data.size()));
    zip_source_t* source = zip_source_buffer(archive, copy, zip_uint64_t(data.size()), 1);
    if (!source || zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_OVERWRITE) < 0) {
      if (source) zip_source_free(source);
      zip_discard(archive);
      return false;
    }
  }
  return zip_close(archive) == 0;
}

// The smallest parts of a workbook with the given sheet bodies (the XML inside
// "worksheet"), sheet names Sheet1, Sheet2, ...
inline XlsxParts minimalWorkbook(const QList<QByteArray>& sheetBodies, const QByteArray& styles = QByteArray()) {
  XlsxParts parts;
  QByteArray sheets, rels;
  for (qsizetype i = 0; i < sheetBodies.size(); ++i) {
    const QByteArray n = QByteArray::number(i + 1);
    sheets += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
            "Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts.append({QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1),
                  "<?xml version=\"1.0\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">" +
                      sheetBodies[i] + "</worksheet>"});
  }
  parts.append({QStringLiteral("xl/workbook.xml"),
                "<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets>" +
                    sheets + "</sheets></workbook>"});
  parts.append({QStringLiteral("xl/_rels/workbook.xml.rels"),
                "<?xml version=\"1.0\"?><Relationships "
                "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                    rels + "</Relationships>"});
  parts.append({QStringLiteral("xl/styles.xml"),
                styles.isEmpty() ? QByteArray("<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                                              "<fonts><font><sz val=\"11\"/></font></fonts><cellXfs><xf/></cellXfs></styleSheet>")
                                 : styles});
  return parts;
}
