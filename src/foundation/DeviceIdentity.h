#pragma once
// The keyboard's USB identity, fixed for a build. The profile files' device
// tag, the interface selectors of the device link and both service libraries
// (real and simulated) take the two ids from here, so they can never disagree.
// Header-only and free of any library so the service libraries can use it.
#include <cstdint>

namespace kst {

inline constexpr std::uint16_t kKeyboardVendorId = 0x2F68;
inline constexpr std::uint16_t kKeyboardProductId = 0x0350;

}  // namespace kst
