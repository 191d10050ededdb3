#!/usr/bin/env bash
# Usage: batch.sh OVMESH
# Converts a folder of 201 small OBJ files into another with two conversions at once. One file is
# broken, one has no geometry and one shares its name with another in a sub-folder: the others are
# written, each failure is reported once, every line naming its input, the shared name is numbered,
# a named pipe and a broken link are passed over and counted, the exit code is 1, and no temporary
# file is left.
set -u
ovmesh=$1
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"
for i in $(seq 1 199); do printf 'v 0 0 0\nv 1 0 0\nv 0 %d 0\nf 1 2 3\n' $i >"$work/in/m$i.obj"; done
printf 'v 0 0 0\nf 1 2 7\n' >"$work/in/m13.obj"
cp "$work/in/m1.obj" "$work/in/sub/m1.obj"
printf 'v 0 0 0\n' >"$work/in/sub/points.obj"
mkfifo "$work/in/pipe.obj" && ln -s nowhere.obj "$work/in/gone.obj"
echo 'not a model' >"$work/in/notes.txt"

"$ovmesh" convert "$work/in" --to stl --out-dir "$work/out" -j 2 >"$work/log" 2>"$work/err"
code=$?
fail() { echo "$1; said: $(<"$work/err")"; exit 1; }
[ $code = 1 ] || fail "exit code $code"
expected=$( (seq 1 199 | grep -vx 13 | sed 's/.*/m&.stl/'; echo m1-2.stl) | sort)
[ "$(ls -A "$work/out" | sort)" = "$expected" ] || fail "written: $(ls -A "$work/out" | tr '\n' ' ')"
[ "$(grep -c '^wrote ' "$work/log")" = 199 ] || fail "reported: $(<"$work/log")"
[ "$(grep -c '^error: ' "$work/err")" = 2 ] && grep -q '^error: .*/m13.obj:2: ' "$work/err" ||
  fail "the broken file is not reported once, with its line"
grep -q "^error: '$work/in/sub/points.obj': cannot write .* no geometry" "$work/err" || fail "no error of points"
! grep -E '^(warning|error): ' "$work/err" | grep -qv "$work/in/" || fail "a line names no input"
grep -q "^warning: '$work/in/sub/m1.obj' is written as 'm1-2.stl'" "$work/err" || fail "no note of m1-2.stl"
grep -q "^warning: '$work/in/gone.obj' is passed over: it is a symbolic link that leads to no file" "$work/err" &&
  grep -q "^warning: '$work/in/pipe.obj' is passed over: it is a named pipe" "$work/err" || fail "no note of those"
grep -Eq '^converted 199, failed 2, passed over 2, in [0-9.]+ s$' "$work/err" || fail "no summary"
