#!/usr/bin/env bash
# Sets up what the library and the tool are built from (no test tool chain), builds the optimised
# tool and its manual page (build/package/bin/ovmesh, build/package/share/man/man1/ovmesh.1) and
# saves the bundled demo scene in every format the library writes, into the folder given (default:
# out/demo).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh --runtime
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)" --target ovmesh ovmesh_manual_page
./build/package/bin/ovmesh demo "${1:-out/demo}"
