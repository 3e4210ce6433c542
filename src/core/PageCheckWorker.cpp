#include "PageCheckWorker.h"

#include "PageContentBounds.h"
#include "PdfiumApi.h"
#include "PdfiumLock.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// The largest rendering a check makes: big enough that pdfium draws every
// path, small enough to cost little beside the program's own rendering.
constexpr double kCheckScale = 0.5;
constexpr int kMostCheckPixels = 1 << 20;

bool readExactly(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t got = ::read(fd, data, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= size_t(got);
  }
  return true;
}

bool readLine(int fd, std::string* line) {
  line->clear();
  char c = 0;
  while (line->size() < 64) {
    if (!readExactly(fd, &c, 1)) return false;
    if (c == '\n') return true;
    line->push_back(c);
  }
  return false;
}

void say(const std::string& line) {
  const std::string out = line + "\n";
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t wrote = ::write(STDOUT_FILENO, out.data() + done, out.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) std::_Exit(0);  // the program is gone
    done += size_t(wrote);
  }
}

long long addressSpaceInUse() {
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return -1;
  long long pages = -1;
  if (std::fscanf(statm, "%lld", &pages) != 1) pages = -1;
  std::fclose(statm);
  return pages < 0 ? -1 : pages * ::sysconf(_SC_PAGESIZE);
}

// What the program will do with the page: load it, read its text, render it.
bool survives(FPDF_DOCUMENT doc, PageContentBounds& bounds, int index) {
  if (bounds.exceeds(index)) return false;
  PdfiumLock lock;
  FPDF_PAGE page = FPDF_LoadPage(doc, index);
  if (!page) return true;  // the program finds no page either
  if (FPDF_TEXTPAGE text = FPDFText_LoadPage(page)) {
    FPDFText_CountChars(text);
    FPDFText_ClosePage(text);
  }
  const double width = FPDF_GetPageWidthF(page) * kCheckScale, height = FPDF_GetPageHeightF(page) * kCheckScale;
  const double shrink = std::min(1.0, std::sqrt(kMostCheckPixels / std::max(1.0, width * height)));
  const int w = std::clamp(int(width * shrink), 1, 4096), h = std::clamp(int(height * shrink), 1, 4096);
  if (FPDF_BITMAP bitmap = FPDFBitmap_Create(w, h, 0)) {
    FPDFBitmap_FillRect(bitmap, 0, 0, w, h, 0xFFFFFFFF);
    FPDF_RenderPageBitmap(bitmap, page, 0, 0, w, h, 0, FPDF_ANNOT);
    FPDFBitmap_Destroy(bitmap);
  }
  FPDF_ClosePage(page);
  return true;
}

}  // namespace

int runPageCheckWorker(int argc, char* argv[]) {
  if (argc < 3 || std::strcmp(argv[1], kPageCheckSwitch) != 0) return 2;
  // Never outlive the program, even when it is killed.
  const pid_t parent = pid_t(std::atoll(argv[2]));
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) return 1;
  const rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);

  std::string header;
  if (!readLine(STDIN_FILENO, &header)) return 1;
  long long passwordSize = -1, documentSize = -1;
  int lookAhead = 0;
  if (std::sscanf(header.c_str(), "%lld %lld %d", &passwordSize, &documentSize, &lookAhead) != 3 || passwordSize < 0 ||
      passwordSize > 4096 || documentSize <= 0)
    return 1;
  std::vector<char> password(size_t(passwordSize) + 1, '\0');
  QByteArray document(qsizetype(documentSize), Qt::Uninitialized);
  const bool read = readExactly(STDIN_FILENO, password.data(), size_t(passwordSize)) &&
                    readExactly(kPageCheckDocumentFd, document.data(), size_t(documentSize));
  ::close(kPageCheckDocumentFd);
  if (!read) return 1;

  PdfiumLock::ensureInitialised();
  FPDF_DOCUMENT doc = nullptr;
  int pages = 0;
  {
    PdfiumLock lock;
    doc = FPDF_LoadMemDocument64(document.constData(), size_t(document.size()),
                                 passwordSize > 0 ? password.data() : nullptr);
    pages = doc ? FPDF_GetPageCount(doc) : 0;
  }
  if (!doc) {
    say("{\"ready\":false}");
    return 1;
  }
  PageContentBounds bounds(document, QByteArray(password.data(), qsizetype(passwordSize)));
  std::fill(password.begin(), password.end(), '\0');
  // From here on no page may take more than the bound beyond the open document.
  const long long inUse = addressSpaceInUse();
  if (inUse > 0) {
    const rlimit space{rlim_t(inUse + kPageCheckMemoryBytes), rlim_t(inUse + kPageCheckMemoryBytes)};
    ::setrlimit(RLIMIT_AS, &space);
  }
  say("{\"ready\":true,\"pages\":" + std::to_string(pages) + "}");

  std::vector<char> checked(size_t(std::max(0, pages)), 0);
  // Until a page is asked for, the first ones are checked.
  const int window = lookAhead ? kPageCheckAhead : 0;
  int ahead = 0, aheadEnd = std::min(pages, window);
  for (;;) {
    int wanted = -1;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const bool idle = ahead < 0 || ahead >= aheadEnd;
    if (idle || ::poll(&input, 1, 0) > 0) {
      std::string line;
      if (!readLine(STDIN_FILENO, &line)) return 0;
      wanted = std::atoi(line.c_str());
      ahead = wanted + 1;
      aheadEnd = std::min(pages, wanted + 1 + window);
    } else {
      while (ahead < aheadEnd && checked[size_t(ahead)]) ++ahead;
      if (ahead >= aheadEnd) continue;
      wanted = ahead++;
    }
    const bool known = wanted < 0 || wanted >= pages || checked[size_t(wanted)];
    if (known) {
      const bool loadable = wanted < 0 || wanted >= pages || checked[size_t(wanted)] == 1;
      say("{\"page\":" + std::to_string(wanted) + ",\"loadable\":" + (loadable ? "true" : "false") + "}");
      continue;
    }
    say("{\"checking\":" + std::to_string(wanted) + "}");
    const bool loadable = survives(doc, bounds, wanted);
    checked[size_t(wanted)] = loadable ? 1 : 2;
    say("{\"page\":" + std::to_string(wanted) + ",\"loadable\":" + (loadable ? "true" : "false") + "}");
  }
}
