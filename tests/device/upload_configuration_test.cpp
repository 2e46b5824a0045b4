// Apply and the rebuild from the keyboard, against the simulated keyboard.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "device/ConfigurationUpload.h"
#include "device/DeviceProfileRebuild.h"
#include "device/KeyMap.h"
#include "device/MacroArea.h"
#include "device/UploadSnapshot.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"
#include "upload_sim_rig.h"

namespace kst {
namespace {

using uploadtest::RecordingUploadHost;
using uploadtest::RigOptions;
using uploadtest::SimKeyboardRig;

class SilentBoxes : public MessageBoxes {
 public:
  bool Show(const QString&, MessageKind) override { return false; }
};

MacroRecord Macro(std::u16string_view name, std::uint16_t number, int events,
                  std::uint8_t repeat = 1) {
  MacroRecord r;
  r.SetName(name);
  r.number = number;
  r.repeatCount = repeat;
  r.eventCount = static_cast<std::uint16_t>(events);
  for (int e = 0; e < events; ++e) {
    r.events[static_cast<std::size_t>(e)] = {static_cast<std::uint32_t>(10 * (e % 50)),
                                             static_cast<KeyIndex>(e % 2 ? 0x02A : 0x01E),
                                             static_cast<std::uint16_t>(e % 2)};
  }
  return r;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t at,
                                std::size_t n) {
  if (at > bytes.size()) return {};
  return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
          bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + n))};
}

class UploadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  // Connects the keyboard and builds the upload over it.
  void Connect(const RigOptions& options = {}) {
    rig = std::make_unique<SimKeyboardRig>(options);
    ASSERT_EQ(rig->Error(), "");
    upload = std::make_unique<ConfigurationUpload>(store, snapshot, rig->Device(), files, host);
    ASSERT_EQ(files.WriteDefaultProfileFile(files.WorkingProfilePath()), 1);
    ASSERT_GE(rig->Device().CurrentProfile(), 0);  // cached from here on
  }

  void SetMacros(std::vector<MacroRecord> macros) { ASSERT_TRUE(store.ReplaceMacroList(macros)); }

  long CtrlRequests() {
    std::string reply;
    rig->Control("reports", &reply);
    const auto at = reply.find("ctrl-requests ");
    return at == std::string::npos ? -1 : std::stol(reply.substr(at + 14));
  }

  std::vector<std::uint8_t> KeyMapOf(int profile) {
    return Slice(rig->Read("keymaps"), static_cast<std::size_t>(profile) * 512, 512);
  }

  // Runs Apply to its end as the window would.
  void RunApply() {
    ASSERT_TRUE(upload->ApplyConfiguration());
    upload->WaitForApplyWorker();
    EXPECT_EQ(host.RunWindowTasks(), 1);
    EXPECT_FALSE(upload->ApplyRunning());
  }

  QTemporaryDir dir;
  Registry registry{dir.path() + "/registry.reg"};
  Language language{registry, QStringLiteral(KST_BIN_DIR)};
  AppPaths paths{QStringLiteral(KST_BIN_DIR), dir.path() + "/data", dir.path() + "/registry.reg"};
  SilentBoxes boxes;
  AssignmentStore store;
  ProfileFiles files{store, paths, language, boxes};
  UploadSnapshot snapshot;
  RecordingUploadHost host;
  std::unique_ptr<SimKeyboardRig> rig;
  std::unique_ptr<ConfigurationUpload> upload;
};

TEST_F(UploadTest, MacroAreaAgainstTheKeyboardsMacroSpace) {
  struct Case {
    const char* what;
    int units;  // macro space in 128-byte units
    std::vector<MacroRecord> macros;
    int result;
    std::vector<std::string> messages;
    int namesFlag;  // -1: nothing may be sent
    std::size_t areaSize;
  };
  const std::u16string longName(40, u'n');
  const Case cases[] = {
      {"no space, no macros", 0, {}, 0, {"IDS_MACRO_OVER"}, -1, 0},
      {"one macro with its name", 1, {Macro(u"ab", 1, 2)}, 1, {}, 1, 34},
      {"names left out", 1, {Macro(longName, 1, 20)}, 1, {"EXTRA_PROFILE_SPACE_TIGHT"}, 0, 102},
      {"too big even without names", 1, {Macro(u"", 1, 28)}, 0, {"IDS_MACRO_OVER"}, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    upload.reset();
    rig.reset();
    host.ClearRecords();
    Connect({.beforeConnect = {"macro-space " + std::to_string(c.units)}});
    SetMacros(c.macros);
    const long before = CtrlRequests();
    const auto macroBefore = rig->Read("macro");
    EXPECT_EQ(upload->BuildSnapshotAndUpload(false), c.result);
    EXPECT_EQ(host.Messages(), c.messages);
    if (c.namesFlag < 0) {
      EXPECT_EQ(CtrlRequests(), before);
      EXPECT_EQ(rig->Read("macro"), macroBefore);
      continue;
    }
    const auto area = rig->Read("macro");
    const auto header = ReadMacroAreaHeader(area);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->magic, kMacroAreaMagic);
    EXPECT_EQ(header->length, c.areaSize);
    EXPECT_EQ(header->names, c.namesFlag);
    EXPECT_EQ(area[16] | area[17] << 8, 18);
  }
}

