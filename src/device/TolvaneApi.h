/* The keyboard's HID service library, as the program binds it at run time.
 *
 * Two libraries implement this interface: libTolvane.so for the real keyboard
 * (hidapi) and libTolvaneSim.so, the simulated keyboard. The program loads one
 * of them by name from its own folder and resolves the twelve entry points in
 * the order of kTolvaneEntryPoints.
 *
 * Notification, request and transfer records are arrays of words; a word is
 * pointer-sized wherever it may hold a pointer, so every word is uintptr_t.
 * Records passed to a callback are owned by the library and valid only for
 * the duration of the call.
 */
#ifndef KST_DEVICE_TOLVANEAPI_H
#define KST_DEVICE_TOLVANEAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Picks one HID interface of the keyboard. On the wire of the request key it
 * is 16 little-endian bytes: u32 match mask, u16 vendor id, u16 product id,
 * u16 usage page, u16 usage, u32 zero. */
typedef struct DeviceSelector {
  uint32_t matchMask; /* 0x0000000F: vendor, product, usage page and usage must match */
  uint16_t vendorId;
  uint16_t productId;
  uint16_t usagePage;
  uint16_t usage;
  uint32_t reserved; /* 0 */
} DeviceSelector;

#define TOLVANE_MATCH_ALL 0x0000000Fu
#define TOLVANE_SELECTOR_BYTES 16

/* Event kinds in the first word of a notification. */
#define TOLVANE_EVENT_PRESENCE 0u /* device presence changed; request word 1 = new count */
#define TOLVANE_EVENT_REPORT 1u   /* input report received; request word 1 = its length */

/* Transfer record: word 7 points to the report bytes. */
typedef struct TolvaneTransfer {
  uintptr_t words[8];
} TolvaneTransfer;
#define TOLVANE_TRANSFER_REPORT 7

/* Request record: word 0 the tag given at registration; word 1 the report
 * length (kind 1) or the number of present devices (kind 0); word 2 points to
 * the report bytes; word 4 points to a TolvaneTransfer. */
typedef struct TolvaneRequest {
  uintptr_t words[6];
} TolvaneRequest;
#define TOLVANE_REQUEST_TAG 0
#define TOLVANE_REQUEST_LENGTH 1
#define TOLVANE_REQUEST_REPORT 2
#define TOLVANE_REQUEST_TRANSFER 4

/* Notification: word 0 the event kind, word 2 points to the request record. */
typedef struct TolvaneNotification {
  uintptr_t words[4];
} TolvaneNotification;
#define TOLVANE_NOTIFICATION_KIND 0
#define TOLVANE_NOTIFICATION_REQUEST 2

/* Called on a thread of the library for every event of a registration;
 * returns 1. */
typedef int (*TolvaneCallback)(const TolvaneNotification* notification);

typedef int (*TolvaneDebugFn)(int level);
typedef int (*TolvaneInitFn)(int reserved);
typedef int (*TolvaneEndFn)(void);
typedef int (*TolvaneRequestGetDeviceCountFn)(const DeviceSelector* selector, uintptr_t reserved1,
                                              uintptr_t reserved2, uint32_t requestKey,
                                              uintptr_t reserved3);
typedef int (*TolvaneDeleteRequestFromUnitIdFn)(uint32_t unitId);
typedef int (*TolvaneDeleteRequestFromHandleFn)(uintptr_t handle);
/* The write family: selector, callback (may be null), tag, data, length,
 * request key, where to store the new unit id (may be null). */
typedef int (*TolvaneRequestWriteFn)(const DeviceSelector* selector, TolvaneCallback callback,
                                     uint32_t tag, const uint8_t* data, uint32_t length,
                                     uint32_t requestKey, uint32_t* unitId);
typedef int (*TolvaneRequestStatusGetFn)(const DeviceSelector* selector, TolvaneCallback callback,
                                         uint32_t tag, uint8_t* data, uint32_t length,
                                         uint32_t requestKey, uint32_t* unitId);
typedef int (*TolvaneRequestAsyncReadFn)(const DeviceSelector* selector, TolvaneCallback callback,
                                         uint32_t tag, uint32_t requestKey, uint32_t* unitId);

/* The twelve entry points, in the order the loader resolves them. */
#define TOLVANE_ENTRY_POINTS(X)                                \
  X(Debug, TolvaneDebugFn)                                     \
  X(Init, TolvaneInitFn)                                       \
  X(End, TolvaneEndFn)                                         \
  X(RequestGetDeviceCount, TolvaneRequestGetDeviceCountFn)     \
  X(DeleteRequestFromUnitId, TolvaneDeleteRequestFromUnitIdFn) \
  X(DeleteRequestFromHandle, TolvaneDeleteRequestFromHandleFn) \
  X(RequestWrite, TolvaneRequestWriteFn)                       \
  X(RequestWriteOne, TolvaneRequestWriteFn)                    \
  X(RequestStatusWrite, TolvaneRequestWriteFn)                 \
  X(RequestStatusGet, TolvaneRequestStatusGetFn)               \
  X(RequestAsyncRead, TolvaneRequestAsyncReadFn)               \
  X(RequestStatusSetFeature, TolvaneRequestWriteFn)

/* Optional entry point, not one of the twelve: the keyboard's interfaces
 * that are present, each with whether it opens. Fills at most capacity
 * records and gives the number present (which may be more). A library
 * without it is asked nothing; the simulated keyboard has none. */
#define TOLVANE_NODE_PATH_BYTES 256
typedef struct TolvaneNodeState {
  char path[TOLVANE_NODE_PATH_BYTES]; /* zero-terminated, cut to fit */
  uint16_t usagePage;
  uint16_t usage;
  int32_t openError; /* errno of the failed open; 0 when it opens */
} TolvaneNodeState;
typedef int (*TolvaneNodeStatesFn)(TolvaneNodeState* states, uint32_t capacity);
#define TOLVANE_NODE_STATES_NAME "TolvaneNodeStates"

#ifdef __cplusplus
}
#endif

#endif /* KST_DEVICE_TOLVANEAPI_H */
