// The lighting model against the simulated keyboard: expectations are on the
// bytes in the keyboard's memory, the files in the data folder and what the
// window was asked to show.

#include "lighting/LightingModel.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "foundation/IniFile.h"
#include "foundation/Language.h"
#include "lighting/KeyLeds.h"
#include "lighting/ModeFile.h"
#include "lighting_harness.h"
#include "platform/AppPaths.h"
#include "platform/Registry.h"
#include "store/AssignmentStore.h"
#include "store/MessageBoxes.h"
#include "store/ProfileFiles.h"

namespace kst {
namespace {

using lightingtest::Bytes;

constexpr int kKeyA = 1058;    // LED 64
constexpr int kKeyZ = 1071;    // LED 86
constexpr int kKeyOne = 1030;  // LED 22
constexpr int kKeyG6 = 1140;   // LED 9

const QByteArray kTemplate =
    "[PRESENTMODE]\r\nmode=0\r\n[MODENAME]\r\n0=Night\r\n[Mode0]\r\ntool=1\r\n"
    "jcolor=0,0,200\r\ncolor=0,150,0\r\n64=1,2,3,0\r\n";

// Records what the model asks of the window; colour frames are kept apart
// (the last colour per button) since there is one per lit key.
class FakeHost : public LightingHost {
 public:
  bool selectAnswer = true;
  std::vector<std::string> calls;
  std::map<int, ColorRef> frames;
  int frameCalls = 0;

  void ShowKeyColour(int controlId, ColorRef colour) override {
    frames[controlId] = colour;
    ++frameCalls;
  }
  void ClearKeyColours() override {
    frames.clear();
    calls.push_back("clear");
  }
  void ShowLocks(bool lockT, bool lockTilde) override {
    calls.push_back("locks " + std::to_string(lockT) + " " + std::to_string(lockTilde));
  }
  bool SelectProfile(int profile) override {
    calls.push_back("select " + std::to_string(profile));
    return selectAnswer;
  }
  void UpdateProfileBar() override { calls.push_back("bar"); }
  void RefreshPanel() override { calls.push_back("refresh"); }

