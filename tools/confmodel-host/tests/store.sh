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
    "$@" import store.db first.jsonl 2>&1 | grep -q "store.db: exists already" ||
        fail "import over a store was not refused"
    # A store larger than any block of the writer gives back its dump, line
    # for line, in the form export writes.
    python3 -c 'for k in range(5000, 10000):
    print("{\"table\":\"remote_device\",\"columns\":{\"0\":\"%d\",\"5\":\"%s\",\"22\":\"false\"}}" % (k, "x" * 60))' > devices.jsonl
    "$@" import devices.db devices.jsonl > /dev/null && "$@" export devices.db | cmp -s - devices.jsonl ||
        fail "the export of a large store differs from its dump" ;;
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
    # A change to what a row holds already is no row change of the commit.
    printf '%s\n' '{"op": "change", "table": "remote_device", "columns": {"0": "1001", "22": "true"}}' \
        '{"op": "change", "table": "remote_device", "columns": {"0": "1002", "22": "true"}}' > mixed.jsonl
    "$@" apply --commit store.db mixed.jsonl | grep -q "commit 1 row change in one" ||
        fail "a change to what a row holds counted as a row change"
    "$@" export store.db > before.jsonl
    echo '{"op": "add", "table": "xnetgroup", "xnet": "/xnets/prod", "columns": {"0": "/xnets/prod/g", "6": "/portgroups/none"}}' > refused.jsonl
    "$@" apply --commit store.db refused.jsonl > out 2>&1
    [ $? -eq 2 ] && grep -q "not committed to store.db: 1 record was refused" out || fail "$(cat out)"
    "$@" export store.db | cmp -s - before.jsonl || fail "a refused change set was committed" ;;
held_back)
    # A record the module refuses and one the host skips (its xnet, a
    # duplicate's, goes) each hold back the commit, told apart, after the
    # steps that show them.
    cat > twins.jsonl <<'EOF'
{"table": "portgroup", "columns": {"0": "/pg", "3": "1", "5": "0", "6": "0", "7": "0x1", "8": "7", "9": "0", "10": "0", "11": "0", "12": "0", "13": "0", "14": "0", "15": "0", "16": "0"}}
{"table": "xnet", "columns": {"0": "/a", "5": "5"}}
{"table": "xnet", "columns": {"0": "/b", "5": "5"}}
{"table": "xnetgroup", "xnet": "/b", "columns": {"0": "/b/g", "6": "/pg"}}
EOF
    "$@" import twins.db twins.jsonl > /dev/null || fail "import failed"
    "$@" export twins.db > before.jsonl
    cat > changes.jsonl <<'EOF'
{"op": "remove", "table": "xnet", "columns": {"0": "/a"}}
{"op": "add", "table": "xnet", "columns": {"0": "/c", "5": "6"}}
{"op": "add", "table": "xnetgroup", "xnet": "/c", "columns": {"0": "/c/g", "6": "/none"}}
EOF
    "$@" apply --commit twins.db changes.jsonl > out 2>&1
    status=$?
    [ $status -eq 2 ] || fail "exit status $status: $(cat out)"
    grep -F -e 'skip xnetgroup "/b/g" under "/b"' -e "not committed to twins.db" out > order
    sed -n 1p order | grep -q 'skip xnetgroup' &&
        sed -n 2p order | grep -qF "not committed to twins.db: 1 record was refused by the module and 1 skipped by the host for want of its xnet," ||
        fail "$(cat out)"
    "$@" apply --host faithful --commit twins.db changes.jsonl 2>&1 | grep -q "1 record was refused by the module, while" ||
        fail "the faithful host skipped a record"
    "$@" export twins.db | cmp -s - before.jsonl || fail "a held back change set was committed" ;;
