#!/usr/bin/env bash
# Usage: scripts/test-windows.sh
# Builds ovMeshDrivers.dll, ovmesh.exe and the test suite for 64-bit Windows
# (scripts/windows-deps.sh, the windows preset), checks the DLL's version resource and exports,
# runs the test suite under Wine (ctest --preset windows: the library's tests, the fault sweeps,
# the fuzz corpora and a host built against the zip), and runs the tool's demo under Wine in
# both STEP profiles, saved into a folder named outside any ANSI code page: every file must hold
# the same bytes as the Linux tool's (times pinned by SOURCE_DATE_EPOCH). Needs root the first
# time (apt-get).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
./scripts/windows-deps.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows
/usr/bin/python3 tests/windows/check_dll.py build/windows/bin/ovMeshDrivers.dll
ctest --preset windows

linux=build/ci/bin/ovmesh
if [ ! -x "$linux" ]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target ovmesh
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1700000000
failures=0
for profile in interop exact; do
  folder="$work/демо-Ω-演示-$profile"
  scripts/wine.sh build/windows/bin/ovmesh.exe demo --step-profile "$profile" "Z:${folder//\//\\}" >/dev/null
  "$linux" demo --step-profile "$profile" "$work/linux-$profile" >/dev/null
  for file in "$work/linux-$profile"/*; do
    name=$(basename "$file")
    if cmp -s "$file" "$folder/$name"; then
      echo "test-windows: $profile $name: the same bytes as on Linux"
    else
      echo "test-windows: $profile $name differs from Linux's"
      failures=$((failures + 1))
    fi
  done
done
echo "test-windows: $failures differences, $(($(date +%s) - started)) s"
[ "$failures" -eq 0 ]
