#pragma once
// Pieces of the page render for the scanned-look export that need no window.

struct TextBlock;

// Whether the block has left the place where it was extracted (by more than
// half a point on any edge) or is turned by more than 0.1 degree.
bool scannedExportBlockMoved(const TextBlock& block);
