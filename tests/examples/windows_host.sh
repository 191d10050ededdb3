#!/usr/bin/env bash
# windows_host.sh BUILD_DIR HOST_SOURCE_DIR TOOLCHAIN_FILE CXX
# The Windows package as a host gets it: the zip CPack makes, unpacked elsewhere; every header
# compiles alone with the tool chain; the example STEP host is built against it through
# find_package and run under Wine with the package's DLLs.
set -euo pipefail
build=$1 host=$2 toolchain=$3 cxx=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/zip" >/dev/null) || fail "cpack"
zip=$(find "$work/zip" -maxdepth 1 -name 'ovMeshDrivers-*.zip')
[ -f "$zip" ] || fail "no zip was made"
mkdir "$work/unpacked"
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/unpacked"
prefix=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
for file in bin/ovMeshDrivers.dll lib/ovMeshDrivers.dll.a bin/libstdc++-6.dll bin/ovmesh.exe \
  include/ovMeshDrivers/core/ovMeshDrivers.h lib/cmake/ovMeshDrivers/ovMeshDriversConfig.cmake \
  share/ovmesh/resources/step/ap242_1_36_mim_lf.exp; do
  [ -f "$prefix/$file" ] || fail "the zip holds no $file"
done

includes=$prefix/include/ovMeshDrivers
for header in $(cd "$includes" && find . -name '*.h' | sort); do
  printf '#include "%s"\n' "${header#./}" | "$cxx" -std=c++20 -fsyntax-only -I"$includes" -x c++ - \
    || fail "installed header ${header#./} does not compile alone"
done

# A cross build searches packages below its target's roots only: the package's folder is named.
cmake -S "$host" -B "$work/host-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DovMeshDrivers_DIR="$prefix/lib/cmake/ovMeshDrivers" -DCMAKE_BUILD_TYPE=Release >/dev/null \
  || fail "find_package(ovMeshDrivers 3 CONFIG) from the unpacked zip"
cmake --build "$work/host-build" >/dev/null || fail "building the example host"
# A Windows program finds its DLLs beside it.
cp "$work/host-build/step_host.exe" "$prefix/bin/"
wine=$(dirname "$0")/../../scripts/wine.sh
"$wine" "$prefix/bin/step_host.exe" "$prefix/share/ovmesh/resources" "$host/assembly.plmxml" "$work/cad.stp" \
  || fail "step_host.exe"
grep -q "^FILE_SCHEMA(('AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF { 1 0 10303 442" "$work/cad.stp" \
  || fail "step_host.exe did not write the interop profile"
echo "zipped, unpacked, found, linked and run under Wine: ok"
