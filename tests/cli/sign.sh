#!/usr/bin/env bash
# qvadctl sign against the signing rules implemented apart, and its exact output shape.
set -euo pipefail
ctl="$1"
here="$(cd "$(dirname "$0")" && pwd)"
export QVAD_DATA_DIR="$(mktemp -d)"
trap 'rm -rf "$QVAD_DATA_DIR"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Fixed nonce and timestamp: the exact URL is known, parameter for parameter.
out="$("$ctl" sign --key k1 --secret 's3 cr&t' --nonce 123456 --timestamp 1704067200500 --show-signed \
  --base https://ads.example/api/ig/sdk/query 'q=a b&c=d+e' 'name=Zoë' 'network=wifi')"
echo "$out" | python3 "$here/sign_check.py" 's3 cr&t' || fail "signature disagrees"
[ "$(echo "$out" | wc -l)" -eq 3 ] || fail "three lines expected with --show-signed"
echo "$out" | sed -n 1p | grep -q '^signed: appKey=k1,appSecret=s3 cr&t,deviceId=' || fail "signed line"
echo "$out" | grep -q '^url: https://ads.example/api/ig/sdk/query?' || fail "base URL"
echo "$out" | grep -q 'q=a%20b%26c%3Dd%2Be' || fail "encoding of q"
echo "$out" | grep -q 'name=Zo%C3%AB' || fail "encoding of a non-ASCII letter"
echo "$out" | grep -q 'nonce=123456' || fail "fixed nonce"
echo "$out" | grep -q 'timestamp=1704067200500' || fail "fixed timestamp"

# Bytes that are not UTF-8 become U+FFFD in both the signed text and the URL.
out="$("$ctl" sign --key k1 --secret sign-secret --nonce 123456 --timestamp 1 --show-signed "$(printf 'language=d\377e-DE')")"
echo "$out" | python3 "$here/sign_check.py" sign-secret || fail "signature disagrees for a value that is not UTF-8"
echo "$out" | grep -q 'language=d%EF%BF%BDe-DE' || fail "replacement character in the URL"

# Without --show-signed the secret is shown nowhere.
out="$("$ctl" sign --key k1 --secret hidden-secret --nonce 999999 --timestamp 1)"
[ "$(echo "$out" | wc -l)" -eq 2 ] || fail "two lines expected"
echo "$out" | grep -q 'hidden-secret' && fail "secret printed"
echo "$out" | python3 "$here/sign_check.py" hidden-secret || fail "signature disagrees (2)"

# No key and no secret: no appKey parameter, nothing of the secret in the signed text.
out="$("$ctl" sign --show-signed)"
echo "$out" | python3 "$here/sign_check.py" - || fail "signature disagrees without secret"
echo "$out" | grep -q 'appKey' && fail "appKey without --key"
echo "$out" | grep -q 'appSecret' && fail "appSecret without --secret"
echo "$out" | grep -q '^url: https://.*/api/ig/sdk/init?' || fail "default base is the init endpoint"

# A caller's parameter replaces a default one.
out="$("$ctl" sign --secret s deviceId=mine --show-signed)"
echo "$out" | grep -q 'deviceId=mine,' || fail "caller deviceId in signed text"
echo "$out" | grep -q '[?&]deviceId=mine' || fail "caller deviceId in URL"

# Usage errors exit 2 and print nothing on stdout.
for bad in "--nonce 12" "--nonce abc" "--timestamp -5" "--frobnicate" "noequals" "--key"; do
  set +e
  # shellcheck disable=SC2086
  o="$("$ctl" sign $bad 2>/dev/null)"; rc=$?
  set -e
  [ "$rc" -eq 2 ] || fail "'$bad' exits $rc, not 2"
  [ -z "$o" ] || fail "'$bad' printed on stdout"
done
"$ctl" sign --help | grep -q '^usage: qvadctl sign' || fail "help"
echo "sign: ok"
