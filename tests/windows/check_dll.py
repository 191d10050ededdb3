#!/usr/bin/python3
"""Checks the Windows library's PE file: its version resource says the library's version and
names, its file type is a DLL, and it exports the library's interface and nothing of the tool
chain's C++ runtime. Usage: check_dll.py ovMeshDrivers.dll"""
import sys

import pefile

EXPECTED_STRINGS = {
    "FileVersion": "3, 0, 0, 1559 #3a56870edff467bd",
    "ProductVersion": "3, 0, 0, 1559 #3a56870edff467bd",
    "OriginalFilename": "ovMeshDrivers.dll",
    "ProductName": "ovMeshDrivers",
    "FileDescription": "ovMeshDrivers",
    "InternalName": "ovMeshDrivers",
    "Comments": "ovMeshDrivers",
}
VERSION = (3 << 16, (0 << 16) | 1559)  # 3.0 and 0.1559 as the fixed file info packs them
FILE_TYPE_DLL = 2
# Mangled names of the C++ runtime's own classes, which a library built with hidden visibility
# must not hand on.
RUNTIME_PREFIXES = ("_ZNSt", "_ZNKSt", "_ZSt", "_ZTISt", "_ZTVSt", "__gxx", "__cxa")


def main(path):
    pe = pefile.PE(path)
    problems = []
    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key, expected in EXPECTED_STRINGS.items():
        if strings.get(key) != expected:
            problems.append("%s is %r, not %r" % (key, strings.get(key), expected))
    fixed = pe.VS_FIXEDFILEINFO[0]
    for name, found in (("file", (fixed.FileVersionMS, fixed.FileVersionLS)),
                        ("product", (fixed.ProductVersionMS, fixed.ProductVersionLS))):
        if found != VERSION:
            problems.append("the fixed %s version is %s" % (name, found))
    if fixed.FileType != FILE_TYPE_DLL:
        problems.append("the file type is %d, not a DLL" % fixed.FileType)
    exports = [symbol.name.decode() for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols if symbol.name]
    if "initializeOvMeshDrivers" not in " ".join(exports):
        problems.append("initializeOvMeshDrivers is not exported")
    leaked = [name for name in exports if name.startswith(RUNTIME_PREFIXES)]
    if leaked:
        problems.append("%d runtime symbols are exported, e.g. %s" % (len(leaked), leaked[:3]))
    for problem in problems:
        print("check_dll: " + problem)
    print("check_dll: %s: version resource and %d exports %s" % (path, len(exports), "bad" if problems else "ok"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
