#pragma once

// The service library the device tests bind: the simulated keyboard's, or
// the one KESTRUNE_TEST_SERVICE names (the real keyboard's library over the
// stand-in for hidapi, whose far side is the same simulated keyboard).

#include <cstdlib>

#include "device/ServiceLibrary.h"

namespace kst {

inline const char* ServiceUnderTest() {
  const char* chosen = std::getenv("KESTRUNE_TEST_SERVICE");
  return chosen && *chosen ? chosen : kSimulatedServiceLibraryName;
}

}  // namespace kst