TEST_F(UploadTest, WritesOnlyTheCurrentProfileAndClearsItsParameterBytes) {
  Connect({.beforeConnect = {"write settings 10 02"}});
  ASSERT_EQ(rig->Device().CurrentProfile(), 2);
  SetMacros({Macro(u"one", 1, 2), Macro(u"two", 2, 4)});
  ASSERT_TRUE(rig->Write("parameters", 0, std::vector<std::uint8_t>(252, 0x5A)));
  for (int p = 0; p < 4; ++p) {
    store.SetAssignment(p, 0x1E, AssignmentKind::PlayMacro, 2);
    store.SetAssignment(p, 0x30, AssignmentKind::SingleKey, 0x120);
  }
  const auto before = rig->Read("keymaps");

  ASSERT_EQ(upload->BuildSnapshotAndUpload(false), 1);
  EXPECT_TRUE(host.Messages().empty());

  std::array<std::uint8_t, 512> expected{};
  EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), 2, expected);
  EXPECT_EQ(KeyMapOf(2), std::vector<std::uint8_t>(expected.begin(), expected.end()));
  EXPECT_NE(KeyMapOf(2), Slice(before, 1024, 512));
  for (int p : {0, 1, 3}) EXPECT_EQ(KeyMapOf(p), Slice(before, p * 512u, 512)) << p;

  const auto parameters = rig->Read("parameters");
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const bool cleared = i >= 42 * 2 + 18 && i < 42 * 2 + 22;
    ASSERT_EQ(parameters[i], cleared ? 0 : 0x5A) << i;
  }
}

TEST_F(UploadTest, ApplyShowsProgressSavesUploadsAndClearsThePendingFlag) {
  Connect();
  store.SetAssignment(0, 0x1E, AssignmentKind::StopMacro, 0);
  host.applyEnabled = true;
  RunApply();
  EXPECT_FALSE(host.applyEnabled);
  const std::vector<std::string> calls = {"progress shown", "timer 1050 start 50", "apply off",
                                          "timer 1050 stop", "progress hidden"};
  EXPECT_EQ(host.Calls(), calls);
  std::array<std::uint8_t, 512> expected{};
  EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), 0, expected);
  EXPECT_EQ(KeyMapOf(0), std::vector<std::uint8_t>(expected.begin(), expected.end()));
  // The working file, written beside the upload, holds what the keyboard got.
  AssignmentStore reloaded;
  ProfileFiles reloadedFiles{reloaded, paths, language, boxes};
  ASSERT_EQ(reloadedFiles.LoadProfileFile(files.WorkingProfilePath()), 1);
  EXPECT_EQ(reloaded.GetAssignment(0, 0x1E), store.GetAssignment(0, 0x1E));
  EXPECT_TRUE(reloaded.GetAssignment(0, 0x1E).Is(AssignmentKind::StopMacro));

  // Nothing pending: Apply does nothing at all.
  host.ClearRecords();
  const long requests = CtrlRequests();
  EXPECT_FALSE(upload->ApplyConfiguration());
  EXPECT_TRUE(host.Calls().empty());
  EXPECT_EQ(CtrlRequests(), requests);
}

TEST_F(UploadTest, ApplyKeepsChangesPendingWhenTheWorkingFileCannotBeSaved) {
  Connect();
  ASSERT_TRUE(QFile::remove(files.WorkingProfilePath()));
  store.SetAssignment(0, 0x1E, AssignmentKind::StopMacro, 0);
  RunApply();
  EXPECT_TRUE(host.applyEnabled);
}

