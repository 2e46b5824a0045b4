#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# asking apt only when one of them is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang pkg-config
  qt6-base-dev libhidapi-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libclang-rt-14-dev
  xvfb xauth xdotool x11-utils x11-apps trayer dbus-daemon
  fonts-dejavu-core
  dpkg-dev file binutils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