changed_meanwhile)
    # The store changes after apply has read it and before its change set
    # comes (apply opens the pipe only once it has read the store): the
    # commit is refused, and the other writer's change stays.
    mkfifo changes.pipe
    "$@" apply --commit store.db changes.pipe > out 2>&1 &
    exec 3> changes.pipe
    "$@" dcbx store.db test-and-set 1002 true false > /dev/null || fail "the other writer failed"
    "$@" export store.db > meanwhile.jsonl
    cat "$examples/uplink-wider.jsonl" >&3
    exec 3>&-
    wait $! && fail "the commit was not refused: $(cat out)"
    grep -q "store.db: changed since it was read; nothing was committed" out || fail "$(cat out)"
    "$@" export store.db | cmp -s - meanwhile.jsonl || fail "the store changed" ;;
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
import_race)
    # Two imports to one new path, 20 times: one store, one refusal, and the
    # winner's store never removed.
    for round in $(seq 20); do
        rm -f race.db
        "$@" import race.db "$examples/device.jsonl" > out.1 2>&1 & one=$!
        "$@" import race.db "$examples/device.jsonl" > out.2 2>&1 & two=$!
        wait $one; s1=$?; wait $two; s2=$?
        [ "$s1$s2" = 02 ] || [ "$s1$s2" = 20 ] || fail "round $round: statuses $s1 and $s2: $(cat out.*)"
        grep -q "race.db: \(exists already\|created by another process meanwhile\)" out.1 out.2 ||
            fail "round $round: $(cat out.*)"
        "$@" export race.db > race.jsonl && "$@" export store.db | cmp -s - race.jsonl ||
            fail "round $round: the store is not whole"
        [ -z "$(ls | grep unfinished)" ] || fail "round $round: left $(ls | grep unfinished)"
    done ;;
killed_import | killed_commit)
    # SIGKILL at points spread over a whole run, 20 times: the store is
    # absent or whole (import), old or new (apply --commit); never empty,
    # never a mix. Only a temporary file that says what it is may be left
    # once the store has been read: its journal is gone.
    python3 -c 'import sys
for k in range(5000, 10000): print("{\"table\": \"remote_device\", \"columns\": {\"0\": \"%d\", \"5\": \"%s\", \"22\": \"false\"}}" % (k, "x" * 60))
if sys.argv[1] == "killed_commit":
    with open("changes.jsonl", "w") as out:
        for k in range(5000, 10000, 2): out.write("{\"op\": \"change\", \"table\": \"remote_device\", \"columns\": {\"0\": \"%d\", \"22\": \"true\"}}\n" % k)' "$case" > devices.jsonl
    cat "$examples/device.jsonl" devices.jsonl > big.jsonl
    "$@" import old.db big.jsonl > /dev/null && "$@" export old.db > old.jsonl || fail "cannot import"
    # The kills fall from the start to the end of an uninterrupted run.
    start() { # HOST...: the run, in the background
        rm -f new.db new.db.unfinished-*
        if [ "$case" = killed_import ]; then "$@" import new.db big.jsonl > /dev/null 2>&1 &
        else cp old.db new.db && "$@" apply --commit new.db changes.jsonl > /dev/null 2>&1 & fi
    }
    begin=$(date +%s%N)
    start "$@"
    wait $! || fail "an uninterrupted run failed"
    whole=$(( ($(date +%s%N) - begin) / 1000000 ))
    "$@" export new.db > new.jsonl
    for round in $(seq 20); do
        start "$@"
        pid=$!
        sleep "$(awk "BEGIN { print $whole * $round / 20000 }")"
        kill -KILL $pid 2> /dev/null
        { wait $pid; } 2> /dev/null
        if [ -e new.db ]; then
            "$@" export new.db > got.jsonl || fail "round $round: the store cannot be read"
            cmp -s got.jsonl new.jsonl || cmp -s got.jsonl old.jsonl ||
                fail "round $round: the store is a mix ($(wc -l < got.jsonl) lines)"
        fi
        [ -z "$(ls | grep -v -e '^new\.db\.unfinished-' -e '^new\.db$' -e '\.jsonl$' -e '^old\.db$' -e '^store\.db$' -e '^out$')" ] ||
            fail "round $round: left $(ls)"
    done ;;
