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

std::optional<QSizeF> scanPaperMillimetres(const ScanParams& params) {
  QSizeF paper;
  if (params.pageSize == QLatin1String("A4"))
    paper = {210, 297};
  else if (params.pageSize == QLatin1String("A3"))
    paper = {297, 420};
  else if (params.pageSize == QLatin1String("A5"))
    paper = {148, 210};
  else if (params.pageSize == QLatin1String("A6"))
    paper = {105, 148};
  else if (params.pageSize == QLatin1String("Letter"))
    paper = {215.9, 279.4};
  else if (params.pageSize == QLatin1String("Legal"))
    paper = {215.9, 355.6};
  else
    return std::nullopt;
  if (params.landscape) paper.transpose();
  return paper;
}

void setSaneBackendMaker(std::function<std::unique_ptr<ScanBackend>()> maker) { saneMaker() = std::move(maker); }

std::unique_ptr<ScanBackend> createScanBackend() {
  std::unique_ptr<ScanBackend> sane = saneMaker() ? saneMaker()() : std::make_unique<SaneBackend>();
  if (sane && sane->init()) return sane;
  sane.reset();
  qWarning("SANE init failed, falling back to stub scanner");
  return std::make_unique<StubBackend>();
}
