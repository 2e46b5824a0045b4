#include "app/SingleInstance.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "app/AppStartup.h"

namespace kst {
namespace {

// Lock attempts of `processes` forked children released at the same moment;
// each child keeps what it got until all have tried. Gives the number of
// children that acquired the lock.
int AcquiredByConcurrentProcesses(const QString& folder, int processes) {
  int go[2], results[2], release[2];
  if (::pipe(go) != 0 || ::pipe(results) != 0 || ::pipe(release) != 0) return -1;
  std::vector<pid_t> children;
  for (int i = 0; i < processes; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(go[1]);
      ::close(results[0]);
      ::close(release[1]);
      char c;
      while (::read(go[0], &c, 1) > 0) {
      }
      InstanceLock lock(folder);
      const char got = lock.TryAcquire() == InstanceLock::Result::Acquired ? 'A' : 'H';
      (void)!::write(results[1], &got, 1);
      while (::read(release[0], &c, 1) > 0) {
      }
      ::_exit(0);  // a crash: the lock is not released
    }
    children.push_back(pid);
  }
  ::close(go[0]);
  ::close(results[1]);
  ::close(release[0]);
  ::close(go[1]);  // all children start now
  int acquired = 0;
  char got;
  for (int i = 0; i < processes && ::read(results[0], &got, 1) == 1; ++i) {
    if (got == 'A') ++acquired;
  }
  ::close(release[1]);
  for (const pid_t pid : children) ::waitpid(pid, nullptr, 0);
  ::close(results[0]);
  return acquired;
}

TEST(InstanceLockTest, OneOfManySimultaneousStartsGetsTheLock) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (int round = 0; round < 5; ++round) {
    QFile::remove(dir.filePath(kInstanceLockName));
    EXPECT_EQ(AcquiredByConcurrentProcesses(dir.path(), 6), 1) << "round " << round;
  }
}

TEST(InstanceLockTest, HeldLockRefusesSecondHolderUntilReleased) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  InstanceLock first(dir.path());
  InstanceLock second(dir.path());
  ASSERT_EQ(first.TryAcquire(), InstanceLock::Result::Acquired);
  EXPECT_EQ(first.HolderPid(), QCoreApplication::applicationPid());
  EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::HeldElsewhere);
  EXPECT_FALSE(second.IsHeld());
  first.Release();
  EXPECT_EQ(second.TryAcquire(), InstanceLock::Result::Acquired);
}

TEST(InstanceLockTest, LockOfACrashedInstanceIsTakenOver) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // The child takes the lock and dies without releasing it.
  EXPECT_EQ(AcquiredByConcurrentProcesses(dir.path(), 1), 1);
  ASSERT_TRUE(QFileInfo::exists(dir.filePath(kInstanceLockName)));
  InstanceLock lock(dir.path());
  EXPECT_EQ(lock.TryAcquire(), InstanceLock::Result::Acquired);
}

TEST(InstanceLockTest, UnwritableFolderFails) {
  InstanceLock lock(QStringLiteral("/proc/no-such-folder"));
  EXPECT_EQ(lock.TryAcquire(), InstanceLock::Result::Failed);
}

// A process list of its own: folders named by id, each with its "exe" link.
class FakeProcessList {
 public:
  FakeProcessList() { EXPECT_TRUE(dir_.isValid()); }
  void Add(qint64 pid, const QString& executable) {
    const QString folder = dir_.filePath(QString::number(pid));
    QDir().mkpath(folder);
    QFile::link(executable, folder + QStringLiteral("/exe"));
  }
  QString Root() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

TEST(FindRunningInstanceTest, FirstMatchOtherThanItselfInIdOrder) {
  FakeProcessList proc;
  proc.Add(3, QStringLiteral("/usr/bin/bash"));
  proc.Add(7, QStringLiteral("/opt/k/kestrune"));  // the searching process
  proc.Add(90, QStringLiteral("/home/u/build/bin/KESTRUNE"));
  proc.Add(400, QStringLiteral("/usr/bin/kestrune"));
  QDir(proc.Root()).mkpath(QStringLiteral("self"));
  QDir(proc.Root()).mkpath(QStringLiteral("12x"));

  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune"), 7, proc.Root()), 90);
  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune"), 90, proc.Root()), 7);
  EXPECT_EQ(FindRunningInstance(QStringLiteral("bash"), 7, proc.Root()), 3);
  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune-sim"), 7, proc.Root()), 0);
  EXPECT_EQ(FindRunningInstance(QString(), 7, proc.Root()), 0);
}

TEST(FindRunningInstanceTest, OtherUsersProcessesAreIgnored) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a process folder to another user";
  FakeProcessList proc;
  proc.Add(50, QStringLiteral("/usr/bin/kestrune"));
  proc.Add(60, QStringLiteral("/usr/bin/kestrune"));
  ASSERT_EQ(
      ::chown(QFile::encodeName(proc.Root() + QStringLiteral("/50")).constData(), 65534, 65534), 0);
  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune"), 7, proc.Root()), 60);
  QDir(proc.Root() + QStringLiteral("/60")).removeRecursively();
  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune"), 7, proc.Root()), 0);
}

TEST(FindRunningInstanceTest, AloneFindsNobody) {
  FakeProcessList proc;
  proc.Add(7, QStringLiteral("/opt/k/kestrune"));
  proc.Add(8, QStringLiteral("/opt/k/kestrune-sim"));
  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune"), 7, proc.Root()), 0);
}

TEST(FindRunningInstanceTest, ReplacedProgramStillCounts) {
  FakeProcessList proc;
  proc.Add(20, QStringLiteral("/opt/k/kestrune (deleted)"));
  EXPECT_EQ(FindRunningInstance(QStringLiteral("kestrune"), 7, proc.Root()), 20);
}

TEST(FindRunningInstanceTest, RealProcessListNeverGivesItself) {
  const qint64 self = QCoreApplication::applicationPid();
  const QString name = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
  ASSERT_FALSE(name.isEmpty());
  EXPECT_NE(FindRunningInstance(QFileInfo(name).fileName(), self), self);
}

TEST(ResolveProgramFolderTest, InstalledLayoutUsesShareFolder) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QDir(dir.path()).mkpath(QStringLiteral("bin"));
  const QString bin = dir.filePath(QStringLiteral("bin"));
  EXPECT_EQ(ResolveProgramFolder(bin), bin);
  QDir(dir.path()).mkpath(QStringLiteral("share/kestrune"));
  EXPECT_EQ(ResolveProgramFolder(bin), dir.filePath(QStringLiteral("share/kestrune")));
}

}  // namespace
}  // namespace kst