foreign_journals)
    # SQLite files that are not ours, with un-checkpointed data in a -wal, or
    # a hot rollback journal: every command refuses them, and every file in
    # the folder keeps its checksum, and no file appears.
    mkdir foreign && cp store.db foreign/ourwal.db && cp store.db foreign/newerhot.db &&
        cd foreign || fail "no folder"
    # ourwal.db: this program's schema in the main file, a table and a
    # trigger in its WAL; newerhot.db: a store of a newer version, with the
    # hot journal of a killed writer.
    python3 -c 'import os, sqlite3, sys
if os.fork() == 0:
    db = sqlite3.connect("ourwal.db"); db.execute("pragma journal_mode = wal"); db.commit()
    db.execute("create table extra (a)")
    db.execute("create trigger t after update on remote_device begin select 1; end"); db.commit()
    os._exit(0)
os.wait()
if os.fork() == 0:
    db = sqlite3.connect("newerhot.db", isolation_level=None); db.execute("pragma user_version = 7")
    db.execute("pragma cache_size = 2"); db.execute("begin")
    for i in range(500): db.execute("insert into remote_device (key, f5) values (?, ?)", (i, "x" * 500))
    os._exit(0)
os.wait()' || fail "python3 could not make the stores"
    [ -s ourwal.db-wal ] && [ -s newerhot.db-journal ] || fail "no WAL or hot journal to test with: $(ls)"
    python3 -c 'import os, sqlite3, sys
if os.fork() == 0:
    db = sqlite3.connect("wal.db"); db.execute("pragma journal_mode = wal")
    db.execute("create table t (a)"); db.execute("insert into t values (1)"); db.commit()
    db.execute("pragma wal_checkpoint(truncate)"); db.execute("insert into t values (2)"); db.commit()
    os._exit(0)
os.wait()
if os.fork() == 0:
    db = sqlite3.connect("hot.db", isolation_level=None); db.execute("create table t (a)")
    db.execute("pragma cache_size = 2"); db.execute("begin")
    for i in range(500): db.execute("insert into t values (?)", ("x" * 500,))
    os._exit(0)
os.wait()' || fail "python3 could not make the files"
    [ -s wal.db-wal ] && [ -s hot.db-journal ] || fail "no WAL or hot journal to test with: $(ls)"
    sums() { for f in $(ls -A); do md5sum "$f"; done; }
    sums > ../before
    for file in wal.db hot.db ourwal.db newerhot.db; do
        for command in "show $file" "check $file" "export $file" "dcbx $file set 1" \
            "apply --commit $file ../out" "diff $file $file" "--read-only show $file" \
            "import $file $examples/device.jsonl" "apply $examples/device.jsonl ../out --result $file"; do
            : > ../out
            "$@" $command > ../out 2>&1 && fail "$command: accepted"
            sums | cmp -s - ../before || fail "$command: the folder changed: $(ls -A)"
        done
    done
    "$@" show ourwal.db 2>&1 | grep -q "ourwal.db: not a configuration store (its schema differs)" ||
        fail "ourwal.db: $("$@" show ourwal.db 2>&1)"
    "$@" show newerhot.db 2>&1 | grep -q "newerhot.db: store version 7" ||
        fail "newerhot.db: $("$@" show newerhot.db 2>&1)" ;;
locked)
    # A store another process holds past the wait: the message says so, and
    # what to do.
    python3 -c 'import sqlite3, sys, time
db = sqlite3.connect("store.db", isolation_level=None); db.execute("begin exclusive")
print("held", flush=True); time.sleep(5)' > held &
    holder=$!
    while [ ! -s held ]; do sleep 0.05; done
    "$@" --wait 0.2 dcbx store.db set 1001 > out 2>&1
    status=$?
    kill $holder
    [ $status -eq 2 ] && grep -q "store.db: locked by another process, which held it for longer than the 0.2 seconds waited; try again, or wait longer with --wait SECONDS" out ||
        fail "status $status: $(cat out)" ;;
