#!/usr/bin/env bash
# qvadctl reply prints what the request manager's callbacks would receive.
set -euo pipefail
ctl="$1"
fail=0
check() {  # check EXPECTED ARGS... (body on stdin)
  local expected="$1"; shift
  local got
  got="$("$ctl" reply "$@" 2>/dev/null)"
  if [ "$got" != "$expected" ]; then
    echo "reply $*: expected $expected, got $got" >&2
    fail=1
  fi
}
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
exit $fail
