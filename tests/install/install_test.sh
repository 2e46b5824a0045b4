#!/bin/bash
# Installs the build into a temporary prefix (cmake --install) and checks
# that the installed program finds what it needs: its skin, language files,
# help page and service libraries, the udev rule under the prefix (never in
# /etc for a prefix of its own), and that it starts on the simulated keyboard
# and draws its main window.
# usage: install_test.sh <build dir>
set -u
build=$1
root=$(mktemp -d /tmp/kst-install-XXXXXX)
trap 'rm -rf "$root"' EXIT
prefix=$root/prefix
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$root/install.log" 2>&1 ||
  { cat "$root/install.log"; fail "cmake --install"; }
if grep -q "Installing: /etc/" "$root/install.log"; then
  fail "an install into $prefix wrote into /etc"
fi

for f in bin/kestrune bin/kestrune-sim bin/libTolvane.so bin/libTolvaneSim.so \
  share/kestrune/Skins/Main.ini share/kestrune/Skins/main_normal.jpg \
  share/kestrune/Skins/Profile.ini share/kestrune/Lang0409.ini share/kestrune/Lang0804.ini \
  share/kestrune/Help/index.html share/applications/kestrune.desktop \
  lib/udev/rules.d/70-z-ormit-m350rgb.rules; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done

# The installed program, in a home of its own, on the simulated keyboard:
# it draws its window on the first show and runs on; "/Kill" ends it.
home=$root/home
mkdir -p "$home/run"
chmod 700 "$home/run"
run() {
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run" \
    XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" QT_QPA_PLATFORM=offscreen \
    KESTRUNE_SIM_SOCKET=off KESTRUNE_SIM_STATE="$home/keyboard.bin" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}" LSAN_OPTIONS="${LSAN_OPTIONS:-}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" TSAN_OPTIONS="${TSAN_OPTIONS:-}" "$@"
}
run "$prefix/bin/kestrune" --simulate --screenshot "$root/main.png" >"$root/out" 2>"$root/err" &
program=$!
for _ in $(seq 1 600); do
  [ -s "$root/main.png" ] && break
  kill -0 $program 2>/dev/null || break
  sleep 0.1
done
[ -s "$root/main.png" ] || { kill $program 2>/dev/null; cat "$root/err"; fail "the installed program drew no window"; }
run timeout 60 "$prefix/bin/kestrune" /Kill >/dev/null 2>&1
for _ in $(seq 1 600); do kill -0 $program 2>/dev/null || break; sleep 0.1; done
if kill -0 $program 2>/dev/null; then
  kill $program
  fail "the installed program did not end on /Kill"
fi
wait $program
code=$?
[ $code -eq 0 ] || { cat "$root/err"; fail "the installed program ended with $code"; }
if grep -qiE "cannot|missing|not found" "$root/err"; then
  cat "$root/err"
  fail "the installed program complained"
fi
echo "installed into $prefix: the program found its files and drew its window"
