# Shell functions for the tests that run an installed or unpacked kestrune.
# Source this file after defining fail().

# Runs a command with a clean environment in the home `$trial_home` (made
# by trial_home), on the simulated keyboard and the offscreen platform.
trial_run() {
  env -i PATH=/usr/bin:/bin HOME="$trial_home" XDG_RUNTIME_DIR="$trial_home/run" \
    XDG_CONFIG_HOME="$trial_home/config" XDG_DATA_HOME="$trial_home/data" \
    QT_QPA_PLATFORM=offscreen KESTRUNE_SIM_SOCKET=off KESTRUNE_SIM_STATE="$trial_home/keyboard.bin" \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}" LSAN_OPTIONS="${LSAN_OPTIONS:-}" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" TSAN_OPTIONS="${TSAN_OPTIONS:-}" "$@"
}

# trial_home <folder>: a home of the program's own in <folder>.
trial_home() {
  trial_home=$1
  mkdir -p "$trial_home/run"
  chmod 700 "$trial_home/run"
}

# draw_and_kill <program> <png> <what>: starts `<program> --simulate
# --screenshot <png>`, waits until it has saved its window, ends it with
# `<program> /Kill` and fails (naming it <what>) when it draws nothing, does
# not end, ends with a non-zero code, complains on stderr, or the picture is
# not of a whole window.
draw_and_kill() {
  local program=$1 png=$2 what=$3 pid code size width height
  local out=$trial_home/program.out err=$trial_home/program.err
  trial_run "$program" --simulate --screenshot "$png" >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 1 600); do
    grep -q "^screenshot: " "$out" && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  grep -q "^screenshot: " "$out" ||
    { kill $pid 2>/dev/null; cat "$err"; fail "the $what program drew no window"; }
  trial_run timeout 60 "$program" /Kill >/dev/null 2>&1
  for _ in $(seq 1 600); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 $pid 2>/dev/null; then
    kill $pid
    fail "the $what program did not end on /Kill"
  fi
  wait $pid
  code=$?
  [ $code -eq 0 ] || { cat "$err"; fail "the $what program ended with $code"; }
  if grep -qiE "cannot|missing|not found" "$err"; then
    cat "$err"
    fail "the $what program complained"
  fi
  size=$(file -b "$png" | sed -nE 's/^PNG image data, ([0-9]+) x ([0-9]+),.*/\1 \2/p')
  [ -n "$size" ] || fail "the $what program's screenshot is no PNG: $(file -b "$png")"
  read -r width height <<<"$size"
  [ "$width" -ge 400 ] && [ "$height" -ge 200 ] ||
    fail "the $what program's screenshot is only ${width}x$height"
}
