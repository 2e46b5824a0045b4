// The keyboard's diagnosis: a fake sysfs and /dev tree in a temporary folder,
// service libraries stubbed through the loader seam, and one settings read
// through the simulated keyboard. The open checks run as an unprivileged
// user, so that a refused node is refused when the tests run as root too.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "device/diagnosis/KeyboardDiagnosis.h"
#include "device/hid/HidSupport.h"
#include "support/Unprivileged.h"

namespace kst {
namespace {

constexpr const char* kKeyboardUevent = "DRIVER=hid-generic\nHID_ID=0003:00002F68:00000350\n";
constexpr const char* kMouseUevent = "HID_ID=0003:0000046D:0000C077\n";

// What the stubbed service library answers; C entry points carry no context.
struct StubLibrary {
  int deviceCount = 0;
  std::vector<TolvaneNodeState> states;
  int exchanges = 0;  // writes, status reads and reads asked for
};
StubLibrary stub;

int StubDebug(int) { return 0; }
int StubInit(int) { return 1; }
int StubEnd() { return 1; }
int StubCount(const DeviceSelector*, uintptr_t, uintptr_t, uint32_t, uintptr_t) {
  return stub.deviceCount;
}
int StubDelete(uint32_t) { return 1; }
int StubDeleteHandle(uintptr_t) { return 0; }
// Writes fail: a keyboard that opens but never answers.
int StubWrite(const DeviceSelector*, TolvaneCallback, uint32_t, const uint8_t*, uint32_t, uint32_t,
              uint32_t*) {
  ++stub.exchanges;
  return -1;
}
int StubStatusGet(const DeviceSelector*, TolvaneCallback, uint32_t, uint8_t*, uint32_t, uint32_t,
                  uint32_t*) {
  ++stub.exchanges;
  return -1;
}
int StubRead(const DeviceSelector*, TolvaneCallback, uint32_t, uint32_t, uint32_t* unit) {
  ++stub.exchanges;
  if (unit != nullptr) *unit = 7;
  return 1;
}
int StubNodeStates(TolvaneNodeState* out, uint32_t capacity) {
  for (std::size_t i = 0; i < stub.states.size() && i < capacity; ++i) out[i] = stub.states[i];
  return static_cast<int>(stub.states.size());
}

ServiceBinding StubBinding(bool withNodeStates) {
  ServiceBinding b;
  b.ok = true;
  b.api.Debug = StubDebug;
  b.api.Init = StubInit;
  b.api.End = StubEnd;
  b.api.RequestGetDeviceCount = StubCount;
  b.api.DeleteRequestFromUnitId = StubDelete;
  b.api.DeleteRequestFromHandle = StubDeleteHandle;
  b.api.RequestWrite = StubWrite;
  b.api.RequestWriteOne = StubWrite;
  b.api.RequestStatusWrite = StubWrite;
  b.api.RequestStatusGet = StubStatusGet;
  b.api.RequestAsyncRead = StubRead;
  b.api.RequestStatusSetFeature = StubWrite;
  if (withNodeStates) b.api.NodeStates = StubNodeStates;
  return b;
}

TolvaneNodeState NodeState(const char* path, int openError) {
  TolvaneNodeState s{};
  std::snprintf(s.path, sizeof s.path, "%s", path);
  s.openError = openError;
  return s;
}

class DiagnosisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    root = temp.path();
    // The unprivileged child must reach the tree.
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0755), 0);
    QDir().mkpath(root + "/sys/class/hidraw");
    QDir().mkpath(root + "/dev");
    QDir().mkpath(root + "/rules");
    stub = StubLibrary{};
    inputs.sysfsRoot = root + "/sys";
    inputs.devRoot = root + "/dev";
    inputs.udevRuleFolders = {root + "/rules"};
    inputs.executableFolder = QStringLiteral(KST_BIN_DIR);
  }

  // A hidraw node: its sysfs entry with the uevent, and its /dev file with the mode.
  void AddNode(const QString& name, const char* uevent, mode_t mode) {
    const QString device = root + "/sys/class/hidraw/" + name + "/device";
    ASSERT_TRUE(QDir().mkpath(device));
    QFile u(device + "/uevent");
    ASSERT_TRUE(u.open(QIODevice::WriteOnly));
    u.write(uevent);
    u.close();
    const QString node = root + "/dev/" + name;
    QFile n(node);
    ASSERT_TRUE(n.open(QIODevice::WriteOnly));
    n.close();
    ASSERT_EQ(::chmod(QFile::encodeName(node).constData(), mode), 0);
  }

  void Load(bool withNodeStates = false) {
    inputs.load = [withNodeStates](const std::filesystem::path&, std::string_view) {
      return StubBinding(withNodeStates);
    };
  }

  QTemporaryDir temp;
  QString root;
  DiagnosisInputs inputs;
};

