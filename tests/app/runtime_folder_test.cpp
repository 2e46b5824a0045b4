#include "platform/RuntimeFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>

#include "TestApp.h"
#include "app/SingleInstance.h"

namespace kst {
namespace {

constexpr uid_t kNobody = 65534;

// Sets an environment variable for the life of the object (null: unset).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) {
    if (value) {
      ::setenv(name_, value, 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

std::string Std(const QString& path) { return QFile::encodeName(path).toStdString(); }

mode_t ModeOf(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A home folder of its own, and candidates for $XDG_RUNTIME_DIR beside it.
class RuntimeFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    home_ = dir_.filePath(QStringLiteral("home"));
    ASSERT_TRUE(QDir().mkpath(home_));
  }
  QString Fallback() const { return home_ + QStringLiteral("/.cache/kestrune-runtime"); }
  // A folder of the given mode under the test folder.
  QString Folder(const QString& name, mode_t mode) const {
    const QString path = dir_.filePath(name);
    EXPECT_TRUE(QDir().mkpath(path));
    EXPECT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    return path;
  }
  RuntimeFolder Resolve(const std::string& runtime) const {
    const std::string home = Std(home_);
    RuntimeEnvironment environment;
    environment.xdgRuntimeDir = runtime.c_str();
    environment.home = home.c_str();
    return ResolveRuntimeFolder(environment);
  }

  QTemporaryDir dir_;
  QString home_;
};

TEST_F(RuntimeFolderTest, PrivateRuntimeDirIsUsed) {
  const QString runtime = Folder(QStringLiteral("run"), 0700);
  const RuntimeFolder folder = Resolve(Std(runtime));
  EXPECT_EQ(folder.path, Std(runtime));
  EXPECT_TRUE(folder.socketsFit);
  EXPECT_TRUE(folder.note.empty()) << folder.note;
  EXPECT_FALSE(QFileInfo::exists(Fallback()));
}

// Every $XDG_RUNTIME_DIR that is not the user's alone, or cannot hold a
// socket, is passed over for the private folder in the home, made 0700; the
// application's folder is the same (it used Qt's choice, which falls back to
// a folder in /tmp).
TEST_F(RuntimeFolderTest, UnfitRuntimeDirGivesThePrivateFolderInTheHome) {
  const QString open = Folder(QStringLiteral("open"), 0755);
  const QString sticky = Folder(QStringLiteral("sticky"), 01777);
  const QString target = Folder(QStringLiteral("target"), 0700);
  const QString link = dir_.filePath(QStringLiteral("link"));
  ASSERT_TRUE(QFile::link(target, link));
  QString deep = Folder(QStringLiteral("d"), 0700);
  while (FolderFitsSockets(Std(deep))) deep += QStringLiteral("/dddddddddd");
  ASSERT_TRUE(QDir().mkpath(deep));
  ASSERT_EQ(::chmod(QFile::encodeName(deep).constData(), 0700), 0);
  const QString file = dir_.filePath(QStringLiteral("file"));
  QFile(file).open(QIODevice::WriteOnly);

  struct Case {
    const char* what;
    std::optional<std::string> runtime;
    bool noted;
  };
  const std::vector<Case> cases = {
      {"unset", std::nullopt, false},
      {"empty", std::string(), false},
      {"relative", std::string("run/user/1000"), true},
      {"group and other bits", Std(open), true},
      {"shared sticky folder", Std(sticky), true},
      {"symbolic link to a private folder", Std(link), true},
      {"too long for a socket", Std(deep), true},
      {"a file", Std(file), true},
      {"missing", Std(dir_.filePath(QStringLiteral("missing"))), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(home_ + QStringLiteral("/.cache")).removeRecursively();
    ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime ? c.runtime->c_str() : nullptr);
    ScopedEnv home("HOME", QFile::encodeName(home_).constData());
    ScopedEnv cache("XDG_CACHE_HOME", nullptr);
    const RuntimeFolder folder = ResolveRuntimeFolder();
    EXPECT_EQ(folder.path, Std(Fallback()));
    EXPECT_TRUE(folder.socketsFit);
    EXPECT_EQ(!folder.note.empty(), c.noted) << folder.note;
    EXPECT_EQ(ModeOf(Fallback()), 0700u);
    EXPECT_EQ(UserRuntimeFolder(), Fallback());
  }
}

TEST_F(RuntimeFolderTest, RuntimeDirOfAnotherUserIsPassedOver) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  const QString runtime = Folder(QStringLiteral("theirs"), 0700);
  ASSERT_EQ(::chown(QFile::encodeName(runtime).constData(), kNobody, kNobody), 0);
  const RuntimeFolder folder = Resolve(Std(runtime));
  EXPECT_EQ(folder.path, Std(Fallback()));
  EXPECT_NE(folder.note.find("another user"), std::string::npos) << folder.note;
}

TEST_F(RuntimeFolderTest, CacheHomeIsHonouredWhenAbsolute) {
  const QString cache = dir_.filePath(QStringLiteral("cache"));
  const std::string home = Std(home_);
  const std::string cacheText = Std(cache);
  RuntimeEnvironment environment;
  environment.home = home.c_str();
  environment.xdgCacheHome = cacheText.c_str();
  EXPECT_EQ(ResolveRuntimeFolder(environment).path, cacheText + "/kestrune-runtime");
  environment.xdgCacheHome = "relative/cache";
  EXPECT_EQ(ResolveRuntimeFolder(environment).path, Std(Fallback()));
}

// A private folder planted or left open in the home is refused, never used
// or widened: the instance runs without a runtime folder.
TEST_F(RuntimeFolderTest, UnsafePrivateFolderIsRefused) {
  const QString elsewhere = Folder(QStringLiteral("elsewhere"), 0700);
  struct Case {
    const char* what;
    std::function<void(const QString&)> plant;
  };
  const std::vector<Case> cases = {
      {"symbolic link", [&](const QString& path) { ASSERT_TRUE(QFile::link(elsewhere, path)); }},
      {"open to others",
       [](const QString& path) {
         ASSERT_TRUE(QDir().mkpath(path));
         ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0777), 0);
       }},
      {"a file", [](const QString& path) { ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QDir(home_ + QStringLiteral("/.cache")).removeRecursively();
    QFile::remove(Fallback());
    ASSERT_TRUE(QDir().mkpath(home_ + QStringLiteral("/.cache")));
    c.plant(Fallback());
    const RuntimeFolder folder = Resolve(std::string());
    EXPECT_TRUE(folder.path.empty()) << folder.path;
    EXPECT_FALSE(folder.note.empty());
  }
  EXPECT_EQ(ModeOf(elsewhere), 0700u);
}

TEST_F(RuntimeFolderTest, PrivateFolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  ASSERT_TRUE(QDir().mkpath(Fallback()));
  ASSERT_EQ(::chmod(QFile::encodeName(Fallback()).constData(), 0700), 0);
  ASSERT_EQ(::chown(QFile::encodeName(Fallback()).constData(), kNobody, kNobody), 0);
  const RuntimeFolder folder = Resolve(std::string());
  EXPECT_TRUE(folder.path.empty());
  EXPECT_NE(folder.note.find("another user"), std::string::npos) << folder.note;
}

TEST_F(RuntimeFolderTest, TooLongHomeKeepsThePrivateFolderWithoutSockets) {
  QString deep = home_;
  while (Std(deep).size() < 120) deep += QStringLiteral("/hhhhhhhhhh");
  ASSERT_TRUE(QDir().mkpath(deep));
  const std::string home = Std(deep);
  RuntimeEnvironment environment;
  environment.home = home.c_str();
  const RuntimeFolder folder = ResolveRuntimeFolder(environment);
  EXPECT_EQ(folder.path, home + "/.cache/kestrune-runtime");
  EXPECT_FALSE(folder.socketsFit);
  // The lock still works there; the socket cannot be made.
  const QString path = QFile::decodeName(QByteArray::fromStdString(folder.path));
  InstanceLock lock(path);
  EXPECT_EQ(lock.TryAcquire(), InstanceLock::Result::Acquired);
  test::EnsureApplication();
  InstanceServer server;
  EXPECT_FALSE(server.Listen(InstanceSocketPath(path), {}));
  EXPECT_FALSE(server.LastError().isEmpty());
}

// The guard of the lock's check-and-take lies in the runtime folder: it is
// opened without following a symbolic link and never waited on for long.
TEST(InstanceLockGuardTest, PlantedSymbolicLinkCreatesNothingElsewhere) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString target = dir.filePath(QStringLiteral("chosen-by-someone-else"));
  ASSERT_TRUE(QFile::link(
      target, dir.filePath(QString::fromLatin1(kInstanceLockName) + QStringLiteral(".guard"))));
  InstanceLock lock(dir.path());
  EXPECT_EQ(lock.TryAcquire(), InstanceLock::Result::Failed);
  EXPECT_FALSE(QFileInfo::exists(target));
}

TEST(InstanceLockGuardTest, GuardHeldForeverDoesNotBlockTheStart) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray guardPath =
      QFile::encodeName(dir.filePath(QString::fromLatin1(kInstanceLockName) + ".guard"));
  // An flock belongs to the open file: a second open of the same file in
  // this process conflicts with it like another process's would.
  const int holder = ::open(guardPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  auto attempt = std::async(std::launch::async, [&] {
    InstanceLock lock(dir.path());
    return lock.TryAcquire();
  });
  const bool returned = attempt.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  ::close(holder);  // lets a blocked attempt end
  EXPECT_TRUE(returned);
  EXPECT_EQ(attempt.get(), InstanceLock::Result::HeldElsewhere);
}

}  // namespace
}  // namespace kst
