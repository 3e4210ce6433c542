// Parses the command line, dispatches the worker modes and builds the window.
#include "AppProduct.h"
#include "CommandLine.h"
#include "MainWindow.h"
#include "RibbonFactories.h"
#include "StartupSplash.h"
#include "WorkerModes.h"
#include "core/ForeignFileNames.h"
#include "core/OwnedLeftovers.h"
#include "export/CompressedExportDialog.h"
#include "ocr/ParallelPageRecognition.h"
#include "ui/UiLanguage.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QSettings>
#include <QTimer>

#include <cstdlib>

namespace {

bool isShellSwitch(const QString& argument) {
  return argument == QLatin1String("--ulvo-shell-merge") || argument == QLatin1String("--ulvo-shell-compress") ||
         argument == QLatin1String("--ulvo-shell-sign");
}

bool isWorkerModeStart(int argc, char* argv[]) {
  if (argc < 2) return false;
  const QString first = QString::fromLocal8Bit(argv[1]);
  return first.startsWith(QLatin1String("--ulvo-")) && !first.startsWith(QLatin1String("--ulvo-product=")) &&
         !isShellSwitch(first);
}

QtMessageHandler defaultMessageHandler = nullptr;

// A worker's parent reads its standard error as the failure text, so the
// notice Qt gives on every start where XDG_RUNTIME_DIR is unset (containers,
// CI) must not end up there.
void workerMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  if (defaultMessageHandler) defaultMessageHandler(type, context, message);
}

// Worker modes print JSON and need no display: without one they run on the
// offscreen platform instead of failing to connect.
void prepareWorkerModeStart(int argc, char* argv[]) {
  if (!isWorkerModeStart(argc, argv)) return;
  defaultMessageHandler = qInstallMessageHandler(workerMessageHandler);
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace

int main(int argc, char* argv[]) {
  prepareWorkerModeStart(argc, argv);
  // Qt sees the program name only: every other argument is ours (a switch
  // or a file), never one of Qt's own options.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  QApplication::setOrganizationName(QStringLiteral("ulvo"));
  QApplication::setApplicationVersion(QStringLiteral("1.0.6"));
  QApplication::setWindowIcon(QIcon(I(QStringLiteral("ulvo-app"))));

  const QStringList arguments = readCommandLine(argc, argv);
  const AppProduct product = productFromArguments(switchArguments(arguments));
  QApplication::setApplicationName(productApplicationName(product));

  // Worker modes speak the interface language too: their messages reach the user.
  applyUiLanguage(QSettings().value(QStringLiteral("ui/language"), QStringLiteral("ru")).toString());
  applyProductDisplayName(product);
  if (std::optional<int> code = runWorkerMode(arguments)) return *code;

  // Copies of documents, printed sheets and name links left by runs that were killed.
  removeStaleOwnedTemporaryFolders(QDir::tempPath());

  const bool shellMode = arguments.size() >= 2 && isShellSwitch(arguments.at(1));
  app.setProperty("ulvoShellDialogMode", shellMode);

  if (!shellMode && product != AppProduct::Ecp) {
    StartupSplash splash(productDisplayName(product));
    splash.show();
    splash.runStages(StartupSplash::stepDelayFromEnvironment());
    splash.close();
  }

  MainWindow window(product);
  if (shellMode) {
    const QString action = arguments.at(1).mid(13);
    const QList<QString> files = fileArguments(arguments, 2);
    QTimer::singleShot(0, &window, [&window, action, files] { window.runShellAction(action, files, true); });
  } else if (product == AppProduct::Ecp) {
    const QList<QString> files = fileArguments(arguments, 1);
    QTimer::singleShot(0, &window, [&window, files] { window.showEcpStartup(files); });
  } else {
    window.show();
    const QStringList files = fileArguments(arguments, 1);
    if (!files.isEmpty()) window.openFile(files.first());
  }
  const int code = app.exec();
  // A recognition worker still inside a step of the recogniser that does not
  // listen for its stop would keep the process, unseen, for minutes; nothing
  // of the user's is left to write.
  if (ParallelPageRecognition::workersLeftRunning() > 0) std::_Exit(code);
  return code;
}
