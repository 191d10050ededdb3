#!/usr/bin/env bash
# Usage: scripts/instrumented-assimp.sh
# Builds assimp's PLY, STL and OFF readers from Debian's source of the installed version with
# clang, ASan and libFuzzer's coverage (build/fuzz-deps/assimp, kept between runs) and prints the
# folder of the shared library. The assimp_import fuzz target loads it in place of the installed
# one (the same soname): the fuzzer then sees into assimp's readers, and ASan sees what they do to
# memory, which the installed library hides. When apt knows no source packages, a deb-src entry
# is derived from the machine's own apt sources first (that step needs root).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD/build/fuzz-deps/assimp
version=$(dpkg-query -W -f='${source:Version}' libassimp5)
library=$root/build/bin

if [ -f "$library/libassimp.so.5" ] && [ "$(cat "$root/version" 2>/dev/null)" = "$version" ]; then
  echo "$library"
  exit 0
fi

source scripts/apt-sources.sh
ensure_source_entries assimp

rm -rf "$root"
mkdir -p "$root"
(cd "$root" && apt-get source -qq "assimp=$version" >&2)
flags="-fsanitize=address,fuzzer-no-link -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S "$root"/assimp-*/ -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DBUILD_SHARED_LIBS=ON \
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF -DASSIMP_BUILD_PLY_IMPORTER=ON \
  -DASSIMP_BUILD_STL_IMPORTER=ON -DASSIMP_BUILD_OFF_IMPORTER=ON -DASSIMP_NO_EXPORT=ON \
  -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
  -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_BUILD_ZLIB=OFF >&2
cmake --build "$root/build" -j "$(nproc)" >&2
echo "$version" >"$root/version"
echo "$library"
