#!/usr/bin/env bash
# Usage: scripts/wine.sh PROGRAM.exe [ARGUMENT...]
# Runs a Windows program of the cross build under Debian's 64-bit Wine, headless and quiet, in a
# Wine prefix of the build tree (made on first use); the cross build's tests run through it.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/windows/wine}
export WINEDEBUG=${WINEDEBUG:--all}
exec /usr/lib/wine/wine64 "$@"
