// kestrunectl with the utility's window running in this process: each
// sub-command is answered by the window and checked on what the window then
// shows (the profile bar, the lighting model, the store behind the key
// buttons), not on kestrunectl's reply alone.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <functional>
#include <memory>

#include "app/InstanceMessenger.h"
#include "app/SingleInstance.h"
#include "app/WindowCtlHost.h"
#include "ctl/CtlExit.h"
#include "ctl/CtlNames.h"
#include "ctl_test_files.h"
#include "lighting/LightingModel.h"
#include "lighting/panel/MainWindowLighting.h"
#include "mainwindow/main_window_harness.h"
#include "mainwindow/profiles/MainWindowProfiles.h"
#include "mainwindow/profiles/ProfileBar.h"

namespace kst::mwtest {
namespace {

class CtlWindowStateTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    // The command line finds the window's socket in this folder, which it
    // takes only when it is the user's alone.
    runtime_ = temp.path() + QStringLiteral("/run");
    ASSERT_EQ(::chmod(QFile::encodeName(runtime_).constData(), 0700), 0);
    lighting = std::make_unique<MainWindowLighting>(*dialog, *context);
    profiles = std::make_unique<MainWindowProfiles>(*dialog, *context,
                                                    [this] { return lighting->Model(); });
    host = std::make_unique<WindowCtlHost>(*dialog, *context, [this] { return lighting->Model(); });
    Start();
    ASSERT_NE(lighting->Model(), nullptr);
  }
  void TearDown() override {
    host.reset();
    profiles.reset();
    lighting.reset();
    MainWindowFixture::TearDown();
  }

  // Runs kestrunectl while the window answers; its exit code, -1 when it
  // did not finish. It is given no keyboard of its own: a command it ran
  // itself would find none.
  int Ctl(const QStringList& arguments, QString* err = nullptr) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), temp.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), temp.path() + QStringLiteral("/cache"));
    env.remove(QStringLiteral("KESTRUNE_DEVICE"));
    env.insert(QStringLiteral("KESTRUNE_SIM_PRESENT"), QStringLiteral("0"));
    env.remove(QStringLiteral("LANG"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KST_BIN_DIR "/kestrunectl"), arguments);
    if (!WaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
      process.kill();
      process.waitForFinished();
      return -1;
    }
    if (err) *err = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }

  const LightingState& Lights() { return lighting->Model()->State(); }
  KeyAssignment Assigned(int profile, const char* slotName) {
    const std::optional<int> slot = SlotFromCliName(QLatin1String(slotName));
    EXPECT_TRUE(slot.has_value()) << slotName;
    return context->store.GetAssignment(profile, slot.value_or(0));
  }

  QString runtime_;
  std::unique_ptr<MainWindowLighting> lighting;
  std::unique_ptr<MainWindowProfiles> profiles;
  std::unique_ptr<WindowCtlHost> host;
};

