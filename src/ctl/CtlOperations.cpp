#include "ctl/CtlOperations.h"

#include <mutex>
#include <vector>

#include "ctl/CtlDump.h"
#include "ctl/CtlMessages.h"
#include "ctl/CtlNames.h"
#include "device/CommandProtocol.h"
#include "device/MacroArea.h"
#include "foundation/Language.h"
#include "lighting/EffectList.h"
#include "lighting/LightingDevice.h"
#include "lighting/LightingModel.h"
#include "store/AssignmentStore.h"
#include "store/ProfileFiles.h"

namespace kst {

namespace {

CtlResult Fail(CtlExit exit, const QString& message) {
  CtlResult result;
  result.exit = exit;
  result.error = message;
  return result;
}

CtlResult Fail(CtlHost& host, CtlExit exit, const CtlMessageText& text,
               const QStringList& arguments = {}) {
  return Fail(exit, CtlMessage(&host.Lang(), text, arguments));
}

CtlResult KeyboardFailed(CtlHost& host, const CtlMessageText& what, int code) {
  return Fail(host, CtlExit::KeyboardFailed, what, {QString::number(code)});
}

CtlResult NoKeyboard(CtlHost& host) { return Fail(CtlExit::NoKeyboard, NotFoundReason(host)); }

// A number in [least, most] or nullopt.
std::optional<int> Number(const QString& text, int least, int most) {
  bool ok = false;
  const int value = text.toInt(&ok);
  if (!ok || value < least || value > most) return std::nullopt;
  return value;
}

CtlResult Status(CtlHost& host) {
  LightingDevice* device = host.Device();
  if (device == nullptr) return NoKeyboard(host);
  SettingsBlock settings{};
  const int read = device->ReadSettings(settings);
  if (read != kDeviceOk) return KeyboardFailed(host, ctl_text::kKeyboardNoAnswer, read);
  LightingRecords records{};
  const int readRecords = ReadLightingRecords(*device, records);
  if (readRecords != kDeviceOk)
    return KeyboardFailed(host, ctl_text::kKeyboardNoAnswer, readRecords);

  const int current = settings[kSettingsCurrentProfile];
  CtlResult result;
  result.out = QStringLiteral("Keyboard: found\nCurrent profile: %1\n")
                   .arg(current < kDeviceProfileCount ? QString::number(current + 1)
                                                      : QStringLiteral("unknown"));
  const QString languageFile = host.Lang().LanguageFilePath(host.Lang().GetLanguageIndex());
  for (int profile = 0; profile < kDeviceProfileCount; ++profile) {
    LightingState state;
    DecodeLightingRecord(records[static_cast<std::size_t>(profile)], state);
    result.out += QStringLiteral("Profile %1: effect %2 (%3), brightness %4\n")
                      .arg(profile + 1)
                      .arg(EffectCliName(EffectName(languageFile, state.effect)))
                      .arg(state.effect)
                      .arg(state.brightness);
  }
  std::size_t used = 0;
  {
    const std::vector<MacroRecord> macros = host.Store().CopyMacros();
    used = MacroAreaSizeWithNames(macros);
  }
  const std::uint32_t capacity = settings[kSettingsMacroSpace] * kMacroSpaceUnit;
  result.out += QStringLiteral("Macro space: %1 of %2 bytes\n").arg(used).arg(capacity);
  return result;
}

CtlResult Profile(const CtlRequest& request, CtlHost& host) {
  std::optional<int> wanted;
  if (!request.operands.isEmpty()) {
    wanted = Number(request.operands[0], 1, kDeviceProfileCount);
    if (!wanted)
      return Fail(host, CtlExit::BadValue, ctl_text::kProfileRange, {request.operands[0]});
  }
  LightingDevice* device = host.Device();
  if (device == nullptr) return NoKeyboard(host);
  CtlResult result;
  if (wanted) {
    const int switched = host.SwitchProfile(*wanted - 1);
    if (switched != kDeviceOk) return KeyboardFailed(host, ctl_text::kKeyboardNoSwitch, switched);
    return result;
  }
  SettingsBlock settings{};
  const int read = device->ReadSettings(settings);
  if (read != kDeviceOk) return KeyboardFailed(host, ctl_text::kKeyboardNoAnswer, read);
  const int current = settings[kSettingsCurrentProfile];
  if (current >= kDeviceProfileCount)
    return KeyboardFailed(host, ctl_text::kKeyboardNoProfile, current);
  result.out = QStringLiteral("%1\n").arg(current + 1);
  return result;
}

// The list index of the effect named (display name, command-line name or code).
std::optional<int> EffectIndex(LightingModel& model, const QString& name) {
  const QStringList names = model.EffectNames();
  const auto entries = model.State().Effects();
  bool isNumber = false;
  const int code = name.toInt(&isNumber);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (isNumber) {
      if (entries[i].code == code) return static_cast<int>(i);
      continue;
    }
    if (static_cast<int>(i) < names.size() &&
        (EffectCliName(names[static_cast<int>(i)]).compare(name, Qt::CaseInsensitive) == 0 ||
         names[static_cast<int>(i)].compare(name, Qt::CaseInsensitive) == 0))
      return static_cast<int>(i);
  }
  return std::nullopt;
}

CtlResult Lighting(const CtlRequest& request, CtlHost& host) {
  const QString& what = request.operands[0];
  const QString& value = request.operands[1];
  const bool known = what == QLatin1String("effect") || what == QLatin1String("brightness") ||
                     what == QLatin1String("speed") || what == QLatin1String("colour") ||
                     what == QLatin1String("color");
  if (!known) {
    return Fail(host, CtlExit::Usage, ctl_text::kUnknownSetting, {what});
  }
  std::optional<int> level;
  std::optional<ColorRef> colour;
  if (what == QLatin1String("brightness") || what == QLatin1String("speed")) {
    level = Number(value, 0, 4);
    if (!level)
      return Fail(
          host, CtlExit::BadValue,
          what == QLatin1String("speed") ? ctl_text::kSpeedRange : ctl_text::kBrightnessRange,
          {value});
  } else if (what != QLatin1String("effect")) {
    bool ok = value.size() == 6;
    const uint rgb = value.toUInt(&ok, 16);
    if (!ok || value.size() != 6)
      return Fail(host, CtlExit::BadValue, ctl_text::kNotColour, {value});
    colour = MakeColorRef(static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                          static_cast<std::uint8_t>(rgb));
  }
  LightingModel* model = host.Lighting();
  if (model == nullptr) return NoKeyboard(host);
  int profile = request.profile;
  if (profile < 0) {
    // The keyboard's current profile, whichever one the window shows.
    SettingsBlock settings{};
    const int read = host.Device()->ReadSettings(settings);
    if (read != kDeviceOk) return KeyboardFailed(host, ctl_text::kKeyboardNoAnswer, read);
    profile = settings[kSettingsCurrentProfile] < kDeviceProfileCount
                  ? settings[kSettingsCurrentProfile]
                  : model->State().activeProfile;
  }
  if (profile != model->State().activeProfile) {
    const int shown = model->SetActiveProfile(profile);
    if (shown < 0) return KeyboardFailed(host, ctl_text::kKeyboardNoAnswer, shown);
  }
  int written = 0;
  if (what == QLatin1String("effect")) {
    const std::optional<int> index = EffectIndex(*model, value);
    if (!index) return Fail(host, CtlExit::BadValue, ctl_text::kUnknownEffect, {value});
    written = model->ChangeEffect(*index);
  } else if (what == QLatin1String("brightness")) {
    written = model->SetBrightness(*level);
  } else if (what == QLatin1String("speed")) {
    // The model takes the slider's position, where 4 is the slowest.
    written = model->SetSpeedPosition(*level);
  } else {
    written = model->SetColour(*colour);
  }
  if (written != kDeviceOk && written != kDeviceNothing)
    return KeyboardFailed(host, ctl_text::kKeyboardNoLighting, written);
  return {};
}

CtlResult Assign(const CtlRequest& request, CtlHost& host) {
  const std::optional<int> slot = SlotFromCliName(request.operands[0]);
  if (!slot) return Fail(host, CtlExit::BadValue, ctl_text::kUnknownKey, {request.operands[0]});
  const QString& kindName = request.operands[1];
  const QString target = request.operands.size() > 2 ? request.operands[2] : QString();
  AssignmentKind kind = AssignmentKind::Default;
  std::uint32_t param = 0;
  AssignmentStore& store = host.Store();
  if (kindName == QLatin1String("default")) {
  } else if (kindName == QLatin1String("single")) {
    const std::optional<KeyIndex> key = KeyFromCliName(target);
    if (!key) return Fail(host, CtlExit::BadValue, ctl_text::kUnknownKey, {target});
    kind = AssignmentKind::SingleKey;
    param = *key;
  } else if (kindName == QLatin1String("media")) {
    const std::optional<int> media = MediaFromCliName(target);
    if (!media) return Fail(host, CtlExit::BadValue, ctl_text::kUnknownMedia, {target});
    kind = AssignmentKind::MediaKey;
    param = static_cast<std::uint32_t>(*media);
  } else if (kindName == QLatin1String("function")) {
    const std::optional<int> function = FunctionFromCliName(target);
    if (!function) return Fail(host, CtlExit::BadValue, ctl_text::kUnknownFunction, {target});
    kind = AssignmentKind::FunctionKey;
    param = static_cast<std::uint32_t>(*function);
  } else if (kindName == QLatin1String("macro")) {
    kind = AssignmentKind::PlayMacro;
  } else {
    return Fail(host, CtlExit::Usage, ctl_text::kUnknownKind, {kindName});
  }
  LightingDevice* device = host.Device();
  if (device == nullptr) return NoKeyboard(host);
  SettingsBlock settings{};
  const int read = device->ReadSettings(settings);
  if (read != kDeviceOk) return KeyboardFailed(host, ctl_text::kKeyboardNoAnswer, read);
  const int profile = settings[kSettingsCurrentProfile];
  if (profile >= kProfileCount) return KeyboardFailed(host, ctl_text::kKeyboardNoProfile, profile);
  {
    std::lock_guard lock(store.Lock());
    if (kind == AssignmentKind::PlayMacro) {
      const std::vector<MacroRecord> macros = store.CopyMacros();
      for (const MacroRecord& macro : macros) {
        if (QString::fromStdU16String(std::u16string(macro.Name())) == target) {
          param = macro.number;
          break;
        }
      }
      if (param == 0) return Fail(host, CtlExit::BadValue, ctl_text::kUnknownMacro, {target});
    }
    store.SetAssignment(profile, *slot, kind, param);
  }
  if (host.ApplyStore() != 1) {
    const QString message = host.TakeMessage();
    if (message.isEmpty())
      return Fail(host, CtlExit::KeyboardFailed, ctl_text::kAssignmentNotTaken);
    return Fail(CtlExit::KeyboardFailed, message);
  }
  return {};
}

CtlResult Export(const CtlRequest& request, CtlHost& host) {
  const QString& path = request.operands[0];
  if (host.Device() == nullptr) return NoKeyboard(host);
  // The window's export: the file is replaced only once the new one is whole.
  if (!host.Files().ExportProfileFile(path))
    return Fail(host, CtlExit::FileAccess, ctl_text::kFileUnwritable, {path});
  return {};
}

CtlResult Import(const CtlRequest& request, CtlHost& host) {
  const QString& path = request.operands[0];
  // The window's check first, without a keyboard: a refused file is refused
  // with the same reason, and the access failures get their own code.
  CtlResult refused;
  if (!ReadProfileFileForCtl(path, &host.Lang(), refused)) return refused;
  if (host.Device() == nullptr) return NoKeyboard(host);
  int uploaded = 0;
  if (host.Import(path, uploaded) != 1) {
    const QString message = host.TakeMessage();
    return Fail(CtlExit::FileRefused,
                message.isEmpty() ? path : QStringLiteral("%1: %2").arg(path, message));
  }
  if (uploaded != 1) {
    const QString message = host.TakeMessage();
    if (message.isEmpty())
      return Fail(host, CtlExit::KeyboardFailed, ctl_text::kConfigurationNotTaken);
    return Fail(CtlExit::KeyboardFailed, message);
  }
  return {};
}

}  // namespace

QString CtlHost::WhyNoKeyboard() { return CtlMessage(&Lang(), ctl_text::kNoKeyboard); }

QString NotFoundReason(CtlHost& host) { return host.WhyNoKeyboard(); }

CtlResult RunCtlRequest(const CtlRequest& request, CtlHost& host) {
  if (request.verb == QLatin1String("status")) return Status(host);
  if (request.verb == QLatin1String("profile")) return Profile(request, host);
  if (request.verb == QLatin1String("lighting")) return Lighting(request, host);
  if (request.verb == QLatin1String("assign")) return Assign(request, host);
  if (request.verb == QLatin1String("export")) return Export(request, host);
  if (request.verb == QLatin1String("import")) return Import(request, host);
  if (request.verb == QLatin1String("dump"))
    return DumpProfileFile(request.operands.value(0), request.json, &host.Lang());
  return Fail(host, CtlExit::Usage, ctl_text::kUnknownCommand, {request.verb});
}

}  // namespace kst
