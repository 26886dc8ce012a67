#!/bin/sh
# A command killed at every call that changes a file, one run a call, as a
# power cut or SIGKILL would stop it: the store then opens, holds the old or
# the new configuration exactly (its log naming the command's commit exactly
# when it holds the new one), and once a command has opened it to read,
# nothing is left beside it. Each kill is made twice: before the call, and
# for a write, after half of it (a torn write).
# usage: crash.sh CASE KILLER EXAMPLES -- HOST...   (CASE: import, commit,
# rollback, confirm, dcbx, recovery; KILLER: the preloaded library that kills)
set -u
case=$1 killer=$2 examples=$3
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
fail() { echo "$case: $*"; exit 1; }

# A store large enough that a commit writes the main file over many pages,
# and a change set whose records lie all over it, that frees pages and adds
# more: the file's first page, with the schema, changes too.
python3 -c 'for k in range(5000, 6200):
    print("{\"table\": \"remote_device\", \"columns\": {\"0\": \"%d\", \"5\": \"%s\", \"22\": \"false\"}}" % (k, "x" * 100))' > devices.jsonl
cat "$examples/device.jsonl" devices.jsonl > old.jsonl
python3 -c 'for k in range(5000, 6200, 101):
    print("{\"op\": \"change\", \"table\": \"remote_device\", \"columns\": {\"0\": \"%d\", \"5\": \"y\", \"22\": \"true\"}}" % k)
for k in range(5001, 6200, 113):
    print("{\"op\": \"remove\", \"table\": \"remote_device\", \"columns\": {\"0\": \"%d\"}}" % k)
for k in range(9000, 9040):
    print("{\"op\": \"add\", \"table\": \"remote_device\", \"columns\": {\"0\": \"%d\", \"5\": \"%s\"}}" % (k, "z" * 300))' > changes.jsonl
cat "$examples/uplink-wider.jsonl" >> changes.jsonl
"$@" import old.db old.jsonl > /dev/null || fail "cannot import"
"$@" export old.db > old.jsonl
cp old.db new.db && "$@" apply --host faithful --commit new.db changes.jsonl > /dev/null 2>&1
"$@" export new.db > new.jsonl && ! cmp -s old.jsonl new.jsonl || fail "the commit changed nothing"
mv new.db committed.db

# The command under test on work.db, with the killer preloaded: its
# settings (KILL_AT, KILL_TORN, KILL_COUNT) come from the environment.
run() {
    case $case in
    import) LD_PRELOAD=$killer "$@" import work.db old.jsonl ;;
    commit) LD_PRELOAD=$killer "$@" apply --host faithful --commit work.db changes.jsonl ;;
    rollback) LD_PRELOAD=$killer "$@" rollback work.db 0 ;;
    # Too late: it rolls the overdue commit back, and says the store changed.
    confirm) LD_PRELOAD=$killer "$@" confirm work.db; [ $? -eq 4 ] ;;
    dcbx) LD_PRELOAD=$killer "$@" dcbx work.db set 6000 ;;
    recovery) LD_PRELOAD=$killer "$@" show work.db ;;
    esac
}
set_up() {
    rm -f work.db*
    case $case in
    commit | dcbx) cp old.db work.db ;;
    rollback) cp committed.db work.db ;;
    confirm) cp overdue.db work.db ;;
    recovery) cp hot.db work.db && cp hot.db-journal work.db-journal ;;
    esac
}
case $case in
dcbx) "$@" export old.db | sed 's/{"0":"6000","5":"\(x*\)","22":"false"}/{"0":"6000","5":"\1","22":"true"}/' > new.jsonl ;;
import | recovery) cp old.jsonl new.jsonl ;;
rollback) mv new.jsonl old.jsonl && "$@" export old.db > new.jsonl ;;
confirm)
    # A commit whose deadline passed unconfirmed, whatever killed whom since.
    cp old.db overdue.db &&
        "$@" apply --host faithful --commit --confirm 1 overdue.db changes.jsonl > /dev/null 2>&1 ||
        fail "cannot commit with --confirm"
    sleep 2
    mv new.jsonl old.jsonl && "$@" export old.db > new.jsonl ;;
esac
# The command's commit, as the log names it.
case $case in
commit) logged="apply --host faithful --commit work.db changes.jsonl" ;;
rollback) logged="rollback work.db 0" ;;
confirm) logged="rollback of commit 1, unconfirmed by its deadline, before: confmodel-host confirm work.db" ;;
*) logged= ;;
esac
if [ "$case" = recovery ]; then
    # A writer killed while it writes the main file: its journal is hot.
    rm -f work.db* && cp old.db work.db
    LD_PRELOAD=$killer KILL_COUNT=$work/count "$@" apply --host faithful --commit work.db changes.jsonl > /dev/null 2>&1 ||
        fail "an uninterrupted commit failed"
    cp old.db work.db
    LD_PRELOAD=$killer KILL_AT=$(( $(cat count) - 4 )) "$@" apply --host faithful --commit work.db changes.jsonl > /dev/null 2>&1
    [ -s work.db-journal ] || fail "no journal left to recover"
    "$@" --read-only show work.db > /dev/null 2>&1 && fail "the journal left is not hot"
    mv work.db hot.db && mv work.db-journal hot.db-journal
fi

set_up
export KILL_COUNT="$work/count"
run "$@" > /dev/null 2>&1 || fail "an uninterrupted run failed"
unset KILL_COUNT
calls=$(cat count)
[ "$calls" -ge 10 ] || fail "only $calls calls change a file"
for torn in "" 1; do
    [ -n "$torn" ] && export KILL_TORN=1
    k=1
    while [ "$k" -le "$calls" ]; do
        set_up
        export KILL_AT=$k
        run "$@" > /dev/null 2>&1
        status=$?
        [ "$status" -ne 0 ] || fail "call $k of $calls${torn:+ (torn)}: the run was not killed"
        if [ -e work.db ]; then
            "$@" export work.db > got.jsonl 2> err ||
                fail "call $k${torn:+ (torn)}: the store cannot be opened: $(cat err)"
            cmp -s got.jsonl new.jsonl || cmp -s got.jsonl old.jsonl ||
                fail "call $k${torn:+ (torn)}: the store is neither the old nor the new one"
            if [ -n "$logged" ]; then
                cmp -s got.jsonl new.jsonl && new=1 || new=0
                "$@" log work.db | head -1 | grep -q " $logged\$" && named=1 || named=0
                [ "$new" = "$named" ] ||
                    fail "call $k${torn:+ (torn)}: the log disagrees with the records: $("$@" log work.db | head -1)"
            fi
        fi
        # A new import to the same name clears what a killed one left.
        if [ "$case" = import ]; then "$@" import work.db old.jsonl > /dev/null 2>&1; fi
        left=$(ls | grep '^work\.db.' | tr '\n' ' ')
        [ -z "$left" ] || fail "call $k${torn:+ (torn)}: left beside the store: $left"
        k=$((k + 1))
    done
done
echo "$case: $calls calls, each killed before it and torn"
