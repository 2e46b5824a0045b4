#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the normal build, the core libraries under ASan+UBSan, the device link under
# ThreadSanitizer. Ends with ctest's summary of the normal build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build-asan -G Ninja -DKST_SANITIZE=ON -DKST_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-tsan -G Ninja -DKST_TSAN=ON -DKST_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L device

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
