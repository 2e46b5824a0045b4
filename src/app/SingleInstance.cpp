#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "device/DeviceHost.h"

namespace kst {

namespace {

// Serialises the check-and-take of the instance lock between processes. The
// guard file is never removed, so an flock on it is a true mutex, released
// by the kernel if its holder dies. Without it two processes that both find
// a stale lock could each remove the other's fresh one.
class LockGuardFile {
 public:
  explicit LockGuardFile(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~LockGuardFile() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  LockGuardFile(const LockGuardFile&) = delete;
  LockGuardFile& operator=(const LockGuardFile&) = delete;

 private:
  int fd_ = -1;
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
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  QDir().mkpath(folder);
  return folder;
}

// ---- InstanceLock -------------------------------------------------------------

InstanceLock::InstanceLock(const QString& folder)
    : path_(folder + QLatin1Char('/') + QLatin1String(kInstanceLockName)),
      lock_(std::make_unique<QLockFile>(path_)) {
  // Only a dead holder makes the lock stale, never its age: an instance runs
  // for days.
  lock_->setStaleLockTime(0);
}

InstanceLock::~InstanceLock() { Release(); }

InstanceLock::Result InstanceLock::TryAcquire() {
  if (held_) return Result::Acquired;
  LockGuardFile guard(path_ + QStringLiteral(".guard"));
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
  const uint uid = ::getuid();
  for (const qint64 pid : pids) {
    if (pid == selfPid) continue;
    const QString folder = root.filePath(QString::number(pid));
    if (QFileInfo(folder).ownerId() != uid) continue;
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
  return SendInstanceMessage(SocketPath(), InstanceRequest{message, wParam, 0}, config_.timeouts)
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
  return server_.Listen(SocketPath(), std::move(handler));
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
