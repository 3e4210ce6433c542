#pragma once
// The page list of the extraction field ("1, 3-5, 7") and the deletions that
// remove exactly the named pages afterwards.

#include <QList>
#include <QString>
#include <QStringList>

// 0-based page indices in the order written, repeats kept; numbers outside
// 1..pageCount are left out, a range stops at the last page, "-4" means 1-4
// and "5-" names nothing.
QList<int> parsePageList(const QString& text, int pageCount);

// Each named page once, highest first, so deleting them in this order keeps
// the lower indices valid.
QList<int> distinctPagesDescending(const QList<int>& pages);

// One output per page, in the order given, for an extraction that writes
// each page apart: "<chosen name>-<page>.pdf".
QStringList pagePerFileNames(const QString& chosenPdf, const QList<int>& pages);
