#!/usr/bin/env bash
# qvadctl reply prints what the request manager's callbacks would receive.
set -euo pipefail
source "$(dirname "$0")/check.bash"
subcommand=(reply)
printf '{"code":0}' | check '{"outcome":"success"}'
printf '{"code":0}' | check '{"outcome":"success","ad":{"imageUrl":null,"landingUrl":null,"reportImplUrl":null,"reportClickUrl":null}}' --model ad
printf '{"code":0,"image":"a.gif","landing":"https://l","impl":1}' | check '{"outcome":"success","ad":{"imageUrl":"a.gif","landingUrl":"https://l","reportImplUrl":null,"reportClickUrl":null}}' --model ad
printf '{"code":"0"}' | check '{"outcome":"failure","code":-1000,"msg":"connect_error"}'
printf '{"code":2001,"msg":5}' | check '{"outcome":"failure","code":2001,"msg":""}'
printf '{"code":4.7,"msg":"cut"}' | check '{"outcome":"failure","code":4,"msg":"cut"}'
printf '[1,2]' | check '{"outcome":"failure","code":-1000,"msg":"connect_error"}' -
printf '<html></html>' | check '{"outcome":"none"}'
printf '' | check '{"outcome":"none"}'
printf '7' | check '{"outcome":"none"}'
# The body line goes to standard error, so standard output stays one JSON line.
[ "$(printf '{"code":0}' | "$ctl" reply 2>&1 >/dev/null)" = '{"code":0}' ] || { echo "console line not on stderr" >&2; fail=1; }
"$ctl" reply --model bogus </dev/null >/dev/null 2>&1 && { echo "bad model accepted" >&2; fail=1; }
printf '{"code":0}\0garbage' | check '{"outcome":"none"}'

# What the library's limits make of hostile input: never a crash, never a false success.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
expect_line() {  # expect_line PATTERN (output on stdin)
  local got; got="$(cat)"
  echo "$got" | grep -q "$1" || { echo "expected $1, got ${got:0:200}" >&2; fail=1; }
}
{ printf '{"code":0,"pad":"'; head -c 1048576 /dev/zero | tr '\0' x; printf '"}'; } > "$tmp/big.json"
"$ctl" reply "$tmp/big.json" 2>/dev/null | expect_line '^{"outcome":"failure","code":-1103,"msg":"Optional(.*)"}$'
head -c 1048576 /dev/zero | tr '\0' '[' | "$ctl" reply 2>/dev/null | expect_line '^{"outcome":"none"}$'
python3 -c 'print("[" * 600 + "]" * 600)' | "$ctl" reply 2>/dev/null | expect_line '^{"outcome":"none"}$'
head -c 20000000 /dev/zero | tr '\0' '{' > "$tmp/huge"
"$ctl" reply < "$tmp/huge" 2>/dev/null | expect_line '^{"outcome":"failure","code":-1103'
set +e
out="$("$ctl" reply "$tmp" 2>"$tmp/err")"; rc=$?
set -e
[ "$rc" -eq 1 ] && [ -z "$out" ] && grep -q "is a directory" "$tmp/err" || { echo "directory: rc $rc, out '$out', err $(cat "$tmp/err")" >&2; fail=1; }
set +e
"$ctl" reply "$tmp/missing" >/dev/null 2>"$tmp/err"; rc=$?
set -e
[ "$rc" -eq 1 ] && grep -q "cannot read" "$tmp/err" || { echo "missing file: rc $rc" >&2; fail=1; }
exit $fail
