#pragma once

// One running instance per user: the instance lock, finding the running
// instance by executable name, and the start-up decision of a new process
// (end after "/Kill", wake the running instance and end, or go on as the
// first instance).

#include <QLockFile>
#include <QString>

#include <cstdint>
#include <memory>

#include "app/CommandLine.h"
#include "app/InstanceMessenger.h"

namespace kst {

inline constexpr const char* kInstanceLockName = "QT42B09C_Z-ORMIT_M350RGB";

// The user's private runtime folder (platform/RuntimeFolder.h), created when
// missing; empty when the user has none, and the instance then runs without
// lock and socket. Says on stderr why $XDG_RUNTIME_DIR was passed over, and
// when the folder cannot hold the instance socket.
QString UserRuntimeFolder();

// The instance lock file "QT42B09C_Z-ORMIT_M350RGB" in a folder. Checking and
// taking it is one atomic step, so of two processes started at the same
// moment exactly one holds it. A lock left by a process that no longer runs
// (a crash, kill -9) is taken over. Never blocks: when the step's guard file
// stays taken for longer than a moment, the lock counts as held elsewhere; a
// guard file that is a symbolic link or not a regular file of this user
// makes the attempt fail. An empty folder: every attempt fails.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& folder);
  ~InstanceLock();  // releases a held lock
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  enum class Result { Acquired, HeldElsewhere, Failed };
  Result TryAcquire();
  void Release();
  bool IsHeld() const { return held_; }
  QString FilePath() const { return path_; }
  // Process id recorded in the lock file; 0 when unreadable.
  qint64 HolderPid() const;

 private:
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  bool held_ = false;
};

// First process, in the order of the process list (ascending ids), whose
// executable file name equals `executableFileName` without regard to case,
// other than `selfPid`; 0 when none. Only this user's processes are looked
// at: a process folder of another owner is passed over unread. procRoot: the
// process list folder (tests give their own).
qint64 FindRunningInstance(const QString& executableFileName, qint64 selfPid,
                           const QString& procRoot = QStringLiteral("/proc"));

enum class StartupGate { Continue, Exit };

// Where the instance finds its lock and its socket, and whom it is.
struct InstanceConfig {
  QString runtimeFolder;       // lock file and socket
  QString executableFileName;  // "kestrune"
  qint64 selfPid = 0;
  QString procRoot = QStringLiteral("/proc");
  SendTimeouts timeouts;
};

// The instance lock and the message socket of this process, for its whole
// life. Owned by the application object.
class SingleInstance {
 public:
  explicit SingleInstance(InstanceConfig config);
  ~SingleInstance();

  // Walks the switches in order. "/Kill": finds the running instance, sends
  // it UM_KILL when found and waits for its exit sequence, and gives Exit
  // either way (this process never starts as an instance). The socket of an
  // instance found is waited for (up to timeouts.connectMs) only while this
  // runtime folder's lock has a live holder; otherwise one attempt is made. "/Start": sets
  // startFlag. Then the lock: taken -> Continue; held by a running instance
  // -> sends it UM_OPEN, Exit; held but no instance of this program found ->
  // Continue without the lock (the lock name is the only guard; the
  // executable name decides whom to wake).
  StartupGate Run(const CommandLine& commandLine, bool& startFlag);

  // The main window is ready to receive UM_OPEN and UM_KILL: start listening.
  // False (said on stderr) when the socket cannot be made now; the server
  // keeps trying (InstanceServer::Listen). False without a runtime folder.
  bool Listen(InstanceMessageHandler handler);
  // Exit sequence: stop listening and release the lock.
  void Close();

  bool HoldsLock() const { return lock_.IsHeld(); }
  InstanceServer& Server() { return server_; }
  const InstanceConfig& Config() const { return config_; }
  QString SocketPath() const;

 private:
  bool Signal(std::uint32_t message, std::uintptr_t wParam);

  InstanceConfig config_;
  InstanceLock lock_;
  InstanceServer server_;
};

// Starts the companion program when it lies beside the program as an
// executable file; detached, no arguments, output discarded. Absent or
// failing: ignored. True when started.
bool StartCompanionProgram(const QString& programFile);

}  // namespace kst
