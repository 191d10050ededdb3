#!/usr/bin/env bash
# Usage: interrupt.sh OVMESH
# Stops the tool by SIGINT or SIGTERM in the middle of conversions of a 27 MB OBJ file, as Ctrl-C or
# a service manager does. It must say so, exit with 128 + the signal's number and leave nothing in the
# output folder: neither the temporary file of the save it was in nor the part files written before.
# While assimp reads a 30 MB PLY file, which it never asks whether to stop, the tool ends within a second.
set -u
ovmesh=$1
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
out=$work/out
# Three groups of 400 x 400 vertices, 950,000 triangles.
awk 'BEGIN { n = 400; for (g = 0; g < 3; ++g) { print "g part" g
  for (i = 0; i < n * n; ++i) print "v", int(i / n), i % n, g + i % 7
  for (i = g * n * n + 1; i < (g + 1) * n * n - n; ++i) if (i % n) print "f", i, i + 1, i + n "\nf", i + 1, i + n + 1, i + n } }' >"$work/big.obj"
awk 'BEGIN { n = 1000000; print "ply\nformat ascii 1.0\nelement vertex " n "\nproperty float x\nproperty float y"
  print "property float z\nelement face " n - 2 "\nproperty list uchar int vertex_indices\nend_header"
  for (i = 0; i < n; ++i) print i % 1000, i % 997, i % 991; for (i = 2; i < n; ++i) print 3, i - 2, i - 1, i }' >"$work/big.ply"
input=$work/big.obj

failures=0
set -m # without it, background jobs of a script ignore SIGINT
# interrupt SIGNAL WHEN OUT [OPTION...]: converts big.obj to OUT in the folder out and sends the
# signal once the shell condition WHEN holds: to the tool, or with a signal "-INT" to its process group
# as a terminal's Ctrl-C does.
interrupt() {
  local signal=$1 when=$2 pid code
  shift 2
  mkdir "$out"
  "$ovmesh" convert "$input" "$@" >"$work/log" 2>&1 & pid=$!
  until eval "$when" || ! kill -0 $pid 2>/dev/null; do sleep 0.001; done
  if [ "${signal:0:1}" = - ]; then signal=${signal:1}; kill -"$signal" -- -$pid; else kill -"$signal" $pid; fi
  local sent=$(date +%s%N)
  wait $pid; code=$?
  local took=$((($(date +%s%N) - sent) / 1000000))
  if [ -n "${within:-}" ] && [ $took -gt $((within * 1000)) ]; then code="$code after $took ms"; fi
  # A shell reports a tool killed by the signal with the same code; the tool that caught it says so.
  if [ "$code" != $((128 + $(kill -l "$signal"))) ] || [ -n "$(ls -A "$out")" ] ||
    ! grep -q '^error: interrupted ' "$work/log"; then
    echo "SIG$signal when $when: exit code $code; left in the folder:" $(ls -A "$out") "; said: $(<"$work/log")"
    failures=$((failures + 1))
  fi
  rm -rf "$out"
}
interrupt INT 'ls -l /proc/$pid/fd | grep -q big.obj' "$out/big.stl"
interrupt INT 'compgen -G "$out/.big.stl.tmp-*" >/dev/null' "$out/big.stl"
interrupt TERM '[ -e "$out/big-part0.stl" ]' "$out/big.stp" --external-parts stl
# Batches: the signal reaches every running conversion, each takes its temporary file away.
interrupt TERM 'compgen -G "$out/.big*.tmp-*" >/dev/null' "$work/big.obj" --to stl --out-dir "$out" -j 2
interrupt -INT 'compgen -G "$out/.big*.tmp-*" >/dev/null' "$work/big.obj" --to stl --out-dir "$out" -j 2
input=$work/big.ply within=1 interrupt TERM 'sleep 1' "$out/big.stl"
# Converting to the standard output: its private folder goes too.
tmp=$work/tmp
mkdir "$tmp"
TMPDIR=$tmp input=$work/big.ply within=1 interrupt TERM 'sleep 1' - --to stl
[ -z "$(ls -A "$tmp")" ] || { echo "left in the temporary folder:" $(ls -A "$tmp"); failures=$((failures + 1)); }
exit $((failures > 0))
