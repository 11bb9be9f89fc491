#!/usr/bin/env bash
# qvadctl bridge: page messages decoded and reply scripts built exactly as the bridge does.
set -euo pipefail
source "$(dirname "$0")/check.bash"
subcommand=(bridge)

check '{"handle":"tavro","action":null,"method":null,"callbackFunction":"window.callbackDispatcher"}' decode '{}'
check '{"handle":null,"action":"jsbridge","method":{"method":"toast","params":{"text":"hi"},"callback":"cb"},"callbackFunction":"window.callbackDispatcher"}' \
  decode '{"handle":null,"action":"jsbridge","method":{"method":"toast","params":{"text":"hi"},"callback":"cb"},"callbackFunction":3}'
check '{"handle":"h","action":null,"method":{"method":null,"params":null,"callback":null},"callbackFunction":"f"}' \
  decode '{"handle":"h","action":1,"method":{"method":2,"params":[],"callback":false},"callbackFunction":"f"}'
check '{"handle":"tavro","action":"a","method":null,"callbackFunction":"window.callbackDispatcher"}' decode '"{\"action\":\"a\"}"'
check '{"decoded":false}' decode '[1]'
check '{"decoded":false}' decode 'nope'
check '{"decoded":false}' decode '"text"'

check "cb('{\"msg\":\"\",\"params\":\"e30=\",\"ret\":-1}')" reply --callback cb
check "cb('{\"msg\":\"m\",\"params\":\"eyJjbGlja2VkIjotMn0=\",\"ret\":0}')" reply --callback cb --ret 0 --msg m --params '{"clicked":-2}'
check "cb('{\"msg\":\"\",\"params\":\"eyJ0IjoiYSdiXCJjIn0=\",\"ret\":10}')" reply --callback cb --ret 10 --params '{"t":"a'"'"'b\"c"}'
check "f('{\\\"s\\\":\\\"it\\'s\\\"}')" message --callback f --params '{"s":"it'"'"'s"}'

# escape: the eight replacements, in order, nothing added.
got="$(printf 'a\\b"c'"'"'d\ne\rf\fg\xe2\x80\xa8h\xe2\x80\xa9' | "$ctl" bridge escape | od -An -c | tr -s ' ')"
want="$(printf '%s' 'a\\b\"c'"\\'"'d\ne\rf\fg\u2028h\u2029' | od -An -c | tr -s ' ')"
[ "$got" = "$want" ] || { echo "escape: expected $want, got $got" >&2; fail=1; }

# Bad usage exits 2.
for args in "reply" "reply --callback cb --ret x" "reply --callback cb --params [1]" "message --callback f" "decode" "nosuch"; do
  # shellcheck disable=SC2086
  if "$ctl" bridge $args </dev/null >/dev/null 2>&1; then echo "accepted: bridge $args" >&2; fail=1; fi
done
exit $fail
