#!/usr/bin/env bash
# qvadctl gif prints what the GIF player takes from a file, and dumps its frames.
set -euo pipefail
source "$(dirname "$0")/check.bash"
subcommand=(gif)
suite="$(dirname "$0")/../data/gif-test-suite"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
check '{"frames":4,"width":2,"height":2,"delays":[0.25,0.5,1.0,2.0],"totalTime":3.75,"keyTimes":[0.0,0.06666667,0.2,0.4666667],"fitted":[0.0,0.0,100.0,100.0]}' \
  "$suite/animation-speed.gif"
# A 40x8 image in a 100x100 view: full width, centred vertically.
check '{"frames":1,"width":40,"height":8,"delays":[0.1],"totalTime":0.1,"keyTimes":[0.0],"fitted":[0.0,40.0,100.0,20.0]}' \
  "$suite/plain-text.gif"
# Its first image has no delay: it plays for the clamped 0.1 s like every other image.
check '{"frames":5,"width":2,"height":2,"delays":[0.1,0.5,0.5,0.5,0.5],"totalTime":2.1,"keyTimes":[0.0,0.04761905,0.2857143,0.5238096,0.7619048],"fitted":[50.0,0.0,100.0,100.0]}' \
  "$suite/dispose-restore-previous.gif" --view 200x100 --dump "$tmp/frames"
[ "$(ls "$tmp/frames" | tr '\n' ' ')" = "frame-000.png frame-001.png frame-002.png frame-003.png frame-004.png " ] || { echo "dump files wrong" >&2; fail=1; }
# Undecodable files: one JSON error line and exit status 1.
printf 'GIF89a' > "$tmp/short.gif"
for f in "$tmp/short.gif" "$suite/invalid-code.gif" "$suite/max-size.gif"; do
  out="$("$ctl" gif "$f" 2>/dev/null)" && { echo "gif $f: exit 0" >&2; fail=1; }
  [[ "$out" == '{"error":"'*'"}' ]] || { echo "gif $f: printed $out" >&2; fail=1; }
done
"$ctl" gif "$suite/animation.gif" --view 0x5 >/dev/null 2>&1 && { echo "bad --view accepted" >&2; fail=1; }
exit $fail