stale_journal)
    # A journal no writer holds and none could roll back (a writer killed
    # before its header was complete): a command that may write removes it,
    # one under --read-only reads past it, and the store stays as it was.
    "$@" export store.db > before.jsonl
    head -c 4096 /dev/zero > store.db-journal
    "$@" --read-only show store.db > /dev/null && [ -e store.db-journal ] ||
        fail "--read-only: $(ls)"
    "$@" show store.db > /dev/null || fail "show failed"
    [ ! -e store.db-journal ] || fail "the journal is still there"
    "$@" export store.db | cmp -s - before.jsonl || fail "the store changed"
    # Names SQLite gives a meaning of its own are files like any other.
    "$@" import :memory: "$examples/device.jsonl" > /dev/null && "$@" export :memory: | cmp -s - before.jsonl ||
        fail ":memory: is not a store file" ;;
read_only)
    # A store on a read-only mount is read by every command that only reads,
    # and a write is refused with the reason.
    "$@" import ro.db "$examples/device.jsonl" > /dev/null && "$@" export ro.db > ro.jsonl || fail "import"
    mkdir media && mv ro.db media/ || fail "no folder"
    unshare --mount sh -c 'mount --bind media media && mount -o remount,ro,bind media' 2> /dev/null ||
        { echo "read_only: no private mount namespace here: skipped"; exit 77; }
    unshare --mount sh -c 'mount --bind media media && mount -o remount,ro,bind media && shift 2 &&
        "$@" show media/ro.db > show.out && "$@" export media/ro.db > export.out &&
        "$@" diff ro.jsonl media/ro.db > diff.out && "$@" --read-only check media/ro.db > check.out &&
        { "$@" dcbx media/ro.db set 1001 > dcbx.out 2>&1; echo $? > dcbx.status; }' \
        sh - -- "$@" || fail "a read failed: $(cat *.out)"
    cmp -s export.out ro.jsonl && grep -q "no difference" diff.out || fail "what was read differs"
    [ "$(cat dcbx.status)" = 2 ] && grep -q "readonly\|read-only" dcbx.out || fail "dcbx: $(cat dcbx.out)" ;;
full_disk)
    # A file system that fills up: the file --result or export replaces
    # keeps its old content, and nothing is left beside it.
    unshare --mount true 2> /dev/null || { echo "full_disk: no private mount namespace here: skipped"; exit 77; }
    mkdir full
    unshare --mount sh -c 'mount -t tmpfs -o size=64k tmpfs full && config=$0 changes=$1 && shift 2 &&
        echo old > full/result.jsonl && echo old > full/export.jsonl &&
        head -c 100000 /dev/zero > full/filler 2> /dev/null;
        "$@" apply --result full/result.jsonl "$config" "$changes" > /dev/null 2> result.err
        echo $? > result.status
        "$@" export "$config" full/export.jsonl 2> export.err; echo $? > export.status
        ls -A full > left; cat full/result.jsonl full/export.jsonl > contents' \
        "$examples/device.jsonl" "$examples/uplink-wider.jsonl" -- "$@" || fail "no tmpfs"
    [ "$(cat result.status export.status)" = "2
2" ] || fail "statuses $(cat result.status export.status): $(cat *.err)"
    grep -q "No space left on device" result.err && grep -q "No space left on device" export.err ||
        fail "$(cat *.err)"
    [ "$(cat contents)" = "old
old" ] && [ "$(cat left)" = "export.jsonl
filler
result.jsonl" ] || fail "left: $(cat left), $(cat contents)" ;;
exit_statuses)
    # Whether the store changed, from the exit status alone: one command a
    # row, its output to a file, to /dev/full or into a closed pipe, the
    # status, and whether the store (a copy of it, or a new one) changed.
    # Output that cannot be written fails with 2, or 4 once a store changed.
    "$@" export store.db > original.jsonl
    echo '{"op": "change", "table": "remote_device", "columns": {"0": "1001", "22": "true"}}' > converges.jsonl
    echo '{"op": "add", "table": "xnetgroup", "xnet": "/xnets/prod", "columns": {"0": "/xnets/prod/g", "6": "/portgroups/none"}}' > refused.jsonl
    echo '{"op": "change", "table": "remote_device", "columns": {"0": "1002", "22": "true"}}' > same.jsonl
    : > empty.jsonl
    closed() { python3 -c 'import os, subprocess, sys
read, write = os.pipe(); os.close(read)
sys.exit(subprocess.call(sys.argv[1:], stdout=write, stderr=open("err", "w")))' "$@"; }
    while read -r output status changed command; do
        rm -f copy.db new.db && cp store.db copy.db
        case $output in
        file) "$@" $command > out 2> err ;;
        full) "$@" $command > /dev/full 2> err ;;
        pipe) closed "$@" $command ;;
        esac
        got=$?
        "$@" export copy.db | cmp -s - original.jsonl && now=no || now=yes
        [ -e new.db ] && now=yes
        [ "$got $now" = "$status $changed" ] || fail "$command > $output: status $got, changed $now: $(cat err)"
        if [ "$got" = 4 ]; then
            grep -q "the store was changed all the same: \(copy\|new\).db: " err || fail "$command: $(cat err)"
        fi
        # A closed pipe is its reader's choice, and ends the run quietly; a
        # full disk is a failure to tell.
        case $output in
        pipe) ! grep -q "cannot be written" err || fail "$command into a closed pipe: $(cat err)" ;;
        full) grep -q "standard output cannot be written" err || fail "$command > /dev/full: $(cat err)" ;;
        esac
    done <<EOF
