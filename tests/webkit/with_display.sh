#!/usr/bin/env bash
# Runs a command with a display: the caller's when DISPLAY is set, else a private Xvfb
# started for the command and stopped after it. Xvfb picks a free display number itself
# (-displayfd), so parallel runs on one machine do not race for one.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
if ! read -r -t 20 number <"$dir/display"; then
  echo "with_display: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
"$@"
