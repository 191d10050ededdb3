"""Prints in one line what independent readers see in an STL, SVG, DXF, COLLADA or glTF (.glb) file."""
import re
import subprocess
import sys
import warnings
from xml.etree import ElementTree

warnings.simplefilter("ignore")
import ezdxf  # noqa: E402
from stl import mesh  # noqa: E402  (numpy-stl)


def span(values):
    return "%g..%g" % (round(min(values), 2), round(max(values), 2))


def stl(path):
    solid = mesh.Mesh.from_file(path)
    words = " ".join(str(int(word)) for word in sorted(set(solid.attr.ravel())))
    bounds = " ".join("%g" % v for v in list(solid.min_) + list(solid.max_))
    admesh = subprocess.run(["admesh", path], capture_output=True, text=True, check=True).stdout
    stats = dict(re.findall(r"(Number of parts|Volume|Facets reversed) *: *(\S+)", admesh))
    return "%d facets in %s, colours %s; %s parts, volume %.0f, %s reversed" % (
        len(solid.vectors), bounds, words, stats["Number of parts"], float(stats["Volume"]),
        stats["Facets reversed"])


def svg(path):
    root = ElementTree.parse(path).getroot()
    paths = [element.get("d") for element in root.iter("{http://www.w3.org/2000/svg}path")]
    points = [tuple(map(float, pair)) for d in paths for pair in re.findall(r"([-\d.e]+),([-\d.e]+)", d)]
    return "%s x %s, %d paths in x %s y %s" % (root.get("width"), root.get("height"), len(paths),
                                               span([p[0] for p in points]), span([p[1] for p in points]))


def dxf(path):
    document = ezdxf.readfile(path)
    lines = document.modelspace().query("LINE")
    points = [point for line in lines for point in (line.dxf.start, line.dxf.end)]
    return "%d lines in x %s y %s, %d audit errors" % (len(lines), span([p.x for p in points]),
                                                       span([p.y for p in points]), len(document.audit().errors))


def dae(path):
    import collada
    document = collada.Collada(path, ignore=[collada.DaeUnsupportedError])
    primitives = [primitive for geometry in document.geometries for primitive in geometry.primitives]
    segments = sum(len(p) for p in primitives if isinstance(p, collada.lineset.LineSet))
    instances = list(document.scene.objects("geometry"))
    images = " ".join(sorted(image.path for image in document.images))
    return "%d geometries, %d triangles, %d segments, %d instances, %d materials, %s, images %s" % (
        len(document.geometries), sum(len(p) for p in primitives) - segments, segments, len(instances),
        len(document.materials), document.assetInfo.upaxis, images)


def glb(path):
    info = subprocess.run(["assimp", "info", path], capture_output=True, text=True, check=True).stdout
    counts = dict(re.findall(r"^(Nodes|Meshes|Faces|Materials|Textures \(embed\.\)): *(\d+)", info, re.M))
    return "%s nodes, %s meshes, %s faces, %s materials, %s embedded textures (assimp)" % (
        counts["Nodes"], counts["Meshes"], counts["Faces"], counts["Materials"], counts["Textures (embed.)"])


reader = {"stl": stl, "svg": svg, "dxf": dxf, "dae": dae, "glb": glb}.get(sys.argv[1].rsplit(".", 1)[-1])
print(reader(sys.argv[1]) if reader else "no reader")
