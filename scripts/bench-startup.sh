#!/usr/bin/env bash
# Start-up time (process start to main window shown, simulated keyboard
# attached) and resident memory of the idle shown main window, each measured
# against a bare Qt window program (tools/bare-window) in the same run, on a
# virtual display with a tray host. Prints both ratios; goals: at most 3x.
#   RUNS=<n> (default 5) runs of each program after one warm-up run;
#   BUILD_DIR=<dir> (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target kestrune kestrune-sim kst-bare-window
program="$(pwd)/$build/bin/kestrune"
bare="$(pwd)/$build/tools-bin/kst-bare-window"

work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

exec 3<> <(:)
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
display=""
read -r -t 20 display <&3 || { echo "Xvfb did not start" >&2; exit 1; }
exec 3<&-
export DISPLAY=":$display"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
mkdir -p "$work/runtime" "$work/config" "$work/data"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export KESTRUNE_DEVICE=sim
# A notification area, so the utility hides into it until its first show.
trayer --edge top --align right --widthtype pixel --width 200 --height 32 >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  xdotool search --class trayer >/dev/null 2>&1 && break
  sleep 0.1
done

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Whether a window of the class larger than a tray icon is visible.
window_shown() {
  local id w h
  for id in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
    read -r w h < <(xdotool getwindowgeometry "$id" 2>/dev/null |
      sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p') || continue
    [ "${w:-0}" -gt 100 ] && [ "${h:-0}" -gt 100 ] && return 0
  done
  return 1
}

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# measure <class> <stop: kill|killarg> <command...>: prints "<ms> <rss kB>".
measure() {
  local class=$1 stop=$2
  shift 2
  local start pid shown=""
  start=$(now_ms)
  "$@" >/dev/null 2>&1 &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 1 3000); do
    if window_shown "$class"; then shown=$(now_ms); break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.005
  done
  if [ -z "$shown" ]; then
    echo "the $class window was not shown" >&2
    exit 1
  fi
  sleep 3  # idle
  local rss
  rss=$(rss_kb "$pid")
  if [ "$stop" = kill ]; then kill "$pid"; else "$program" /Kill; fi
  wait "$pid" 2>/dev/null || true
  echo "$((shown - start)) $rss"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

measure kestrune kill-arg "$program" >/dev/null
measure kst-bare-window kill "$bare" >/dev/null
: >"$work/app" && : >"$work/bare"
for i in $(seq 1 "$runs"); do
  measure kestrune kill-arg "$program" >>"$work/app"
  measure kst-bare-window kill "$bare" >>"$work/bare"
done

app_ms=$(cut -d' ' -f1 "$work/app" | median)
bare_ms=$(cut -d' ' -f1 "$work/bare" | median)
app_kb=$(cut -d' ' -f2 "$work/app" | median)
bare_kb=$(cut -d' ' -f2 "$work/bare" | median)
awk -v a="$app_ms" -v b="$bare_ms" -v c="$app_kb" -v d="$bare_kb" -v n="$runs" 'BEGIN {
  printf "median of %d runs each, simulated keyboard attached\n", n
  printf "start to shown: kestrune %d ms, bare Qt window %d ms, ratio %.2f (goal <= 3)\n", a, b, a / b
  printf "idle memory:    kestrune %d kB, bare Qt window %d kB, ratio %.2f (goal <= 3)\n", c, d, c / d
}'
