// "kestrune --diagnose" and "--help", run as the built program is run: no
// display, the report on stdout, the cause in the exit code.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "device/diagnosis/KeyboardDiagnosis.h"
#include "device/hid/HidSupport.h"

namespace kst {
namespace {

const QString kBinDir = QStringLiteral(KST_BIN_DIR);

struct ProgramRun {
  int exitCode = -1;
  QString out;
  QString err;
};

class DiagnoseSwitchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp.isValid()); }

  // The program without a display, the simulated keyboard's state in the
  // temporary folder.
  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("KESTRUNE_DEVICE"));
    env.remove(QStringLiteral("KESTRUNE_SIM_PRESENT"));
    env.insert(QStringLiteral("KESTRUNE_SIM_STATE"), temp.filePath(QStringLiteral("keyboard.bin")));
    env.insert(QStringLiteral("KESTRUNE_SIM_SOCKET"), QStringLiteral("off"));
    env.insert(QStringLiteral("KESTRUNE_SIM_LATENCY_US"), QStringLiteral("0"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), temp.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), temp.filePath(QStringLiteral("data")));
    return env;
  }

  static ProgramRun Start(const QString& program, const QStringList& arguments,
                          const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished();
      return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
  }

  QTemporaryDir temp;
};

TEST_F(DiagnoseSwitchTest, HelpDocumentsTheSwitchAndEveryExitCode) {
  const ProgramRun run = Start(kBinDir + "/kestrune", {QStringLiteral("--help")}, Environment());
  EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("--diagnose"));
  for (const QString& line : DiagnosisExitCodeLines()) {
    EXPECT_TRUE(run.out.contains(line)) << line.toStdString();
  }
}

TEST_F(DiagnoseSwitchTest, TheSimulatedKeyboardAnswersWithoutADisplay) {
  const ProgramRun run =
      Start(kBinDir + "/kestrune", {QStringLiteral("--diagnose"), QStringLiteral("--simulate")},
            Environment());
  EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("service library: " + kBinDir + "/libTolvaneSim.so (loaded)"))
      << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("settings read: answered")) << run.out.toStdString();
}

// The real keyboard's library over the stand-in for hidapi, whose command
// node refuses to open: the program and its libraries copied into a folder
// of their own, the stand-in under the real library's name.
TEST_F(DiagnoseSwitchTest, ANodeThatRefusesToOpenGivesTheNoPermissionCode) {
  const QString folder = temp.filePath(QStringLiteral("bin"));
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QFile::copy(kBinDir + "/kestrune", folder + "/kestrune"));
  ASSERT_TRUE(QFile::copy(kBinDir + "/libTolvaneFakeHid.so", folder + "/libTolvane.so"));
  ASSERT_TRUE(QFile::copy(kBinDir + "/libTolvaneSim.so", folder + "/libTolvaneSim.so"));
  QProcessEnvironment env = Environment();
  env.insert(QStringLiteral("KESTRUNE_FAKE_HID_DENY"), QStringLiteral("ctrl"));
  const ProgramRun run = Start(folder + "/kestrune", {QStringLiteral("--diagnose")}, env);
  EXPECT_EQ(run.exitCode, DiagnosisExitCode(DiagnosisCause::NoPermission))
      << run.out.toStdString() << run.err.toStdString();
  EXPECT_TRUE(run.out.contains("kst-fake-hidraw-ctrl  mode")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains("does not open: Permission denied")) << run.out.toStdString();
  EXPECT_TRUE(run.out.contains(QStringLiteral("fix: sudo cp ") + KST_SOURCE_DIR +
                               "/resources/udev/" + hid::kUdevRuleFileName))
      << run.out.toStdString();

  // The same program with every node allowed: the keyboard answers.
  env.remove(QStringLiteral("KESTRUNE_FAKE_HID_DENY"));
  const ProgramRun allowed = Start(folder + "/kestrune", {QStringLiteral("--diagnose")}, env);
  EXPECT_EQ(allowed.exitCode, 0) << allowed.out.toStdString() << allowed.err.toStdString();
}

}  // namespace
}  // namespace kst
