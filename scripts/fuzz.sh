#!/usr/bin/env bash
# Usage: scripts/fuzz.sh TARGET SECONDS
# Builds the fuzz targets with clang, libFuzzer, ASan and UBSan (every library instrumented for
# coverage) and runs TARGET for SECONDS, seeded with its committed corpus. Inputs that reach new
# code are merged back into fuzz/corpus/TARGET, which CI replays; a finding is left in
# build/fuzz/findings/TARGET and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target" -j "$(nproc)"
binary=$(find build/fuzz/fuzz -type f -name "$target" -perm -u+x | head -n 1)
[ -n "$binary" ] || { echo "fuzz: no target named $target" >&2; exit 2; }

seeds=fuzz/corpus/$target
work=build/fuzz/work/$target
findings=build/fuzz/findings/$target
mkdir -p "$seeds" "$work" "$findings"
# The target's words and shapes, when it has a dictionary of them.
dict=fuzz/$target/$target.dict
[ -f "$dict" ] || dict=
# Leaks of an outside library that the target's suppressions excuse, as its replay test does.
suppressions=fuzz/$target/lsan.supp
[ -f "$suppressions" ] && export LSAN_OPTIONS=suppressions=$PWD/$suppressions

# assimp's readers instrumented, in place of the installed library, for the target that drives them.
[ "$target" = assimp_import ] && export LD_LIBRARY_PATH=$(scripts/instrumented-assimp.sh)

"$binary" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1 \
  ${dict:+"-dict=$dict"} -artifact_prefix="$findings/" "$work" "$seeds"
"$binary" -merge=1 "$seeds" "$work" 2>&1 | grep -E 'MERGE-OUTER: [0-9]+ new files' || true
