#include "SignatureChildProcess.h"

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

void tieChildToThisProcess(QProcess* process) {
  const pid_t parent = ::getpid();
  process->setChildProcessModifier([parent] {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have gone between fork and prctl.
    if (::getppid() != parent) ::_exit(1);
  });
}
