// Times cleaning a facsimile name typed or pasted at absurd length, the
// median of several runs:
//   ulvo_bench_names [--length N] [--runs R]
#include "BenchTiming.h"
#include "signature/Facsimiles.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const QStringList args = app.arguments();
  int length = 40000;
  int runs = 5;
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--length") length = std::max(1, args[i + 1].toInt());
    if (args[i] == "--runs") runs = std::max(1, args[i + 1].toInt());
  }
  const QString name = QString(length, QChar(0x044F)) + QStringLiteral("..//:*");
  QString cleaned;
  const double ms = medianMs(runs, [&] { cleaned = normalizeFacsimileName(name); });
  std::printf("name_chars %d clean_ms %.3f cleaned_bytes %lld\n", length, ms,
              static_cast<long long>(cleaned.toUtf8().size()));
  return 0;
}
