#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/DeviceHost.h"
#include "platform/RuntimeFolder.h"

namespace kst {

namespace {

// Longest wait for the guard: its holder keeps it only while it checks and
// takes the lock file, which takes far less.
constexpr int kGuardWaitMs = 500;
constexpr int kGuardRetryMs = 5;

// Serialises the check-and-take of the instance lock between processes. The
// guard file is never removed, so an flock on it is a true mutex, released
// by the kernel if its holder dies. Without it two processes that both find
// a stale lock could each remove the other's fresh one.
class LockGuardFile {
 public:
  enum class State { Held, Busy, Refused };

  explicit LockGuardFile(const QString& path) {
    // No symbolic link is followed, and nothing but a regular file of this
    // user is taken: the file is created where the lock lies, nowhere else.
    fd_ = ::open(QFile::encodeName(path).constData(),
                 O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
      Drop();
      state_ = State::Refused;
      return;
    }
    QDeadlineTimer deadline(kGuardWaitMs);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
        Drop();
        state_ = State::Busy;
        return;
      }
      QThread::msleep(kGuardRetryMs);
    }
    state_ = State::Held;
  }
  ~LockGuardFile() {
    if (state_ == State::Held) ::flock(fd_, LOCK_UN);
    Drop();
  }
  LockGuardFile(const LockGuardFile&) = delete;
  LockGuardFile& operator=(const LockGuardFile&) = delete;

  State state() const { return state_; }

 private:
  void Drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  State state_ = State::Refused;
};

QString ExecutableFileNameOf(const QString& processFolder) {
  const QByteArray link = QFile::encodeName(processFolder + QStringLiteral("/exe"));
  char buffer[4096];
  const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  QString target = QFile::decodeName(QByteArray(buffer, static_cast<qsizetype>(n)));
  // A program replaced while it runs (a rebuild) still counts as itself.
  const QString deleted = QStringLiteral(" (deleted)");
  if (target.endsWith(deleted)) target.chop(deleted.size());
  return QFileInfo(target).fileName();
}

}  // namespace

QString UserRuntimeFolder() {
  const RuntimeFolder folder = ResolveRuntimeFolder();
  if (folder.path.empty()) {
    std::fprintf(stderr,
                 "kestrune: no private runtime folder (%s): running without instance lock\n",
                 folder.note.c_str());
    return {};
  }
  if (!folder.note.empty()) {
    std::fprintf(stderr, "kestrune: %s; using %s\n", folder.note.c_str(), folder.path.c_str());
  }
  if (!folder.socketsFit) {
    std::fprintf(stderr,
                 "kestrune: %s is too long for a socket address: a second start cannot reach "
                 "this instance\n",
                 folder.path.c_str());
  }
  return QFile::decodeName(QByteArray::fromStdString(folder.path));
}

// ---- InstanceLock -------------------------------------------------------------

InstanceLock::InstanceLock(const QString& folder)
    : path_(folder.isEmpty() ? QString()
                             : folder + QLatin1Char('/') + QLatin1String(kInstanceLockName)),
      lock_(std::make_unique<QLockFile>(path_)) {
  // Only a dead holder makes the lock stale, never its age: an instance runs
  // for days.
  lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() { Release(); }

InstanceLock::Result InstanceLock::TryAcquire() {
  if (held_) return Result::Acquired;
  if (path_.isEmpty()) return Result::Failed;
  LockGuardFile guard(path_ + QStringLiteral(".guard"));
  if (guard.state() == LockGuardFile::State::Refused) return Result::Failed;
  if (guard.state() == LockGuardFile::State::Busy) return Result::HeldElsewhere;
  if (lock_->tryLock(0)) {
    held_ = true;
    return Result::Acquired;
  }
  return lock_->error() == QLockFile::LockFailedError ? Result::HeldElsewhere : Result::Failed;
}

void InstanceLock::Release() {
  if (!held_) return;
  lock_->unlock();
  held_ = false;
}

qint64 InstanceLock::HolderPid() const {
  qint64 pid = 0;
  QString host, app;
  if (!lock_->getLockInfo(&pid, &host, &app)) return 0;
  return pid;
}

// ---- Finding the running instance ---------------------------------------------

qint64 FindRunningInstance(const QString& executableFileName, qint64 selfPid,
                           const QString& procRoot) {
  if (executableFileName.isEmpty()) return 0;
  const QDir root(procRoot);
  std::vector<qint64> pids;
  for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    const qint64 pid = name.toLongLong(&numeric);
    if (numeric && pid > 0) pids.push_back(pid);
  }
  std::sort(pids.begin(), pids.end());
  const uid_t uid = ::geteuid();
  for (const qint64 pid : pids) {
    if (pid == selfPid) continue;
    const QString folder = root.filePath(QString::number(pid));
    // Another user's process is passed over before anything of it is read.
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || st.st_uid != uid) continue;
    if (ExecutableFileNameOf(folder).compare(executableFileName, Qt::CaseInsensitive) == 0) {
      return pid;
    }
  }
  return 0;
}

