#pragma once

#include <functional>

namespace kst::test {

// Makes the process's QApplication on first use (offscreen in ctest); it
// lives until the process ends.
void EnsureApplication();

// Runs the event loop until `done` gives true or timeoutMs passes; the
// result of `done` at the end.
bool SpinUntil(const std::function<bool()>& done, int timeoutMs = 5000);

}  // namespace kst::test
