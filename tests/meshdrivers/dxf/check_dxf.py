"""Reads each DXF file given with ezdxf; exits non-zero unless every file
passes the audit and shows every LINE entity of its text."""
import sys

import ezdxf

for path in sys.argv[1:]:
    doc = ezdxf.readfile(path)
    written = open(path).read().count("0\nLINE\n")
    found, errors = len(doc.modelspace().query("LINE")), len(doc.audit().errors)
    if errors or found != written:
        sys.exit(f"{path}: {errors} audit errors, {found} of {written} LINE entities read")
