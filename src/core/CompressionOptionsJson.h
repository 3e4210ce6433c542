#pragma once
// The JSON form of compression options, as the fit worker reports them.

#include "PdfDocument.h"

#include <QJsonObject>

// One key per field, named like it.
QJsonObject compressionOptionsToJson(const PdfDocument::CompressionOptions& options);
