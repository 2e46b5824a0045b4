// The entry points of libTolvaneSim.so: the service library interface of
// device/TolvaneApi.h, served by the simulated keyboard, plus its control
// entry point. The only symbols the library exports.

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>

#include "device/TolvaneApi.h"
#include "device/sim/SimKeyboard.h"
#include "device/sim/TolvaneSimControl.h"

#define KST_SIM_EXPORT extern "C" __attribute__((visibility("default")))

using kst::sim::SimKeyboard;

KST_SIM_EXPORT int Debug(int level) { return SimKeyboard::Instance().Debug(level); }

KST_SIM_EXPORT int Init(int /*reserved*/) { return SimKeyboard::Instance().Init(); }

KST_SIM_EXPORT int End(void) { return SimKeyboard::Instance().End(); }

KST_SIM_EXPORT int RequestGetDeviceCount(const DeviceSelector* selector, uintptr_t, uintptr_t,
                                         uint32_t, uintptr_t) {
  return SimKeyboard::Instance().DeviceCount(selector);
}

KST_SIM_EXPORT int DeleteRequestFromUnitId(uint32_t unitId) {
  return SimKeyboard::Instance().DeleteUnit(unitId);
}

// The handle of a standing read is its callback: every read registered with
// it is cancelled.
KST_SIM_EXPORT int DeleteRequestFromHandle(uintptr_t handle) {
  return SimKeyboard::Instance().DeleteHandle(handle);
}

KST_SIM_EXPORT int RequestWrite(const DeviceSelector* selector, TolvaneCallback, uint32_t,
                                const uint8_t* data, uint32_t length, uint32_t, uint32_t* unitId) {
  return SimKeyboard::Instance().Write(selector, data, length, unitId);
}

KST_SIM_EXPORT int RequestWriteOne(const DeviceSelector* selector, TolvaneCallback, uint32_t,
                                   const uint8_t* data, uint32_t length, uint32_t,
                                   uint32_t* unitId) {
  return SimKeyboard::Instance().Write(selector, data, length, unitId);
}

KST_SIM_EXPORT int RequestStatusWrite(const DeviceSelector* selector, TolvaneCallback, uint32_t,
                                      const uint8_t* data, uint32_t length, uint32_t,
                                      uint32_t* unitId) {
  return SimKeyboard::Instance().Write(selector, data, length, unitId);
}

KST_SIM_EXPORT int RequestStatusGet(const DeviceSelector* selector, TolvaneCallback, uint32_t,
                                    uint8_t* data, uint32_t length, uint32_t, uint32_t* unitId) {
  return SimKeyboard::Instance().StatusGet(selector, data, length, unitId);
}

KST_SIM_EXPORT int RequestAsyncRead(const DeviceSelector* selector, TolvaneCallback callback,
                                    uint32_t tag, uint32_t requestKey, uint32_t* unitId) {
  return SimKeyboard::Instance().AsyncRead(selector, callback, tag, requestKey, unitId);
}

KST_SIM_EXPORT int RequestStatusSetFeature(const DeviceSelector* selector, TolvaneCallback,
                                           uint32_t, const uint8_t* data, uint32_t length, uint32_t,
                                           uint32_t* unitId) {
  return SimKeyboard::Instance().SetFeature(selector, data, length, unitId);
}

KST_SIM_EXPORT int TolvaneSimControl(const char* command, char* reply, uint32_t replyCapacity) {
  if (!command || (!reply && replyCapacity > 0)) return TOLVANE_SIM_BAD_ARGUMENT;
  std::string text;
  int result = SimKeyboard::Instance().Control(command, text);
  if (replyCapacity == 0) return text.empty() ? result : TOLVANE_SIM_REPLY_CUT;
  const std::size_t n = std::min<std::size_t>(text.size(), replyCapacity - 1);
  std::memcpy(reply, text.data(), n);
  reply[n] = '\0';
  if (n < text.size()) result = TOLVANE_SIM_REPLY_CUT;
  return result;
}

// The program never calls End: its last changes reach the state file here,
// while the library's threads are left to end with the process.
__attribute__((destructor)) static void SaveBeforeUnload() {
  SimKeyboard::Instance().SaveIfDirty();
}

// The entry points must keep the types the program resolves them as.
#define KST_SIM_CHECK_TYPE(name, type) static_assert(std::is_same_v<decltype(&name), type>);
TOLVANE_ENTRY_POINTS(KST_SIM_CHECK_TYPE)
static_assert(std::is_same_v<decltype(&TolvaneSimControl), TolvaneSimControlFn>);
