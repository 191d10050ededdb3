#!/usr/bin/env bash
# Builds the coverage preset (gcc --coverage, -O0, build/coverage), runs the tests that are not
# labelled slow (nor the export check, which gcov's own symbols fail), and prints the line coverage of the library: platform/, meshdrivers/, and both.
# Not part of scripts/test.sh or CI: it is the measure to take before and after reshaping tests.
# Arguments go to ctest (say -E NAME to leave a test out).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs"
find build/coverage -name '*.gcda' -delete
# One test at a time: tests that run the tool at once update the same .gcda files, and gcovr
# then meets counts it cannot read.
ctest --preset coverage -j 1 "$@" || echo "coverage: some tests failed; the numbers below count what ran"

summary=build/coverage/coverage-summary.json
# The tool's child processes write a file's counters at the same time now and then; gcov then
# reports a negative count for a branch, which would stop gcovr without a figure.
gcovr --root . --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles' \
  --filter 'platform/' --filter 'meshdrivers/' \
  -j "$jobs" --json-summary "$summary" --gcov-ignore-parse-errors >/dev/null
/usr/bin/python3 - "$summary" <<'PY'
import json, sys
files = json.load(open(sys.argv[1]))["files"]
def line(name, prefixes):
    chosen = [f for f in files if f["filename"].startswith(prefixes)]
    total = sum(f["line_total"] for f in chosen)
    covered = sum(f["line_covered"] for f in chosen)
    print(f"coverage {name:12} {covered:6} / {total:6} lines  {100.0 * covered / max(total, 1):5.1f}%")
line("platform", ("platform/",))
line("meshdrivers", ("meshdrivers/",))
line("total", ("platform/", "meshdrivers/"))
PY
