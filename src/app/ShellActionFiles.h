#pragma once
// The files a file manager hands to a shell action ("merge", "compress",
// "sign"): which of them can be used, and why the others cannot.

#include <QList>
#include <QString>
#include <QStringList>

struct ShellActionFiles {
  QList<QString> files;  // absolute paths of existing regular files, each once, in argument order
  QStringList refused;   // "name — reason" for every argument that is not such a file
};

ShellActionFiles collectShellActionFiles(const QList<QString>& arguments);

// The suffixes the merge takes: PDFs, raster images and workbooks.
bool isSupportedMergeFile(const QString& path);

// Whether "%PDF-" occurs within the first 2048 bytes; reason says why not.
bool hasPdfSignature(const QString& path, QString* reason = nullptr);

// "\n\nНе подходят:\n" followed by the entries, or nothing for none.
QString refusedFilesNote(const QStringList& refused);
