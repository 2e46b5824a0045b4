#pragma once

// Identity of the three channels to the keyboard: their tags, their interface
// selectors and the request key that the service library files a request
// under. Pure functions; no state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/TolvaneApi.h"

namespace kst {

// Channel tags: four ASCII characters as a 32-bit number.
inline constexpr std::uint32_t kTagLed = 0x004C4544;   // 'LED'
inline constexpr std::uint32_t kTagCons = 0x434F4E53;  // 'CONS'
inline constexpr std::uint32_t kTagCtrl = 0x4354524C;  // 'CTRL'

// Usage page and usage of each channel's interface.
inline constexpr std::uint16_t kLedUsagePage = 0x0008;
inline constexpr std::uint16_t kLedUsage = 0x0089;
inline constexpr std::uint16_t kConsUsagePage = 0x000C;
inline constexpr std::uint16_t kConsUsage = 0x0001;
inline constexpr std::uint16_t kCtrlUsagePage = 0xFF1C;
inline constexpr std::uint16_t kCtrlUsage = 0x0092;

enum class Channel { Led, Cons, Ctrl };

// Selector of the keyboard's interface with this usage page and usage.
DeviceSelector MakeSelector(std::uint16_t usagePage, std::uint16_t usage);
DeviceSelector ChannelSelector(Channel channel);
std::uint32_t ChannelTag(Channel channel);

// The selector's 16 bytes as they enter the request key (little-endian).
inline constexpr std::size_t kSelectorBytes = TOLVANE_SELECTOR_BYTES;
static_assert(kSelectorBytes == 16);
std::array<std::uint8_t, kSelectorBytes> EncodeSelector(const DeviceSelector& selector);

// The fixed permutation of 0-255 the request key sums over.
const std::array<std::uint8_t, 256>& KeyHashTable();

// Sum modulo 2^32 of KeyHashTable[b] over the selector bytes, the 4 bytes of
// callbackRef and the 4 bytes of tag (both little-endian), then the payload.
// Device counting and reports sent on 'CTRL' pass 0 for both words.
std::uint32_t RequestKey(const DeviceSelector& selector, std::uint32_t callbackRef,
                         std::uint32_t tag, std::span<const std::uint8_t> payload = {});

// The 4 bytes of callback reference: the low 32 bits of the function address.
std::uint32_t CallbackReference(TolvaneCallback callback);

}  // namespace kst
