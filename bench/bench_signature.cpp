// Times preparing an embedded signature: reading the document's structure and
// writing the incremental update, the median of several runs:
//   ulvo_bench_signature FILE [--runs R]
#include "BenchTiming.h"
#include "core/PdfSignatureShell.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: %s FILE [--runs R]\n", argv[0]);
    return 2;
  }
  int runs = 5;
  if (args.size() > 3 && args[2] == "--runs") runs = std::max(1, args[3].toInt());
  QFile file(args.at(1));
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot read %s\n", qPrintable(args.at(1)));
    return 1;
  }
  const QByteArray pdf = file.readAll();
  std::printf("file %s bytes %lld runs %d\n", qPrintable(args.at(1)), static_cast<long long>(pdf.size()), runs);
  PdfSignatureShell shell;
  QString error;
  bool ok = false;
  const double ms = medianMs(runs, [&] { ok = preparePdfSignatureShell(pdf, QString(), &shell, &error); });
  if (!ok) {
    std::fprintf(stderr, "refused: %s\n", qPrintable(error));
    return 1;
  }
  std::printf("prepare_shell_ms %.1f update_bytes %lld\n", ms, static_cast<long long>(shell.pdf.size() - pdf.size()));
  return 0;
}
