/* A stand-in service library for the loader's tests. KST_FAKE_NO_END leaves
 * out the entry point End; KST_FAKE_INIT_FAILS makes Init give 0. */
#include "device/TolvaneApi.h"

#define EXPORT __attribute__((visibility("default")))

EXPORT int Debug(int level) { return level; }
#ifdef KST_FAKE_INIT_FAILS
EXPORT int Init(int reserved) { return reserved * 0; }
#else
EXPORT int Init(int reserved) { return reserved + 1; }
#endif
#ifndef KST_FAKE_NO_END
EXPORT int End(void) { return 1; }
#endif
EXPORT int RequestGetDeviceCount(const DeviceSelector* s, uintptr_t a, uintptr_t b, uint32_t k,
                                 uintptr_t c) {
  (void)s, (void)a, (void)b, (void)k, (void)c;
  return 0;
}
EXPORT int DeleteRequestFromUnitId(uint32_t unitId) { return unitId != 0; }
EXPORT int DeleteRequestFromHandle(uintptr_t handle) { return handle != 0; }
static int Write(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag, const uint8_t* data,
                 uint32_t length, uint32_t key, uint32_t* unit) {
  (void)s, (void)cb, (void)tag, (void)data, (void)key, (void)unit;
  return (int)length;
}
EXPORT int RequestWrite(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag,
                        const uint8_t* data, uint32_t length, uint32_t key, uint32_t* unit) {
  return Write(s, cb, tag, data, length, key, unit);
}
EXPORT int RequestWriteOne(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag,
                           const uint8_t* data, uint32_t length, uint32_t key, uint32_t* unit) {
  return Write(s, cb, tag, data, length, key, unit);
}
EXPORT int RequestStatusWrite(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag,
                              const uint8_t* data, uint32_t length, uint32_t key, uint32_t* unit) {
  return Write(s, cb, tag, data, length, key, unit);
}
EXPORT int RequestStatusGet(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag,
                            uint8_t* data, uint32_t length, uint32_t key, uint32_t* unit) {
  (void)s, (void)cb, (void)tag, (void)data, (void)key, (void)unit;
  return (int)length;
}
EXPORT int RequestAsyncRead(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag, uint32_t key,
                            uint32_t* unit) {
  (void)s, (void)cb, (void)tag, (void)key;
  if (unit) *unit = 1;
  return 1;
}
EXPORT int RequestStatusSetFeature(const DeviceSelector* s, TolvaneCallback cb, uint32_t tag,
                                   const uint8_t* data, uint32_t length, uint32_t key,
                                   uint32_t* unit) {
  return Write(s, cb, tag, data, length, key, unit);
}
