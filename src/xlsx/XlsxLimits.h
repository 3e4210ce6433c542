#pragma once
// Bounds that keep a hostile workbook from taking unbounded memory or time.

#include <QtGlobal>

namespace xlsxlimits {

inline constexpr int kMaxRow = 1048576;   // rows 1..1,048,576
inline constexpr int kMaxColumn = 16384;  // columns 1..16,384 (A..XFD)
// Uncompressed size of one package part and of all parts read together.
inline constexpr qint64 kMaxPartBytes = 100LL * 1024 * 1024;
inline constexpr qint64 kMaxPackageBytes = 300LL * 1024 * 1024;
// Cells stored over the whole workbook, merged ranges of one sheet.
inline constexpr qint64 kMaxCells = 5'000'000;
inline constexpr int kMaxMerges = 100'000;
// Grid positions (rows x columns) a sheet may lay out; every position is painted.
inline constexpr qint64 kMaxGridPositions = 10'000'000;
// Points of one chart series, and list entries of all series of a workbook.
inline constexpr int kMaxChartPoints = 100'000;
inline constexpr qint64 kMaxChartSlots = 2'000'000;
// Entries of the shared-string table, and of each other list read record by
// record (style records, number formats, relationships, sheet references):
// an empty record costs a few bytes of the file but tens in memory.
inline constexpr int kMaxSharedStrings = 2'000'000;
inline constexpr int kMaxListRecords = 100'000;
// Pages one import may add; a workbook that would make more is refused whole.
inline constexpr int kMaxImportPages = 2000;

}  // namespace xlsxlimits