file 0 yes apply --commit copy.db converges.jsonl
file 3 yes apply --commit copy.db $examples/uplink-wider.jsonl
full 4 yes apply --commit copy.db converges.jsonl
pipe 4 yes apply --commit copy.db $examples/uplink-wider.jsonl
file 2 no apply --commit copy.db converges.jsonl --result /dev/full
file 2 no apply --commit copy.db converges.jsonl --result no/such/folder/result.jsonl
file 2 no apply --commit copy.db converges.jsonl --result copy.db
file 2 no export $examples/device.jsonl copy.db
file 0 yes dcbx copy.db test-and-set 1002 true false
file 1 no dcbx copy.db test-and-set 1002 false true
full 4 yes dcbx copy.db test-and-set 1002 true false
pipe 4 yes dcbx copy.db set 1001
file 2 no --read-only dcbx copy.db set 1001
full 4 yes import new.db $examples/device.jsonl
pipe 4 yes import new.db $examples/device.jsonl
file 2 no import copy.db $examples/device.jsonl
file 2 no apply --commit copy.db refused.jsonl
file 2 no apply --commit copy.db converges.jsonl --result converges.jsonl
full 2 no export copy.db
pipe 2 no export copy.db
pipe 2 no show copy.db
pipe 2 no check --json copy.db
file 1 no apply copy.db $examples/uplink-wider.jsonl
file 1 no dcbx copy.db reset 9999
file 1 no dcbx copy.db set 1002
file 1 no dcbx $examples/device.jsonl set 1001
file 1 no apply --commit copy.db empty.jsonl
file 1 no apply --commit copy.db same.jsonl
EOF
    ;;
log)
    # Every commit is logged with its change set and the one that undoes
    # it: applying that gives the records back; a refused commit logs
    # nothing; a dump has no log.
    "$@" export store.db > original.jsonl
    cat > changes.jsonl <<EOF
{"op": "change", "table": "remote_device", "columns": {"0": "1001", "5": "rack 4", "22": "true"}}
{"op": "remove", "table": "remote_device", "columns": {"0": "1002"}}
{"op": "add", "table": "remote_device", "columns": {"0": "1003", "22": "false"}}
EOF
    "$@" apply --commit --host faithful store.db changes.jsonl > out 2>&1 || fail "$(cat out)"
    grep -q "logged as commit 1" out || fail "$(cat out)"
    "$@" apply --commit --host faithful store.db "$examples/uplink-wider.jsonl" > out 2>&1 || fail "$(cat out)"
    "$@" apply --commit store.db changes.jsonl > /dev/null 2>&1 # refused: 1003 is there already
    "$@" log store.db > log.out || fail "log failed"
    [ "$(cut -d' ' -f1 log.out | tr '\n' ' ')" = "2 1 0 " ] || fail "$(cat log.out)"
    grep -q "^1  .*  +1 ~1 -1  confmodel-host apply --commit --host faithful store.db changes.jsonl$" log.out &&
        grep -q "^0  .*  +48 ~0 -0  confmodel-host import store.db " log.out || fail "$(cat log.out)"
    # Undone newest first, the records are the original ones (a record
    # removed comes back at the end of its kind).
    "$@" log store.db 2 --reverse > undo2.jsonl && "$@" log store.db 1 --reverse > undo1.jsonl ||
        fail "log --reverse failed"
    "$@" apply --commit --host faithful store.db undo2.jsonl > /dev/null &&
        "$@" apply --commit --host faithful store.db undo1.jsonl > /dev/null || fail "an undo was refused"
    sort original.jsonl > sorted.jsonl
    "$@" export store.db | sort | cmp -s - sorted.jsonl ||
        fail "undone, the store differs: $("$@" export store.db | diff - original.jsonl)"
    # The change set of a commit, applied to the store before it, gives the
    # store after it.
    "$@" log store.db 1 > redo.jsonl && "$@" apply --commit --host faithful store.db redo.jsonl > /dev/null ||
        fail "a logged change set was refused"
    "$@" export store.db | grep -q '"0":"1001","5":"rack 4","22":"true"' || fail "the redo changed nothing"
    "$@" log store.db | head -1 | grep -q "^5  " || fail "the undoing commits were not logged"
    "$@" log store.db --json | python3 -c 'import json, sys
