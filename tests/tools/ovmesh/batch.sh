#!/usr/bin/env bash
# Usage: batch.sh OVMESH
# Converts a folder of 200 small OBJ files into another with two conversions at once. One file is
# broken and one shares its name with another in a sub-folder: the others are written, the broken one
# is reported once, the shared name is numbered, the exit code is 1, and no temporary file is left.
set -u
ovmesh=$1
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"
for i in $(seq 1 199); do printf 'v 0 0 0\nv 1 0 0\nv 0 %d 0\nf 1 2 3\n' $i >"$work/in/m$i.obj"; done
printf 'v 0 0 0\nf 1 2 7\n' >"$work/in/m13.obj"
cp "$work/in/m1.obj" "$work/in/sub/m1.obj"
echo 'not a model' >"$work/in/notes.txt"

"$ovmesh" convert "$work/in" --to stl --out-dir "$work/out" -j 2 >"$work/log" 2>"$work/err"
code=$?
fail() { echo "$1; said: $(<"$work/err")"; exit 1; }
[ $code = 1 ] || fail "exit code $code"
expected=$( (seq 1 199 | grep -vx 13 | sed 's/.*/m&.stl/'; echo m1-2.stl) | sort)
[ "$(ls -A "$work/out" | sort)" = "$expected" ] || fail "written: $(ls -A "$work/out" | tr '\n' ' ')"
[ "$(grep -c '^wrote ' "$work/log")" = 199 ] || fail "reported: $(<"$work/log")"
[ "$(grep -c '^error: ' "$work/err")" = 1 ] && grep -q '^error: .*/m13.obj:2: ' "$work/err" ||
  fail "the broken file is not reported once, with its line"
grep -q "^warning: '$work/in/sub/m1.obj' is written as 'm1-2.stl'" "$work/err" || fail "no note of m1-2.stl"
grep -Eq '^converted 199, failed 1, in [0-9.]+ s$' "$work/err" || fail "no summary"
