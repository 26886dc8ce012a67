#!/bin/sh
# The device kept in a store file, end to end: one case a run.
# usage: store.sh CASE EXAMPLES -- HOST...   (HOST: the program, with its emulator)
set -u
case=$1 examples=$2
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
fail() { echo "$case: $*"; exit 1; }
"$@" import store.db "$examples/device.jsonl" > /dev/null || fail "import failed"

case $case in
round_trip)
    # The store gives back the records it took, in order within each kind,
    # and its export imports to the very same export.
    "$@" diff "$examples/device.jsonl" store.db > diff.out
    grep -q "^Changes (0)" diff.out && grep -q "no difference" diff.out || fail "$(cat diff.out)"
    "$@" export store.db > first.jsonl && "$@" import again.db first.jsonl > /dev/null &&
        "$@" export again.db > second.jsonl || fail "export or import failed"
    cmp first.jsonl second.jsonl || fail "a second round trip differs"
    "$@" import store.db first.jsonl 2>&1 | grep -q "file exists and is not empty" ||
        fail "import over a store was not refused" ;;
dcbx_persists)
    "$@" dcbx store.db test-and-set 1002 true false > /dev/null || fail "the first run failed"
    "$@" dcbx store.db test-and-set 1002 true false | grep -q "status  EBUSY" ||
        fail "a second run did not see the change"
    "$@" --read-only dcbx store.db reset 1002 | grep -q "readonly database" ||
        fail "a read-only store took a write"
    "$@" export store.db | grep -q '"0":"1002","22":"false"' || fail "the store lost the change" ;;
commit)
    "$@" apply --commit store.db "$examples/uplink-wider.jsonl" > /dev/null
    "$@" export store.db | grep -q '"7":"0x000000000000003f"' || fail "the change was not committed"
    "$@" export store.db > before.jsonl
    echo '{"op": "add", "table": "xnetgroup", "xnet": "/xnets/prod", "columns": {"0": "/xnets/prod/g", "6": "/portgroups/none"}}' > refused.jsonl
    "$@" apply --commit store.db refused.jsonl > out 2>&1
    [ $? -eq 2 ] && grep -q "not committed to store.db: 1 record was refused" out || fail "$(cat out)"
    "$@" export store.db | cmp -s - before.jsonl || fail "a refused change set was committed" ;;
duplicate_commits)
    # A duplicate is no refusal: the module answers it with the entry listed.
    echo '{"op": "add", "table": "portgroup", "columns": {"0": "/pg", "3": "2", "5": "0", "6": "0", "7": "0", "8": "0", "9": "0", "10": "0", "11": "0", "12": "0", "13": "0", "14": "0", "15": "0", "16": "0"}}' > duplicate.jsonl
    "$@" apply --commit store.db duplicate.jsonl > out 2>&1 || fail "$(cat out)"
    "$@" export store.db | grep -q '"0":"/pg"' || fail "the duplicate was not committed" ;;
race)
    # Processes test-and-set one device at once: one wins, the others see
    # its value, and none fails otherwise.
    for i in 1 2 3 4 5 6 7 8; do
        ("$@" dcbx store.db test-and-set 1001 false true > "out.$i"; echo $? > "status.$i") &
    done
    wait
    [ "$(cat status.* | grep -c '^0$')" -eq 1 ] || fail "winners: $(grep -l 'status  0' out.*)"
    [ "$(grep -l 'status  EBUSY' out.* | wc -l)" -eq 7 ] || fail "$(cat out.*)" ;;
foreign)
    # An SQLite file that is no store, or a store of another version, is
    # refused with the reason and left as it was.
    cp store.db newer.db
    python3 -c 'import sqlite3
sqlite3.connect("other.db").execute("create table t (a)").connection.commit()
db = sqlite3.connect("newer.db"); db.execute("pragma user_version = 7"); db.commit()' ||
        fail "python3 could not make the files"
    cp store.db rigged.db && cp store.db phantom.db
    python3 -c 'import sqlite3
db = sqlite3.connect("rigged.db")
db.execute("create trigger t after update on remote_device begin select 1; end"); db.commit()
db = sqlite3.connect("phantom.db")
db.execute("insert into config_record (tbl, c0) values (\"remote_device\", \"7777\")"); db.commit()' ||
        fail "python3 could not rig the stores"
    "$@" dcbx rigged.db set 1001 2>&1 | grep -q "rigged.db: not a configuration store (its schema differs)" ||
        fail "a store with a trigger of another's was used"
    "$@" check phantom.db 2>&1 | grep -q 'phantom.db:config_record:47: tbl is "remote_device"' ||
        fail "a remote device among the configuration records was taken"
    cp other.db other.copy && cp newer.db newer.copy
    "$@" show other.db 2>&1 | grep -q "other.db: not a configuration store" || fail "other.db was read"
    "$@" dcbx newer.db set 1001 2>&1 | grep -q "newer.db: store version 7" || fail "newer.db was read"
    cmp other.db other.copy && cmp newer.db newer.copy || fail "a refused file was changed" ;;
*)
    fail "no such case" ;;
esac
