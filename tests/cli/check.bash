# Sourced by the qvadctl command tests (after `set -euo pipefail`): `check EXPECTED ARGS...`
# runs qvadctl (the script's first argument) with the words of `subcommand` and ARGS, standard
# input passed through, and compares its standard output with EXPECTED. A mismatch is
# reported and kept in `fail`; end the script with `exit $fail`.
ctl="$1"
fail=0
subcommand=()
check() {
  local expected="$1"; shift
  local got
  got="$("$ctl" "${subcommand[@]}" "$@" 2>/dev/null)" || true
  if [ "$got" != "$expected" ]; then
    printf '%s %s:\n  expected %s\n  got      %s\n' "${subcommand[*]}" "$*" "$expected" "$got" >&2
    fail=1
  fi
}
