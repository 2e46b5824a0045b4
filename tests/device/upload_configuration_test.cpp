// Apply and the rebuild from the keyboard, against the simulated keyboard.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "device/ConfigurationUpload.h"
#include "device/DeviceProfileRebuild.h"
#include "device/KeyMap.h"
#include "device/MacroArea.h"
#include "device/OwedUpload.h"
#include "device/UploadSnapshot.h"
#include "file_size_limit.h"
#include "foundation/Language.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"
#include "upload_fixture.h"
#include "upload_sim_rig.h"

namespace kst {
namespace {

using uploadtest::RecordingUploadHost;
using uploadtest::RigOptions;
using uploadtest::SimKeyboardRig;

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

class UploadTest : public uploadtest::UploadFixture {
 protected:
  // Connects the keyboard and builds the upload over it.
  void Connect(const RigOptions& options = {}) {
    rig = std::make_unique<SimKeyboardRig>(options);
    ASSERT_EQ(rig->Error(), "");
    upload = std::make_unique<ConfigurationUpload>(store, snapshot, rig->Device(), files, host);
    upload->SetOwedUpload(&owed);
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

  OwedUpload owed{registry, QString::fromLatin1(kLanguageRegistryKey)};
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
  EXPECT_FALSE(owed.IsOwed());
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
TEST_F(UploadTest, ApplyThatCannotSaveTheWorkingFileSaysWhyOnce) {
  Connect();
  SetMacros({Macro(u"long", 1, 2000)});  // a working file of some 49 KB
  {
    const uploadtest::FileSizeLimit fullDisk(40000);
    for (int apply = 0; apply < 2; ++apply) {
      store.SetAssignment(0, 0x1E, AssignmentKind::FunctionKey, 10u + apply);
      host.applyEnabled = true;
      RunApply();
    }
  }
  EXPECT_TRUE(host.applyEnabled);
  EXPECT_EQ(host.Messages(), std::vector<std::string>{"IDS_MAIN_SAVE_FAILED"});
  ASSERT_EQ(host.Details().size(), 1u);
  EXPECT_TRUE(host.Details()[0].startsWith(QDir::toNativeSeparators(files.WorkingProfilePath())));
}

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
    EXPECT_TRUE(owed.IsOwed()) << "only a completed upload clears the mark";
    ASSERT_TRUE(owed.Clear());
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
  host.ClearRecords();
  ASSERT_TRUE(upload->ImportConfiguration(exchange));
  upload->WaitForApplyWorker();
  EXPECT_EQ(host.RunWindowTasks(), 1);
  EXPECT_FALSE(host.applyEnabled);
  EXPECT_EQ(host.Calls(),
            (std::vector<std::string>{"progress shown", "timer 1050 start 50", "refresh keys",
                                      "apply off", "timer 1050 stop", "progress hidden"}));
  // The user is told once that the import is done.
  EXPECT_EQ(host.Messages(), std::vector<std::string>{kImportDoneTextKey});
  for (int p = 0; p < 4; ++p) {
    std::array<std::uint8_t, 512> expected{};
    EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), p, expected);
    EXPECT_EQ(KeyMapOf(p), std::vector<std::uint8_t>(expected.begin(), expected.end())) << p;
  }
}

// Macro areas a damaged keyboard could hold. The rebuild keeps the key maps
// and every macro it can read; the keys of the others become Default, and the
// user is told once.
TEST_F(UploadTest, AMacroAreaThatDoesNotHoldTogetherCostsOnlyTheUnreadableMacros) {
  auto put16 = [](std::vector<std::uint8_t>& a, std::size_t at, std::uint16_t v) {
    if (a.size() < at + 2) a.resize(at + 2, 0);
    a[at] = static_cast<std::uint8_t>(v);
    a[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto header = [&](std::uint16_t length, std::uint16_t count) {
    std::vector<std::uint8_t> a(16, 0);
    put16(a, 0, 0x55AA);
    put16(a, 2, length);
    put16(a, 4, count);
    return a;
  };
  // Two macros: the first whole at 20 (one event, repeat 7), the second at
  // `offset` with the given event count and name length, the area `length`
  // bytes long by its header and `size` bytes in fact.
  auto twoMacros = [&](std::uint16_t length, std::uint16_t offset, std::uint16_t events,
                       std::uint8_t nameLength, std::size_t size) {
    auto a = header(length, 2);
    put16(a, 16, 20);
    put16(a, 18, offset);
    a.resize(std::max<std::size_t>(size, 28), 0);
    put16(a, 20, 1);
    a[22] = 7;
    put16(a, 24, 0xA000);  // press of a keyboard key: A
    a[26] = 2;
    a[27] = 4;
    if (offset + 4u <= a.size()) {
      put16(a, offset, events);
      a[offset + 3u] = nameLength;
    }
    return a;
  };
  struct Case {
    const char* what;
    std::vector<std::uint8_t> area;
    bool firstKept;
  };
  const Case cases[] = {
      {"count above 100", header(16 + 2 * 101, 101), false},
      {"length shorter than the offset table", header(17, 1), false},
      {"length past the macro space", twoMacros(9000, 8190, 1, 0, 8192), true},
      {"offset past the area", twoMacros(40, 400, 0, 0, 40), true},
      {"events past the area", twoMacros(40, 28, 4, 0, 40), true},
      {"name past the area", twoMacros(40, 28, 1, 9, 40), true},
  };
  Connect();  // 8 KiB of macro space
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetMacros({Macro(u"one", 1, 1), Macro(u"two", 2, 1)});
    store.SetAssignment(0, 0x1E, AssignmentKind::PlayMacro, 1);
    store.SetAssignment(0, 0x1F, AssignmentKind::PlayMacro, 2);
    store.SetAssignment(2, 0x30, AssignmentKind::FunctionKey, 12);
    ASSERT_EQ(upload->BuildSnapshotAndUpload(true), 1);
    ASSERT_TRUE(rig->Write("macro", 0, c.area));
    host.ClearRecords();

    EXPECT_EQ(LoadActiveProfile(store, files, rig->Device(), host, u"M", true, upload.get()),
              ActiveProfileSource::Keyboard);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"IDS_MAIN_MACROS_DROPPED"});
    EXPECT_FALSE(upload->StandInContent());
    EXPECT_EQ(store.GetAssignment(2, 0x30).Kind(), AssignmentKind::FunctionKey);
    EXPECT_EQ(store.GetAssignment(2, 0x30).param, 12u);
    EXPECT_EQ(store.GetAssignment(0, 0x1F).Kind(), AssignmentKind::Default);
    EXPECT_EQ(store.GetAssignment(0, 0x1E).Kind(),
              c.firstKept ? AssignmentKind::PlayMacro : AssignmentKind::Default);
    ASSERT_EQ(store.MacroCount(), c.firstKept ? 1 : 0);
    if (c.firstKept) {
      const MacroRecord first = store.CopyMacros().front();
      EXPECT_EQ(first.number, 1);
      EXPECT_EQ(first.repeatCount, 7);
      ASSERT_EQ(first.eventCount, 1);
      EXPECT_EQ(first.events[0].key, 0x1E);
    }
    // The working file is the rebuilt content.
    AssignmentStore reloaded;
    ProfileFiles reloadedFiles{reloaded, paths, language, boxes};
    ASSERT_EQ(reloadedFiles.LoadProfileFile(files.WorkingProfilePath()), 1);
    EXPECT_EQ(reloaded.MacroCount(), store.MacroCount());
    EXPECT_EQ(reloaded.GetAssignment(2, 0x30), store.GetAssignment(2, 0x30));
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

// The macro area's second chunk fails on every attempt, or the keyboard is
// unplugged there: it keeps a half-written area. The next connection (here
// after a restart: new store, new registry reader) must upload the working
// file, not read that back.
TEST_F(UploadTest, AnUploadThatFailedIsOwedAndSentAgainOnTheNextConnection) {
  struct Case {
    const char* what;
    std::vector<std::string> faults;  // requests: begin-update 1, macro area from 2
    std::vector<std::string> afterApply;
  };
  const Case cases[] = {
      {"status 0xFF", {"fault status-ff 3", "fault status-ff 4", "fault status-ff 5"}, {}},
      {"unplugged", {"fault unplug 3"}, {"plug"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    upload.reset();
    rig.reset();
    ASSERT_TRUE(owed.Clear());
    Connect();
    SetMacros({Macro(u"first", 1, 20, 2), Macro(u"second", 2, 20, 3)});
    store.SetAssignment(0, 0x1E, AssignmentKind::PlayMacro, 1);
    ASSERT_EQ(upload->BuildSnapshotAndUpload(true), 1);
    EXPECT_FALSE(owed.IsOwed());

    // The change: other macros (an area of several chunks) and keys.
    const std::vector<MacroRecord> applied = {Macro(u"third", 1, 30, 5),
                                              Macro(u"fourth", 2, 25, 9)};
    SetMacros(applied);
    store.SetAssignment(0, 0x1F, AssignmentKind::PlayMacro, 2);
    store.SetAssignment(1, 0x30, AssignmentKind::FunctionKey, 12);
    for (const std::string& fault : c.faults) ASSERT_EQ(rig->Control(fault), 1);
    host.applyEnabled = true;
    RunApply();
    EXPECT_TRUE(host.applyEnabled);
    EXPECT_TRUE(owed.IsOwed());
    for (const std::string& command : c.afterApply) ASSERT_EQ(rig->Control(command), 1);
    {
      // What a rebuild would read now is not what was applied.
      DeviceImages images;
      std::vector<std::uint8_t> image;
      ASSERT_EQ(ReadDeviceImages(rig->Device(), images), 1);
      ASSERT_EQ(BuildProfileImageFromDevice(images, u"M", image), 1);
      auto content = DecodeProfileImage(image);
      ASSERT_TRUE(content.has_value());
      AssignmentStore halfWritten;
      ASSERT_TRUE(halfWritten.Install(std::move(*content)));
      EXPECT_NE(halfWritten.CopyMacros(), applied);
    }

    Registry restartedRegistry{dir.path() + "/registry.reg"};
    OwedUpload restartedOwed{restartedRegistry, QString::fromLatin1(kLanguageRegistryKey)};
    AssignmentStore back;
    ProfileFiles backFiles{back, paths, language, boxes};
    UploadSnapshot backSnapshot;
    ConfigurationUpload backUpload{back, backSnapshot, rig->Device(), backFiles, host};
    backUpload.SetOwedUpload(&restartedOwed);
    host.ClearRecords();
    host.applyEnabled = false;
    EXPECT_EQ(LoadActiveProfile(back, backFiles, rig->Device(), host, u"M", false, &backUpload),
              ActiveProfileSource::WorkingFile);
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"IDS_MAIN_UPLOAD_OWED"});
    EXPECT_TRUE(backUpload.ApplyRunning());
    backUpload.WaitForApplyWorker();
    EXPECT_EQ(host.RunWindowTasks(), 1);
    EXPECT_FALSE(restartedOwed.IsOwed());
    EXPECT_FALSE(host.applyEnabled);
    EXPECT_EQ(back.CopyMacros(), applied);
    EXPECT_TRUE(back.GetAssignment(1, 0x30).Is(AssignmentKind::FunctionKey));

    // The keyboard holds it all now: a rebuild reads back what was applied.
    AssignmentStore rebuilt;
    ProfileFiles rebuiltFiles{rebuilt, paths, language, boxes};
    EXPECT_EQ(
        LoadActiveProfile(rebuilt, rebuiltFiles, rig->Device(), host, u"M", false, &backUpload),
        ActiveProfileSource::Keyboard);
    EXPECT_EQ(rebuilt.CopyMacros(), applied);
    EXPECT_EQ(rebuilt.GetAssignment(0, 0x1F), back.GetAssignment(0, 0x1F));
    EXPECT_EQ(rebuilt.GetAssignment(1, 0x30), back.GetAssignment(1, 0x30));
  }
}

// The keyboard comes back while the Apply it interrupted has not finished on
// the window's side: the owed upload follows it.
TEST_F(UploadTest, AnOwedUploadWaitsForTheApplyThatFailed) {
  Connect();
  const std::vector<MacroRecord> applied = {Macro(u"third", 1, 30, 5)};
  SetMacros(applied);
  for (int request : {3, 4, 5}) {
    ASSERT_EQ(rig->Control("fault status-ff " + std::to_string(request)), 1);
  }
  host.applyEnabled = true;
  ASSERT_TRUE(upload->ApplyConfiguration());
  upload->WaitForApplyWorker();  // its completion still waits for the window
  EXPECT_TRUE(owed.IsOwed());

  EXPECT_EQ(LoadActiveProfile(store, files, rig->Device(), host, u"M", false, upload.get()),
            ActiveProfileSource::WorkingFile);
  EXPECT_EQ(host.RunWindowTasks(), 1);  // the failed Apply ends, the owed upload starts
  EXPECT_TRUE(upload->ApplyRunning());
  upload->WaitForApplyWorker();
  EXPECT_EQ(host.RunWindowTasks(), 1);
  EXPECT_FALSE(upload->ApplyRunning());
  EXPECT_FALSE(owed.IsOwed());
  EXPECT_FALSE(host.applyEnabled);
  std::vector<std::uint8_t> area(MacroAreaSizeWithNames(applied));
  ASSERT_EQ(EncodeMacroArea(applied, area, true), 1);
  EXPECT_EQ(Slice(rig->Read("macro"), 0, area.size()), area);
}

TEST_F(UploadTest, WhileAnUploadIsOwedApplyWritesAllFourProfiles) {
  Connect({.beforeConnect = {"write settings 10 01"}});
  ASSERT_TRUE(owed.Set());
  for (int p = 0; p < 4; ++p) store.SetAssignment(p, 0x1E, AssignmentKind::FunctionKey, 10u + p);
  host.applyEnabled = true;
  RunApply();
  EXPECT_FALSE(owed.IsOwed());
  for (int p = 0; p < 4; ++p) {
    std::array<std::uint8_t, 512> expected{};
    EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), p, expected);
    EXPECT_EQ(KeyMapOf(p), std::vector<std::uint8_t>(expected.begin(), expected.end())) << p;
  }
}

