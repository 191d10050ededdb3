#!/usr/bin/env bash
# Sets up, builds the release tool and saves the bundled demo scene in every
# format the library writes, into the folder given (default: out/demo).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target ovmesh
./build/release/bin/ovmesh demo "${1:-out/demo}"
