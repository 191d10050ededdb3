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
# compare NAME LINUX_FILE WINDOWS_FILE
compare() {
  if cmp -s "$2" "$3"; then
    echo "test-windows: $1: the same bytes as on Linux"
  else
    echo "test-windows: $1 differs from Linux's"
    failures=$((failures + 1))
  fi
}
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }
failures=0
for profile in interop exact; do
  folder="$work/демо-Ω-演示-$profile"
  scripts/wine.sh build/windows/bin/ovmesh.exe demo --step-profile "$profile" "$(windows_path "$folder")" >/dev/null
  "$linux" demo --step-profile "$profile" "$work/linux-$profile" >/dev/null
  for file in "$work/linux-$profile"/*; do
    compare "$profile $(basename "$file")" "$file" "$folder/$(basename "$file")"
  done
done
# Inputs, part files, outputs and the tool's own folder (where it finds its resources) named outside
# any ANSI code page, emoji included.
tool="$work/程序-Ω"
mkdir -p "$tool/bin" "$work/入力-😀" "$work/出力-😀" "$work/linux-out"
cp build/windows/bin/*.dll build/windows/bin/ovmesh.exe "$tool/bin/"
cp -r build/windows/share "$tool/"
cp examples/host/part.obj "$work/入力-😀/деталь-😀.obj"
# The assembly's two parts are that OBJ file.
sed 's/"STL" location="[a-z]*\.stl"/"OBJ" location="деталь-😀.obj"/' examples/host/assembly.plmxml \
  >"$work/入力-😀/сборка.plmxml"
# The assembly's parts stay references to their files, which STEP names.
for conversion in "деталь-😀.obj деталь-😀.stp" "деталь-😀.obj деталь-😀.glb" "сборка.plmxml сборка.stp"; do
  read -r input output <<<"$conversion"
  scripts/wine.sh "$tool/bin/ovmesh.exe" -q convert "$(windows_path "$work/入力-😀/$input")" \
    "$(windows_path "$work/出力-😀/$output")"
  "$linux" -q convert "$work/入力-😀/$input" "$work/linux-out/$output"
  compare "$output" "$work/linux-out/$output" "$work/出力-😀/$output"
done
echo "test-windows: $failures differences, $(($(date +%s) - started)) s"
[ "$failures" -eq 0 ]
