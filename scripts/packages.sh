#!/usr/bin/env bash
# packages.sh BUILD_DIR [--install]
# Builds the Debian packages from a build tree configured for /usr (the `package` or `ci` preset,
# built) and uses them as a user and a host developer would: the tool runs from its folder and finds
# its resources, its manual page renders, and examples/host builds against the library through
# find_package and through pkg-config, then runs.
#   without --install  the packages are unpacked into a throw-away root (dpkg -x), and only the
#                      root's /usr is named to CMake, pkg-config and the loader;
#   --install (root)   they are installed with apt, used with no extra paths at all, then purged,
#                      which must leave none of their files behind.
set -euo pipefail
build=$(realpath "$1") mode=${2:-}
source=$(cd "$(dirname "$0")/.." && pwd)
host=$source/examples/host
packages=(libovmeshdrivers3 libovmeshdrivers-dev ovmesh libovmeshdrivers-assimp3 libovmeshdrivers-occt3)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/debs" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack"; }
debs=()
for package in "${packages[@]}"; do
  deb=$(find "$work/debs" -maxdepth 1 -name "${package}_*.deb")
  [ -n "$deb" ] || fail "no package $package"
  debs+=("$deb")
done
version=$(dpkg-deb -f "${debs[0]}" Version)
dpkg-deb -f "${debs[0]}" Depends | grep -q 'libexpat1 (>=' || fail "library package without its computed dependencies"
# Only the assimp component brings assimp, and the tool reads most mesh formats through it.
dpkg-deb -f "${debs[0]}" Depends | grep -q 'libassimp' && fail "the library package depends on assimp"
dpkg-deb -f "${debs[3]}" Depends | grep -q 'libassimp5 (>=' || fail "the assimp component does not depend on libassimp5"
dpkg-deb -f "${debs[2]}" Depends | grep -qF "libovmeshdrivers-assimp3 (= $version)" \
  || fail "the ovmesh package does not depend on the assimp component"
# Likewise only the Open CASCADE component brings Open CASCADE.
dpkg-deb -f "${debs[0]}" Depends | grep -q 'libocct' && fail "the library package depends on Open CASCADE"
dpkg-deb -f "${debs[4]}" Depends | grep -q 'libocct-modeling-algorithms-7.6' \
  || fail "the Open CASCADE component does not depend on Open CASCADE"
for deb in "${debs[@]:1}"; do
  dpkg-deb -f "$deb" Depends | grep -qF "libovmeshdrivers3 (= $version)" || fail "$deb does not depend on the library"
done

if [ "$mode" = --install ]; then
  [ "$(id -u)" = 0 ] || fail "--install needs root"
  for package in "${packages[@]}"; do
    ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q installed \
      || fail "$package is installed already; this check would remove it"
  done
  purge() { apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true; }
  trap 'purge; cleanup' EXIT
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${debs[@]}" >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log"; fail "apt install"; }
  root= loader_path=
  tool=ovmesh
  manual_page=(ovmesh)
else
  root=$work/root
  for deb in "${debs[@]}"; do dpkg -x "$deb" "$root"; done
  tool=$root/usr/bin/ovmesh
  manual_page=(-l "$root/usr/share/man/man1/ovmesh.1.gz")
  export CMAKE_PREFIX_PATH=$root/usr PKG_CONFIG_PATH=$root/usr/lib/$multiarch/pkgconfig
  # for the host linked through pkg-config, which names no run-time path
  loader_path=$root/usr/lib/$multiarch
fi

for file in "usr/lib/$multiarch/libovMeshDrivers.so.3" "usr/lib/$multiarch/pkgconfig/ovMeshDrivers.pc" \
  "usr/lib/$multiarch/cmake/ovMeshDrivers/ovMeshDriversConfig.cmake" usr/include/ovMeshDrivers/core/ovMeshDrivers.h \
  usr/share/ovmesh/resources/step/ap242_1_36_mim_lf.exp usr/bin/ovmesh usr/share/man/man1/ovmesh.1.gz; do
  [ -e "$root/$file" ] || fail "/$file is not installed"
done

# Through a file: grep -q stops reading at its match, which would cut the long listing short.
"$tool" formats >"$work/formats" || fail "ovmesh formats"
grep -qw stl "$work/formats" || fail "ovmesh formats lists no stl driver"
"$tool" demo "$work/demo" >/dev/null || fail "ovmesh demo"
[ -s "$work/demo/demo.stp" ] || fail "ovmesh demo wrote no demo.stp (resources not found?)"
LC_ALL=C MANWIDTH=80 man --warnings "${manual_page[@]}" >"$work/page" 2>"$work/page.warnings" || fail "man ${manual_page[*]}"
grep -q '^ *ovmesh - ' "$work/page" || fail "the manual page has no NAME line"
[ ! -s "$work/page.warnings" ] || { cat "$work/page.warnings"; fail "man warns about the page"; }

cmake -S "$host" -B "$work/host-build" >/dev/null || fail "find_package(ovMeshDrivers 3 CONFIG)"
cmake --build "$work/host-build" >/dev/null || fail "building the example host with CMake"
# shellcheck disable=SC2046  # the flags are words
"${CXX:-c++}" -std=c++20 "$host/host.cpp" $(pkg-config --cflags --libs ovMeshDriversAssimp) -o "$work/host-pkgconfig" \
  || fail "building the example host with pkg-config"
for program in "$work/host-build/host" "$work/host-pkgconfig"; do
  env ${loader_path:+LD_LIBRARY_PATH="$loader_path"} "$program" "$root/usr/share/ovmesh/resources" \
    "$host" "$work/out" || fail "$program"
  grep -q "^ISO-10303-21;" "$work/out.stp" || fail "$program wrote no STEP file"
  [ "$(head -c 4 "$work/out.glb")" = glTF ] || fail "$program wrote no binary glTF file"
  grep -q "<path d=" "$work/out.svg" || fail "$program drew nothing in SVG"
  rm -f "$work/out.stp" "$work/out.glb" "$work/out.svg"
done

if [ "$mode" = --install ]; then
  dpkg -L "${packages[@]}" | sort -r >"$work/installed"
  apt-get purge -y -qq "${packages[@]}" >/dev/null 2>&1 || fail "apt purge"
  while read -r path; do
    # Folders the system shares (/usr/lib, /usr/share/man...) stay; every file and folder of ours goes.
    if { [ -e "$path" ] || [ -L "$path" ]; } && ! { [ -d "$path" ] && [ -n "$(ls -A "$path")" ]; }; then
      fail "$path is left behind"
    fi
  done <"$work/installed"
  ! ldconfig -p | grep -q libovMeshDrivers || fail "the loader still lists libovMeshDrivers"
fi
echo "packages $version: built, ${mode:+installed, }used as a user and a host would${mode:+, purged}: ok"
