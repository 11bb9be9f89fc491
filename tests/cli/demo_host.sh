#!/usr/bin/env bash
# The demo host (a GTK window of its own with the library over it) against a sandbox it
# starts itself, on a private display: the start, floating and reward flows print their
# callbacks in order, the screenshots are written, a wrong secret prints the failure,
# and the secret reaches none of the output.
set -euo pipefail
ctl="$1"
demo="$(dirname "$ctl")/../../examples/qvad-demo"
display="$(dirname "$0")/../webkit/with_display.sh"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
unset QVAD_API_BASE_URL QVAD_CA_FILE
export QVAD_DATA_DIR="$tmp/data" QVAD_DOCUMENTS_DIR="$tmp/documents"
# The web engine's caches and settings stay in the run's directory.
export XDG_CACHE_HOME="$tmp/cache" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/xdg-data"
fail=0

"$display" "$demo" --flow floating --out "$tmp/shots" >"$tmp/out" 2>"$tmp/err" || { echo "floating flow failed" >&2; fail=1; }
got="$(grep -E '^(start|floating) ' "$tmp/out" | tr '\n' '|' || true)"
want='start complete ok|floating onShowAction|floating onClickAction|floating onCloseAction|'
[ "$got" = "$want" ] || { echo "callbacks: expected $want, got $got" >&2; fail=1; }
for f in 00-host 01-floating-badge 02-floating-browser 03-floating-closed; do
  [ -s "$tmp/shots/$f.png" ] || { echo "no screenshot $f" >&2; fail=1; }
done
# The badge is gone from the last picture: it differs from the one with the badge.
cmp -s "$tmp/shots/01-floating-badge.png" "$tmp/shots/03-floating-closed.png" && { echo "badge not removed" >&2; fail=1; }

# A page flow in this build too, whichever backend it defaults to: the demo always runs on
# the desktop library.
"$display" "$demo" --flow reward --out "$tmp/reward-shots" >"$tmp/reward" 2>>"$tmp/err" || { echo "reward flow failed" >&2; fail=1; }
got="$(grep -E '^(start|reward) ' "$tmp/reward" | tr '\n' '|' || true)"
want='start complete ok|reward rewardedVideoAdDidLoad:|reward rewardedVideoAdDeginShow:|reward rewardedVideoAdDidShow:|reward rewardedVideoAdComplete:|reward rewardedVideoAdWillClose:|reward rewardedVideoAdDidClose:|'
[ "$got" = "$want" ] || { echo "reward callbacks: expected $want, got $got" >&2; fail=1; }

if "$display" "$demo" --flow start --secret not-the-secret >"$tmp/wrong" 2>>"$tmp/err"; then
  echo "a wrong secret exited 0" >&2
  fail=1
fi
grep -q '^start complete error 4003 ' "$tmp/wrong" || { echo "wrong secret: $(cat "$tmp/wrong")" >&2; fail=1; }

for f in "$tmp/out" "$tmp/err" "$tmp/wrong" "$tmp/reward"; do
  if grep -q -e demo-secret -e not-the-secret "$f"; then echo "the secret leaked into $f" >&2; fail=1; fi
done

"$display" "$demo" --flow sideways >/dev/null 2>&1 && { echo "an unknown flow was accepted" >&2; fail=1; }
[ "$fail" = 0 ] || { echo "--- output"; cat "$tmp/out"; echo "--- errors"; tail -20 "$tmp/err"; } >&2
exit $fail
