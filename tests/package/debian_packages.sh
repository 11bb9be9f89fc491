#!/usr/bin/env bash
# debian_packages.sh BUILD_DIR: cpack -G DEB makes libqvad0, libqvad-dev and qvad-tools,
# each with what it is for and dependencies computed from the binaries.
set -euo pipefail
build=$1
out="$build/debian-packages"
rm -rf "$out"
mkdir -p "$out"
(cd "$out" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >cpack.log 2>&1) || { tail -30 "$out/cpack.log"; exit 1; }
holds() {  # package file, pattern (the listing is read whole: no broken pipe under pipefail)
  local list
  list=$(dpkg-deb -c "$1")
  grep -q "$2" <<<"$list"
}
check() {  # package, a file it must hold, a dependency it must name
  local deb
  deb=$(compgen -G "$out/$1_*.deb" || true)
  [ -n "$deb" ] || { echo "no $1 package"; ls "$out"; exit 1; }
  holds "$deb" "$2" || { echo "$1 lacks $2"; dpkg-deb -c "$deb"; exit 1; }
  grep -q "$3" <<<"$(dpkg-deb -f "$deb" Depends)" || { echo "$1 does not depend on $3: $(dpkg-deb -f "$deb" Depends)"; exit 1; }
  echo "$1: $(dpkg-deb -f "$deb" Version); Depends: $(dpkg-deb -f "$deb" Depends | cut -c1-100)"
}
check libqvad0 '/libqvad\.so\.0' 'libwebkit2gtk-4.1'
check libqvad-dev '/include/qvad/qvad\.h' 'libqvad0'
holds "$out"/libqvad-dev_*.deb '/libqvad\.a$' || { echo "libqvad-dev lacks libqvad.a"; exit 1; }
holds "$out"/libqvad-dev_*.deb '/qvad\.pc$' || { echo "libqvad-dev lacks qvad.pc"; exit 1; }
holds "$out"/libqvad-dev_*.deb '/qvad-static\.pc$' || { echo "libqvad-dev lacks qvad-static.pc"; exit 1; }
holds "$out"/libqvad-dev_*.deb '/qvadConfig\.cmake$' || { echo "libqvad-dev lacks the CMake package"; exit 1; }
check qvad-tools '/bin/qvad-sandbox' 'libc6'
holds "$out"/qvad-tools_*.deb '/bin/qvadctl$' || { echo "qvad-tools lacks qvadctl"; exit 1; }
! holds "$out"/libqvad0_*.deb '/include/' || { echo "libqvad0 holds headers"; exit 1; }
