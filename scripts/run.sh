#!/usr/bin/env bash
# Installs what is missing, builds the utility and starts it.
#  - No keyboard attached (no hidraw device with its USB ids): the utility
#    runs on the simulated keyboard (KESTRUNE_DEVICE=sim). Set KESTRUNE_DEVICE
#    yourself to choose.
#  - No display ($DISPLAY and $WAYLAND_DISPLAY unset): the utility runs on a
#    virtual display (Xvfb), the main window is saved to the screenshot file
#    (build/screenshot-main.png, or $KESTRUNE_SCREENSHOT), and the utility is
#    ended with "/Kill".
# Arguments are passed to the utility. BUILD_DIR=<dir> builds elsewhere than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${BUILD_DIR:-build}"
./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)"
program="$root/$build/bin/kestrune"

# The keyboard's USB ids, from the one header that defines them.
usb_id() {
  sed -n "s/.*$1[^=]*=[^0-9]*0x\([0-9A-Fa-f]\{1,4\}\).*/\1/p" src/foundation/DeviceIdentity.h |
    head -n1 | tr '[:lower:]' '[:upper:]'
}

keyboard_attached() {
  local vid pid uevent
  vid=$(printf '%08X' "0x$(usb_id kKeyboardVendorId)")
  pid=$(printf '%08X' "0x$(usb_id kKeyboardProductId)")
  for uevent in /sys/class/hidraw/*/device/uevent; do
    [ -r "$uevent" ] || continue
    grep -qi "^HID_ID=[0-9A-F]*:$vid:$pid\$" "$uevent" && return 0
  done
  return 1
}

if [ -z "${KESTRUNE_DEVICE:-}" ] && ! keyboard_attached; then
  echo "No keyboard attached: starting on the simulated keyboard."
  export KESTRUNE_DEVICE=sim
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

# No display: a virtual one, a screenshot of the main window, and an orderly end.
screenshot="${KESTRUNE_SCREENSHOT:-$root/$build/screenshot-main.png}"
mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
work=$(mktemp -d)
chmod 700 "$work"
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to the pipe.
exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
read -r -t 20 display <&3 || true
exec 3<&-
if [ -z "$display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"
# Its own runtime folder: its own instance lock, instance socket and
# simulated-keyboard socket, apart from any session of the user.
export XDG_RUNTIME_DIR="$work"
echo "Starting the utility on virtual display $DISPLAY."

"$program" --screenshot "$screenshot" "$@" >"$work/app.log" 2>&1 &
app_pid=$!
for _ in $(seq 1 600); do
  [ -s "$screenshot" ] && break
  if ! kill -0 "$app_pid" 2>/dev/null; then
    echo "The utility ended before its main window was shown:" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$screenshot" ]; then
  echo "The main window was not shown within 60 seconds:" >&2
  cat "$work/app.log" >&2
  exit 1
fi
echo "Screenshot of the main window: $screenshot"
"$program" /Kill
for _ in $(seq 1 100); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  echo "The utility did not end on /Kill." >&2
  exit 1
fi
wait "$app_pid" || true
app_pid=""
