#!/usr/bin/env bash
# Every C++ snippet of the README compiles against the public headers alone (and GTK, for
# the GTK host's). A snippet with a function of its own is a translation unit as it
# stands; a shorter one is compiled as the body of a function, its #include lines first.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
python3 - "$root/README.md" "$tmp" <<'PY'
import re, sys, pathlib
text = pathlib.Path(sys.argv[1]).read_text()
out = pathlib.Path(sys.argv[2])
headers = sorted(p.name for p in (pathlib.Path(sys.argv[1]).parent / "include/qvad").glob("*.h"))
prelude = "".join(f"#include <qvad/{h}>\n" for h in headers) + "#include <memory>\n#include <optional>\n"
for i, block in enumerate(re.findall(r"```cpp\n(.*?)```", text, re.S)):
    lines = block.splitlines()
    includes = [l for l in lines if l.startswith("#include")]
    body = [l for l in lines if not l.startswith("#include")]
    whole = re.search(r"^\w[\w:<>*& ]*\s+\**\w+\([^;]*\)\s*\{", block, re.M)
    src = prelude + "\n".join(includes) + "\n" + ("\n".join(body) if whole else "void snippet() {\n" + "\n".join(body) + "\n}")
    (out / f"snippet{i}.cpp").write_text(src + "\n")
# C snippets are whole translation units against qvad.h alone.
for i, block in enumerate(re.findall(r"```c\n(.*?)```", text, re.S)):
    (out / f"snippet_c{i}.c").write_text(block)
PY
fail=0
count=0
for f in "$tmp"/snippet*.cpp; do
  count=$((count + 1))
  # shellcheck disable=SC2046
  if ! c++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-unused-variable -Wno-unused-parameter -I"$root/include" \
      $(pkg-config --cflags gtk+-3.0) "$f" 2>"$f.err"; then
    echo "README snippet $(basename "$f" .cpp) does not compile:" >&2
    cat "$f.err" >&2
    fail=1
  fi
done
for f in "$tmp"/snippet_c*.c; do
  [ -e "$f" ] || continue
  count=$((count + 1))
  if ! cc -std=c99 -pedantic -fsyntax-only -Wall -Wextra -Werror -I"$root/include" "$f" 2>"$f.err"; then
    echo "README C snippet $(basename "$f" .c) does not compile:" >&2
    cat "$f.err" >&2
    fail=1
  fi
done
[ "$count" -gt 0 ] || { echo "no snippets found" >&2; exit 1; }
exit $fail
