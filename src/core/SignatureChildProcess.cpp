#include "SignatureChildProcess.h"

#include <QProcess>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

void tieChildToThisProcess(QProcess* process, int inheritedDescriptor) {
  const pid_t parent = ::getpid();
  process->setChildProcessModifier([parent, inheritedDescriptor] {
    if (inheritedDescriptor >= 0) ::fcntl(inheritedDescriptor, F_SETFD, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have gone between fork and prctl.
    if (::getppid() != parent) ::_exit(1);
  });
}