// ---- SingleInstance -----------------------------------------------------------

SingleInstance::SingleInstance(InstanceConfig config)
    : config_(std::move(config)), lock_(config_.runtimeFolder) {}

SingleInstance::~SingleInstance() { Close(); }

QString SingleInstance::SocketPath() const { return InstanceSocketPath(config_.runtimeFolder); }

bool SingleInstance::Signal(std::uint32_t message, std::uintptr_t wParam) {
  // An instance of this runtime folder holds its lock from before it listens
  // until it ends, so only then is a socket worth waiting for. Without a
  // live holder the process found runs in another session (another runtime
  // folder): one attempt, no wait.
  SendTimeouts timeouts = config_.timeouts;
  const qint64 holder = lock_.HolderPid();
  if (holder <= 0 || (::kill(static_cast<pid_t>(holder), 0) != 0 && errno != EPERM)) {
    timeouts.connectMs = 0;
  }
  return SendInstanceMessage(SocketPath(), InstanceRequest{message, wParam, 0}, timeouts)
      .has_value();
}

StartupGate SingleInstance::Run(const CommandLine& commandLine, bool& startFlag) {
  for (const Switch s : commandLine.switches) {
    if (s == Switch::Kill) {
      if (FindRunningInstance(config_.executableFileName, config_.selfPid, config_.procRoot) != 0) {
        Signal(UM_KILL, kKillWParam);
      }
      return StartupGate::Exit;
    }
    if (s == Switch::Start) startFlag = true;
  }
  switch (lock_.TryAcquire()) {
    case InstanceLock::Result::Acquired:
      return StartupGate::Continue;
    case InstanceLock::Result::HeldElsewhere:
      if (FindRunningInstance(config_.executableFileName, config_.selfPid, config_.procRoot) != 0) {
        Signal(UM_OPEN, kOpenWParam);
        return StartupGate::Exit;
      }
      return StartupGate::Continue;
    case InstanceLock::Result::Failed:
      // No lock can be had in the runtime folder (not writable): run
      // unguarded rather than not at all.
      return StartupGate::Continue;
  }
  return StartupGate::Continue;
}

bool SingleInstance::Listen(InstanceMessageHandler handler) {
  if (config_.runtimeFolder.isEmpty()) return false;
  if (server_.Listen(SocketPath(), std::move(handler))) return true;
  std::fprintf(stderr, "kestrune: cannot listen on %s: %s; trying again\n",
               qUtf8Printable(SocketPath()), qUtf8Printable(server_.LastError()));
  return false;
}

void SingleInstance::Close() {
  server_.Close();
  lock_.Release();
}

bool StartCompanionProgram(const QString& programFile) {
  const QFileInfo info(programFile);
  if (!info.isFile() || !info.isExecutable()) return false;
  QProcess process;
  process.setProgram(info.absoluteFilePath());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  return process.startDetached();
}

}  // namespace kst