// The working file's path is taken by a folder: the store keeps what the
// keyboard holds, and the user is told once why it cannot be saved.
TEST_F(UploadTest, ARebuildThatCannotWriteTheWorkingFileKeepsTheKeyboardsContent) {
  Connect();
  store.SetAssignment(1, 0x30, AssignmentKind::FunctionKey, 12);
  ASSERT_EQ(upload->BuildSnapshotAndUpload(true), 1);
  store.InstallDefault();
  const QString working = files.WorkingProfilePath();
  ASSERT_TRUE(QFile::remove(working));
  ASSERT_TRUE(QDir().mkdir(working));
  host.ClearRecords();

  EXPECT_EQ(LoadActiveProfile(store, files, rig->Device(), host, u"M", false, upload.get()),
            ActiveProfileSource::Keyboard);
  EXPECT_TRUE(store.GetAssignment(1, 0x30).Is(AssignmentKind::FunctionKey));
  EXPECT_EQ(host.Messages(), std::vector<std::string>{"IDS_MAIN_SAVE_FAILED"});
  ASSERT_EQ(host.Details().size(), 1u);
  EXPECT_TRUE(host.Details()[0].startsWith(QDir::toNativeSeparators(working)));
  EXPECT_TRUE(host.Details()[0].endsWith(qt_error_string(EISDIR)))
      << host.Details()[0].toStdString();
  // Told once: the next connection keeps quiet about it.
  host.ClearRecords();
  EXPECT_EQ(LoadActiveProfile(store, files, rig->Device(), host, u"M", false, upload.get()),
            ActiveProfileSource::Keyboard);
  EXPECT_TRUE(host.Messages().empty());

  // What was read is real content: Apply still sends it.
  store.SetAssignment(0, 0x31, AssignmentKind::StopMacro, 0);
  host.applyEnabled = true;
  RunApply();
  std::array<std::uint8_t, 512> expected{};
  EncodeKeyMap(snapshot, rig->Device().FactoryKeyMap(), 0, expected);
  EXPECT_EQ(KeyMapOf(0), std::vector<std::uint8_t>(expected.begin(), expected.end()));
  EXPECT_TRUE(QFileInfo(working).isDir());
  EXPECT_TRUE(host.Messages().empty()) << "the user was told already";
}

