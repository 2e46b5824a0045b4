#!/usr/bin/env bash
# Start-up time (process start to main window shown, simulated keyboard
# attached; shown is when the X server maps the window, read from its
# events), resident memory of the idle shown main window (3 s after the
# show) and of the window hidden in the tray (10 s after the hide), each
# against a bare Qt window program (tools/bare-window) in the same run, on a
# virtual display with a tray host and a session bus; and the wake-ups of
# the hidden idle utility: context switches of its threads (and threads
# started or ended) over WAKE_SECONDS. Prints the four figures with their
# goals: start-up at most 1.5x, idle memory at most 2x (shown and hidden),
# hidden memory at most 1.5x, no wake-ups.
#   RUNS=<n> (default 5) runs of each program after one warm-up run;
#   WAKE_SECONDS=<s> (default 30), counted in the first measured run;
#   BUILD_DIR=<dir> (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
wake_seconds=${WAKE_SECONDS:-30}
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
# A session bus of its own, as a desktop session has: without one the
# toolkit tries to start one (dbus-launch) in every program it starts.
dbus-daemon --session --fork --print-address=4 --print-pid=5 4>"$work/bus-address" 5>"$work/bus-pid"
DBUS_SESSION_BUS_ADDRESS=$(cat "$work/bus-address")
export DBUS_SESSION_BUS_ADDRESS
pids+=("$(cat "$work/bus-pid")")
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

# Reads the root window's structure events as xev prints them and prints the
# time (ms) at which the first window larger than a tray icon is mapped, as
# the X server reports it. Watching the events, not polling the window list,
# keeps the measurement free of the delay of a poller starved of CPU by
# whatever the program does just after its window shows.
watch_map() {
  local line window state="" t
  local -A big=()
  while IFS= read -r line; do
    case $line in
      CreateNotify* | ConfigureNotify*) state=size ;;
      MapNotify*) state=map ;;
      *window\ 0x*)
        [[ $line =~ window\ (0x[0-9a-f]+) ]] || continue
        window=${BASH_REMATCH[1]}
        if [ "$state" = size ] && [[ $line =~ width\ ([0-9]+),\ height\ ([0-9]+) ]]; then
          if [ "${BASH_REMATCH[1]}" -gt 100 ] && [ "${BASH_REMATCH[2]}" -gt 100 ]; then
            big[$window]=1
          else
            unset "big[$window]"
          fi
        elif [ "$state" = map ] && [ -n "${big[$window]:-}" ]; then
          t=${EPOCHREALTIME/./}
          echo $((t / 1000))
          return 0
        fi
        state=""
        ;;
    esac
  done
}

rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# "<thread id> <context switches so far>" of every thread of the process.
switches() {
  local task
  for task in /proc/"$1"/task/*; do
    awk -v t="${task##*/}" '/^(non)?voluntary_ctxt_switches:/ {n += $2} END {print t, n}' \
      "$task/status" 2>/dev/null || true
  done
}

# Wake-ups between two snapshots: the switches of threads in both, plus one
# for each thread that came or went.
wakeups() {
  awk 'NR == FNR {a[$1] = $2; next} {if ($1 in a) {n += $2 - a[$1]; delete a[$1]} else n++}
       END {for (t in a) n++; print n + 0}' "$1" "$2"
}

