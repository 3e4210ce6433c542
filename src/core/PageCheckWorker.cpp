#include "PageCheckWorker.h"

#include "PageContentBounds.h"
#include "PageRenderCost.h"
#include "PdfFormFields.h"
#include "PdfiumApi.h"
#include "PdfiumLock.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// The larger of the check's two drawings: big enough that pdfium draws every
// path and that the two drawings tell how the page's cost grows with its
// size, small enough to cost little beside the program's own rendering.
constexpr double kCheckScale = 0.5;
constexpr double kFewestCheckPixels = 1 << 16;
constexpr double kMostCheckPixels = 1 << 20;
// The largest drawing a road asks for: print and image export at 600 dpi.
constexpr double kLargestScale = 600.0 / 72.0;

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

double processorMs() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

long long statusBytes(const char* field) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long long kb = 0;
  const size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status))
    if (std::strncmp(line, field, length) == 0 && line[length] == ':') kb = std::atoll(line + length + 1);
  std::fclose(status);
  return kb * 1024;
}

// The peak resident memory starts again from what is resident now.
void restartPeak() {
  FILE* refs = std::fopen("/proc/self/clear_refs", "w");
  if (!refs) return;
  std::fputs("5", refs);
  std::fclose(refs);
}

struct Drawn {
  double pixels = 0, ms = 0, bytes = 0;
};

// The page drawn as the program draws it, with its fields.
Drawn draw(FPDF_DOCUMENT doc, int index, FPDF_PAGE page, FPDF_FORMHANDLE form, int w, int h) {
  restartPeak();
  const long long before = statusBytes("VmRSS");
  const double started = processorMs();
  if (FPDF_BITMAP bitmap = FPDFBitmap_Create(w, h, 1)) {
    FPDFBitmap_FillRect(bitmap, 0, 0, w, h, 0xFFFFFFFF);
    const FieldsLaidOut fields(page, form, doc, index);
    drawPageWithFields(bitmap, page, fields, 0, 0, w, h, 0);
    FPDFBitmap_Destroy(bitmap);
  }
  return Drawn{double(w) * h, processorMs() - started, double(std::max(0LL, statusBytes("VmHWM") - before))};
}

// The fields as the program draws them, within the same bound on their
// tree. Made for the first page with widgets, under that page's check: a
// form pdfium takes minutes for refuses that page, not the document. It
// lives as long as the process.
struct FormOnDemand {
  FPDF_DOCUMENT doc = nullptr;
  QByteArray bytes, password;
  PdfFormFields* fields = nullptr;

  FPDF_FORMHANDLE handle() {
    PdfiumLock::assertHeld();
    if (!fields) fields = new PdfFormFields(formWithinBounds(doc, bytes, password) ? doc : nullptr);
    return fields->handle();
  }
};

// What the program will do with the page: load it, read its text, render it
// with its fields. Then what the page costs to draw, in `cost`.
bool survives(FPDF_DOCUMENT doc, FormOnDemand& formOnDemand, PageContentBounds& bounds, int index,
              PageRenderCost* cost) {
  if (bounds.exceeds(index)) return false;
  PdfiumLock lock;
  FPDF_PAGE page = FPDF_LoadPage(doc, index);
  if (!page) return true;  // the program finds no page either
  const FPDF_FORMHANDLE form = pageHasWidgets(page) ? formOnDemand.handle() : nullptr;
  if (FPDF_TEXTPAGE text = FPDFText_LoadPage(page)) {
    FPDFText_CountChars(text);
    FPDFText_ClosePage(text);
  }
  const double width = std::max(1.0, FPDF_GetPageWidthF(page) * kCheckScale);
  const double height = std::max(1.0, FPDF_GetPageHeightF(page) * kCheckScale);
  const double fit = std::sqrt(std::clamp(width * height, kFewestCheckPixels, kMostCheckPixels) / (width * height));
  const int w = std::clamp(int(width * fit), 2, 4096), h = std::clamp(int(height * fit), 2, 4096);
  // The first drawing also loads fonts and images. Counted all per pixel it
  // overstates what a larger drawing costs; a page that stays cheap at the
  // largest drawing a road asks for is left at that, as most pages are, so
  // their check costs one drawing. A costlier page is drawn again smaller,
  // warm, to tell what grows with the pixels; the first drawing's loading
  // then still counts as growth, which errs on the side of the bounds.
  const Drawn large = draw(doc, index, page, form, w, h);
  const double largest = double(FPDF_GetPageWidthF(page)) * FPDF_GetPageHeightF(page) * kLargestScale * kLargestScale;
  const double msPerPixel = large.ms / large.pixels, bytesPerPixel = large.bytes / large.pixels;
  if (msPerPixel * largest <= kMostRenderMilliseconds / 4 && bytesPerPixel * largest <= kMostRenderBytes / 2) {
    FPDF_ClosePage(page);
    *cost = PageRenderCost{large.pixels, large.ms, large.bytes, msPerPixel, bytesPerPixel};
    return true;
  }
  const Drawn small = draw(doc, index, page, form, w / 2, h / 2);
  FPDF_ClosePage(page);
  const double grown = std::max(1.0, large.pixels - small.pixels);
  *cost = PageRenderCost{large.pixels, large.ms, large.bytes, std::max(0.0, large.ms - small.ms) / grown,
                         std::max(0.0, large.bytes - small.bytes) / grown};
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
  FormOnDemand form{doc, document, QByteArray(password.data(), qsizetype(passwordSize))};
  std::fill(password.begin(), password.end(), '\0');
  // From here on no page may take more than the bound beyond the open document.
  const long long inUse = addressSpaceInUse();
  if (inUse > 0) {
    const rlimit space{rlim_t(inUse + kPageCheckMemoryBytes), rlim_t(inUse + kPageCheckMemoryBytes)};
    ::setrlimit(RLIMIT_AS, &space);
  }
  say("{\"ready\":true,\"pages\":" + std::to_string(pages) + "}");

  std::vector<char> checked(size_t(std::max(0, pages)), 0);
  std::vector<PageRenderCost> costs(checked.size());
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
      const PageRenderCost cost = wanted < 0 || wanted >= pages ? PageRenderCost{} : costs[size_t(wanted)];
      say("{\"page\":" + std::to_string(wanted) + ",\"loadable\":" + (loadable ? "true" : "false") +
          ",\"cost\":\"" + cost.toText().toStdString() + "\"}");
      continue;
    }
    say("{\"checking\":" + std::to_string(wanted) + ",\"content\":\"" + bounds.contentKey(wanted).toStdString() +
        "\"}");
    PageRenderCost cost;
    const bool loadable = survives(doc, form, bounds, wanted, &cost);
    checked[size_t(wanted)] = loadable ? 1 : 2;
    costs[size_t(wanted)] = cost;
    say("{\"page\":" + std::to_string(wanted) + ",\"loadable\":" + (loadable ? "true" : "false") +
        ",\"cost\":\"" + cost.toText().toStdString() + "\"}");
  }
}