d = json.load(sys.stdin)
assert d["format"] == 2 and [c["seq"] for c in d["commits"]] == [5, 4, 3, 2, 1, 0], d
assert d["commits"][4]["added"] == 1 and d["commits"][4]["undo_kept"] is True, d' || fail "log --json"
    "$@" log store.db 9 2>&1 | grep -q "store.db: no commit 9 in its log" || fail "log 9"
    "$@" log store.db 0 2>&1 | grep -q "commit 0 is the import" || fail "log 0"
    "$@" log "$examples/device.jsonl" 2>&1 | grep -q "not a store file" || fail "log of a dump"
    # A store made before the log is read as it is, and takes the log with
    # its first commit.
    "$@" import old.db "$examples/device.jsonl" > /dev/null &&
        python3 -c 'import sqlite3
db = sqlite3.connect("old.db")
for t in ("added", "changed", "removed"): db.execute("drop trigger config_record_" + t)
db.execute("drop table record_writes"); db.execute("drop table commit_writes")
db.execute("drop table commit_log"); db.execute("drop table commit_text"); db.execute("pragma user_version = 1"); db.commit()' ||
        fail "python3 could not make an old store"
    "$@" --read-only show old.db > /dev/null || fail "an old store cannot be read"
    "$@" log old.db | grep -q "^no commits logged" || fail "$("$@" log old.db)"
    "$@" apply --commit --host faithful old.db "$examples/uplink-wider.jsonl" > /dev/null || fail "commit to an old store"
    [ "$("$@" log old.db | cut -d' ' -f1)" = 1 ] || fail "$("$@" log old.db)"
    [ "$(python3 -c 'import sqlite3; print(sqlite3.connect("old.db").execute("pragma user_version").fetchone()[0])')" = 5 ] ||
        fail "the old store was not migrated"
    # older STORE VERSION: the log of STORE as version 2, 3 or 4 kept it:
    # without counting the writes of records; before 4, its texts in the
    # rows of its commits.
    older() {
        python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1]); version = int(sys.argv[2])
for t in ("added", "changed", "removed"): db.execute("drop trigger config_record_" + t)
db.execute("drop table record_writes"); db.execute("drop table commit_writes")
if version == 4: db.execute("pragma user_version = 4"); db.commit(); sys.exit()
db.execute("alter table commit_log rename to new_log")
db.execute("CREATE TABLE commit_log (seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, "
           "uid INTEGER NOT NULL, user TEXT NOT NULL, command TEXT NOT NULL, added INTEGER NOT NULL, "
           "changed INTEGER NOT NULL, removed INTEGER NOT NULL, changes TEXT, undo TEXT)")
more = ""
if version == 3:
    for c in ("digest", "deadline"): db.execute("alter table commit_log add column %s INTEGER" % c)
    more = ", digest, deadline"
db.execute("insert into commit_log select new_log.seq, time, uid, user, command, added, changed, removed, "
           "changes, undo" + more + " from new_log left join commit_text using (seq)")
