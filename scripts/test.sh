#!/usr/bin/env bash
# Sets up, checks the formatting, builds with warnings as errors and runs every test; then builds again
# with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test again.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
jobs=$(nproc)

echo "== format: every C++ file as .clang-format lays it out"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

for preset in ci ci-sanitize; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done
