#pragma once
// Where a link or a bookmark leads: a page of this document, a web address or
// another file.

#include <QString>
#include <QUrl>

struct LinkTarget {
  enum Kind { None = 0, Page = 1, Url = 2, File = 3 };

  int kind = None;
  int page = -1;     // zero-based, for Page only
  QUrl url;          // for Url only
  QString filePath;  // for File only: as written in the PDF, trimmed
  double top = -1;   // for Page: points below the shown page's top of the place named; -1 for none
};
