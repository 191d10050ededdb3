"""Prints what an independent STL reader sees in a file.

Line 1: the facet count. Line 2: the smallest and largest x, y, z.
Line 3: the distinct colour words, ascending.
"""
import sys
import warnings

warnings.simplefilter("ignore")
from stl import mesh  # noqa: E402  (numpy-stl)

solid = mesh.Mesh.from_file(sys.argv[1])
print(len(solid.vectors))
print(" ".join("%g" % v for v in list(solid.min_) + list(solid.max_)))
print(" ".join(str(int(word)) for word in sorted(set(solid.attr.ravel()))))