# The utility's window of more than tray-icon size, if shown.
shown_window() {
  local id w h
  for id in $(xdotool search --onlyvisible --class "$1" 2>/dev/null); do
    read -r w h < <(xdotool getwindowgeometry "$id" 2>/dev/null |
      sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p') || continue
    [ "${w:-0}" -gt 100 ] && [ "${h:-0}" -gt 100 ] && echo "$id" && return 0
  done
  return 1
}

# The main window's Cancel button (skin place 928,658 108x38) hides it to
# the tray.
hide_to_tray() {
  local id
  id=$(shown_window kestrune) || return 1
  xdotool mousemove --window "$id" 982 677 sleep 0.3 click 1
  # The pointer leaves the window's place, so no later window starts under it.
  xdotool mousemove 0 999
  for _ in $(seq 1 400); do
    shown_window kestrune >/dev/null || return 0
    sleep 0.025
  done
  echo "the kestrune window did not hide" >&2
  exit 1
}

# measure <class> <stop: kill|killarg> <wake seconds> <command...>: prints
# "<ms> <rss kB> <hidden rss kB> <wake-ups>"; the utility only is hidden.
measure() {
  local class=$1 stop=$2 wake=$3
  shift 3
  local start pid shown="" xev_pid watch_pid
  rm -f "$work/xev" "$work/mapped"
  mkfifo "$work/xev"
  xev -root -event substructure >"$work/xev" 2>/dev/null &
  xev_pid=$!
  watch_map <"$work/xev" >"$work/mapped" &
  watch_pid=$!
  pids+=("$xev_pid" "$watch_pid")
  sleep 0.3  # xev has selected the events
  start=$(now_ms)
  "$@" >/dev/null 2>&1 &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 1 3000); do
    if [ -s "$work/mapped" ]; then
      # The mapped window must be the program's.
      for _ in $(seq 1 400); do
        window_shown "$class" && { read -r shown <"$work/mapped"; break; }
        sleep 0.025
      done
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.005
  done
  kill "$xev_pid" "$watch_pid" 2>/dev/null || true
  wait "$xev_pid" "$watch_pid" 2>/dev/null || true
  if [ -z "$shown" ]; then
    echo "the $class window was not shown" >&2
    exit 1
  fi
  sleep 3  # idle
  local rss hidden=0 wakes=0 before
  rss=$(rss_kb "$pid")
  if [ "$stop" != kill ]; then
    hide_to_tray
    sleep 10
    hidden=$(rss_kb "$pid")
    if [ "$wake" -gt 0 ]; then
      switches "$pid" >"$work/before"
      sleep "$wake"
      switches "$pid" >"$work/after"
      wakes=$(wakeups "$work/before" "$work/after")
    fi
  fi
  if [ "$stop" = kill ]; then kill "$pid"; else "$program" /Kill; fi
  wait "$pid" 2>/dev/null || true
  echo "$((shown - start)) $rss $hidden $wakes"
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

measure kestrune kill-arg 0 "$program" >/dev/null
measure kst-bare-window kill 0 "$bare" >/dev/null
: >"$work/app" && : >"$work/bare"
for i in $(seq 1 "$runs"); do
  wake=0
  [ "$i" -eq 1 ] && wake=$wake_seconds
  measure kestrune kill-arg "$wake" "$program" >>"$work/app"
  measure kst-bare-window kill 0 "$bare" >>"$work/bare"
done

app_ms=$(cut -d' ' -f1 "$work/app" | median)
bare_ms=$(cut -d' ' -f1 "$work/bare" | median)
app_kb=$(cut -d' ' -f2 "$work/app" | median)
bare_kb=$(cut -d' ' -f2 "$work/bare" | median)
hidden_kb=$(cut -d' ' -f3 "$work/app" | median)
wakes=$(head -n 1 "$work/app" | cut -d' ' -f4)
awk -v a="$app_ms" -v b="$bare_ms" -v c="$app_kb" -v d="$bare_kb" -v h="$hidden_kb" \
  -v w="$wakes" -v ws="$wake_seconds" -v n="$runs" 'BEGIN {
  printf "median of %d runs each, simulated keyboard attached\n", n
  printf "start to shown:  kestrune %d ms, bare Qt window %d ms, ratio %.2f (goal <= 1.5)\n", a, b, a / b
  printf "idle memory:     kestrune %d kB shown 3 s, %d kB hidden 10 s, bare Qt window %d kB, ratios %.2f and %.2f (goal <= 2)\n", c, h, d, c / d, h / d
  printf "hidden memory:   kestrune %d kB hidden in the tray 10 s, ratio %.2f (goal <= 1.5)\n", h, h / d
  printf "hidden wake-ups: %d in %d s hidden and idle (goal 0)\n", w, ws
}'
