#!/usr/bin/python3
"""Renders models of Debian's assimp-testmodels converted to .glb by ovmesh with three.js in
headless Chromium beside a reference, each from the same direction and framed by its own box, and
compares the pictures pixel by pixel: a model that stands, shines or shows through differently
fails. The reference of a glTF model is the model itself; of the others, assimp's own .glb export.

Usage: render_compare.py OVMESH KEEP_DIR [MODEL ...]   (exit 77: a reader or the models are missing)
The pictures of a model that differs too much are kept in KEEP_DIR.
"""
import os
import shutil
import subprocess
import sys
import tempfile

MODELS_DIR = "/usr/share/assimp/models"
MODELS = [
    "OBJ/spider.obj",  # JPEG textures
    "OBJ/cube_with_vertexcolors.obj",  # vertex colours, no material
    "OBJ/WusonOBJ.obj",  # Y-up
    "PLY/Wuson.ply",  # Y-up by its writers' habit
    "X3D/ComputerKeyboard.x3d",  # Y-up by definition
    "glTF2/ClearCoat-glTF/ClearCoatTest.gltf",  # alpha blending, roughness, metallic
    "glTF2/BoxTextured-glTF/BoxTextured.gltf",
    "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb",
    "FBX/spider.fbx",
    "3DS/fels.3ds",
]
# A pixel differs when one of its channels differs by more than this (of 255).
CHANNEL_TOLERANCE = 40
# A model fails when more than this share of the pixels either picture covers differ.
LARGEST_DIFFERENCE = 0.05
PANEL = (480, 360)
BACKGROUND = (0xF4, 0xF4, 0xF4)
HERE = os.path.dirname(os.path.abspath(__file__))
RENDER = os.path.join(HERE, "..", "..", "scripts", "render-gltf.sh")


def missing_readers():
    try:
        import numpy  # noqa: F401
        from PIL import Image  # noqa: F401
    except ImportError as error:
        return "python3-numpy or python3-pil: %s" % error
    for tool in ("chromium", "assimp"):
        if shutil.which(tool) is None:
            return "%s is not installed" % tool
    if not os.path.isdir(os.path.join(HERE, "node_modules", "three")):
        return "three.js is not installed under tests/readers (scripts/setup.sh)"
    return None


def run(arguments, **options):
    return subprocess.run(arguments, check=True, capture_output=True, text=True, **options)


def reference_of(model, folder):
    """The model itself when it is glTF, else assimp's .glb beside links to the files the model
    names (its textures)."""
    if model.endswith((".gltf", ".glb")):
        return model
    source = os.path.dirname(model)
    for name in os.listdir(source):
        if os.path.isfile(os.path.join(source, name)):
            os.symlink(os.path.join(source, name), os.path.join(folder, name))
    exported = os.path.join(folder, "reference.glb")
    run(["assimp", "export", model, exported, "-fglb2"])
    return exported


def difference(picture):
    """The share of covered pixels that differ between the left and the right panel."""
    import numpy
    from PIL import Image

    pixels = numpy.asarray(Image.open(picture).convert("RGB"), dtype=numpy.int16)
    width = PANEL[0]
    reference, ours = pixels[:, :width], pixels[:, width : 2 * width]
    covered = (numpy.abs(reference - BACKGROUND).max(axis=2) > 0) | (numpy.abs(ours - BACKGROUND).max(axis=2) > 0)
    differs = numpy.abs(reference - ours).max(axis=2) > CHANNEL_TOLERANCE
    return float((differs & covered).sum()) / max(int(covered.sum()), 1)


def compare(ovmesh, model, keep):
    with tempfile.TemporaryDirectory() as work:
        reference_folder = os.path.join(work, "reference")
        os.mkdir(reference_folder)
        reference = reference_of(model, reference_folder)
        ours = os.path.join(work, "ours.glb")
        run([ovmesh, "convert", model, ours, "--quiet"])
        picture = os.path.join(work, "pair.png")
        run([RENDER, picture, reference, ours], env=dict(os.environ, RENDER_SIZE="%dx%d" % PANEL))
        share = difference(picture)
        if share > LARGEST_DIFFERENCE:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(picture, os.path.join(keep, os.path.basename(model) + ".png"))
        return share


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    ovmesh, keep = sys.argv[1], sys.argv[2]
    models = [os.path.join(MODELS_DIR, name) for name in (sys.argv[3:] or MODELS)]
    reason = missing_readers() or next(("%s is missing (assimp-testmodels)" % m for m in models if not os.path.exists(m)), None)
    if reason:
        print("skipped: " + reason)
        return 77
    failures = 0
    for model in models:
        share = compare(ovmesh, model, keep)
        verdict = "ok" if share <= LARGEST_DIFFERENCE else "DIFFERS (kept in %s)" % keep
        print("%-45s %5.1f%% of the covered pixels differ  %s" % (os.path.relpath(model, MODELS_DIR), 100 * share, verdict))
        failures += share > LARGEST_DIFFERENCE
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
