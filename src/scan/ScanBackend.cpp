#include "ScanBackend.h"

#include "SaneBackend.h"
#include "StubBackend.h"

#include <QtGlobal>

namespace {

std::function<std::unique_ptr<ScanBackend>()>& saneMaker() {
  static std::function<std::unique_ptr<ScanBackend>()> maker;
  return maker;
}

}  // namespace

void setSaneBackendMaker(std::function<std::unique_ptr<ScanBackend>()> maker) { saneMaker() = std::move(maker); }

std::unique_ptr<ScanBackend> createScanBackend() {
  std::unique_ptr<ScanBackend> sane = saneMaker() ? saneMaker()() : std::make_unique<SaneBackend>();
  if (sane && sane->init()) return sane;
  sane.reset();
  qWarning("SANE init failed, falling back to stub scanner");
  return std::make_unique<StubBackend>();
}
