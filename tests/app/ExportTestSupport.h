#pragma once
// Fixtures of the export tests: a PDF of JPEG pages like a scanner makes,
// and the program's child processes as /proc lists them.

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>

namespace exporttest {

// A scanner-like page: coarse grey grain, dark text bars and a photo block.
QImage scannedLookingPage(int seed, QSize pixels);

// One JPEG image filling each page of `pagePoints`, written object by object.
bool writeJpegPagesPdf(const QString& path, const QList<QImage>& pages, QSizeF pagePoints, int quality = 80);

struct ChildProcess {
  qint64 pid = 0;
  QStringList arguments;
};
// Living (not zombie) children of `parent`.
QList<ChildProcess> childProcesses(qint64 parent);
bool goneOrZombie(qint64 pid);
// Waits up to `ms` for every pid to be gone; true when they all are.
bool waitAllGone(const QList<qint64>& pids, int ms);

}  // namespace exporttest
