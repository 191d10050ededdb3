"""Reads DXF files with ezdxf, audits them and prints what it found.

Usage: check_dxf.py FILE...
Prints one line per file: "<file> lines=<LINE entities> errors=<audit errors>".
Exits 1 when a file cannot be read or its audit finds errors.
"""
import sys

import ezdxf


def check(path):
    try:
        doc = ezdxf.readfile(path)
    except (IOError, ezdxf.DXFError) as error:
        print(f"{path} unreadable: {error}")
        return False
    auditor = doc.audit()
    lines = sum(1 for entity in doc.modelspace() if entity.dxftype() == "LINE")
    print(f"{path} lines={lines} errors={len(auditor.errors)}")
    return not auditor.errors


if __name__ == "__main__":
    results = [check(path) for path in sys.argv[1:]]
    sys.exit(0 if all(results) else 1)
