#!/usr/bin/env bash
# manual_page.sh OVMESH PAGE: the manual page lists the commands, options and arguments that --help
# lists, command by command, and man renders it without a warning.
set -euo pipefail
tool=$1 page=$2
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT

# "COMMAND NAME" for every option name and argument in the --help of the tool ("-") or of a
# command, and "command NAME" for every command; the help flag only where the tool lists it.
from_help() {
  "$tool" ${1:+"$1"} --help | awk -v command="${1:--}" '
    /^[A-Za-z ]+:$/ { section = $0; next }
    !/^  [^ ]/ { next }
    section == "Subcommands:" { print "command", $1 }
    section == "Positionals:" { print command, $1 }
    section == "Options:" {
      count = split($1, names, ",")
      for (i = 1; i <= count; ++i) if (command == "-" || names[i] !~ /^--?h(elp)?$/) print command, names[i]
    }'
}
# The same pairs from the rendered page: option tags and arguments under OPTIONS and under each
# command's heading in COMMANDS.
from_page() {
  LC_ALL=C MANWIDTH=200 man --warnings -l "$page" 2>"$work/warnings" | awk '
    /^[A-Z]/ { section = $0; command = "-"; next }
    section == "COMMANDS" && /^   [^ ]/ { command = $1; print "command", command; next }
    section !~ /^(OPTIONS|COMMANDS)$/ || !/^       [^ ]/ { next }
    $1 ~ /^[A-Z]+$/ { print command, $1; next }
    { for (i = 1; i <= NF && $i ~ /^-/; ++i) { sub(/,$/, "", $i); print command, $i } }'
}

{
  from_help ""
  for command in $(from_help "" | awk '$1 == "command" { print $2 }'); do from_help "$command"; done
} | sort >"$work/help"
from_page | sort >"$work/page"
[ ! -s "$work/warnings" ] || { cat "$work/warnings"; echo "FAILED: man warns about $page" >&2; exit 1; }
grep -q '^command convert$' "$work/help" || { echo "FAILED: no commands read from --help" >&2; exit 1; }
diff -u "$work/help" "$work/page" || { echo "FAILED: the manual page and --help list different options" >&2; exit 1; }
echo "manual page lists what --help lists: ok"
