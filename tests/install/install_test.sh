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
. "$(dirname "$0")/../support/program_trial.sh"
trial_home "$root/home"
draw_and_kill "$prefix/bin/kestrune" "$root/main.png" installed
echo "installed into $prefix: the program found its files and drew its window"
