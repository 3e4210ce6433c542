#include "CommandLine.h"

#include "core/ForeignFileNames.h"

namespace {

const QLatin1String kEndOfSwitches("--");

}  // namespace

QStringList readCommandLine(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    const QByteArray raw(argv[i]);
    // The program and the switches before "--" are ours to read as text.
    const bool mayBeFile = i > 0 && (!raw.startsWith("--ulvo-") || arguments.contains(kEndOfSwitches));
    arguments << (mayBeFile ? openablePathForArgument(raw) : QString::fromLocal8Bit(raw));
  }
  return arguments;
}

QStringList switchArguments(const QStringList& arguments) {
  const qsizetype end = arguments.indexOf(kEndOfSwitches);
  return end < 0 ? arguments : arguments.mid(0, end);
}

QStringList fileArguments(const QStringList& arguments, int first) {
  QStringList files;
  bool afterEnd = false;
  for (qsizetype i = first; i < arguments.size(); ++i) {
    const QString& argument = arguments.at(i);
    if (!afterEnd && argument == kEndOfSwitches) {
      afterEnd = true;
      continue;
    }
    if (!afterEnd && argument.startsWith(QLatin1String("--ulvo-product="))) continue;
    files << argument;
  }
  return files;
}
