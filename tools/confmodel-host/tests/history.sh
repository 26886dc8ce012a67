#!/bin/sh
# Rolling a store back through its log of commits: one case a run.
# usage: history.sh CASE EXAMPLES -- HOST...   (HOST: the program, with its emulator)
set -u
case=$1 examples=$2
shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
fail() { echo "$case: $*"; exit 1; }

case $case in
rollback)
    # Random commits and rollbacks, from random configurations.
    for round in 1 2 3 4; do
        rm -f ./*
        python3 "$here/history.py" "$examples" 30 "$@" || exit 1
    done ;;
rollback_refused)
    # A rollback the log cannot carry out is refused, saying why, and leaves
    # the store as it was, byte for byte.
    cat > changes.jsonl <<EOF2
{"op": "change", "table": "remote_device", "columns": {"0": "1001", "5": "rack 4", "22": "true"}}
{"op": "remove", "table": "remote_device", "columns": {"0": "1002"}}
{"op": "add", "table": "remote_device", "columns": {"0": "1003", "22": "false"}}
EOF2
    "$@" import store.db "$examples/device.jsonl" > /dev/null &&
        "$@" apply --commit --host faithful store.db changes.jsonl > /dev/null &&
        "$@" apply --commit --host faithful store.db "$examples/uplink-wider.jsonl" > /dev/null ||
        fail "could not make a store of 2 commits"
    "$@" import old.db "$examples/device.jsonl" > /dev/null && python3 -c 'import sqlite3
db = sqlite3.connect("old.db")
for t in ("added", "changed", "removed"): db.execute("drop trigger config_record_" + t)
db.execute("drop table record_writes"); db.execute("drop table commit_writes")
db.execute("drop table commit_log"); db.execute("drop table commit_text"); db.execute("pragma user_version = 1"); db.commit()' ||
        fail "python3 could not make an old store"
    # refused STORE SEQ TEXT SQL HOST...: on a copy of STORE altered by SQL.
    refused() {
        store=$1 seq=$2 text=$3 sql=$4
        shift 4
        cp "$store" bad.db && python3 -c 'import sqlite3, sys
db = sqlite3.connect("bad.db"); db.execute(sys.argv[1]); db.commit()' "${sql:-select 1}" &&
            cp bad.db before.db || fail "python3 could not alter the store"
        "$@" rollback bad.db "$seq" > out 2>&1
        status=$?
        [ "$status" = 2 ] || fail "rollback $seq${sql:+ after $sql}: exit $status: $(cat out)"
        grep -q "$text" out || fail "rollback $seq${sql:+ after $sql}: $(cat out)"
        cmp -s bad.db before.db || fail "rollback $seq${sql:+ after $sql}: the refusal changed the store"
    }
    refused store.db 9 "no commit 9 in its log" "" "$@"
    refused store.db -1 "not in range" "" "$@"
    refused old.db 0 "keeps no log of its commits" "" "$@"
    cp "$examples/device.jsonl" bad.db && "$@" rollback bad.db 0 2>&1 | grep -q "not a store file" ||
        fail "a dump was rolled back"
    # The undoing of a commit altered: a row, a record's column, a digest.
    refused store.db 0 "the log was altered" \
        "update commit_text set undo = replace(undo, '\"op\":\"add\",\"row\":2,', '\"op\":\"add\",\"row\":3,') where seq = 1" "$@"
    refused store.db 0 "the log was altered" \
        "update commit_text set undo = replace(undo, '\"row\":1,', '\"row\":7,') where seq = 1" "$@"
    refused store.db 1 "does not lead back to what commit 1 left" \
        "update commit_text set undo = replace(undo, '0x000000000000000f', '0x000000000000001f') where seq = 2" "$@"
    refused store.db 0 "does not lead back to what commit 1 left" "update commit_log set digest = digest + 1 where seq = 1" "$@"
    refused store.db 1 "not those its newest commit, 2, left" "update commit_log set digest = digest - 1 where seq = 2" "$@"
    refused store.db 0 "written past the log" "update remote_device set f5 = 'rack 5' where key = 1001" "$@"
    # Past the change sets log --keep dropped, no rollback reaches.
    "$@" log store.db --keep 1 > out || fail "log --keep 1: $(cat out)"
    "$@" log store.db --keep 1 > out
    [ $? = 1 ] || fail "log --keep 1 again: $(cat out)"
    refused store.db 0 "log --keep dropped it" "" "$@"
    "$@" rollback store.db 1 > out 2>&1 || fail "rollback to the newest but one: $(cat out)"
    "$@" log store.db | head -1 | grep -q "^3  .*rollback store.db 1$" || fail "$("$@" log store.db)" ;;
*)
    fail "no such case" ;;
esac
