"""Converts every model of assimp's own test corpus (Debian's assimp-testmodels) in the folders below
to STL and to COLLADA, and compares the triangles and bounding box of each output with what
`assimp info` reports for the input. A model assimp refuses must be refused with a message; none may
crash or take longer than the fuzzing limit. Usage: assimp_corpus.py OVMESH"""
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile

MODELS = pathlib.Path("/usr/share/assimp/models")
FOLDERS = ["glTF2", "FBX", "PLY", "3DS", "STL", "Collada", "3MF"]
EXTENSIONS = {".gltf", ".glb", ".fbx", ".ply", ".3ds", ".stl", ".dae", ".zae", ".3mf"}
SECONDS = 5
SKIPPED = 77
NUMBER = r"(-?[\d.]+(?:e[-+]?\d+)?|-?nan|-?inf)"


def run(arguments):
    """(exit code, standard error); None for the code of a run cut off by the time limit."""
    try:
        done = subprocess.run(arguments, capture_output=True, text=True, errors="replace", timeout=SECONDS)
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired:
        return None, "no answer in %d s" % SECONDS


def info(path):
    """Faces, primitive types and bounding box (all instances placed) that assimp sees; None if it refuses."""
    code, text = run(["assimp", "info", str(path), "-ptv", "-tri", "-vds"])
    faces = re.search(r"Faces:\s+(\d+)", text)
    if code != 0 or not faces:
        return None
    types = re.search(r"Primitive Types:\s+(.*)", text).group(1).split()
    box = [re.search(r"%s point\s+\(%s %s %s\)" % ((which,) + (NUMBER,) * 3), text) for which in ("Minimum", "Maximum")]
    corners = [tuple(float(v) for v in match.groups()) for match in box] if all(box) else None
    return int(faces.group(1)), types, corners


def stl_facts(path):
    data = path.read_bytes()
    (count,) = struct.unpack_from("<I", data, 80)
    points = [struct.unpack_from("<3f", data, 84 + 50 * i + 12 + 12 * corner)
              for i in range(count) for corner in range(3)]
    extents = [max(p[a] for p in points) - min(p[a] for p in points) for a in range(3)] if points else None
    return count, extents


def close(a, b, size):
    return all(abs(x - y) <= 1e-5 + 1e-4 * size for x, y in zip(a, b))


def check(tool, model, work):
    """The reason the model fails, or None."""
    expected = info(model)
    outputs = {kind: work / ("out." + kind) for kind in ("stl", "dae")}
    for kind, output in outputs.items():
        code, text = run([tool, "-q", "convert", str(model), str(output)])
        if code is None or code not in (0, 1) or "Sanitizer" in text:
            return "%s: exit %s: %s" % (kind, code, text.strip()[-400:])
        if expected is None:
            if code != 1 or "cannot read '%s': " % model not in text:
                return "%s: assimp refuses the file, ovmesh answered %s: %s" % (kind, code, text.strip())
            continue
        if code != 0 and "is not finite" not in text:
            return "%s: assimp reads the file, ovmesh refused it: %s" % (kind, text.strip())
        if code != 0:
            return None
    if expected is None:
        return None
    faces, types, corners = expected
    triangles_only = types == ["triangles"]
    size = max(hi - lo for lo, hi in zip(*corners)) if corners else 0.0
    count, extents = stl_facts(outputs["stl"])
    if count != faces if triangles_only else count > faces:
        return "stl: %d triangles, assimp sees %d faces (%s)" % (count, faces, " ".join(types))
    if triangles_only and count and not close(extents, [hi - lo for lo, hi in zip(*corners)], size):
        return "stl: extents %s, assimp sees %s" % (extents, corners)
    return check_collada(model, outputs["dae"], expected, triangles_only, size)


def check_collada(model, dae, expected, triangles_only, size):
    """assimp reads our COLLADA: the same triangles, placed alike once its Z-up turn (x, z, -y) is undone and
    the unit our document states is taken out (FBX keeps its own unit; other inputs must come out in metres)."""
    faces, types, corners = expected
    seen = info(dae)
    if seen is None:
        return "dae: assimp refuses our document"
    # Without triangles ours holds no geometry, where assimp puts a stand-in of its own.
    if "triangles" in types and (seen[0] != faces if triangles_only else seen[0] > faces):
        return "dae: assimp sees %d faces in ours, %d in the input" % (seen[0], faces)
    if not (triangles_only and faces and corners and seen[2]):
        return None
    meter = float(re.search(r'<unit[^>]*meter="([^"]+)"', dae.read_text()).group(1))
    scale = meter if model.suffix.lower() == ".fbx" else 1.0
    upright = [(x / scale, -z / scale, y / scale) for x, y, z in seen[2]]
    lows = [min(a, b) for a, b in zip(*upright)]
    highs = [max(a, b) for a, b in zip(*upright)]
    if not (close(lows, corners[0], size) and close(highs, corners[1], size)):
        return "dae: box %s..%s (unit %g m), assimp sees %s in the input" % (lows, highs, meter, corners)
    return None


def main():
    tool = sys.argv[1]
    if not MODELS.is_dir() or not shutil.which("assimp"):
        print("skipped: needs %s (Debian's assimp-testmodels) and assimp (assimp-utils)" % MODELS)
        return SKIPPED
    models = sorted(path for folder in FOLDERS for path in (MODELS / folder).rglob("*")
                    if path.suffix.lower() in EXTENSIONS)
    failures = []
    for model in models:
        with tempfile.TemporaryDirectory() as work:
            reason = check(tool, model, pathlib.Path(work))
        if reason:
            failures.append("%s: %s" % (model.relative_to(MODELS), reason))
    print("%d models, %d failed" % (len(models), len(failures)))
    print("\n".join(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
