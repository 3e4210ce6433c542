#pragma once
// The processes of signing (the certificate and signing workers, and the
// revocation check they run) hold key passwords or wait on the network; none
// may outlive the process that started it, even when that one is killed.

class QProcess;

// Before `process` starts: its child gets SIGKILL when this process ends, and
// gives up at once when this process has already gone by the time it runs.
// `inheritedDescriptor` (closed on exec here) stays open in the child under
// its number, the one way a memory-only file reaches it.
void tieChildToThisProcess(QProcess* process, int inheritedDescriptor = -1);
