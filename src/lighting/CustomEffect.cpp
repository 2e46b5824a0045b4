#include "lighting/CustomEffect.h"

#include "foundation/IniFile.h"
#include "lighting/ModeFile.h"

namespace kst {
namespace {

QString ModeSection(int userMode) { return QStringLiteral("Mode%1").arg(userMode); }

QString ColourText(ColorRef colour) {
  const auto rgb = RgbBytes(colour);
  return QStringLiteral("%1,%2,%3").arg(rgb[0]).arg(rgb[1]).arg(rgb[2]);
}

}  // namespace

bool WriteModeSettings(const QString& modeFile, const LightingState& state) {
  const QString section = ModeSection(state.userMode);
  bool ok = WriteProfileString(modeFile, section, QStringLiteral("tool"),
                               QString::number(state.tool == 1 ? 1 : 0));
  ok = WriteProfileString(modeFile, section, QStringLiteral("jcolor"),
                          ColourText(state.baseColour)) &&
       ok;
  return WriteProfileString(modeFile, section, QStringLiteral("color"),
                            ColourText(state.paintColour)) &&
         ok;
}

bool WriteModeKeyEntry(const QString& modeFile, int userMode, int led, ColorRef colour, bool base) {
  return WriteProfileString(
      modeFile, ModeSection(userMode), QString::number(led),
      ColourText(colour) + (base ? QStringLiteral(",1") : QStringLiteral(",0")));
}

int SetTool(LightingState& state, const QString& modeFile, int tool) {
  if (tool != 0 && tool != 1) return kDeviceBadArgument;
  state.tool = tool;
  WriteModeSettings(modeFile, state);
  return kDeviceOk;
}

void SetPaintColour(LightingState& state, const QString& modeFile, ColorRef colour) {
  state.paintColour = colour & 0xFFFFFF;
  WriteModeSettings(modeFile, state);
}

bool RenameUserMode(const LightingState& state, const QString& modeFile, const QString& text) {
  return WriteProfileString(modeFile, QStringLiteral("MODENAME"), QString::number(state.userMode),
                            text);
}

int SelectUserMode(LightingDevice& device, LightingState& state, KeyColourTable& table,
                   const QString& modeFile, std::span<const int> leds, int mode) {
  if (mode < 0) return kDeviceBadArgument;
  WriteProfileString(modeFile, QStringLiteral("PRESENTMODE"), QStringLiteral("mode"),
                     QString::number(mode));
  LoadUserMode(modeFile, leds, state, table);
  return UploadKeyColours(device, table, state.activeProfile);
}

bool WriteEditModeSwitch(const QString& wskbPath, bool on) {
  return WriteProfileString(wskbPath, QStringLiteral("KEYCOLOR"), QStringLiteral("DengCheck"),
                            on ? QStringLiteral("1") : QStringLiteral("0"));
}

int PaintKey(LightingDevice& device, LightingState& state, KeyColourTable& table,
             const QString& modeFile, int led) {
  if (state.effect != kCustomEffect) return kDeviceNothing;
  const bool base = state.tool == 1;
  const ColorRef colour = base ? state.baseColour : state.paintColour;
  if (!table.SetColour(state.activeProfile, led, colour)) return kDeviceBadArgument;
  table.SetBaseFlag(state.activeProfile, led, base);
  int result = kDeviceNothing;
  {
    const SequenceHold hold(device);
    if (hold.Held()) {
      result = device.BeginUpdate();
      const auto rgb = RgbBytes(colour);
      const int written = device.WriteKeyColours(rgb, led, state.activeProfile);
      if (result == kDeviceOk) result = written;
      const int end = device.EndUpdate();
      if (result == kDeviceOk) result = end;
    }
  }
  WriteModeKeyEntry(modeFile, state.userMode, led, colour, base);
  return result;
}

int SetBaseColour(LightingDevice& device, LightingState& state, KeyColourTable& table,
                  const QString& modeFile, std::span<const int> leds, ColorRef colour) {
  colour &= 0xFFFFFF;
  int result = kDeviceOk;
  if (colour != state.baseColour) {
    state.baseColour = colour;
    WriteModeSettings(modeFile, state);
    for (const int led : leds) {
      if (table.BaseFlag(state.activeProfile, led) != true) continue;
      table.SetColour(state.activeProfile, led, colour);
      WriteModeKeyEntry(modeFile, state.userMode, led, colour, true);
    }
    result = UploadKeyColours(device, table, state.activeProfile);
  }
  LightingWriter writer(device, state);
  const int written = writer.WriteBaseColour(colour);
  return result == kDeviceOk ? written : result;
}

void DeriveBaseFlags(const LightingRecords& records, std::span<const int> leds,
                     KeyColourTable& table) {
  for (int p = 0; p < kLightingProfileCount; ++p) {
    const ColorRef base =
        ColourFromRgb(std::span(records[static_cast<std::size_t>(p)]).subspan(kRecBaseColour, 3));
    for (const int led : leds) {
      const auto colour = table.Colour(p, led);
      if (colour) table.SetBaseFlag(p, led, *colour == base);
    }
  }
}

}  // namespace kst