db.execute("drop table new_log"); db.execute("drop table commit_text")
db.execute("pragma user_version = %d" % version); db.commit()' "$@" ||
            fail "python3 could not make a store of version $2"
    }
    version() { python3 -c 'import sqlite3, sys; print(sqlite3.connect(sys.argv[1]).execute("pragma user_version").fetchone()[0])' "$1"; }
    # A log of version 3 is read as it is; the next commit moves its texts
    # into their own table, keeping every commit's texts, digest and deadline.
    "$@" import three.db "$examples/device.jsonl" > /dev/null &&
        "$@" apply --commit --host faithful three.db changes.jsonl > /dev/null &&
        "$@" apply --commit --host faithful --confirm 600 three.db "$examples/uplink-wider.jsonl" > /dev/null ||
        fail "could not make a store to turn into one of version 3"
    "$@" log three.db 1 --reverse > undo1.jsonl && "$@" log three.db 2 > redo2.jsonl || fail "log of version 4"
    older three.db 3
    "$@" --read-only log three.db | grep -q "^2  .*(awaits confirmation until " || fail "$("$@" log three.db)"
    "$@" --read-only log three.db 1 --reverse | cmp -s - undo1.jsonl || fail "undoing read from version 3"
    [ "$(version three.db)" = 3 ] || fail "a read migrated the store"
    echo '{"op": "add", "table": "remote_device", "columns": {"0": "1004", "22": "false"}}' > four.jsonl
    "$@" apply --commit --host faithful three.db four.jsonl > /dev/null 2>&1 || fail "commit to a store of version 3"
    [ "$(version three.db)" = 5 ] || fail "the store of version 3 was not migrated"
    "$@" log three.db 2 | cmp -s - redo2.jsonl && "$@" log three.db 1 --reverse | cmp -s - undo1.jsonl ||
        fail "the texts of version 3 were not kept"
    "$@" confirm three.db 2>&1 | grep -q "commit 2 confirmed" || fail "the deadline of version 3 was lost"
    "$@" rollback three.db 0 > out 2>&1 || fail "rollback past the migration: $(cat out)"
    "$@" export three.db | cmp -s - original.jsonl || fail "rollback past the migration changed the records"
    # A store of version 4 is read as it is; its next commit starts counting
    # the writes of records, and says that it did not count before.
    "$@" import four.db "$examples/device.jsonl" > /dev/null && older four.db 4 ||
        fail "could not make a store of version 4"
    "$@" --read-only show four.db > /dev/null && [ "$(version four.db)" = 4 ] || fail "a store of version 4 read"
    "$@" apply --commit --host faithful four.db four.jsonl > /dev/null 2>&1 || fail "commit to a store of version 4"
    [ "$(version four.db)" = 5 ] && [ "$(python3 -c 'import sqlite3
print(sqlite3.connect("four.db").execute("select * from commit_writes").fetchall())')" = "[(1, None, 0)]" ] ||
        fail "the store of version 4 was not migrated"
    "$@" --read-only show four.db > /dev/null || fail "the store brought from version 4 is not one of ours"
    # Which commits keep their undoing, as the summaries say, before and after log --keep.
    undo_kept() { "$@" log three.db --json | python3 -c 'import json, sys
print(" ".join(str(c["undo_kept"]) for c in json.load(sys.stdin)["commits"]))'; }
    [ "$(undo_kept "$@")" = "True True True True False" ] || fail "undo kept: $(undo_kept "$@")"
    "$@" log three.db --keep 1 > /dev/null && [ "$(undo_kept "$@")" = "True False False False False" ] ||
        fail "undo kept after log --keep 1: $(undo_kept "$@")"
    # A log of version 2 takes a digest and a deadline with the next commit;
    # a rollback cannot go back past the commits logged without them.
    "$@" import two.db "$examples/device.jsonl" > /dev/null &&
        "$@" apply --commit --host faithful two.db "$examples/uplink-wider.jsonl" > /dev/null ||
        fail "could not make a store to turn into one of version 2"
    older two.db 2
    "$@" --read-only log two.db | grep -q "^1  " || fail "a log of version 2 cannot be read"
    "$@" apply --commit --host faithful two.db changes.jsonl > /dev/null || fail "commit to a store of version 2"
    "$@" log two.db | grep -q "^2  " || fail "$("$@" log two.db)"
    "$@" rollback two.db 1 > out 2>&1 && fail "rolled back past a commit logged without a digest"
    grep -q "commit 1 was logged by an earlier version" out || fail "$(cat out)" ;;
confirm)
    # A commit that awaits confirmation: confirmed in time it stays; one at a
    # time; past its deadline, the next command that writes rolls it back
    # first, and until then every read says so.
    "$@" export store.db > original.jsonl
    wider="$examples/uplink-wider.jsonl"
    echo '{"op": "add", "table": "remote_device", "columns": {"0": "1003", "22": "false"}}' > changes.jsonl
    "$@" apply --commit --host faithful --confirm 60 store.db "$wider" > out 2>&1 || fail "$(cat out)"
    grep -q "logged as commit 1, to be confirmed by " out || fail "$(cat out)"
    "$@" export store.db > wider.jsonl 2> err
    grep -q "commit 1 awaits confirmation until" err || fail "a read says nothing: $(cat err)"
    "$@" log store.db | head -1 | grep -q "(awaits confirmation until " || fail "$("$@" log store.db)"
    cp store.db before.db
    "$@" apply --commit --confirm 60 store.db changes.jsonl > out 2>&1
    [ $? -eq 2 ] && grep -q "commit 1 awaits confirmation until .*, and one commit at a time may" out ||
        fail "a second --confirm: $(cat out)"
    cmp -s store.db before.db || fail "a refused --confirm changed the store"
    "$@" confirm store.db > out 2>&1 || fail "confirm: $(cat out)"
    grep -q "store.db: commit 1 confirmed" out || fail "$(cat out)"
    "$@" confirm store.db > out 2>&1
    [ $? -eq 1 ] && grep -q "no commit awaits confirmation" out || fail "confirm again: $(cat out)"
    "$@" export store.db 2>&1 | cmp -s - wider.jsonl || fail "the confirmed commit did not stay"
    # Overdue, with a later writer: rolled back before that one commits.
    "$@" rollback --confirm 1 store.db 0 > /dev/null 2>&1 || fail "rollback --confirm"
    "$@" export store.db 2> /dev/null | cmp -s - original.jsonl || fail "the rollback took nothing back"
    sleep 2
    "$@" show store.db port 5 2>&1 >/dev/null | grep -q "commit 2 was not confirmed by its deadline, .*: the next command that writes the store rolls it back" ||
        fail "an overdue commit goes unsaid"
    "$@" apply --commit --host faithful store.db changes.jsonl > out 2>&1 || fail "$(cat out)"
    grep -q "commit 2 was not confirmed by its deadline, .*: rolled back as commit 3" out || fail "$(cat out)"
    "$@" log store.db | head -2 | cut -c1-3 | tr -d ' ' | tr '\n' ' ' | grep -q "^4 3 $" || fail "$("$@" log store.db)"
    "$@" log store.db | sed -n 2p | grep -q "rollback of commit 2, unconfirmed by its deadline, before: confmodel-host apply" ||
        fail "$("$@" log store.db)"
    "$@" export store.db 2> /dev/null | grep -v '"0":"1003"' | cmp -s - wider.jsonl ||
        fail "not the confirmed configuration and the later commit"
    # Overdue, with no later writer: confirm comes too late, and says the
    # store changed all the same.
    "$@" log store.db 3 --reverse > undo.jsonl
    "$@" apply --commit --host faithful --confirm 1 store.db undo.jsonl > /dev/null 2>&1 || fail "apply --confirm"
    sleep 2
    "$@" confirm store.db > out 2>&1
    [ $? -eq 4 ] && grep -q "nothing left to confirm: its deadline had passed" out || fail "late confirm: $(cat out)"
    "$@" log store.db | head -1 | grep -q "^6  .*rollback of commit 5" || fail "$("$@" log store.db)" ;;
*)
    fail "no such case" ;;
esac
