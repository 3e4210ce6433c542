#pragma once
// PDFs written object by object, for structures that PDF writers do not
// produce on request: link annotations of every action type, damaged or very
// deep outlines, crop boxes away from the origin.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace handwritten {

// Object n (from 1) is objects[n - 1]; object 1 is the catalog. A correct
// cross-reference table is added.
QByteArray buildPdf(const QStringList& objects);
bool writePdf(const QString& path, const QStringList& objects);

// A stream object of `content` (binary data welcome); `entries` are further
// dictionary entries such as an image's /Width and /ColorSpace.
QString stream(const QByteArray& content, const QByteArray& entries = {});

// Pages whose drawing costs far more than their bytes say, each with a line
// "still here, and read" over it: a field drawing a self-drawing form, fields drawing
// 100 M and 15 M rectangles, 38 nested transparency groups on A4 and on a
// poster, 400,000 page fills, 1,500,000 page fills sharing one stream,
// 60,000 fields without appearances, a field of 4,000,000 characters, a
// widget of no field (no name, no type) drawing 15 M rectangles, 99,000
// fields 100 to a parent without /T (one such page to a file), on a page of
// text or on one whose content draws the self-drawing form.
enum class CostlyPage { Text, SelfDrawingField, HundredMillionRectsField, FifteenMillionRectsField, Groups,
                        PosterGroups, Fills, SharedSlowFills, BareFields, LongValueField, FifteenMillionRectsUnnamedWidget,
                        NamelessParentFields, NamelessParentFieldsOnSelfDrawingPage };
bool writeCostlyPages(const QString& path, const QList<CostlyPage>& pages);

}  // namespace handwritten
