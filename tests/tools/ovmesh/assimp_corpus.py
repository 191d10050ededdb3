"""Converts every model of assimp's own test corpus (Debian's assimp-testmodels) in the folders below
to STL, COLLADA and glTF, and compares the triangles (and for STL and COLLADA the bounding box) of each
output with what `assimp info` reports for the input; the glTF-Validator (under node, when installed)
must find no error and no warning in any .glb. A model assimp refuses must be refused with a message;
none may crash or take longer than the fuzzing limit (processor time). Usage: assimp_corpus.py OVMESH"""
import pathlib
import re
import resource
import shutil
import subprocess
import sys
import tempfile

MODELS = pathlib.Path("/usr/share/assimp/models")
FOLDERS = ["glTF2", "FBX", "PLY", "3DS", "STL", "Collada", "3MF"]
EXTENSIONS = {".gltf", ".glb", ".fbx", ".ply", ".3ds", ".stl", ".dae", ".zae", ".3mf"}
SECONDS = 5
WALL_SECONDS = 60
SKIPPED = 77
READERS = pathlib.Path(__file__).resolve().parents[2] / "readers"
NUMBER = r"(-?[\d.]+(?:e[-+]?\d+)?|-?nan|-?inf)"


def run(arguments):
    """(exit code, output). The fuzzing limit counts processor time, which a loaded machine does not stretch
    (SIGXCPU past it); a run waiting on nothing is cut off by the wall clock (code None)."""
    try:
        done = subprocess.run(arguments, capture_output=True, text=True, errors="replace", timeout=WALL_SECONDS,
                              preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_CPU, (SECONDS, SECONDS)))
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired:
        return None, "no answer in %d s" % WALL_SECONDS


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


def check(tool, model, work, glb):
    """The reason the model fails, or None; its glTF conversion is left at glb."""
    expected = info(model)
    for kind in ("stl", "dae", "glb"):
        output = glb if kind == "glb" else work / ("out." + kind)
        code, text = run([tool, "-q", "convert", str(model), str(output)])
        if code not in (0, 1) or "Sanitizer" in text:
            return "%s: exit %s: %s" % (kind, code, text.strip()[-400:])
        # A model without triangles may leave an output empty, which the tool refuses.
        if code == 1 and "it would hold no geometry" in text and (expected is None or "triangles" not in expected[1]):
            continue
        if expected is None or code != 0:
            refused = code == 1 and "cannot read '%s': " % model in text
            if not refused or (expected is not None and "is not finite" not in text):
                return "%s: exit %s where assimp %s the file: %s" % (
                    kind, code, "refuses" if expected is None else "reads", text.strip())
            continue
        reason = compare(kind, model, output, expected)
        if reason:
            return "%s: %s" % (kind, reason)
    return None


def compare(kind, model, output, expected):
    """assimp reads our file: the same triangles in a box of the same size. The STL writer moves the
    triangles into the positive octant; assimp turns our COLLADA to Y-up when it says Z-up and applies
    its unit (an FBX or 3MF input keeps its own; any other must come out in metres)."""
    faces, types, corners = expected
    if "triangles" not in types:
        return None
    seen = info(output)
    if seen is None:
        return "assimp refuses ours"
    triangles_only = types == ["triangles"]
    if seen[0] != faces if triangles_only else seen[0] > faces:
        return "assimp sees %d faces in ours, %d (%s) in the input" % (seen[0], faces, " ".join(types))
    if not (triangles_only and corners and seen[2]) or kind == "glb":
        return None
    extents = [hi - lo for lo, hi in zip(*seen[2])]
    if kind == "dae":
        document = output.read_text()
        unit = float(re.search(r'<unit[^>]*meter="([^"]+)"', document).group(1))
        scale = unit if model.suffix.lower() in (".fbx", ".3mf") else 1.0
        turned = "<up_axis>Z_UP</up_axis>" in document
        extents = [extents[0] / scale, extents[2 if turned else 1] / scale, extents[1 if turned else 2] / scale]
    wanted = [hi - lo for lo, hi in zip(*corners)]
    if not all(abs(a - b) <= 1e-5 + 1e-4 * max(wanted) for a, b in zip(extents, wanted)):
        return "a box of %s, assimp sees %s in the input" % (extents, wanted)
    return None


def validation_failures(folder, glbs):
    """The .glb files the glTF-Validator finds errors or warnings in, with its counts."""
    written = sorted(name for name in glbs if (folder / name).exists())
    done = subprocess.run(["node", str(READERS / "read_gltf.mjs"), "validate"] + written, cwd=folder,
                          capture_output=True, text=True) if shutil.which("node") else None
    if done is None or done.returncode == SKIPPED:
        print("glTF validation skipped: needs node and %s" % (READERS / "node_modules" / "gltf-validator"))
        return []
    counts = dict(re.findall(r"^(m\d+\.glb): (.*)$", done.stdout, re.M))
    return ["%s: glb: %s" % (glbs[name].relative_to(MODELS), counts.get(name, "not validated"))
            for name in written if not counts.get(name, "").startswith("0 errors, 0 warnings")]


def main():
    tool = sys.argv[1]
    if not MODELS.is_dir() or not shutil.which("assimp"):
        print("skipped: needs %s (Debian's assimp-testmodels) and assimp (assimp-utils)" % MODELS)
        return SKIPPED
    models = sorted(path for folder in FOLDERS for path in (MODELS / folder).rglob("*")
                    if path.suffix.lower() in EXTENSIONS)
    failures = []
    with tempfile.TemporaryDirectory() as gltf:
        glbs = {}
        for index, model in enumerate(models):
            glbs["m%03d.glb" % index] = model
            with tempfile.TemporaryDirectory() as work:
                reason = check(tool, model, pathlib.Path(work), pathlib.Path(gltf) / ("m%03d.glb" % index))
            if reason:
                failures.append("%s: %s" % (model.relative_to(MODELS), reason))
        failures += validation_failures(pathlib.Path(gltf), glbs)
    print("%d models, %d failed" % (len(models), len(failures)))
    print("\n".join(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