// A failed command at each step of the upload: the result is 0, Apply stays
// enabled, end-update is still sent, and no other profile's key map changes.
TEST_F(UploadTest, AFailedWriteAtAnyStepIsNeverReportedAsSuccess) {
  // Request numbers of an upload of one profile with a 34-byte macro area
  // (one chunk): begin 1, macro area 2, parameters 3, key map 4-13, end 14.
  struct Case {
    const char* step;
    int request;
  };
  const Case cases[] = {
      {"begin-update", 1},        {"macro area", 2},          {"parameters", 3},
      {"first key map chunk", 4}, {"last key map chunk", 13}, {"end-update", 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    upload.reset();
    rig.reset();
    host.ClearRecords();
    Connect({.beforeConnect = {"write settings 10 01"}});
    SetMacros({Macro(u"ab", 1, 2)});
    store.SetAssignment(1, 0x1E, AssignmentKind::StopMacro, 0);
    store.SetAssignment(0, 0x1E, AssignmentKind::StopMacro, 0);
    store.SetAssignment(3, 0x1E, AssignmentKind::StopMacro, 0);
    const auto before = rig->Read("keymaps");
    // Every attempt of the exchange fails, so the command gives its error.
    for (int attempt = 0; attempt < 3; ++attempt) {
      ASSERT_EQ(rig->Control("fault status-fe " + std::to_string(c.request + attempt)), 1);
    }
    const long requestsBefore = CtrlRequests();
    host.applyEnabled = true;
    RunApply();
    EXPECT_TRUE(host.applyEnabled);
    for (int p : {0, 2, 3}) EXPECT_EQ(KeyMapOf(p), Slice(before, p * 512u, 512)) << p;
    // The requests stop at the failure, then end-update follows.
    const long sent = CtrlRequests() - requestsBefore;
    const long expected = c.request == 14 ? 16 : c.request + 2 + 1;
    EXPECT_EQ(sent, expected);
    rig->Control("fault clear");
  }
}

TEST_F(UploadTest, EveryAssignmentSurvivesTheKeyboardExceptTextsAndPrograms) {
  Connect();
  SetMacros({Macro(u"first", 1, 3, 2), Macro(u"second", 2, 50, 255), Macro(u"third", 3, 1)});
  struct Placed {
    AssignmentSlot slot;
    AssignmentKind kind;
    std::uint32_t param;
    std::u16string text;
    AssignmentKind back;  // what the keyboard gives back
  };
  const std::vector<Placed> placed = {
      {0x1E, AssignmentKind::Disabled, 0, u"", AssignmentKind::Disabled},
      {0x30, AssignmentKind::SingleKey, 0x120, u"", AssignmentKind::SingleKey},
      {0x2E, AssignmentKind::SingleKey, 0x02A, u"", AssignmentKind::SingleKey},
      {0x20, AssignmentKind::SingleKey, 0x171, u"", AssignmentKind::SingleKey},
      {0x12, AssignmentKind::PlayMacro, 2, u"", AssignmentKind::PlayMacro},
      {0x21, AssignmentKind::StopMacro, 0, u"", AssignmentKind::StopMacro},
      {0x22, AssignmentKind::MediaKey, 3, u"", AssignmentKind::MediaKey},
      {0x23, AssignmentKind::FunctionKey, 12, u"", AssignmentKind::FunctionKey},
      {0x17, AssignmentKind::LaunchProgram, 0, u"/usr/bin/true", AssignmentKind::Default},
      {0x24, AssignmentKind::TextBlock, 0, u"hello", AssignmentKind::Disabled},
      {256, AssignmentKind::SingleKey, 0x01E, u"", AssignmentKind::SingleKey},
      {265 + 8, AssignmentKind::PlayMacro, 3, u"", AssignmentKind::PlayMacro},
  };
  // Each profile gets the list shifted by its number, so profiles differ.
  for (int p = 0; p < 4; ++p) {
    for (std::size_t i = 0; i < placed.size(); ++i) {
      const Placed& what = placed[(i + static_cast<std::size_t>(p)) % placed.size()];
      ASSERT_TRUE(store.SetAssignment(p, placed[i].slot, what.kind, what.param, what.text));
    }
  }
  std::array<KeyAssignment, 2048> sent;
  for (int i = 0; i < 2048; ++i) sent[i] = store.GetAssignment(i / 512, i % 512);
  const std::vector<MacroRecord> sentMacros = store.CopyMacros();

  ASSERT_EQ(upload->BuildSnapshotAndUpload(true), 1);

  AssignmentStore back;
  ProfileFiles backFiles{back, paths, language, boxes};
  host.applyEnabled = true;
  host.ClearRecords();
  LoadActiveProfile(back, backFiles, rig->Device(), host, u"Macro ", false);
  EXPECT_FALSE(host.applyEnabled);
  EXPECT_EQ(host.Calls(), (std::vector<std::string>{"refresh keys", "apply off"}));

  for (int i = 0; i < 2048; ++i) {
    KeyAssignment expected = sent[i];
    for (const Placed& what : placed) {
      if (expected.Is(what.kind) && (what.back != what.kind)) {
        expected.kind = static_cast<std::uint16_t>(what.back);
        expected.param = 0;
      }
    }
    ASSERT_EQ(back.GetAssignment(i / 512, i % 512), expected) << "entry " << i;
  }
  EXPECT_EQ(back.TextBytesTotal(), 0u);
  const std::vector<MacroRecord> backMacros = back.CopyMacros();
  ASSERT_EQ(backMacros.size(), sentMacros.size());
  for (std::size_t r = 0; r < backMacros.size(); ++r) {
    EXPECT_EQ(backMacros[r], sentMacros[r]) << r;
  }
}

TEST_F(UploadTest, ImportUploadsAllFourProfiles) {
  Connect();
  // An exchange file with an assignment in every profile.
  AssignmentStore other;
  ProfileFiles otherFiles{other, paths, language, boxes};
  for (int p = 0; p < 4; ++p) other.SetAssignment(p, 0x1E, AssignmentKind::FunctionKey, 10u + p);
  const QString exchange = dir.path() + "/exchange.kst";
  ASSERT_TRUE(otherFiles.ExportProfileFile(exchange));

  host.applyEnabled = true;
  int uploaded = 0;
  EXPECT_EQ(ImportProfileFileAndUpload(store, files, *upload, host, exchange, &uploaded), 1);
  EXPECT_EQ(uploaded, 1);
  EXPECT_FALSE(host.applyEnabled);
  for (int p = 0; p < 4; ++p) {
    std::array<std::uint8_t, 512> expected{};
    EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), p, expected);
    EXPECT_EQ(KeyMapOf(p), std::vector<std::uint8_t>(expected.begin(), expected.end())) << p;
  }
}