TEST(DiagnosisCauseTest, EachCauseHasItsOwnExitCodeAndOnlyAnAnsweringKeyboardGivesZero) {
  struct Case {
    DiagnosisCause cause;
    int code;
  };
  const Case cases[] = {{DiagnosisCause::KeyboardAnswers, 0},
                        {DiagnosisCause::NoServiceLibrary, 3},
                        {DiagnosisCause::NoKeyboardInterfaces, 4},
                        {DiagnosisCause::NoPermission, 5},
                        {DiagnosisCause::NoAnswer, 6}};
  QSet<int> seen;
  for (const Case& c : cases) {
    DiagnosisReport report;
    report.cause = c.cause;
    EXPECT_EQ(report.ExitCode(), c.code);
    seen.insert(c.code);
  }
  EXPECT_EQ(seen.size(), std::size(cases));
  // --help lists every code.
  const QStringList help = DiagnosisExitCodeLines();
  ASSERT_EQ(help.size(), qsizetype(std::size(cases)));
  for (const Case& c : cases) {
    EXPECT_TRUE(help.filter(QRegularExpression(QStringLiteral("^%1  ").arg(c.code))).size() == 1);
  }
}

TEST(UeventTest, OnlyTheKeyboardsVendorAndProductMatch) {
  struct Case {
    const char* uevent;
    bool matches;
  };
  for (const Case& c :
       {Case{kKeyboardUevent, true}, Case{"HID_ID=0003:00002f68:00000350", true},
        Case{kMouseUevent, false}, Case{"HID_ID=0003:00002F68:00000351\n", false},
        Case{"HID_NAME=HID_ID=0003:00002F68:00000350\n", false},
        Case{"HID_ID=0003:zz:00000350\n", false}, Case{"HID_ID=0003:00002F68", false},
        Case{"HID_ID=0003:000000000002F68:00000350", false}, Case{"", false}}) {
    SCOPED_TRACE(c.uevent);
    EXPECT_EQ(hid::UeventNamesDevice(c.uevent, 0x2F68, 0x0350), c.matches);
  }
}

