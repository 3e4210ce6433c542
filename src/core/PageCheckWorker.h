#pragma once
// The page check worker: a process of its own (ulvo-page-check) that loads
// each page of one document in pdfium, with its text and a small rendering,
// under an address-space limit, before the program loads it. A page it does
// not survive, or not in time, is refused by the program (see PageCheckChild).
//
// Talk, one line each way at a time, over standard input and output:
//   in:  "<password bytes> <document bytes> <look ahead: 1 or 0>\n" and the
//        password; the document
//        itself is read from descriptor kPageCheckDocumentFd; then
//        "<page>\n" for each page wanted.
//   out: {"ready":true,"pages":N} (or {"ready":false}), then
//        {"checking":P} before each page and {"page":P,"loadable":B} after it.
// Pages after the last one asked for (and, at first, the first pages) are
// checked ahead while nothing is asked, unless the worker is told not to.

// Switch the worker's first argument must be; the second is its parent's process id.
inline constexpr const char* kPageCheckSwitch = "--ulvo-page-check";
// Address space a page check may take beyond what the open document takes.
inline constexpr long long kPageCheckMemoryBytes = 1024LL << 20;
// Pages checked ahead of the last one asked for.
inline constexpr int kPageCheckAhead = 6;

inline constexpr int kPageCheckDocumentFd = 3;

int runPageCheckWorker(int argc, char* argv[]);
