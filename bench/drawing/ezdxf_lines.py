"""Writes LINE entities with ezdxf, for the drawing benchmark's comparison.

Usage: ezdxf_lines.py POINTS OUTPUT
POINTS holds little-endian float32 quadruples (start u, start v, end u, end v),
one per segment. Every segment becomes a LINE on layer "0" with z = 0, as the
driver writes it; the document is saved to OUTPUT. Prints the number of
segments and the seconds spent creating the entities and saving, reading the
points excluded.
"""
import array
import sys
import time

import ezdxf


def main(points_path, output_path):
    points = array.array("f")
    with open(points_path, "rb") as stream:
        points.frombytes(stream.read())
    if sys.byteorder != "little":
        points.byteswap()

    started = time.perf_counter()
    doc = ezdxf.new()
    modelspace = doc.modelspace()
    attributes = {"layer": "0"}
    for i in range(0, len(points), 4):
        modelspace.add_line((points[i], points[i + 1], 0.0), (points[i + 2], points[i + 3], 0.0),
                            dxfattribs=attributes)
    doc.saveas(output_path)
    elapsed = time.perf_counter() - started
    print(f"segments={len(points) // 4} seconds={elapsed:.6f}")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
