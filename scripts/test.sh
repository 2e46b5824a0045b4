#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite
# three times: every test program under AddressSanitizer +
# UndefinedBehaviorSanitizer (widgets and end-to-end included), every test
# program that runs threads under ThreadSanitizer, then the normal build.
# Ends with ctest's summary of the normal build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)
sanitizers="$PWD/tests/sanitizers"

# The end-to-end tests start the sanitized program itself, which inherits
# these options.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS="suppressions=$sanitizers/lsan.supp"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DKST_SANITIZE=ON -DKST_BUILD_BENCHMARKS=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

cmake -S . -B build-tsan -G Ninja -DKST_TSAN=ON -DKST_BUILD_BENCHMARKS=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
# The skin generator runs during the build and draws with Qt's own painter
# threads, which an uninstrumented Qt hands memory through unseen: the build
# tools are not what this run checks.
TSAN_OPTIONS=report_bugs=0 cmake --build build-tsan -j "$jobs"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$sanitizers/tsan.supp"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L "$(cat "$sanitizers/tsan-labels")"

cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
