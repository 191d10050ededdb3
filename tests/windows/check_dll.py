#!/usr/bin/python3
"""Checks the Windows library's PE file: its version resource states the library's version and
names and a DLL, and it exports the library's interface and nothing of the C++ runtime's.
Usage: check_dll.py ovMeshDrivers.dll"""
import sys

import pefile

VERSION_TEXT = "3, 0, 0, 1559 #3a56870edff467bd"
EXPECTED = dict(FileVersion=VERSION_TEXT, ProductVersion=VERSION_TEXT, OriginalFilename="ovMeshDrivers.dll",
                ProductName="ovMeshDrivers", FileDescription="ovMeshDrivers", InternalName="ovMeshDrivers",
                Comments="ovMeshDrivers")
RUNTIME_PREFIXES = ("_ZNSt", "_ZNKSt", "_ZSt", "_ZTISt", "_ZTVSt", "__gxx", "__cxa")


def problems_of(pe):
    strings = {k.decode(): v.decode() for info in pe.FileInfo[0] for table in getattr(info, "StringTable", [])
               for k, v in table.entries.items()}
    found = [f"{k} is {strings.get(k)!r}, not {v!r}" for k, v in EXPECTED.items() if strings.get(k) != v]
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS)
    if numbers != (3 << 16, 1559, 3 << 16, 1559) or fixed.FileType != 2:  # 3.0.0.1559, a DLL
        found.append(f"the fixed version {numbers} or file type {fixed.FileType} is wrong")
    exports = [symbol.name.decode() for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols if symbol.name]
    if not any("initializeOvMeshDrivers" in name for name in exports):
        found.append("initializeOvMeshDrivers is not exported")
    found += [f"{name} of the C++ runtime is exported" for name in exports if name.startswith(RUNTIME_PREFIXES)]
    return found, len(exports)


if __name__ == "__main__":
    problems, exported = problems_of(pefile.PE(sys.argv[1]))
    print("\n".join(["check_dll: " + p for p in problems] + [f"check_dll: {exported} exports; {len(problems)} problems"]))
    sys.exit(1 if problems else 0)
