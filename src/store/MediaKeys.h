#pragma once

// The 18 media and internet keys of the key assignment dialog. Their order is
// the multimedia list's, whose position is the param of a MediaKey entry. The
// same keys form the capture exclusion set: the editors neither capture nor
// record them, so they keep working for the desktop while a key is captured
// or a macro recorded.

#include <algorithm>
#include <array>

#include "foundation/KeyCodeTable.h"
#include "store/ProfileFormat.h"

namespace kst {

// The multimedia key list by position (the param of a MediaKey entry).
inline constexpr std::array<KeyIndex, kMediaKeyCount> kMediaKeyList = {
    0x16D, 0x122, 0x124, 0x110, 0x119, 0x12E, 0x130, 0x120, 0x132,
    0x167, 0x168, 0x16A, 0x169, 0x166, 0x165, 0x16B, 0x121, 0x16C,
};

// Whether key events of k pass on to the desktop untouched by capture and recording.
constexpr bool IsCaptureExcluded(KeyIndex k) {
  return std::find(kMediaKeyList.begin(), kMediaKeyList.end(), k) != kMediaKeyList.end();
}

}  // namespace kst
