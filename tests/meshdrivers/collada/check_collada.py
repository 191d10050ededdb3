"""Reads each COLLADA document given with pycollada and the COLLADA 1.4.1
schema bundled with it, and prints for each one what they found:

  schema <tag>                  a known complaint (see KNOWN_COMPLAINTS)
  up <axis> / effect <id> <shading> ...  when not Z_UP / for a phong or not opaque effect
  geometry [lines] <triangles or segments> <x y z ...> [colours <r g b ...>]
  node <16 matrix values, row by row> [mesh <geometry index> <material>]
  rejected                      pycollada refused the document

Any other schema complaint ends the run with a non-zero status."""
import re
import sys

import collada
import numpy
from collada import material as cmaterial
from collada import scene as cscene
from collada import schema
from lxml import etree

# What our documents do that the schema does not allow, by a text each
# complaint contains.
NS = "{http://www.collada.org/2005/11/COLLADASchema}"
KNOWN_COMPLAINTS = {
    # Texture-bound channels come before the colours in a textured lambert.
    "lambert-order": re.compile(r"Element '%s(emission|ambient|diffuse|reflective)': This element is not expected" % re.escape(NS)),
    # A scene without meshes has an empty geometry library.
    "empty-library_geometries": re.compile(r"Element '%slibrary_geometries': Missing child element" % re.escape(NS)),
    # Numbers that are not finite are written as C prints them, not as
    # NaN, INF and -INF.
    "non-finite": re.compile(r"'[^']*\b(nan|inf)\b[^']*' is not a valid value"),
    # Names become ids as they stand, but for blanks, number signs and colons.
    "invalid-id": re.compile(r"is not a valid value of the atomic type 'xs:(ID|IDREF|NCName)'"),
    # Texture-coordinate inputs of "vertices" carry their set.
    "texcoord-set": re.compile(r"Element '%sinput', attribute 'set'" % re.escape(NS)),
}


def number(value):
    return "%.6g" % value


def schema_tags(path):
    validator = schema.ColladaValidator()
    document = etree.parse(path)
    validator.validate(document)
    tags = set()
    for error in validator.COLLADA_SCHEMA_1_4_1_INSTANCE.error_log:
        matches = [tag for tag, pattern in KNOWN_COMPLAINTS.items() if pattern.search(error.message)]
        if not matches:
            sys.exit(f"{path}:{error.line}: {error.message}")
        tags.update(matches)
    return sorted(tags)


def material_text(geometry_node):
    if not geometry_node.materials:
        return "none"
    bound = geometry_node.materials[0]
    if bound.symbol != geometry_node.geometry.primitives[0].material:
        return "mismatch"
    diffuse = bound.target.effect.diffuse
    if isinstance(diffuse, cmaterial.Map):
        return "diffuse map"
    return "diffuse " + " ".join(number(c) for c in diffuse)


def print_node(node, geometries):
    line = ["node"] + [number(v) for v in node.matrix.flatten()]
    for child in node.children:
        if isinstance(child, cscene.GeometryNode):
            line += ["mesh", str(geometries.index(child.geometry.id)), material_text(child)]
    print(" ".join(line))
    for child in node.children:
        if isinstance(child, cscene.Node):
            print_node(child, geometries)


for path in sys.argv[1:]:
    print("document")
    for tag in schema_tags(path):
        print("schema", tag)
    try:
        document = collada.Collada(path, ignore=[collada.DaeUnsupportedError])
    except Exception:
        print("rejected")
        continue
    if document.assetInfo.upaxis != "Z_UP":
        print("up", document.assetInfo.upaxis)
    for effect in document.effects:
        # The opacity as pycollada's A_ONE mode gives it.
        opacity = effect.transparency * (effect.transparent[3] if isinstance(effect.transparent, tuple) else 1)
        if effect.shadingtype != "lambert" or opacity < 1:
            print("effect", effect.id, effect.shadingtype, "specular", effect.specular, "shininess",
                  effect.shininess, "opacity", number(opacity))
    geometries = [geometry.id for geometry in document.geometries]
    for geometry in document.geometries:
        triangles = geometry.primitives[0]
        # pycollada has no vertex array for a source without numbers.
        vertex = triangles.vertex if triangles.vertex is not None else []
        positions = [number(v) for v in numpy.ravel(vertex)]
        kind = ["lines"] if isinstance(triangles, collada.lineset.LineSet) else []
        colours = triangles.sources["COLOR"]
        colours = ["colours"] + [number(v) for v in numpy.ravel(colours[0][4].data)] if colours else []
        print(" ".join(["geometry"] + kind + [str(len(triangles))] + positions + colours))
    for node in document.scene.nodes:
        print_node(node, geometries)
