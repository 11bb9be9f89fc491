#!/usr/bin/env bash
# exported_symbols.sh LIBRARY INCLUDE_DIR: the shared library exports the C interface
# (every function qvad.h declares) and the classes the public headers mark QVAD_EXPORT,
# and nothing else but the linker's own markers.
set -euo pipefail
lib="$1"
include="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

soname="$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')"
[ "$soname" = "libqvad.so.0" ] || { echo "SONAME is '$soname', not libqvad.so.0" >&2; exit 1; }

nm -D --defined-only "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }' | c++filt >"$tmp/all"
public="$(sed -n 's/^class QVAD_EXPORT \([A-Za-z0-9_]*\).*/\1/p' "$include"/qvad/*.h | paste -sd'|')"
[ -n "$public" ] || { echo "no class of include/qvad is marked QVAD_EXPORT" >&2; exit 1; }

grep -Ev "^(qvad_[a-z0-9_]+|_init|_fini|_edata|_end|__bss_start)$" "$tmp/all" |
  grep -Ev "^((typeinfo|typeinfo name|vtable) for )?qvad::($public)([^A-Za-z0-9_]|$)" >"$tmp/stray" || true
# A public class's private implementation is the library's own.
grep -E "^qvad::[A-Za-z0-9_]+::Impl::" "$tmp/all" >>"$tmp/stray" || true
if [ -s "$tmp/stray" ]; then
  echo "exported outside the public API ($(wc -l <"$tmp/stray") symbols):" >&2
  head -40 "$tmp/stray" >&2
  exit 1
fi

# Every C function of the header is there.
sed -n 's/^QVAD_EXPORT [^(]*[ *]\(qvad_[a-z0-9_]*\)(.*/\1/p' "$include/qvad/qvad.h" | sort -u >"$tmp/declared"
[ -s "$tmp/declared" ] || { echo "no functions found in qvad.h" >&2; exit 1; }
grep -E '^qvad_' "$tmp/all" | sort -u >"$tmp/exported"
missing="$(comm -23 "$tmp/declared" "$tmp/exported")"
[ -z "$missing" ] || { echo "declared in qvad.h but not exported:" >&2; echo "$missing" >&2; exit 1; }
extra="$(comm -13 "$tmp/declared" "$tmp/exported")"
[ -z "$extra" ] || { echo "exported but not declared in qvad.h:" >&2; echo "$extra" >&2; exit 1; }
# Each public class exports at least one of its members.
for c in ${public//|/ }; do
  grep -q "^qvad::$c::" "$tmp/all" || { echo "nothing of qvad::$c is exported" >&2; exit 1; }
done
echo "$(wc -l <"$tmp/declared") C functions and $(grep -c '^qvad::' "$tmp/all") C++ symbols exported, nothing else"
