#pragma once
// What the main window uses of scanning: the scan tab it hosts in its scan
// dialog, and the one-page PDF each scanned image becomes.

#include "ScanTab.h"
#include "ScannedPagePdf.h"
