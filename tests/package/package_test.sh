#!/bin/bash
# Makes the Debian package of the build (cpack), checks its control fields,
# maintainer scripts and contents, unpacks it into a temporary root and runs
# the unpacked programs from there: the window program on the simulated
# keyboard draws its main window, and the command-line program, once it is
# part of the build, reads a profile file.
# usage: package_test.sh <build dir> <source dir>
set -u
build=$(cd "$1" && pwd -P)
source=$(cd "$2" && pwd -P)
work=$(mktemp -d /tmp/kst-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# --- The package --------------------------------------------------------------
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made ${#debs[@]} packages: ${debs[*]}"
deb=${debs[0]}
case $(basename "$deb") in
  kestrune_*_"$(dpkg --print-architecture)".deb) ;;
  *) fail "the package is named $(basename "$deb")" ;;
esac

# --- Control fields -------------------------------------------------------------
dpkg-deb --info "$deb" >"$work/info" || fail "dpkg-deb --info"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = kestrune ] || fail "Package: $(field Package)"
for f in Version Maintainer Section Priority Homepage Description Depends; do
  [ -n "$(field "$f")" ] || fail "the control file has no $f field"
done
depends=$(field Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libhidapi-hidraw0 libudev1; do
  grep -qE "(^|[ ,])$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
[ "$(field Description | wc -l)" -ge 3 ] || fail "the description has no long text"

# The maintainer scripts: a udev that is missing or refuses never fails the
# install (dpkg would leave the package half-configured); where udev runs,
# the install makes it read the rules. The scripts run on copies that look for
# a running udev in a folder of the test's, so that both cases are checked on
# any machine, with only the test's stub udevadm on the PATH.
dpkg-deb --control "$deb" "$work/control" || fail "dpkg-deb --control"
mkdir -p "$work/stub" "$work/nothing" "$work/udev-running" "$work/scripts"
printf '#!/bin/sh\necho "udevadm $*" >>"%s"\nexit 1\n' "$work/udevadm.calls" >"$work/stub/udevadm"
chmod 755 "$work/stub/udevadm"
for script in postinst postrm; do
  [ -x "$work/control/$script" ] || fail "$script is missing or not executable"
  sh -n "$work/control/$script" || fail "$script is not valid sh"
  grep -q /run/udev "$work/control/$script" || fail "$script does not ask whether udev runs"
  sed "s|/run/udev|$work/udev-running|g" "$work/control/$script" >"$work/scripts/$script"
done
for path in "$work/nothing" "$work/stub"; do
  for step in "postinst configure" "postrm remove"; do
    set -- $step
    env -i PATH="$path" /bin/sh "$work/scripts/$1" "$2" >"$work/script.out" 2>&1 ||
      { cat "$work/script.out"; fail "$step failed with PATH=$path"; }
  done
done
for call in "control --reload-rules" "trigger --subsystem-match=hidraw"; do
  grep -q "^udevadm $call" "$work/udevadm.calls" 2>/dev/null ||
    fail "the install did not run udevadm $call: $(cat "$work/udevadm.calls" 2>/dev/null)"
done

# --- Contents -------------------------------------------------------------------
dpkg-deb --contents "$deb" | awk '{print $6}' >"$work/contents" || fail "dpkg-deb --contents"
for f in usr/bin/kestrune usr/bin/kestrune-sim usr/bin/libTolvane.so usr/bin/libTolvaneSim.so \
  usr/share/kestrune/Skins/Main.ini usr/share/kestrune/Skins/main_normal.jpg \
  usr/share/kestrune/Skins/Profile.ini usr/share/kestrune/Skins/language.ini \
  usr/share/kestrune/Lang0409.ini usr/share/kestrune/Lang0804.ini \
  usr/share/kestrune/Help/index.html usr/share/applications/kestrune.desktop \
  usr/share/icons/hicolor/16x16/apps/kestrune.png usr/share/icons/hicolor/48x48/apps/kestrune.png \
  usr/share/icons/hicolor/256x256/apps/kestrune.png \
  usr/lib/udev/rules.d/70-z-ormit-m350rgb.rules; do
  grep -qxF "./$f" "$work/contents" || fail "the package lacks /$f"
done
# Every language file of the source tree, not only the two above.
for lang in "$source"/resources/lang/Lang*.ini; do
  grep -qxF "./usr/share/kestrune/$(basename "$lang")" "$work/contents" ||
    fail "the package lacks the language file $(basename "$lang")"
done
outside=$(grep -vE '^\./(usr/)?$|^\./usr/' "$work/contents")
[ -z "$outside" ] || fail "the package installs outside /usr: $outside"
leaked=$(grep -E "_CPack_Packages|$build|$source" "$work/contents")
[ -z "$leaked" ] || fail "the package holds paths of the build machine: $leaked"

# --- Unpacked -------------------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
desktop=$root/usr/share/applications/kestrune.desktop
for line in "Exec=kestrune" "Icon=kestrune" "Type=Application"; do
  grep -qxF "$line" "$desktop" || fail "the desktop file lacks $line"
done
grep -qE '^Categories=(.*;)?Settings;(.*;)?HardwareSettings;' "$desktop" ||
  fail "the desktop file is not in Settings;HardwareSettings;"
# No RPATH or RUNPATH into the build or source tree, and no other trace of
# either in any file (binaries, desktop file, help page).
elves=$(find "$root" -type f -exec file -N -F '|' {} + | sed -n 's/| ELF.*//p')
[ -n "$elves" ] || fail "no program in the unpacked package"
while IFS= read -r f; do
  paths=$(readelf -d "$f" | grep -E '\((RPATH|RUNPATH)\)')
  if grep -qE "$build|$source|/tmp/" <<<"$paths"; then
    fail "${f#"$root"} has a search path into the build machine: $paths"
  fi
done <<<"$elves"
traces=$(grep -rlF -e "$build" -e "$source" "$root")
[ -z "$traces" ] || fail "files name the build tree: ${traces//$root/}"

# The unpacked program, in a home of its own, on the simulated keyboard: it
# finds its data beside itself (usr/share/kestrune), never the machine's /usr.
. "$source/tests/support/program_trial.sh"
trial_home "$work/home"
draw_and_kill "$root/usr/bin/kestrune" "$work/main.png" unpacked

# The command-line program, its manual page and completion, once the build has
# them: the unpacked kestrunectl reads a profile file without a keyboard.
ctl=$root/usr/bin/kestrunectl
if [ -e "$ctl" ]; then
  ls "$root"/usr/share/man/man1/kestrunectl.1* >/dev/null 2>&1 || fail "the package lacks kestrunectl's manual page"
  [ -s "$root/usr/share/bash-completion/completions/kestrunectl" ] ||
    fail "the package lacks kestrunectl's bash completion"
  fixture=$source/fuzz/corpus/profile_file/seeds/macros_and_texts.kst
  trial_run "$ctl" dump "$fixture" >"$work/dump.out" 2>"$work/dump.err"
  code=$?
  [ $code -eq 0 ] || { cat "$work/dump.err"; fail "kestrunectl dump ended with $code"; }
  for macro in Copy Wheel; do
    grep -qw "$macro" "$work/dump.out" || { cat "$work/dump.out"; fail "kestrunectl dump does not show the macro $macro"; }
  done
  echo "kestrunectl dump read $(wc -l <"$work/dump.out") lines from the fixture"
else
  echo "no kestrunectl in this build: its step is left out"
fi
echo "packaged $(basename "$deb"), unpacked it and ran the program from $root"