  void Forget() {
    calls.clear();
    frames.clear();
    frameCalls = 0;
  }
  bool Called(const std::string& call) const {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
};

std::string Hex(std::initializer_list<int> bytes) {
  std::string out;
  for (const int b : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02X", b);
    out += two;
  }
  return out;
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(text), text.size());
}

// Permission bits of the file, -1 when it cannot be examined.
int Mode(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
  return static_cast<int>(st.st_mode & 07777);
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class LightingModelTest : public lightingtest::LightingSimFixture {
 protected:
  QTemporaryDir dir;
  FakeHost host;
  LightingPaths paths;
  std::unique_ptr<LightingModel> model;

  void SetUp() override {
    LightingSimFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
    paths.dataFolder = dir.filePath("data");
    ASSERT_TRUE(QDir().mkpath(paths.dataFolder));
    paths.templateModeFile = dir.filePath("UserDengColor_4.userd");
    WriteText(paths.templateModeFile, kTemplate);
    const QString language = dir.filePath("Lang0409.ini");
    WriteText(language, "[Mode]\n1=Wave\n4=Breath\n20=Custom\n");
    paths.languageFile = [language] { return language; };
    model = std::make_unique<LightingModel>(*device, host, paths);
  }
  // The keyboard offers codes (the rest of the 32 slots empty) and is on
  // profile current.
  void Offer(const std::vector<int>& codes, int current) {
    std::string hex;
    for (std::size_t slot = 0; slot < kSettingsEffectCount; ++slot) {
      hex += Hex({slot < codes.size() ? codes[slot] : 0});
    }
    Sim("write settings 12 " + hex);
    Sim("write settings 10 " + Hex({current}));
  }
  Bytes Record(int profile) {
    const Bytes area = Parameters();
    const auto at = area.begin() + 42 * profile;
    return Bytes(at, at + 42);
  }
  void SetSwitch(const char* value) {
    WriteText(paths.WskbFile(), QByteArray("[KEYCOLOR]\nDengCheck=") + value + "\n");
  }
  QString Switch() {
    return ReadProfileString(paths.WskbFile(), "KEYCOLOR", "DengCheck", "<missing>", 260);
  }
  QString ModeEntry(int profile, const QString& key) {
    return ReadProfileString(paths.ModeFile(profile), "Mode0", key, "<missing>", 260);
  }
  // Profile 0 in the custom effect with edit mode on, after the keyboard's
  // connection (no mode file: every key red).
  void CustomEffectInEditMode() {
    Offer({1, 4, 20}, 0);
    Poke(0, "14");
    SetSwitch("1");
    ASSERT_EQ(model->ReloadOnConnect(), 1);
    ASSERT_TRUE(model->State().editMode);
    device->log.clear();
    host.Forget();
  }
};

// The panel's changes on profile 2 (record offset 84) of a keyboard that
// offers 1, 4 and 20: exactly the expected commands, and exactly the expected
// bytes of the record changed.
TEST_F(LightingModelTest, PanelChangesLandInTheActiveRecord) {
  struct Case {
    const char* name;
    std::function<int(LightingModel&)> change;
    int result;
    std::vector<std::string> log;
    std::map<std::size_t, std::uint8_t> changed;  // record offset -> new byte
  };
  const std::vector<Case> cases = {
      {"third entry of 1, 4, 20 writes code 20 and not the multicolour byte",
       [](LightingModel& m) { return m.ChangeEffect(2); },
       1,
       {"begin", "write 84: 14", "end"},
       {{0, 20}}},
      {"speed slider at the stored speed's position writes nothing",
       [](LightingModel& m) { return m.SetSpeedPosition(3); },
       0,
       {},
       {}},
      {"speed slider at another position writes 4 - position",
       [](LightingModel& m) { return m.SetSpeedPosition(0); },
       1,
       {"begin", "write 86: 04", "end"},
       {{2, 4}}},
      {"speed slider beyond its range",
       [](LightingModel& m) { return m.SetSpeedPosition(5); },
       kDeviceBadArgument,
       {},
       {}},
      {"list index beyond the list",
       [](LightingModel& m) { return m.ChangeEffect(3); },
       kDeviceBadArgument,
       {},
       {}},
  };
  Offer({1, 4, 20}, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Effect 1, brightness 3, speed 1, multicolour on.
    Poke(84, "0103010001112233");
    ASSERT_EQ(model->SetActiveProfile(2), 1);
    ASSERT_EQ(model->EffectNames(), (QStringList{"Wave", "Breath", "Custom"}));
    ASSERT_EQ(model->SelectedEffectIndex(), 0);
    Bytes expected = Record(2);
    for (const auto& [offset, value] : c.changed) expected[offset] = value;
    device->log.clear();
    EXPECT_EQ(c.change(*model), c.result);
    EXPECT_EQ(device->log, c.log);
    EXPECT_EQ(Record(2), expected);
  }
  EXPECT_FALSE(device->unheldCommand);
}

// Settings blocks and language files the keyboard or the user got wrong: the
// list holds only codes with a parameter set, in the keyboard's order, and a
// code without a name shows "1".
TEST_F(LightingModelTest, EffectListTakesOnlyKnownCodesAndNamesThem) {
  std::vector<int> allSlots;
  for (int code = 1; code <= 32; ++code) allSlots.push_back(code);
  struct Case {
    const char* name;
    std::vector<int> codes;
    QByteArray language;
    QStringList names;
  };
  QStringList allNames;
  for (int code = 1; code <= 23; ++code) {
    if (code == 19) continue;
    allNames << (code == 1 ? "Wave" : code == 4 ? "Breath" : code == 20 ? "Custom" : "1");
  }
  const std::vector<Case> cases = {
      {"unknown codes and empty slots",
       {0, 19, 24, 4, 255, 0, 1},
       "[Mode]\n1=Wave\n4=Breath\n",
       {"Breath", "Wave"}},
      {"all 32 slots", allSlots, "[Mode]\n1=Wave\n4=Breath\n20=Custom\n", allNames},
      {"no Mode section", {1, 4, 20}, "[Other]\n1=Wave\n", {"1", "1", "1"}},
      {"empty language file", {20}, "", {"1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Offer(c.codes, 0);
    WriteText(paths.languageFile(), c.language);
    host.Forget();
    ASSERT_EQ(model->Reload(), 1);
    EXPECT_EQ(model->EffectNames(), c.names);
    EXPECT_EQ(model->State().effectCount, c.names.size());
    EXPECT_TRUE(host.Called("refresh"));
  }
}

// A record of all 0xFF reads clamped, selects no entry, and the panel's
// changes after it send only values in range.
TEST_F(LightingModelTest, RecordOfAllOnesReadsClampedAndWritesStayInRange) {
  Offer({1, 4}, 1);
  Poke(42, std::string(42 * 2, 'F'));
  ASSERT_EQ(model->SetActiveProfile(1), 1);
  const LightingState& s = model->State();
  EXPECT_EQ(model->SelectedEffectIndex(), -1);
  EXPECT_EQ(s.brightness, 4);
  EXPECT_EQ(s.speed, 4);
  EXPECT_EQ(s.reportRate, 3);
  EXPECT_EQ(s.colourChoice, 0);
  EXPECT_EQ(s.direction, kDirectionLeft);
  EXPECT_TRUE(s.lockT);
  EXPECT_TRUE(s.lockTilde);

  device->log.clear();
  EXPECT_EQ(model->SetBrightness(4), 0);
  EXPECT_EQ(model->SetSpeedPosition(0), 0);
  EXPECT_EQ(model->ToggleMulticolour(), 1);
  EXPECT_EQ(model->SetReportRate(4), kDeviceBadArgument);
  EXPECT_EQ(model->SetColourChoice(-1), kDeviceBadArgument);
  EXPECT_EQ(model->ChangeEffect(1), 1);
  EXPECT_EQ(device->log, (std::vector<std::string>{"begin", "write 46: 00", "end", "begin",
                                                   "write 42: 04", "end"}));
}

// A click on D1-D6, or on anything else without a LED, paints nothing: no
// command reaches the keyboard, no frame is set, the mode file is untouched.
TEST_F(LightingModelTest, KeysWithoutALedAreNotPainted) {
  CustomEffectInEditMode();
  const Bytes colours = SimRead("colours");
  Sim("reports clear");
  for (const int id : {1016, 1017, 1018, 1019, 1020, 1021, 0, -1, 1129, 99999}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(model->PaintKey(id), 0);
  }
  EXPECT_EQ(CtrlRequests(), 0);
  EXPECT_EQ(host.frameCalls, 0);
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(SimRead("colours"), colours);
  EXPECT_FALSE(QFileInfo::exists(paths.ModeFile(0)));
}

// Painting acts only in edit mode with the custom effect.
TEST_F(LightingModelTest, PaintingNeedsEditModeAndTheCustomEffect) {
  CustomEffectInEditMode();
  ASSERT_EQ(model->ChangeEffect(0), 1);
  Sim("reports clear");
  EXPECT_EQ(model->PaintKey(kKeyA), 0);
  ASSERT_EQ(model->ChangeEffect(2), 1);
  ASSERT_FALSE(model->ToggleEditMode());
  Sim("reports clear");
  EXPECT_EQ(model->PaintKey(kKeyA), 0);
  EXPECT_EQ(CtrlRequests(), 0);
  EXPECT_EQ(ModeEntry(0, "64"), "<missing>");
}

// G6 lights LED 9: painting it lands there in the keyboard and the mode
// file, and showing and loading the colours take it from there.
TEST_F(LightingModelTest, G6IsPaintedShownAndLoadedAtLed9) {
  CustomEffectInEditMode();
  const ColorRef paint = MakeColorRef(10, 20, 30);
  ASSERT_EQ(model->SetPaintColour(paint), 1);
  ASSERT_EQ(model->PaintKey(kKeyG6), 1);
  EXPECT_EQ(KeyboardColour(0, 9), (Bytes{10, 20, 30}));
  EXPECT_EQ(ModeEntry(0, "9"), "10,20,30,0");
  EXPECT_EQ(host.frames, (std::map<int, ColorRef>{{kKeyG6, paint}}));
  EXPECT_EQ(KeyboardColour(0, 17), (Bytes{255, 0, 0}));  // G1 keeps its colour

  // A new start: the keyboard's colours lost, the mode file kept.
  Sim("write colours 0 " + std::string(3 * kSentLedPositions * 2, '0'));
  FakeHost otherHost;
  LightingModel other(*device, otherHost, paths);
  ASSERT_EQ(other.ReloadOnConnect(), 1);
  EXPECT_EQ(other.Colours().Colour(0, 9), paint);
  EXPECT_EQ(KeyboardColour(0, 9), (Bytes{10, 20, 30}));
  ASSERT_EQ(otherHost.frames.count(kKeyG6), 1u);
  EXPECT_EQ(otherHost.frames[kKeyG6], paint);
  EXPECT_EQ(otherHost.frames[kKeyA], MakeColorRef(255, 0, 0));
  EXPECT_EQ(otherHost.frames.size(), LitKeyButtons().size());
}

// A key painted with tool 1 takes the base colour and follows the next
// base-colour change, like the keys that matched the recorded base colour at
// connection; a key painted with tool 0 keeps its colour.
TEST_F(LightingModelTest, BaseColourChangeMovesOnlyBaseKeys) {
  Offer({1, 4, 20}, 0);
  Poke(0, "14");
  Poke(9, "FF0000");  // recorded base colour red, the colour of unpainted keys
  SetSwitch("1");
  ASSERT_EQ(model->ReloadOnConnect(), 1);
  ASSERT_EQ(model->SetPaintColour(MakeColorRef(0, 150, 0)), 1);
  ASSERT_EQ(model->SetTool(1), 1);
  ASSERT_EQ(model->PaintKey(kKeyA), 1);
  ASSERT_EQ(model->SetTool(0), 1);
  ASSERT_EQ(model->PaintKey(kKeyZ), 1);
  EXPECT_EQ(KeyboardColour(0, 64), (Bytes{0, 0, 0}));  // base colour of the mode: black

  host.Forget();
  const ColorRef base = MakeColorRef(9, 8, 7);
  ASSERT_EQ(model->SetBaseColour(base), 1);
  EXPECT_EQ(KeyboardColour(0, 64), (Bytes{9, 8, 7}));
  EXPECT_EQ(KeyboardColour(0, 22), (Bytes{9, 8, 7}));
  EXPECT_EQ(KeyboardColour(0, 86), (Bytes{0, 150, 0}));
  EXPECT_EQ(ModeEntry(0, "64"), "9,8,7,1");
  EXPECT_EQ(ModeEntry(0, "86"), "0,150,0,0");
  EXPECT_EQ(ModeEntry(0, "jcolor"), "9,8,7");
  const Bytes record = Record(0);
  EXPECT_EQ(Bytes(record.begin() + 9, record.begin() + 12), (Bytes{9, 8, 7}));
  EXPECT_EQ(host.frames[kKeyA], base);
  EXPECT_EQ(host.frames[kKeyOne], base);
  EXPECT_EQ(host.frames[kKeyZ], MakeColorRef(0, 150, 0));
}

// Without a mode file the connection makes every key red, before the records
// are read, and the keyboard receives those colours.
TEST_F(LightingModelTest, MissingModeFileGivesRedKeysOnTheKeyboard) {
  Offer({20}, 1);
  ASSERT_EQ(model->ReloadOnConnect(), 1);
  EXPECT_EQ(model->State().activeProfile, 1);
  EXPECT_EQ(model->UserModeNames(), QStringList{"0"});
  EXPECT_EQ(model->State().userMode, 0);
  for (const int led : LitKeyLeds()) {
    if (led >= kSentLedPositions) continue;
    ASSERT_EQ(KeyboardColour(1, led), (Bytes{255, 0, 0})) << led;
  }
  const auto& log = device->log;
  const auto firstColours = std::find(log.begin(), log.end(), "colours 0");
  const auto firstRecord = std::find(log.begin(), log.end(), "read 0");
  ASSERT_NE(firstColours, log.end());
  EXPECT_LT(firstColours, firstRecord);
  EXPECT_FALSE(device->unheldCommand);
}

// A write the keyboard refuses leaves the state, and the panel, at what the
// keyboard holds.
TEST_F(LightingModelTest, RefusedWriteShowsWhatTheKeyboardHolds) {
  Offer({1, 4}, 0);
  Poke(0, "0103");
  ASSERT_EQ(model->Reload(), 1);
  host.Forget();
  // Every attempt of the WriteParameters after BeginUpdate is refused.
  for (const char* n : {"2", "3", "4"}) Sim(std::string("fault status-ff ") + n);
  EXPECT_EQ(model->SetBrightness(1), kDeviceStatusFF);
  EXPECT_EQ(Record(0)[1], 3);
  EXPECT_EQ(model->State().brightness, 3);
  EXPECT_EQ(host.calls, std::vector<std::string>{"refresh"});
}

// The edit-mode switch: turning it on runs the profile switch to the
// keyboard's current profile first and stops when that refuses; turning it
// off clears the key colours and shows the locks.
TEST_F(LightingModelTest, EditModeSwitch) {
  struct Case {
    const char* name;
    const char* before;  // "DengCheck" before
    bool hostAgrees;
    bool result;
    QString after;
    std::vector<std::string> calls;
    bool framesShown;
  };
  const std::vector<Case> cases = {
      {"on, refused by the profile switch", "0", false, false, "0", {"select 1"}, false},
      {"on", "0", true, true, "1", {"select 1", "refresh"}, true},
      {"off", "1", true, false, "0", {"clear", "locks 1 0", "refresh"}, false},
  };
  Offer({1, 20}, 1);
  Poke(0, "14");
  Poke(29, "0100");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetSwitch(c.before);
    ASSERT_EQ(model->ReloadOnConnect(), 1);
    ASSERT_EQ(model->SetActiveProfile(0), 1);
    host.selectAnswer = true;
    if (c.before == std::string("1")) {
      ASSERT_TRUE(model->ToggleEditMode());
    }
    const QByteArray file = ReadAll(paths.WskbFile());
    host.Forget();
    host.selectAnswer = c.hostAgrees;
    EXPECT_EQ(model->ToggleEditMode(), c.result);
    EXPECT_EQ(model->State().editMode, c.result);
    EXPECT_EQ(Switch(), c.after);
    if (!c.hostAgrees) {
      EXPECT_EQ(ReadAll(paths.WskbFile()), file);
    }
    EXPECT_EQ(host.calls, c.calls);
    EXPECT_EQ(host.frameCalls, c.framesShown ? static_cast<int>(LitKeyButtons().size()) : 0);
  }
}

// A profile change shows the new profile's record and leaves edit mode off.
TEST_F(LightingModelTest, ProfileChangeReloadsAndTurnsEditModeOff) {
  Offer({1, 4, 20}, 0);
  Poke(126, "0402");
  SetSwitch("1");
  ASSERT_EQ(model->Reload(), 1);
  ASSERT_TRUE(model->State().editMode);
  host.Forget();
  ASSERT_EQ(model->SetActiveProfile(3), 1);
  EXPECT_EQ(model->State().activeProfile, 3);
  EXPECT_EQ(model->State().effect, 4);
  EXPECT_EQ(model->State().brightness, 2);
  EXPECT_FALSE(model->State().editMode);
  EXPECT_EQ(Switch(), "0");
  EXPECT_TRUE(host.Called("clear"));
  EXPECT_EQ(host.calls.back(), "refresh");

  device->log.clear();
  EXPECT_EQ(model->SetActiveProfile(4), kDeviceBadArgument);
  EXPECT_EQ(model->SetActiveProfile(-1), kDeviceBadArgument);
  EXPECT_TRUE(device->log.empty());
  EXPECT_EQ(model->State().activeProfile, 3);
}

// The user-mode list and the painting follow the active profile's mode file:
// a profile change takes them from the new profile's file without sending
// its colours again; renaming and selecting act on the list.
TEST_F(LightingModelTest, UserModesFollowTheActiveProfilesModeFile) {
  Offer({1, 20}, 0);
  Poke(0, "14");
  SetSwitch("1");
  WriteText(paths.ModeFile(1), kTemplate);
  ASSERT_EQ(model->ReloadOnConnect(), 1);
  EXPECT_EQ(model->UserModeNames(), QStringList{"0"});

  device->log.clear();
  ASSERT_EQ(model->SetActiveProfile(1), 1);
  EXPECT_EQ(model->UserModeNames(), QStringList{"Night"});
  EXPECT_EQ(model->State().tool, 1);
  EXPECT_EQ(model->State().paintColour, MakeColorRef(0, 150, 0));
  EXPECT_EQ(model->Colours().Colour(1, 64), MakeColorRef(1, 2, 3));
  EXPECT_EQ(std::count_if(device->log.begin(), device->log.end(),
                          [](const std::string& l) { return l.starts_with("colours"); }),
            0);

  ASSERT_EQ(model->RenameUserMode("Evening"), 1);
  EXPECT_EQ(model->UserModeNames(), QStringList{"Evening"});
  EXPECT_EQ(ReadProfileString(paths.ModeFile(1), "MODENAME", "0", "", 260), "Evening");
  EXPECT_EQ(model->SelectUserMode(1), kDeviceBadArgument);
  EXPECT_EQ(model->SelectUserMode(-1), kDeviceBadArgument);

  Poke(42, "14");
  ASSERT_EQ(model->SetActiveProfile(1), 1);
  ASSERT_TRUE(model->ToggleEditMode());
  host.Forget();
  Sim("write colours 512 " + std::string(3 * kSentLedPositions * 2, '0'));
  ASSERT_EQ(model->SelectUserMode(0), 1);
  EXPECT_EQ(KeyboardColour(1, 64), (Bytes{1, 2, 3}));
  EXPECT_EQ(host.calls, std::vector<std::string>{"refresh"});
  EXPECT_EQ(host.frames[kKeyA], MakeColorRef(1, 2, 3));
}

// Resetting profile 3 while it is active: the template over its mode file,
// the user mode loaded from it and sent, and the default record written with
// one WriteParameters at offset 126, bytes 35-41 left alone.
TEST_F(LightingModelTest, ResetOfProfile3) {
  Offer({1, 4, 20}, 3);
  Poke(126 + 35, "5A5A5A5A5A5A5A");
  WriteText(paths.ModeFile(3), "[MODENAME]\n0=Mine\n[Mode0]\n64=9,9,9,1\n");
  ASSERT_EQ(model->ReloadOnConnect(), 1);
  ASSERT_EQ(model->UserModeNames(), QStringList{"Mine"});
  device->log.clear();
  ASSERT_EQ(model->ResetProfileLighting(3), 1);

  EXPECT_EQ(ReadAll(paths.ModeFile(3)), kTemplate);
  EXPECT_EQ(model->UserModeNames(), QStringList{"Night"});
  EXPECT_EQ(model->State().tool, 1);
  EXPECT_EQ(model->State().baseColour, MakeColorRef(0, 0, 200));
  EXPECT_EQ(KeyboardColour(3, 64), (Bytes{1, 2, 3}));
  const std::string defaults = "write 126: 07 04 02 00 FF FF FF FF" + [] {
    std::string zeros;
    for (int i = 8; i < 35; ++i) zeros += " 00";
    return zeros;
  }();
  EXPECT_EQ(std::count_if(device->log.begin(), device->log.end(),
                          [](const std::string& l) { return l.starts_with("write"); }),
            1);
  EXPECT_NE(std::find(device->log.begin(), device->log.end(), defaults), device->log.end());
  Bytes expected(42, 0);
  const auto record = DefaultLightingRecord(3);
  std::copy(record.begin(), record.end(), expected.begin());
  std::fill(expected.begin() + 35, expected.end(), 0x5A);
  EXPECT_EQ(Record(3), expected);
  EXPECT_EQ(model->State().effect, 7);
  EXPECT_EQ(model->State().colour, kWhite);
}

// After a factory reset: edit mode off, the keyboard's profile selected,
// every record at its defaults and the locks released.
TEST_F(LightingModelTest, ResetAllAfterFactoryReset) {
  for (const bool agrees : {true, false}) {
    SCOPED_TRACE(agrees);
    Offer({1, 4}, 0);
    for (int p = 0; p < 4; ++p) Poke(42 * p, "0B0101");
    Poke(29, "0101");
    SetSwitch("1");
    ASSERT_EQ(model->Reload(), 1);
    Offer({1, 4}, 2);
    host.Forget();
    host.selectAnswer = agrees;
    ASSERT_EQ(model->ResetAllLighting(), 1);
    EXPECT_EQ(Switch(), "0");
    EXPECT_FALSE(model->State().editMode);
    EXPECT_EQ(model->State().activeProfile, 2);
    EXPECT_FALSE(model->State().lockT);
    EXPECT_FALSE(model->State().lockTilde);
    const auto select = std::find(host.calls.begin(), host.calls.end(), "select 2");
    ASSERT_NE(select, host.calls.end());
    EXPECT_LT(std::find(host.calls.begin(), host.calls.end(), "clear"), select);
    EXPECT_EQ(select + 1 < host.calls.end() && select[1] == "bar", agrees);
    EXPECT_EQ(host.calls.back(), "locks 0 0");
    for (int p = 0; p < 4; ++p) {
      const auto expected = DefaultLightingRecord(p);
      const Bytes record = Record(p);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), record.begin())) << p;
    }
  }
}

class RecordingMessageBoxes : public MessageBoxes {
 public:
  bool Show(const QString&, MessageKind) override { return false; }
};

// A data folder made now gets the four mode files from the template and the
// switch off, all private to the user; a folder that exists is left alone.
TEST_F(LightingModelTest, NewDataFolderIsSeededFromTheTemplate) {
  Registry registry(dir.filePath("registry.reg"));
  Language language(registry, dir.filePath("program"), [] { return std::uint16_t{1033}; });
  RecordingMessageBoxes boxes;
  AssignmentStore store;
  const QString fresh = dir.filePath("fresh/Z-ORMIT M350RGB");
  ProfileFiles files(store, AppPaths{dir.filePath("program"), fresh, registry.FilePath()}, language,
                     boxes);
  files.SetFolderSeeder(model.get());
  ASSERT_EQ(files.ProfileFolderPath(), fresh);
  for (int p = 0; p < 4; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(ReadAll(ModeFilePath(fresh, p)), kTemplate);
    EXPECT_EQ(Mode(ModeFilePath(fresh, p)), 0600);
  }
  const QString wskb = fresh + "/wskb.ini";
  EXPECT_EQ(ReadProfileString(wskb, "KEYCOLOR", "DengCheck", "<missing>", 260), "0");
  EXPECT_EQ(Mode(wskb), 0600);

  // The folder exists: nothing is seeded, nothing overwritten.
  const QString existing = paths.dataFolder;
  WriteText(ModeFilePath(existing, 0), "[Mode0]\n1=1,1,1,0\n");
  ProfileFiles again(store, AppPaths{dir.filePath("program"), existing, registry.FilePath()},
                     language, boxes);
  again.SetFolderSeeder(model.get());
  ASSERT_EQ(again.ProfileFolderPath(), existing);
  EXPECT_EQ(ReadAll(ModeFilePath(existing, 0)), "[Mode0]\n1=1,1,1,0\n");
  EXPECT_FALSE(QFileInfo::exists(ModeFilePath(existing, 1)));
  EXPECT_FALSE(QFileInfo::exists(existing + "/wskb.ini"));
}

}  // namespace
}  // namespace kst
