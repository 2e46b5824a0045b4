#!/usr/bin/env bash
# Installs what is missing, builds the utility and starts it (on the
# simulated keyboard when no keyboard is attached).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
exec ./build/bin/kestrune "$@"
