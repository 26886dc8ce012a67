#!/bin/sh
# Runs a command and checks its exit status and what it printed.
# usage: check.sh STATUS [-e TEXT]... [-s TEXT]... [-x TEXT]... [-i INPUT | -c -] -- COMMAND [ARG]...
#   STATUS    the exit status expected
#   -e TEXT   the output (standard output and error together) contains TEXT
#   -s TEXT   the output contains TEXT on a line after the previous -s TEXT
#   -x TEXT   the output does not contain TEXT
#   -i INPUT  INPUT, and a newline, is the command's standard input
#   -c -      the command runs with its standard input closed
set -eu
expected=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/in"
: > "$work/present"
: > "$work/absent"
: > "$work/sequence"
closed=0
while [ "$1" != "--" ]; do
    case $1 in
    -e) printf '%s\n' "$2" >> "$work/present" ;;
    -s) printf '%s\n' "$2" >> "$work/sequence" ;;
    -x) printf '%s\n' "$2" >> "$work/absent" ;;
    -i) printf '%s\n' "$2" > "$work/in" ;;
    -c) closed=1 ;;
    *) echo "check.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
shift

status=0
if [ "$closed" -eq 1 ]; then
    "$@" <&- > "$work/out" 2>&1 || status=$?
else
    "$@" < "$work/in" > "$work/out" 2>&1 || status=$?
fi
failed=0
if [ "$status" -ne "$expected" ]; then
    echo "exit status $status, expected $expected"
    failed=1
fi
while IFS= read -r text; do
    grep -qF -- "$text" "$work/out" || { echo "missing: $text"; failed=1; }
done < "$work/present"
while IFS= read -r text; do
    ! grep -qF -- "$text" "$work/out" || { echo "unexpected: $text"; failed=1; }
done < "$work/absent"
after=0
while IFS= read -r text; do
    after=$(grep -nF -- "$text" "$work/out" | awk -F: -v after="$after" '$1 > after { print $1; exit }')
    [ -n "$after" ] || { echo "missing in sequence: $text"; failed=1; break; }
done < "$work/sequence"
if [ "$failed" -ne 0 ]; then
    echo "--- output of: $*"
    cat "$work/out"
fi
exit "$failed"
