#!/usr/bin/env bash
# Usage: scripts/test-windows.sh
# Builds ovMeshDrivers.dll and ovmesh.exe for 64-bit Windows (scripts/windows-deps.sh, the
# windows preset), checks the DLL's version resource and exports, and runs the tool under Wine:
# its demo, saved into a folder named outside any ANSI code page, must hold the same bytes as the
# Linux tool's (times pinned by SOURCE_DATE_EPOCH), but for the order of COLLADA's effects, which
# follows the materials' addresses in memory. Needs root the first time (apt-get).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
./scripts/windows-deps.sh >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows
/usr/bin/python3 tests/windows/check_dll.py build/windows/bin/ovMeshDrivers.dll

linux=build/ci/bin/ovmesh
if [ ! -x "$linux" ]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target ovmesh
fi
work=$(mktemp -d)
trap '/usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX=$work/wine WINEDEBUG=-all SOURCE_DATE_EPOCH=1700000000
folder="$work/демо-Ω-演示"
/usr/lib/wine/wine64 build/windows/bin/ovmesh.exe demo "Z:${folder//\//\\}" >/dev/null
"$linux" demo "$work/linux" >/dev/null

failures=0
for file in "$work"/linux/*; do
  name=$(basename "$file")
  if cmp -s "$file" "$folder/$name"; then
    echo "test-windows: $name: the same bytes as on Linux"
  elif [ "${name##*.}" = dae ] && cmp -s <(sort "$file") <(sort "$folder/$name"); then
    echo "test-windows: $name: the same lines as on Linux, its effects in another order"
  else
    echo "test-windows: $name differs from Linux's"
    failures=$((failures + 1))
  fi
done
echo "test-windows: $failures differences, $(($(date +%s) - started)) s"
[ "$failures" -eq 0 ]
