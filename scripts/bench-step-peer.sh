#!/usr/bin/env bash
# Usage: scripts/bench-step-peer.sh [RUNS] [FILE...]
# Whole processes, side by side: `ovmesh convert FILE OUT.glb` against occt-import-js 0.0.23 reading
# and meshing the same STEP file under node, each with occt-import-js's default meshing (0.001 of
# the shape's size, 0.5 rad). A script rather than a bench program: what is measured is everything a
# user waits for (process start, libraries loaded, node compiling its WebAssembly, the child that
# meshes), and /usr/bin/time gives each process's peak resident memory, its children's included.
# Prints per file the best wall and processor time (user + system) of RUNS runs (default 5), the
# largest peak resident set, the triangles, and the peer's time and memory over ours.
#   OVMESH          the tool (default build/ci/bin/ovmesh)
#   OCCT_IMPORT_JS  the node_modules folder holding occt-import-js (default tests/readers/node_modules)
# Files default to the real files of the shared data (../shared/data/step/real).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
shift || true
ovmesh=${OVMESH:-build/ci/bin/ovmesh}
modules=${OCCT_IMPORT_JS:-tests/readers/node_modules}
files=("$@")
[ ${#files[@]} -gt 0 ] || files=(../shared/data/step/real/*.stp)
[ -x "$ovmesh" ] || { echo "bench-step-peer: no tool at $ovmesh (build the ovmesh target)" >&2; exit 2; }
[ -d "$modules/occt-import-js" ] || { echo "bench-step-peer: no occt-import-js in $modules" >&2; exit 2; }
modules=$(cd "$modules" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# occt-import-js's defaults, in our options: its angular deflection of 0.5 rad in degrees.
meshing=(--deflection 0.001 --angular-deflection 28.6479)

# "WALL CPU KB" of the best wall, best processor time and largest peak of RUNS runs of a command.
measure() {
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$@" >/dev/null 2>"$work/err" ||
      { echo "bench-step-peer: failed: $* ($(tail -n 1 "$work/err"))" >&2; exit 1; }
    cat "$work/time"
  done | awk 'NR == 1 || $1 < wall { wall = $1 } NR == 1 || $2 + $3 < cpu { cpu = $2 + $3 }
              $4 > kb { kb = $4 } END { printf "%.3f %.3f %d\n", wall, cpu, kb }'
}

printf '%-34s | %-29s | %-29s | %s\n' "file" "ours: wall s, cpu s, MB, tri" \
  "occt-import-js: the same" "peer/ours: wall, cpu, memory"
for file in "${files[@]}"; do
  read -r our_wall our_cpu our_kb < <(measure "$ovmesh" convert --quiet "$file" "$work/out.glb" "${meshing[@]}")
  our_triangles=$("$ovmesh" tree --json "$file" "${meshing[@]}" |
    grep -o '"totals":{[^}]*}' | tail -n 1 | sed 's/.*"triangles":\([0-9]*\).*/\1/')
  read -r peer_wall peer_cpu peer_kb < <(measure node bench/step/occt_import_js_read.js "$modules" 1 "$file")
  peer_triangles=$(node bench/step/occt_import_js_read.js "$modules" 1 "$file" | awk '{ print $3 }')
  awk -v name="$(basename "$file")" -v ow="$our_wall" -v oc="$our_cpu" -v ok="$our_kb" -v ot="$our_triangles" \
      -v pw="$peer_wall" -v pc="$peer_cpu" -v pk="$peer_kb" -v pt="$peer_triangles" 'BEGIN {
    printf "%-34s | %6.2f %6.2f %6.1f %7d | %6.2f %6.2f %6.1f %7d | %5.1fx %5.1fx %5.1fx\n", name,
      ow, oc, ok / 1024, ot, pw, pc, pk / 1024, pt, pw / ow, pc / (oc > 0 ? oc : 0.01), pk / ok }'
done
