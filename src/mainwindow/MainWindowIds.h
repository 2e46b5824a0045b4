#pragma once

// Numbers of the main window: its custom messages and their fixed wParam
// values, its control and command ids, its timers.

#include <cstdint>

#include "app/CTrayIcon.h"
#include "app/InstanceMessenger.h"
#include "device/ConfigurationUpload.h"
#include "device/DeviceHost.h"
#include "foundation/Language.h"

namespace kst {

// ---- Messages -------------------------------------------------------------------
// UM_LANGUAGE (0x5041), UM_OPEN, UM_PROFILE, UM_GKEYS, UM_DEVICE_GONE and
// UM_KILL are defined beside their senders; the main window adds these.
inline constexpr std::uint32_t UM_INIT = 0x4D4E;
inline constexpr std::uintptr_t kInitWParam = 0x494E4954;  // 'INIT'
// Posted by an outside program: runs Apply before its normal handling.
inline constexpr std::uint32_t kTimeChangeMessage = 0x001E;
// Window command: wParam is the command or control id.
inline constexpr std::uint32_t kCommandMessage = 0x0111;
// System command: wParam with its low four bits cleared selects the action.
inline constexpr std::uint32_t kSysCommandMessage = 0x0112;
inline constexpr std::uintptr_t kScMinimize = 0xF020;
inline constexpr std::uintptr_t kSysAboutCommand = 16;

// ---- Controls of the window -------------------------------------------------------
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdProfiles = 1005;
inline constexpr int kIdApply = 1006;
inline constexpr int kIdMacro = 1007;
inline constexpr int kIdProfileMenu = 1009;
inline constexpr int kIdLink = 1121;
inline constexpr int kIdHelp = 1122;
inline constexpr int kIdMinimize = 1123;
inline constexpr int kIdClose = 1124;
inline constexpr int kIdLockCaps = 1125;
inline constexpr int kIdLockNum = 1126;
inline constexpr int kIdLockScroll = 1127;
inline constexpr int kIdLockBank = 1128;
inline constexpr int kIdFlip0 = 1129;
inline constexpr int kIdFlip1 = 1130;
inline constexpr int kIdFlip2 = 1131;
inline constexpr int kIdLeftArrow = 1132;
inline constexpr int kIdRightArrow = 1133;
inline constexpr int kIdVersion = 1134;
inline constexpr int kIdMenu = 1139;
inline constexpr int kIdBusy = 1177;
inline constexpr int kIdNetwork = 1219;
inline constexpr int kIdFacebook = 1220;
inline constexpr int kIdTwitter = 1221;

// ---- Keyboard view ------------------------------------------------------------------
inline constexpr int kGKeyIds[9] = {1000, 1001, 1002, 1003, 1004, 1140, 1141, 1142, 1143};
inline constexpr int kIdFn = 1174;
inline constexpr int kFirstExtraKeyId = 1016;  // D1; D6 is 1021
inline constexpr int kExtraKeyCount = 6;
inline constexpr int kIdGraveKey = 1029;
inline constexpr int kIdTKey = 1048;
inline constexpr int kIdEnterKey = 1070;
inline constexpr int kIdRightBracketKey = 1055;
inline constexpr int kFunctionKeyIds[4] = {1010, 1011, 1012, 1013};  // F1-F4
inline constexpr int kIdF5 = 1014;

// ---- Menu commands (tray and button menus carry the first five) -------------------
inline constexpr int kCommandReloadTexts = 32784;
inline constexpr int kFirstProfileMenuCommand = 9000;
inline constexpr int kLastProfileMenuCommand = 9200;

// ---- Timers ------------------------------------------------------------------------
// kTimerApplyProgress (1050), kTimerFollowProfile (1051) and
// kTimerReloadAfterReset (1053) come from the device side.
inline constexpr int kBusyFrameCount = 10;

}  // namespace kst
