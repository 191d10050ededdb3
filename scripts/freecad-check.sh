#!/usr/bin/env bash
# freecad-check.sh [OVMESH]
# Writes `ovmesh demo` into a temporary folder and has FreeCAD (freecadcmd, Debian's
# freecad-python3, not installed by setup.sh: too heavy for CI) open demo.stp, the interop
# file with faceted geometry. Every part FreeCAD reads must stand where demo.stl has it:
# the bounding boxes of the parts' shells, in the file's millimetres, must be those of the
# STL file's separate components, to 1e-6, both taken from the minimum corner of the whole
# (where the STL file puts its origin). Prints each part and exits 0 when all match, 1 when
# one does not, 77 when freecadcmd is missing.
#
# FreeCAD 0.20.2 reads the file with Part.read (Open CASCADE's shape reader): its
# Import.insert crashes without a GUI on any assembly, the reference AP214 samples too.
set -euo pipefail

ovmesh=${1:-$(dirname "$0")/../build/ci/bin/ovmesh}
if ! command -v freecadcmd >/dev/null; then
  echo "freecad-check: freecadcmd not found (apt-get install freecad-python3)" >&2
  exit 77
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$ovmesh" -q demo "$folder/demo"
cat >"$folder/check.py" <<'PYTHON'
import os
import sys

import Mesh
import Part

folder = os.environ["OV_DEMO"]


def boxes(bounds):
    corners = [(b.XMin, b.YMin, b.ZMin, b.XMax, b.YMax, b.ZMax) for b in bounds]
    origin = [min(corner[axis] for corner in corners) for axis in range(3)] * 2
    return sorted(tuple(round(value - start, 6) + 0.0 for value, start in zip(corner, origin))
                  for corner in corners)


parts = boxes(shell.BoundBox for shell in Part.read(os.path.join(folder, "demo.stp")).Shells)
stl = Mesh.Mesh(os.path.join(folder, "demo.stl"))
expected = boxes(component.BoundBox for component in stl.getSeparateComponents())
for part in parts:
    print("part", " ".join("%g" % value for value in part), "ok" if part in expected else "NOT IN demo.stl")
print("%d parts read, %d in demo.stl" % (len(parts), len(expected)))
print("result", "ok" if parts == expected else "mismatch")
PYTHON
# freecadcmd's own exit status says nothing about the script.
OV_DEMO="$folder/demo" freecadcmd "$folder/check.py" >"$folder/output" 2>&1 || true
grep -a -E '^(part|[0-9]+ parts)' "$folder/output"
grep -q -a '^result ok' "$folder/output"
