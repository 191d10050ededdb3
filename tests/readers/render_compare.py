#!/usr/bin/python3
"""Renders models of Debian's assimp-testmodels converted to .glb by ovmesh with three.js in
headless Chromium beside a reference (a glTF model itself, else assimp's own .glb export), each
framed by its own box from one direction, and compares the pictures pixel by pixel: a model that
stands, shines or shows through differently fails, and its picture is kept in KEEP_DIR.
Usage: render_compare.py OVMESH KEEP_DIR [MODEL ...]   (exit 77: a reader or a model is missing)"""
import os, shutil, subprocess, sys, tempfile

MODELS_DIR = "/usr/share/assimp/models"
MODELS = ["OBJ/spider.obj", "OBJ/cube_with_vertexcolors.obj", "OBJ/WusonOBJ.obj", "PLY/Wuson.ply",
          "X3D/ComputerKeyboard.x3d", "glTF2/ClearCoat-glTF/ClearCoatTest.gltf",
          "glTF2/BoxTextured-glTF/BoxTextured.gltf", "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb",
          "FBX/spider.fbx", "3DS/fels.3ds"]
CHANNEL_TOLERANCE = 40  # of 255: a pixel differs when one of its channels differs by more
LARGEST_DIFFERENCE = 0.05  # of the pixels either picture covers
PANEL, BACKGROUND = (480, 360), (0xF4, 0xF4, 0xF4)
HERE = os.path.dirname(os.path.abspath(__file__))
RENDER = os.path.join(HERE, "..", "..", "scripts", "render-gltf.sh")


def missing(models):
    needed = ["/usr/bin/chromium", "/usr/bin/assimp", "/usr/lib/python3/dist-packages/PIL",
              os.path.join(HERE, "node_modules", "three")] + models
    return next((path + " is missing" for path in needed if not os.path.exists(path)), None)


def reference_of(model, folder):
    if model.endswith((".gltf", ".glb")):
        return model
    for name in os.listdir(os.path.dirname(model)):  # the files it names, its textures
        os.symlink(os.path.join(os.path.dirname(model), name), os.path.join(folder, name))
    exported = os.path.join(folder, "reference.glb")
    subprocess.run(["assimp", "export", model, exported, "-fglb2"], check=True, capture_output=True)
    return exported


def difference(picture):
    import numpy
    from PIL import Image

    pixels = numpy.asarray(Image.open(picture).convert("RGB"), dtype=numpy.int16)
    reference, ours = pixels[:, :PANEL[0]], pixels[:, PANEL[0]:2 * PANEL[0]]
    covered = (numpy.abs(reference - BACKGROUND).max(axis=2) > 0) | (numpy.abs(ours - BACKGROUND).max(axis=2) > 0)
    differs = numpy.abs(reference - ours).max(axis=2) > CHANNEL_TOLERANCE
    return float((differs & covered).sum()) / max(int(covered.sum()), 1)


def compare(ovmesh, model, keep):
    with tempfile.TemporaryDirectory() as work:
        reference = reference_of(model, work)
        ours, picture = os.path.join(work, "ours.glb"), os.path.join(work, "pair.png")
        subprocess.run([ovmesh, "convert", model, ours, "--quiet"], check=True, capture_output=True)
        subprocess.run([RENDER, picture, reference, ours], check=True, capture_output=True,
                       env=dict(os.environ, RENDER_SIZE="%dx%d" % PANEL))
        share = difference(picture)
        if share > LARGEST_DIFFERENCE:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(picture, os.path.join(keep, os.path.basename(model) + ".png"))
        return share


def main(ovmesh, keep, *names):
    models = [os.path.join(MODELS_DIR, name) for name in (names or MODELS)]
    reason = missing(models)
    if reason:
        print("skipped: " + reason)
        return 77
    shares = {os.path.relpath(model, MODELS_DIR): compare(ovmesh, model, keep) for model in models}
    for name, share in shares.items():
        print("%-55s %5.1f%% of the covered pixels differ" % (name, 100 * share))
    return 1 if max(shares.values()) > LARGEST_DIFFERENCE else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]) if len(sys.argv) >= 3 else __doc__)