TEST_F(CtlWindowStateTest, EachCommandShowsInTheWindow) {
  // Another configuration, exported elsewhere, for the import.
  const QString imported = temp.path() + QStringLiteral("/imported.kst");
  {
    AssignmentStore other;
    ASSERT_TRUE(other.SetAssignment(2, SlotFromCliName(QStringLiteral("G1")).value(),
                                    AssignmentKind::MediaKey,
                                    static_cast<std::uint32_t>(MediaFromCliName("mute").value())));
    ASSERT_TRUE(ctltest::WriteStoreFile(other, imported));
  }
  const KeyIndex esc = KeyFromCliName(QStringLiteral("Esc")).value();

  // In order, on the same window; each check fails on what the window
  // showed before the command.
  const struct {
    QStringList arguments;
    const char* shown;
    std::function<bool()> check;
  } cases[] = {
      {{"profile", "3"},
       "profile bar and lighting on profile 3",
       [&] {
         return profiles->Bar().MarkedProfile() == 2 && Profile() == 2 &&
                Lights().activeProfile == 2;
       }},
      {{"lighting", "effect", "breathing"},
       "breathing in the lighting model",
       [&] { return Lights().effect == 5 && Lights().activeProfile == 2; }},
      {{"lighting", "brightness", "1"},
       "brightness 1 in the lighting model",
       [&] { return Lights().brightness == 1; }},
      {{"assign", "Caps-Lock", "single", "Esc"},
       "Caps-Lock gives Esc in the window's store, applied",
       [&] {
         const KeyAssignment entry = Assigned(2, "Caps-Lock");
         return entry.Is(AssignmentKind::SingleKey) && entry.param == esc &&
                !dialog->ApplyPending();
       }},
      {{"import", imported},
       "the imported file in the window's store, applied",
       [&] {
         return Assigned(2, "G1").Is(AssignmentKind::MediaKey) &&
                Assigned(2, "Caps-Lock").Is(AssignmentKind::Default) && !dialog->ApplyPending();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
    EXPECT_FALSE(c.check()) << "shown before the command: " << c.shown;
    QString err;
    ASSERT_EQ(Ctl(c.arguments, &err), 0) << err.toStdString();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(c.check()) << "not shown: " << c.shown;
  }
}

// kestrunectl against a stand-in for the window's socket in this process.
class CtlSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    runtime = temp.path() + QStringLiteral("/run");
    ASSERT_TRUE(QDir().mkpath(runtime));
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), temp.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.path() + QStringLiteral("/config"));
    env.remove(QStringLiteral("KESTRUNE_DEVICE"));
    env.insert(QStringLiteral("KESTRUNE_SIM_PRESENT"), QStringLiteral("0"));
    env.remove(QStringLiteral("LANG"));
    ctl.setProcessEnvironment(env);
    // Each request is answered with its arguments, an import after
    // importSeconds.
    server.SetCtlHandler([this](const QStringList& arguments) {
      if (arguments.value(0) == QLatin1String("import")) QThread::sleep(importSeconds);
      CtlReply reply;
      reply.out = arguments.join(QLatin1Char(' ')) + QStringLiteral(" answered\n");
      return reply;
    });
  }
  bool Listen() {
    return server.Listen(InstanceSocketPath(runtime),
                         [](std::uint32_t, std::uintptr_t, std::intptr_t) { return 0; });
  }
  bool Finished(int timeoutMs = 60000) {
    return WaitFor([&] { return ctl.state() == QProcess::NotRunning; }, timeoutMs);
  }

  QTemporaryDir temp;
  QString runtime;
  QProcess ctl;
  InstanceServer server;
  unsigned long importSeconds = 0;
};

// A window still starting holds its instance lock but does not listen yet:
// the command waits for its socket instead of opening the keyboard itself
// (which, given none here, would fail).
TEST_F(CtlSocketTest, CommandWaitsForAWindowStillStarting) {
  // This process plays the window: it holds the lock from before it listens.
  QLockFile instanceLock(runtime + QLatin1Char('/') + QLatin1String(kInstanceLockName));
  ASSERT_TRUE(instanceLock.tryLock(0));
  ctl.start(QStringLiteral(KST_BIN_DIR "/kestrunectl"), {QStringLiteral("profile")});
  ASSERT_TRUE(ctl.waitForStarted());
  // Once the command line holds its own lock it looks for the socket.
  ASSERT_TRUE(WaitFor(
      [&] {
        return QFileInfo::exists(runtime + QStringLiteral("/kestrunectl.lock")) ||
               ctl.state() == QProcess::NotRunning;
      },
      30000));
  // Found no socket: it keeps waiting for the window rather than ending.
  EXPECT_FALSE(Finished(500)) << ctl.readAllStandardError().toStdString();
  ASSERT_TRUE(Listen());
  ASSERT_TRUE(Finished());
  EXPECT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
  EXPECT_EQ(ctl.readAllStandardOutput(), QByteArray("profile answered\n"));
}

// An import ends with an upload that may take far longer than a setting: it
// is given its own, longer time to answer.
TEST_F(CtlSocketTest, ImportMayTakeLongerThanASetting) {
  importSeconds = 6;
  ASSERT_TRUE(Listen());
  ctl.start(QStringLiteral(KST_BIN_DIR "/kestrunectl"),
            {QStringLiteral("import"), QStringLiteral("a.kst")});
  ASSERT_TRUE(Finished());
  EXPECT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
  EXPECT_EQ(ctl.readAllStandardOutput(), QByteArray("import a.kst answered\n"));
}

}  // namespace
}  // namespace kst::mwtest
