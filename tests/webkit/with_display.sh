#!/usr/bin/env bash
# Runs a command with a display: the caller's when DISPLAY is set, else a private Xvfb
# started for the command and stopped after it. Xvfb picks a free display number itself
# (-displayfd), so parallel runs on one machine do not race for one. With
# --window-manager, a private display also gets openbox when it is installed (minimising,
# focus and stacking behave as on a desktop); QVAD_TEST_WM=1 tells the command to wait
# for it.
set -euo pipefail
wm=0
if [ "${1:-}" = "--window-manager" ]; then
  wm=1
  shift
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
manager=""
cleanup() {
  [ -n "$manager" ] && { kill "$manager" 2>/dev/null || true; wait "$manager" 2>/dev/null || true; }
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
if ! read -r -t 20 number <"$dir/display"; then
  echo "with_display: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
if [ "$wm" = 1 ] && command -v openbox >/dev/null; then
  # Leak and thread checkers watch the command, not the window manager.
  env -u LD_PRELOAD openbox --sm-disable >"$dir/openbox.log" 2>&1 &
  manager=$!
  export QVAD_TEST_WM=1
fi
"$@"