// The fault this guards against: a keyboard whose nodes are present but
// closed to the user was reported as "no keyboard".
TEST_F(DiagnosisTest, ANodeTheUserCannotOpenIsNoPermissionNotAnAbsentKeyboard) {
  AddNode("hidraw0", kKeyboardUevent, 0666);
  AddNode("hidraw1", kMouseUevent, 0600);
  AddNode("hidraw2", kKeyboardUevent, 0000);
  Load();
  const DiagnosisInputs in = inputs;
  const int result = test::RunUnprivileged([&in] {
    const DiagnosisReport report = DiagnoseKeyboard(in);
    if (report.cause != DiagnosisCause::NoPermission) return 1;
    if (report.ExitCode() != 5) return 2;
    if (report.nodes.size() != 3) return 3;
    const HidrawNodeReport& open = report.nodes[0];
    const HidrawNodeReport& other = report.nodes[1];
    const HidrawNodeReport& closed = report.nodes[2];
    if (!open.matches || !open.opens || open.mode != 0666) return 4;
    if (other.matches) return 5;
    if (!closed.matches || closed.opens || closed.mode != 0 || closed.error.isEmpty()) return 6;
    if (closed.path != in.devRoot + "/hidraw2") return 7;
    const QString text = DiagnosisLines(report).join('\n');
    if (!text.contains(closed.path + "  mode 0000") || !text.contains("does not open")) return 8;
    if (!text.contains("fix: ") || !text.contains(hid::kUdevRuleFileName)) return 9;
    TolvaneApi api = StubBinding(false).api;
    if (NotFoundCause(api, in.sysfsRoot, in.devRoot) != DiagnosisCause::NoPermission) return 10;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

TEST_F(DiagnosisTest, EachCauseFromWhatTheMachineAndTheLibraryShow) {
  struct Case {
    const char* name;
    bool libraryLoads;
    bool keyboardNode;   // an openable node of the keyboard in sysfs
    int deviceCount;     // what the library counts
    int libraryRefusal;  // the library's own node, with this open error (0: none)
    DiagnosisCause cause;
  };
  const Case cases[] = {
      {"no library", false, true, 1, 0, DiagnosisCause::NoServiceLibrary},
      {"nothing plugged in", true, false, 0, 0, DiagnosisCause::NoKeyboardInterfaces},
      {"the library's node refuses", true, false, 0, EACCES, DiagnosisCause::NoPermission},
      {"the library's node is missing", true, false, 0, ENOENT, DiagnosisCause::NoAnswer},
      {"opens, no answer", true, true, 1, 0, DiagnosisCause::NoAnswer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(root + "/sys/class/hidraw").removeRecursively();
    if (c.keyboardNode) AddNode("hidraw0", kKeyboardUevent, 0666);
    stub = StubLibrary{};
    stub.deviceCount = c.deviceCount;
    if (c.libraryRefusal != 0)
      stub.states.push_back(NodeState("/nonexistent/hidraw9", c.libraryRefusal));
    if (c.libraryLoads) {
      Load(true);
    } else {
      inputs.load = [](const std::filesystem::path&, std::string_view) {
        ServiceBinding b;
        b.message = "cannot load the keyboard service library";
        return b;
      };
    }
    const DiagnosisReport report = DiagnoseKeyboard(inputs);
    EXPECT_EQ(report.cause, c.cause);
    const QStringList lines = DiagnosisLines(report);
    EXPECT_EQ(lines.filter(QStringLiteral("(exit code %1)").arg(report.ExitCode())).size(), 1);
    if (!c.libraryLoads) {
      EXPECT_TRUE(lines.first().contains("cannot load"));
    }
    if (c.libraryRefusal != 0) {
      ASSERT_FALSE(report.nodes.empty());
      EXPECT_EQ(report.nodes.back().path, QStringLiteral("/nonexistent/hidraw9"));
      EXPECT_FALSE(report.nodes.back().opens);
    }
  }
}

// While the utility runs it holds the keyboard: the diagnosis takes its word
// and sends the keyboard nothing.
TEST_F(DiagnosisTest, ARunningUtilityIsAskedAndTheKeyboardIsLeftToIt) {
  struct Case {
    const char* name;
    bool keyboardNode;
    std::optional<bool> connected;
    DiagnosisCause cause;
  };
  const Case cases[] = {
      {"the utility reads it", true, true, DiagnosisCause::KeyboardAnswers},
      {"the utility does not find it", true, false, DiagnosisCause::NoAnswer},
      {"the utility does not say", true, std::nullopt, DiagnosisCause::NoAnswer},
      {"nothing plugged in", false, false, DiagnosisCause::NoKeyboardInterfaces},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QDir(root + "/sys/class/hidraw").removeRecursively();
    if (c.keyboardNode) AddNode("hidraw0", kKeyboardUevent, 0666);
    stub = StubLibrary{};
    stub.deviceCount = c.keyboardNode ? 1 : 0;
    Load();
    inputs.owner = KeyboardOwner{4242, c.connected};
    const DiagnosisReport report = DiagnoseKeyboard(inputs);
    EXPECT_EQ(report.cause, c.cause);
    EXPECT_EQ(stub.exchanges, 0);
    EXPECT_TRUE(report.settingsRead.contains("process 4242")) << report.settingsRead.toStdString();
  }
}

TEST_F(DiagnosisTest, TheSimulatedKeyboardAnswersTheSettingsRead) {
  setenv("KESTRUNE_SIM_STATE", qPrintable(root + "/keyboard.bin"), 1);
  setenv("KESTRUNE_SIM_SOCKET", "off", 1);
  setenv("KESTRUNE_SIM_LATENCY_US", "0", 1);
  unsetenv("KESTRUNE_SIM_PRESENT");
  inputs.serviceLibraryFile = QString::fromLatin1(kSimulatedServiceLibraryName);
  inputs.load = BindServiceLibrary;
  const DiagnosisReport report = DiagnoseKeyboard(inputs);
  EXPECT_EQ(report.cause, DiagnosisCause::KeyboardAnswers) << report.settingsRead.toStdString();
  EXPECT_EQ(report.ExitCode(), 0);
  EXPECT_TRUE(report.serviceLibraryError.isEmpty());
  EXPECT_TRUE(report.settingsRead.startsWith("answered: current profile 1"))
      << report.settingsRead.toStdString();
}

TEST_F(DiagnosisTest, TheUdevRuleIsFoundInTheFirstFolderThatHoldsIt) {
  Load();
  const QString second = root + "/rules2";
  QDir().mkpath(second);
  inputs.udevRuleFolders = {root + "/rules", second};
  DiagnosisReport report = DiagnoseKeyboard(inputs);
  EXPECT_FALSE(report.udevRuleFound);
  EXPECT_TRUE(DiagnosisLines(report).join('\n').contains("missing"));
  QFile rule(second + "/" + hid::kUdevRuleFileName);
  ASSERT_TRUE(rule.open(QIODevice::WriteOnly));
  rule.close();
  report = DiagnoseKeyboard(inputs);
  EXPECT_TRUE(report.udevRuleFound);
  EXPECT_EQ(report.udevRule, rule.fileName());
}

TEST_F(DiagnosisTest, TheFixCommandNamesTheRuleWhereThisLayoutHasIt) {
  // The build tree: the rule file of the sources, which exists.
  const QString buildTree = UdevRuleFixCommand(root + "/build/bin");
  const QString source = QStringLiteral(KST_SOURCE_DIR "/resources/udev/") + hid::kUdevRuleFileName;
  EXPECT_TRUE(QFile::exists(source));
  EXPECT_EQ(buildTree, "sudo cp " + source +
                           " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo "
                           "udevadm trigger");
  // Installed under a prefix udev does not read: copied from <prefix>/lib/udev/rules.d.
  QDir().mkpath(root + "/opt/share/kestrune");
  QDir().mkpath(root + "/opt/bin");
  EXPECT_EQ(UdevRuleFixCommand(root + "/opt/bin"),
            "sudo cp " + root + "/opt/lib/udev/rules.d/" + hid::kUdevRuleFileName +
                " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm "
                "trigger");
}

}  // namespace
}  // namespace kst
