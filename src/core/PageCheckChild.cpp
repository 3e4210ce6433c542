#include "PageCheckChild.h"

#include "LastingThread.h"

#include "PageCheckWorker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

qint64 nowMs() {
  static const QElapsedTimer clock = [] {
    QElapsedTimer started;
    started.start();
    return started;
  }();
  return clock.elapsed();
}

bool sendAll(int fd, const char* data, qsizetype size) {
  while (size > 0) {
    const ssize_t sent = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= sent;
  }
  return true;
}

// Restarts of a worker for one wanted page: each refuses the page it died on.
constexpr int kMostStartsPerPage = 3;

}  // namespace

QString PageCheckChild::workerPath() {
  const QString dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                   : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  const QFileInfo worker(QDir(dir).filePath(QStringLiteral("ulvo-page-check")));
  return worker.isFile() && worker.isExecutable() ? worker.absoluteFilePath() : QString();
}

PageCheckChild::PageCheckChild(const QByteArray& bytes, const QByteArray& password)
    : bytes(bytes), password(password) {}

PageCheckChild::~PageCheckChild() { stop(); }

bool PageCheckChild::start() {
  const QByteArray program = QFile::encodeName(workerPath());
  int ends[2];
  if (program.isEmpty() || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  // The document reaches the worker through memory of its own, so that
  // starting it never waits for it to read.
  const int document = ::memfd_create("ulvo-page-check", MFD_CLOEXEC);
  bool written = document >= 0;
  for (qsizetype done = 0; written && done < bytes.size();) {
    const ssize_t wrote = ::write(document, bytes.constData() + done, size_t(bytes.size() - done));
    if (wrote < 0 && errno == EINTR) continue;
    written = wrote > 0;
    done += std::max<ssize_t>(wrote, 0);
  }
  if (!written || ::lseek(document, 0, SEEK_SET) != 0) {
    if (document >= 0) ::close(document);
    ::close(ends[0]);
    ::close(ends[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, document, kPageCheckDocumentFd);
  const QByteArray parent = QByteArray::number(qint64(::getpid()));
  char* arguments[] = {const_cast<char*>(program.constData()), const_cast<char*>(kPageCheckSwitch),
                       const_cast<char*>(parent.constData()), nullptr};
  pid_t started = -1;
  const int failed = onLastingThread(
      [&] { return posix_spawn(&started, program.constData(), &actions, nullptr, arguments, environ); });
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  ::close(document);
  if (failed != 0) {
    ::close(ends[0]);
    return false;
  }
  pid = started;
  socket = ends[0];
  ready = false;
  checking = -1;
  checkingSince = nowMs();
  inbox.clear();
  // The password goes through the pipe, never through a file or an argument.
  // A worker started again after one died checks only the pages asked for:
  // ahead, it could meet the page that killed the last one.
  const QByteArray header = QByteArray::number(password.size()) + ' ' + QByteArray::number(bytes.size()) +
                            (startsSoFar++ == 0 ? " 1\n" : " 0\n");
  if (!sendAll(socket, header.constData(), header.size()) || !sendAll(socket, password.constData(), password.size())) {
    stop();
    return false;
  }
  return true;
}

void PageCheckChild::prepare() {
  if (socket < 0 && !unusable && !start()) unusable = true;
}

void PageCheckChild::stop() {
  if (socket >= 0) ::close(socket);
  socket = -1;
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid = -1;
  ready = false;
  abandoned = false;
  checking = -1;
}

void PageCheckChild::take(const QByteArray& line) {
  const QJsonObject said = QJsonDocument::fromJson(line).object();
  if (said.contains(QLatin1String("ready"))) {
    ready = said.value(QLatin1String("ready")).toBool();
  } else if (said.contains(QLatin1String("checking"))) {
    checking = said.value(QLatin1String("checking")).toInt();
    checkingSince = nowMs();
    checkingContent = said.value(QLatin1String("content")).toString().toLatin1();
    if (!checkingContent.isEmpty() && refusedContent.count(checkingContent)) {
      verdicts[checking] = false;
      abandoned = true;
    }
  } else if (said.contains(QLatin1String("page"))) {
    const int page = said.value(QLatin1String("page")).toInt();
    verdicts.emplace(page, said.value(QLatin1String("loadable")).toBool());
    costs[page] = PageRenderCost::fromText(said.value(QLatin1String("cost")).toString().toLatin1());
    checking = -1;
  }
}

bool PageCheckChild::hear(int index, bool wait) {
  for (;;) {
    if (index >= 0 ? verdicts.count(index) > 0 : ready) return true;
    const qint64 left = wait ? checkingSince + kPageCheckMilliseconds - nowMs() : 0;
    if (wait && left <= 0) return false;
    if (wait && ((interrupt && interrupt->load(std::memory_order_acquire)) || (giveUpAt >= 0 && nowMs() >= giveUpAt))) {
      wasInterrupted = true;
      return false;
    }
    pollfd said{socket, POLLIN, 0};
    // In short slices, so that an interruption is seen soon.
    const int polled = ::poll(&said, 1, int(std::clamp<qint64>(left, 0, 25)));
    if (polled < 0 && errno == EINTR) continue;
    if (polled == 0) {
      if (!wait) return true;
      continue;
    }
    char buffer[4096];
    const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    inbox.append(buffer, got);
    for (qsizetype end = inbox.indexOf('\n'); end >= 0; end = inbox.indexOf('\n')) {
      take(inbox.left(end));
      inbox.remove(0, end + 1);
    }
  }
}

std::optional<PageRenderCost> PageCheckChild::cost(int index) const {
  const auto known = costs.find(index);
  if (known == costs.end()) return std::nullopt;
  return known->second;
}

void PageCheckChild::refuseChecking() {
  if (checking < 0) return;
  verdicts[checking] = false;
  if (!checkingContent.isEmpty()) refusedContent.insert(checkingContent);
  checking = -1;
}

std::optional<bool> PageCheckChild::loadable(int index, int patienceMs) {
  wasInterrupted = false;
  giveUpAt = patienceMs < 0 ? -1 : nowMs() + patienceMs;
  if (socket >= 0) hear(index, false);  // what was checked ahead
  // A worker drawing what was refused before would only run out the bound again.
  if (abandoned) stop();
  if (const auto known = verdicts.find(index); known != verdicts.end()) {
    // The worker goes on ahead of the page in use; its answer is not waited for.
    if (socket >= 0 && ready) {
      const QByteArray ask = QByteArray::number(index) + '\n';
      sendAll(socket, ask.constData(), ask.size());
    }
    return known->second;
  }
  if (unusable) return std::nullopt;
  for (int starts = 0; starts < kMostStartsPerPage; ++starts) {
    if (socket < 0 && !start()) unusable = true;
    if (!unusable && !ready && !hear(-1, true)) {
      if (wasInterrupted) return std::nullopt;
      stop();
      unusable = true;
    }
    // A worker that cannot even open what this process opened checks nothing.
    if (unusable) return std::nullopt;
    const QByteArray ask = QByteArray::number(index) + '\n';
    if (sendAll(socket, ask.constData(), ask.size()) && hear(index, true)) {
      if (abandoned) stop();
      return verdicts[index];
    }
    // The worker goes on; the page is asked for again next time.
    if (wasInterrupted) return std::nullopt;
    // Silent past the bound, or dead: the page it was on is refused.
    refuseChecking();
    stop();
    if (const auto known = verdicts.find(index); known != verdicts.end()) return known->second;
  }
  return verdicts[index] = false;
}
