#!/bin/sh
# Progress on standard error: under a terminal, for work over a second, one
# line redrawn in place with the records done, the rate and, where the size
# is known, the share done; erased before any other line and at the end.
# Nothing without a terminal or with --quiet.
# usage: progress.sh -- HOST...   (HOST: the program, with its emulator)
set -eu
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }
host=
for word in "$@"; do
    host="$host '$word'"
done
# Each xnet is checked against every one listed: 40,000 take seconds to
# build. The last one is a duplicate, which the module logs.
awk 'BEGIN { for (i = 1; i <= 40000; i++)
    printf "{\"table\": \"xnet\", \"columns\": {\"0\": \"/x/%d\", \"5\": \"%d\"}}\n", i, i
    print "{\"table\": \"xnet\", \"columns\": {\"0\": \"/dup\", \"5\": \"1\"}}" }' > "$work/big.jsonl"
# A pipe that stalls takes seconds to read.
head -n 100 "$work/big.jsonl" > "$work/start.jsonl"
sed -n 101,200p "$work/big.jsonl" > "$work/rest.jsonl"
stalled="(cat '$work/start.jsonl'; sleep 1.5; cat '$work/rest.jsonl')"
echo "<stdin>: 0 errors, 0 warnings from the module; 0 errors, 0 warnings from the host" > "$work/report"

# On a terminal: script runs the command on a pseudo-terminal of its own.
on_terminal() {
    script -qec "$1" /dev/null < /dev/null > "$work/terminal" || fail "$1: exit status $?"
}
on_terminal "$host show '$work/big.jsonl' vlan 1"
grep -q "confmodel-host: building the model: [0-9]* records, [0-9]* a second, [0-9]*%" "$work/terminal" ||
    fail "no progress on a terminal: $(cat -v "$work/terminal")"
grep -q "$(printf '\r\033\\[K')$work/big.jsonl:40001: err: duplicated xnet entry found!" "$work/terminal" ||
    fail "a line logged is not on a line of its own: $(cat -v "$work/terminal")"
grep -q "$(printf '\r\033\\[K')  Ethernet /x/1: VLAN 1," "$work/terminal" ||
    fail "the progress is not erased before the answer: $(cat -v "$work/terminal")"
on_terminal "$stalled | $host check -"
grep -q "confmodel-host: reading <stdin>: 100 records, [0-9]* a second$(printf '\033')\[K" "$work/terminal" ||
    fail "no progress while reading: $(cat -v "$work/terminal")"
on_terminal "$host check '$work/start.jsonl'"
! grep -q "confmodel-host" "$work/terminal" || fail "progress within a second: $(cat -v "$work/terminal")"
on_terminal "$stalled | $host --quiet check -"
tr -d '\r' < "$work/terminal" | cmp -s - "$work/report" || fail "progress with --quiet: $(cat -v "$work/terminal")"
sh -c "$stalled | $host check -" > "$work/plain" 2> "$work/plain.err" || fail "check failed: $(cat "$work/plain.err")"
[ ! -s "$work/plain.err" ] && cmp -s "$work/plain" "$work/report" ||
    fail "progress without a terminal: $(cat -v "$work/plain.err")"
echo "progress on a terminal only, on a line of its own, erased in the end"
