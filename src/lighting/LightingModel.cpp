#include "lighting/LightingModel.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <vector>

#include "foundation/IniFile.h"
#include "foundation/SkinLayout.h"
#include "lighting/CustomEffect.h"
#include "lighting/EffectList.h"
#include "lighting/KeyLeds.h"
#include "lighting/ModeFile.h"
#include "platform/AtomicFile.h"

namespace kst {
namespace {

// Value buffer of the user-mode name lookup, in characters with the terminator.
constexpr int kModeNameChars = 260;
// A template mode file holds a few hundred short lines; anything far larger
// is not one and is not copied.
constexpr qint64 kMaxTemplateBytes = qint64{1} << 20;

// The LED positions of the lit key buttons, each once: the mode file and the
// colour table are kept per position, and several buttons share one.
std::span<const int> DistinctLitLeds() {
  static const std::vector<int> leds = [] {
    std::vector<int> v(LitKeyLeds().begin(), LitKeyLeds().end());
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
  }();
  return leds;
}

bool ValidProfile(int profile) { return profile >= 0 && profile < kLightingProfileCount; }

}  // namespace

LightingPaths LightingPaths::ForProgram(const QString& programFolder, const QString& dataFolder,
                                        Language& language) {
  LightingPaths paths;
  paths.dataFolder = dataFolder;
  paths.templateModeFile =
      ModeFilePath(QDir(programFolder).filePath(QStringLiteral("Skins")), kModeTemplateNumber);
  paths.languageFile = [&language] {
    return language.LanguageFilePath(language.GetLanguageIndex());
  };
  return paths;
}

QString LightingPaths::ModeFile(int profile) const { return ModeFilePath(dataFolder, profile); }

QString LightingPaths::WskbFile() const {
  return dataFolder + QLatin1Char('/') + QString::fromLatin1(kWskbFileName);
}

LightingModel::LightingModel(LightingDevice& device, LightingHost& host, LightingPaths paths)
    : device_(device), host_(host), paths_(std::move(paths)), writer_(device_, state_) {}

QStringList LightingModel::EffectNames() const {
  const QString language = paths_.languageFile ? paths_.languageFile() : QString();
  QStringList names;
  for (const auto& entry : state_.Effects()) names.append(EffectName(language, entry.code));
  return names;
}

int LightingModel::SelectedEffectIndex() const { return EffectListIndex(state_, state_.effect); }

bool LightingModel::OffersCustomEffect() const {
  return EffectListIndex(state_, kCustomEffect) >= 0;
}

// ---- Reload ----

int LightingModel::Reload() {
  const int result =
      ReloadLighting(device_, state_, records_, paths_.WskbFile(), ReloadKind::Normal);
  host_.ShowLocks(state_.lockT, state_.lockTilde);
  RefreshEffectList();
  return result;
}

int LightingModel::ReloadOnConnect() {
  const auto beforeRecords = [this](const SettingsBlock& settings) {
    const int profile = settings[kSettingsCurrentProfile];
    if (ValidProfile(profile)) state_.activeProfile = profile;
    if (OffersCustomEffect()) {
      FillUserModeNames();
      LoadActiveUserMode(true);
    }
  };
  const int result = ReloadLighting(device_, state_, records_, paths_.WskbFile(),
                                    ReloadKind::Connect, beforeRecords);
  host_.ShowLocks(state_.lockT, state_.lockTilde);
  RefreshEffectList();
  if (result == kDeviceOk && OffersCustomEffect()) {
    DeriveBaseFlags(records_, DistinctLitLeds(), colours_);
  }
  return result;
}

int LightingModel::SetActiveProfile(int profile) {
  if (!ValidProfile(profile)) return kDeviceBadArgument;
  state_.activeProfile = profile;
  const int result =
      ReloadLighting(device_, state_, records_, paths_.WskbFile(), ReloadKind::Normal);
  if (result == kDeviceOk && OffersCustomEffect()) {
    // The new profile's painting, so that the custom controls and the key
    // colours show it; the keyboard already holds its colours.
    FillUserModeNames();
    LoadActiveUserMode(false);
  }
  // Every profile change leaves edit mode off, also when the switch was on
  // and the reload restored it from there. Turning it off shows the locks
  // and the panel anew.
  if (state_.editMode) {
    TurnEditModeOff();
  } else {
    host_.ShowLocks(state_.lockT, state_.lockTilde);
    RefreshEffectList();
  }
  return result;
}

void LightingModel::RefreshEffectList() {
  host_.RefreshPanel();
  if (KeyColoursShown()) ShowKeyColours();
}

// ---- Panel operations ----

int LightingModel::ChangeEffect(int listIndex) {
  if (listIndex < 0 || listIndex >= state_.effectCount || !ValidProfile(state_.activeProfile)) {
    return kDeviceBadArgument;
  }
  host_.ClearKeyColours();
  const int result = writer_.SelectEffect(listIndex);
  if (KeyColoursShown()) ShowKeyColours();
  // The panel shows the new effect's controls.
  host_.RefreshPanel();
  return AfterWrite(result);
}

int LightingModel::SetBrightness(int brightness) {
  return AfterWrite(writer_.SetBrightness(brightness));
}

int LightingModel::SetSpeedPosition(int position) {
  if (position < 0 || position > kMaxSpeed) return kDeviceBadArgument;
  return AfterWrite(writer_.SetSpeed(kMaxSpeed - position));
}

int LightingModel::SetDirection(int direction) {
  return AfterWrite(writer_.SetDirection(direction));
}

int LightingModel::SetColour(ColorRef colour) { return AfterWrite(writer_.SetColour(colour)); }

int LightingModel::ToggleMulticolour() { return AfterWrite(writer_.ToggleMulticolour()); }

int LightingModel::SetColourChoice(int choice) {
  return AfterWrite(writer_.SetColourChoice(choice));
}

int LightingModel::ClearKeyDefaultBytes() {
  const int result = writer_.ClearKeyDefaultBytes();
  if (result == kDeviceBadArgument) return result;
  auto& record = records_[static_cast<std::size_t>(state_.activeProfile)];
  std::fill_n(record.begin() + kRecEffect7Flag, kKeyDefaultBytes, std::uint8_t{0});
  return AfterWrite(result);
}

int LightingModel::SetReportRate(int rate) { return AfterWrite(writer_.SetReportRate(rate)); }

int LightingModel::SetPaintColour(ColorRef colour) {
  if (!ValidProfile(state_.activeProfile)) return kDeviceBadArgument;
  kst::SetPaintColour(state_, ActiveModeFile(), colour);
  return kDeviceOk;
}

int LightingModel::SetBaseColour(ColorRef colour) {
  if (!ValidProfile(state_.activeProfile)) return kDeviceBadArgument;
  const int result =
      kst::SetBaseColour(device_, state_, colours_, ActiveModeFile(), DistinctLitLeds(), colour);
  if (KeyColoursShown()) ShowKeyColours();
  return AfterWrite(result);
}

int LightingModel::SetTool(int tool) {
  if (!ValidProfile(state_.activeProfile)) return kDeviceBadArgument;
  return kst::SetTool(state_, ActiveModeFile(), tool);
}

int LightingModel::SelectUserMode(int mode) {
  if (!ValidProfile(state_.activeProfile) || mode < 0 || mode >= userModeNames_.size()) {
    return kDeviceBadArgument;
  }
  const int result =
      kst::SelectUserMode(device_, state_, colours_, ActiveModeFile(), DistinctLitLeds(), mode);
  host_.RefreshPanel();
  if (KeyColoursShown()) ShowKeyColours();
  return AfterWrite(result);
}

int LightingModel::RenameUserMode(const QString& text) {
  if (!ValidProfile(state_.activeProfile) || state_.userMode < 0) return kDeviceBadArgument;
  // The list keeps one entry per user mode up to the current one.
  const QString file = ActiveModeFile();
  while (userModeNames_.size() <= state_.userMode) {
    userModeNames_.append(ReadProfileString(file, QStringLiteral("MODENAME"),
                                            QString::number(userModeNames_.size()),
                                            QStringLiteral("0"), kModeNameChars));
  }
  userModeNames_[state_.userMode] = text;
  return kst::RenameUserMode(state_, file, text) ? kDeviceOk : kDeviceNothing;
}

int LightingModel::PaintKey(int controlId) {
  const std::optional<int> led = LedOfKeyButton(controlId);
  if (!led || !state_.editMode || state_.effect != kCustomEffect ||
      !ValidProfile(state_.activeProfile)) {
    return kDeviceNothing;
  }
  const int result = kst::PaintKey(device_, state_, colours_, ActiveModeFile(), *led);
  if (result == kDeviceBadArgument) return result;
  // Every button on that position shows it, as ShowKeyColours would.
  const ColorRef colour = colours_.Colour(state_.activeProfile, *led).value_or(0);
  for (const KeyLed& key : LitKeyButtons()) {
    if (key.led == *led) host_.ShowKeyColour(key.controlId, colour);
  }
  return AfterWrite(result);
}

bool LightingModel::ToggleEditMode() {
  if (state_.editMode) {
    TurnEditModeOff();
    return false;
  }
  int profile = state_.activeProfile;
  ReadKeyboardProfile(profile);
  if (!host_.SelectProfile(profile)) return false;
  state_.editMode = true;
  WriteEditModeSwitch(paths_.WskbFile(), true);
  host_.RefreshPanel();
  if (KeyColoursShown()) ShowKeyColours();
  return true;
}

void LightingModel::ShowKeyColours() {
  if (!ValidProfile(state_.activeProfile)) return;
  for (const KeyLed& key : LitKeyButtons()) {
    host_.ShowKeyColour(key.controlId, colours_.Colour(state_.activeProfile, key.led).value_or(0));
  }
}

// ---- Resets ----

int LightingModel::ResetProfileLighting(int profile) {
  if (!ValidProfile(profile)) return kDeviceBadArgument;
  int result = kDeviceOk;
  if (OffersCustomEffect()) {
    CopyTemplateModeFile(paths_.ModeFile(profile));
    // Only the active profile's painting is held and shown; another
    // profile's mode file is read when that profile becomes active.
    if (profile == state_.activeProfile) {
      FillUserModeNames();
      result = LoadActiveUserMode(true);
    }
  }
  const int written = writer_.ResetProfileRecord(profile);
  if (result == kDeviceOk) result = written;
  if (profile == state_.activeProfile) {
    host_.RefreshPanel();
    if (KeyColoursShown()) ShowKeyColours();
  }
  return AfterWrite(result);
}

int LightingModel::ResetAllLighting() {
  int profile = 0;
  const int read = ReadKeyboardProfile(profile);
  if (read != kDeviceOk) return read;
  state_.activeProfile = profile;
  if (state_.editMode) TurnEditModeOff();
  if (host_.SelectProfile(profile)) {
    host_.UpdateProfileBar();
    if (ReadKeyboardProfile(profile) == kDeviceOk) state_.activeProfile = profile;
  }
  int result = kDeviceOk;
  for (int p = 0; p < kLightingProfileCount; ++p) {
    const int r = ResetProfileLighting(p);
    if (result == kDeviceOk) result = r;
  }
  state_.lockT = false;
  state_.lockTilde = false;
  host_.ShowLocks(false, false);
  return result;
}

// ---- ProfileFolderSeeder ----

void LightingModel::SeedProfileFolder(const QString& folder) {
  for (int p = 0; p < kLightingProfileCount; ++p) CopyTemplateModeFile(ModeFilePath(folder, p));
  WriteEditModeSwitch(folder + QLatin1Char('/') + QString::fromLatin1(kWskbFileName), false);
}

// ---- Private ----

int LightingModel::AfterWrite(int result) {
  if (result == kDeviceOk || result == kDeviceNothing || result == kDeviceBadArgument) {
    return result;
  }
  std::array<bool, kLightingRecordCount> read{};
  ReadLightingRecords(device_, records_, &read);
  if (ValidProfile(state_.activeProfile) && read[static_cast<std::size_t>(state_.activeProfile)]) {
    DecodeLightingRecord(records_[static_cast<std::size_t>(state_.activeProfile)], state_);
  }
  host_.RefreshPanel();
  return result;
}

void LightingModel::TurnEditModeOff() {
  state_.editMode = false;
  WriteEditModeSwitch(paths_.WskbFile(), false);
  host_.ClearKeyColours();
  host_.ShowLocks(state_.lockT, state_.lockTilde);
  host_.RefreshPanel();
}

bool LightingModel::KeyColoursShown() const {
  return state_.editMode && state_.effect == kCustomEffect;
}

QString LightingModel::ActiveModeFile() const { return paths_.ModeFile(state_.activeProfile); }

void LightingModel::FillUserModeNames() {
  userModeNames_ =
      QStringList{ReadProfileString(ActiveModeFile(), QStringLiteral("MODENAME"),
                                    QStringLiteral("0"), QStringLiteral("0"), kModeNameChars)};
}

int LightingModel::LoadActiveUserMode(bool upload) {
  if (!ValidProfile(state_.activeProfile)) return kDeviceBadArgument;
  LoadUserMode(ActiveModeFile(), DistinctLitLeds(), state_, colours_);
  return upload ? UploadKeyColours(device_, colours_, state_.activeProfile) : kDeviceOk;
}

int LightingModel::ReadKeyboardProfile(int& profile) {
  SettingsBlock settings{};
  const SequenceHold hold(device_);
  if (!hold.Held()) return kDeviceNothing;
  const int result = device_.ReadSettings(settings);
  if (result != kDeviceOk) return result;
  const int current = settings[kSettingsCurrentProfile];
  profile = ValidProfile(current) ? current : 0;
  return kDeviceOk;
}

bool LightingModel::CopyTemplateModeFile(const QString& path) const {
  QFile source(paths_.templateModeFile);
  if (!source.open(QIODevice::ReadOnly) || source.size() > kMaxTemplateBytes) return false;
  const QByteArray bytes = source.read(kMaxTemplateBytes + 1);
  if (bytes.size() > kMaxTemplateBytes || source.error() != QFileDevice::NoError) return false;
  return WriteFileAtomically(path, bytes);
}

}  // namespace kst