// The keyboard does not answer on connection: the default block standing in
// for its content is never applied, to the keyboard or to the working file.
TEST_F(UploadTest, ApplyRefusesADefaultBlockStandingInForUnreadContent) {
  Connect();
  store.SetAssignment(1, 0x30, AssignmentKind::FunctionKey, 12);
  ASSERT_EQ(upload->BuildSnapshotAndUpload(true), 1);
  ASSERT_EQ(files.SaveWorkingProfile(), 1);
  const auto keyMaps = rig->Read("keymaps");
  QFile file(files.WorkingProfilePath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray saved = file.readAll();
  file.close();

  rig->ForgetCurrentProfile();
  ASSERT_EQ(rig->Control("fault status-ff every"), 1);
  EXPECT_EQ(LoadActiveProfile(store, files, rig->Device(), host, u"M", false, upload.get()),
            ActiveProfileSource::StandIn);
  ASSERT_EQ(rig->Control("fault clear"), 1);
  EXPECT_TRUE(upload->StandInContent());

  store.SetAssignment(0, 0x1E, AssignmentKind::StopMacro, 0);
  host.applyEnabled = true;
  host.ClearRecords();
  const long requests = CtrlRequests();
  EXPECT_FALSE(upload->ApplyConfiguration());
  EXPECT_EQ(upload->BuildSnapshotAndUpload(true), 0);
  EXPECT_EQ(host.Messages(),
            (std::vector<std::string>{"IDS_MAIN_APPLY_NOT_LOADED", "IDS_MAIN_APPLY_NOT_LOADED"}));
  EXPECT_EQ(CtrlRequests(), requests);
  EXPECT_EQ(rig->Read("keymaps"), keyMaps);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), saved);
  file.close();

  // The keyboard answers again: its content is real, Apply works.
  EXPECT_EQ(LoadActiveProfile(store, files, rig->Device(), host, u"M", false, upload.get()),
            ActiveProfileSource::Keyboard);
  EXPECT_FALSE(upload->StandInContent());
  EXPECT_TRUE(store.GetAssignment(1, 0x30).Is(AssignmentKind::FunctionKey));
}

}  // namespace
}  // namespace kst
