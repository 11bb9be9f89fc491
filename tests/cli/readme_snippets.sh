#!/usr/bin/env bash
# Every snippet of the README is code that builds or code the tests run. A block after an
# "<!-- excerpt: FILE -->" line must be a run of FILE's lines as they stand (the example
# programs are built and clicked through by their own tests). Other C++ blocks compile
# against the public headers alone (and GTK): one with a function of its own is a
# translation unit as it stands, a shorter one the body of a function, its #include lines
# first. Other C blocks are whole translation units against qvad.h alone.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
python3 - "$root/README.md" "$tmp" <<'PY'
import re, sys, pathlib
readme = pathlib.Path(sys.argv[1])
text = readme.read_text()
out = pathlib.Path(sys.argv[2])
headers = sorted(p.name for p in (readme.parent / "include/qvad").glob("*.h"))
prelude = "".join(f"#include <qvad/{h}>\n" for h in headers) + "#include <memory>\n#include <optional>\n"
excerpts = 0
bad = False
for m in re.finditer(r"(?:<!-- excerpt: (\S+) -->\n)?```(\w+)\n(.*?)```", text, re.S):
    source, lang, block = m.group(1), m.group(2), m.group(3)
    if source:
        excerpts += 1
        want = block.splitlines()
        have = (readme.parent / source).read_text().splitlines()
        if not any(have[i:i + len(want)] == want for i in range(len(have))):
            print(f"README excerpt of {source} is not in that file as it stands:\n{block}", file=sys.stderr)
            bad = True
        continue
    i = m.start()
    if lang == "cpp":
        lines = block.splitlines()
        includes = [l for l in lines if l.startswith("#include")]
        body = [l for l in lines if not l.startswith("#include")]
        whole = re.search(r"^\w[\w:<>*& ]*\s+\**\w+\([^;]*\)\s*\{", block, re.M)
        src = prelude + "\n".join(includes) + "\n" + ("\n".join(body) if whole else "void snippet() {\n" + "\n".join(body) + "\n}")
        (out / f"snippet{i}.cpp").write_text(src + "\n")
    elif lang == "c":
        (out / f"snippet_c{i}.c").write_text(block)
if excerpts < 4:
    print(f"only {excerpts} excerpts found", file=sys.stderr)
    bad = True
sys.exit(1 if bad else 0)
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
