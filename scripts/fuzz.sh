#!/usr/bin/env bash
# Usage: scripts/fuzz.sh <fuzz-target> <seconds>
# Builds the libFuzzer target with clang (every library instrumented, ASan and
# UBSan on) and runs it on its corpus fuzz/corpus/<target without "_fuzz">/
# for the given time. New inputs stay in the corpus, which is then merged down
# to the inputs that add coverage. Crashing inputs are written to
# <build>/fuzz-artifacts/<target>/; the build folder is build-fuzz unless
# KST_FUZZ_BUILD_DIR names another.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 <fuzz-target> <seconds>" >&2
  exit 2
fi
target=$1
seconds=$2
cd "$(dirname "$0")/.."
build=${KST_FUZZ_BUILD_DIR:-build-fuzz}
jobs=${KST_JOBS:-2}

# clang's default constexpr step limit is below what some compile-time table
# checks of the project need; gcc has no such limit.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DKST_BUILD_FUZZERS=ON -DKST_CORE_ONLY=ON -DKST_SANITIZE=ON \
  -DKST_BUILD_TESTS=OFF -DKST_BUILD_BENCHMARKS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -fconstexpr-steps=100000000" >/dev/null
cmake --build "$build" --target "$target" -j "$jobs"

corpus=fuzz/corpus/${target%_fuzz}
found=$corpus/found
artifacts=$build/fuzz-artifacts/$target
mkdir -p "$corpus" "$found" "$artifacts"
status=0
# New inputs go to found/; the hand-made seeds elsewhere in the corpus stay as
# they are (libFuzzer reads corpus folders recursively).
"$build/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "$found" "$corpus" || status=$?

# Keep only the found inputs that add coverage beyond the seeds.
merged=$(mktemp -d)
trap 'rm -rf "$merged"' EXIT
find "$corpus" -type f -not -path "$found/*" -exec cp {} "$merged"/ \;
ls "$merged" | sort >"$merged.before"
if "$build/bin/$target" -merge=1 "$merged" "$found" >"$merged.log" 2>&1; then
  find "$found" -type f -delete
  ls "$merged" | sort | comm -13 "$merged.before" - | while read -r name; do
    mv "$merged/$name" "$found/"
  done
else
  echo "merge failed; found/ kept as it is:" >&2
  cat "$merged.log" >&2
fi
rm -f "$merged.before" "$merged.log"
echo "corpus: $(find "$corpus" -type f | wc -l) files ($(find "$found" -type f | wc -l) found); artifacts in $artifacts"
exit $status
