#!/usr/bin/env bash
# installed_tree.sh BUILD_DIR SOURCE_DIR SANDBOX: installs BUILD_DIR under a prefix of its
# own, builds the C example host against that tree only (find_package, shared and static;
# pkg-config), checks what the prefix holds, and runs the installed host against a
# sandbox until the floating badge shows.
set -euo pipefail
build=$1 src=$2 sandbox=$3
work="$build/installed-tree"
rm -rf "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work.log" 2>&1 || { tail -20 "$work.log"; exit 1; }
libdir=""
for d in lib lib64 lib/*-linux-gnu; do
  if [ -e "$prefix/$d/libqvad.so.0" ]; then libdir=$d; break; fi
done
[ -n "$libdir" ] || { echo "no libqvad.so.0 under $prefix"; exit 1; }
for f in "$libdir/libqvad.so" "$libdir/libqvad.a" "$libdir/pkgconfig/qvad.pc" "$libdir/pkgconfig/qvad-static.pc" "$libdir/cmake/qvad/qvadConfig.cmake" \
         include/qvad/qvad.h include/qvad/host_window.h bin/qvadctl bin/qvad-sandbox; do
  [ -e "$prefix/$f" ] || { echo "missing from the install: $f"; exit 1; }
done
[ "$(readelf -d "$prefix/$libdir/libqvad.so.0" | sed -n 's/.*SONAME.*\[\(.*\)\]/\1/p')" = libqvad.so.0 ] ||
  { echo "SONAME is not libqvad.so.0"; exit 1; }
! ls "$prefix/include/qvad" | grep -v '\.h$' || { echo "non-header files installed"; exit 1; }

# Sanitizer builds: the consumer links the same runtime as the installed library.
flags=${QVAD_CONSUMER_FLAGS:-}
cmake -S "$src/tests/package/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DQVAD_EXAMPLES="$src/examples" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$work/consumer.log" 2>&1 &&
  cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1 || { tail -30 "$work/consumer.log"; exit 1; }

# pkg-config, with nothing but the installed tree.
export PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig"
version=$(pkg-config --modversion qvad) || { echo "pkg-config does not find qvad"; exit 1; }
[ "$version" = "$(sed -n 's/^Version: //p' "$prefix/$libdir/pkgconfig/qvad.pc")" ] || { echo "pkg-config gives $version"; exit 1; }
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror $flags -I"$src/examples/c_host" "$src/examples/c_host/main.c" \
  "$src/examples/c_host/c_host_app.c" -o "$work/c-host-pc" $(pkg-config --cflags --libs qvad x11) -lstdc++
# The static library through qvad-static.pc, its dependencies shared.
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror $flags -I"$src/examples/c_host" "$src/examples/c_host/main.c" \
  "$src/examples/c_host/c_host_app.c" -o "$work/c-host-pcstatic" $(pkg-config --cflags --libs qvad-static x11)
! grep -q libqvad <<<"$(ldd "$work/c-host-pcstatic")" || { echo "the qvad-static build loads a shared libqvad"; exit 1; }
# (ldd's whole output first: grep -q leaving early would break the pipe under pipefail)
loads=$(LD_LIBRARY_PATH="$prefix/$libdir" ldd "$work/c-host-pc")
grep -q "libqvad.so.0 => $prefix" <<<"$loads" || { echo "the pkg-config build does not load the installed library:"; echo "$loads"; exit 1; }

# The installed host, against a sandbox: it starts and shows the floating badge.
state="$work/sandbox"
mkdir -p "$state"
"$sandbox" --port 0 --state "$state" >"$work/sandbox.out" 2>"$work/sandbox.err" &
server=$!
trap 'kill $server 2>/dev/null || true; kill $host 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^listening' "$work/sandbox.out" && break; sleep 0.1; done
line=$(head -1 "$work/sandbox.out")
url=$(sed -E 's/^listening ([^ ]+) ca=.*/\1/' <<<"$line")
ca=${line##* ca=}
for kind in shared static pc pcstatic; do
  exe="$work/consumer/c-host-$kind"
  [ "${kind#pc}" != "$kind" ] && exe="$work/c-host-$kind"
  out="$work/host-$kind.out"
  XDG_DATA_HOME="$work/data-$kind" XDG_CACHE_HOME="$work/cache-$kind" QVAD_API_BASE_URL="$url" QVAD_CA_FILE="$ca" \
    LD_LIBRARY_PATH="$prefix/$libdir" "$exe" >"$out" 2>&1 &
  host=$!
  for _ in $(seq 600); do grep -q 'badge shown' "$out" && break; kill -0 $host 2>/dev/null || break; sleep 0.1; done
  kill $host 2>/dev/null || true
  wait $host 2>/dev/null || true
  if ! grep -q 'badge shown' "$out"; then
    echo "the installed c-host ($kind) showed no badge:"
    tail -20 "$out"
    exit 1
  fi
  echo "c-host ($kind) on qvad $(pkg-config --modversion qvad): badge shown"
done
