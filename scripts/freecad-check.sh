#!/usr/bin/env bash
# freecad-check.sh [OVMESH]
# Writes `ovmesh demo` into a temporary folder and imports demo.stp, the interop file, with
# FreeCAD's importer that File > Import runs (ImportGui.insert, on a virtual display; Debian's
# freecad, xvfb and xauth, not installed by setup.sh: too heavy for CI). Every part must come in
# as a named solid standing where demo.stl has it: the world bounding boxes of the solids, in the
# file's millimetres, must be those of the STL file's separate components, to 1e-6, both taken
# from the minimum corner of the whole (where the STL file puts its origin). Prints each part and
# exits 0 when all match, 1 when one does not, 77 when FreeCAD or xvfb-run is missing.
#
# The importer without a GUI (Import.insert) crashes on any assembly, the reference samples too.
set -euo pipefail

ovmesh=${1:-$(dirname "$0")/../build/ci/bin/ovmesh}
for program in freecad xvfb-run; do
  if ! command -v $program >/dev/null; then
    echo "freecad-check: $program not found (apt-get install freecad xvfb xauth)" >&2
    exit 77
  fi
done
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$ovmesh" -q demo "$folder/demo"
cat >"$folder/check.py" <<'PYTHON'
import os
import re

import FreeCAD
import ImportGui
import Mesh
import Part

folder = os.environ["OV_DEMO"]
report = open(os.environ["OV_REPORT"], "w")


def boxes(bounds):
    corners = [(b.XMin, b.YMin, b.ZMin, b.XMax, b.YMax, b.ZMax) for b in bounds]
    origin = [min(corner[axis] for corner in corners) for axis in range(3)] * 2
    return sorted(tuple(round(value - start, 6) + 0.0 for value, start in zip(corner, origin))
                  for corner in corners)


try:
    # With FreeCAD's default of merging a whole file into one compound no product keeps its name;
    # a user who wants the tree turns it off, as here.
    for group in ("Mod/Import/hSTEP", "Mod/Import"):
        FreeCAD.ParamGet("User parameter:BaseApp/Preferences/" + group).SetBool("ReadShapeCompoundMode", False)
    document = FreeCAD.newDocument("demo")
    ImportGui.insert(os.path.join(folder, "demo.stp"), document.Name)
    roots = [o for o in document.Objects if not o.InList]
    solids = [solid for root in roots for solid in Part.getShape(root).Solids]
    products = [o.Label for o in document.Objects if o.isDerivedFrom("Part::Feature")]
    unnamed = [label for label in products if re.match(r"^(Shell|Solid|Compound|Part__Feature)\d*$", label)]
    parts = boxes(solid.BoundBox for solid in solids)
    stl = Mesh.Mesh(os.path.join(folder, "demo.stl"))
    expected = boxes(component.BoundBox for component in stl.getSeparateComponents())
    for part in parts:
        report.write("solid %s %s\n" % (" ".join("%g" % value for value in part),
                                        "ok" if part in expected else "NOT IN demo.stl"))
    report.write("%d solids read, %d in demo.stl; products %s; unnamed: %s\n"
                 % (len(parts), len(expected), ", ".join(products), unnamed or "none"))
    report.write("result %s\n" % ("ok" if parts == expected and not unnamed else "mismatch"))
except Exception as error:
    report.write("result failed: %r\n" % (error,))
report.close()
os._exit(0)
PYTHON
# FreeCAD's own exit status says nothing about the script.
OV_DEMO="$folder/demo" OV_REPORT="$folder/report" QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox \
  timeout 240 xvfb-run -a freecad "$folder/check.py" >"$folder/output" 2>&1 || true
if [ ! -s "$folder/report" ]; then
  echo "freecad-check: FreeCAD wrote no report:" >&2
  tail -20 "$folder/output" >&2
  exit 1
fi
cat "$folder/report"
grep -q '^result ok' "$folder/report"
