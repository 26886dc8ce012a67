#!/bin/sh
# Runs a command and checks its exit status and what it printed.
# usage: check.sh STATUS [-e TEXT]... [-x TEXT]... [-i INPUT] -- COMMAND [ARG]...
#   STATUS    the exit status expected
#   -e TEXT   the output (standard output and error together) contains TEXT
#   -x TEXT   the output does not contain TEXT
#   -i INPUT  INPUT, and a newline, is the command's standard input
set -eu
expected=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/in"
: > "$work/present"
: > "$work/absent"
while [ "$1" != "--" ]; do
    case $1 in
    -e) printf '%s\n' "$2" >> "$work/present" ;;
    -x) printf '%s\n' "$2" >> "$work/absent" ;;
    -i) printf '%s\n' "$2" > "$work/in" ;;
    *) echo "check.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
shift

status=0
"$@" < "$work/in" > "$work/out" 2>&1 || status=$?
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
if [ "$failed" -ne 0 ]; then
    echo "--- output of: $*"
    cat "$work/out"
fi
exit "$failed"