// Macro areas a damaged keyboard could hold. The rebuild refuses them, the
// store gets a default block and the working file keeps its content.
TEST_F(UploadTest, AMacroAreaThatDoesNotHoldTogetherGivesADefaultStore) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> area;
  };
  auto header = [](std::uint16_t length, std::uint16_t count) {
    std::vector<std::uint8_t> a(16, 0);
    a[0] = 0xAA;
    a[1] = 0x55;
    a[2] = static_cast<std::uint8_t>(length);
    a[3] = static_cast<std::uint8_t>(length >> 8);
    a[4] = static_cast<std::uint8_t>(count);
    a[5] = static_cast<std::uint8_t>(count >> 8);
    return a;
  };
  auto withBlock = [&](std::uint16_t offset, std::uint16_t events, std::uint8_t nameLength) {
    auto a = header(30, 1);
    a.insert(a.end(), {static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(offset >> 8),
                       static_cast<std::uint8_t>(events), 0, 1, nameLength});
    a.resize(30, 0);
    return a;
  };
  const Case cases[] = {
      {"count above 100", header(16 + 2 * 101, 101)},
      {"length shorter than the offset table", header(17, 1)},
      {"length past the macro space", header(9000, 1)},
      {"offset past the area", withBlock(400, 0, 0)},
      {"events past the area", withBlock(18, 4, 0)},
      {"name past the area", withBlock(18, 1, 9)},
  };
  Connect();  // 8 KiB of macro space
  const QString working = files.WorkingProfilePath();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    store.SetAssignment(0, 0x1E, AssignmentKind::StopMacro, 0);
    ASSERT_EQ(files.SaveWorkingProfile(), 1);
    QFile file(working);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    file.close();
    ASSERT_TRUE(rig->Write("macro", 0, c.area));

    EXPECT_EQ(RebuildWorkingProfileFromDevice(rig->Device(), working, u"M"), 0);
    LoadActiveProfile(store, files, rig->Device(), host, u"M", true);
    EXPECT_EQ(store.GetAssignment(0, 0x1E), KeyAssignment{});
    EXPECT_EQ(store.MacroCount(), 0);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), saved);
    file.close();
  }
}

TEST_F(UploadTest, AKeyboardWithoutAMacroAreaRebuildsWithoutMacros) {
  Connect();
  ASSERT_TRUE(rig->Write("macro", 0, std::vector<std::uint8_t>(16, 0)));
  SetMacros({Macro(u"old", 1, 1)});
  LoadActiveProfile(store, files, rig->Device(), host, u"M", false);
  EXPECT_EQ(store.MacroCount(), 0);
  EXPECT_EQ(store.GetAssignment(1, 256).extra, 0x0301);
}

}  // namespace
}  // namespace kst
