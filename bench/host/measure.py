#!/usr/bin/env python3
"""Measures confmodel-host at several sizes of a realistic dump, beside the
floors of parsing the same file, and prints the table of docs/performance.md:

    measure.py [--history] BUILD_DIR WORK_DIR SIZE...

With --history, only the commands of the store's history (commits, their
log and rollbacks), in a table of their own.

For each size it writes the dumps (generate.py: A, and B with 1% of its
records changed and 0.1% added), the change set C = diff --changes A B, and
a store file D imported from A; then runs every command and floor five
times, interleaved, and keeps the least CPU time (user and system) and the
largest peak resident size of each. import and export are also set beside
what the store alone costs to write A's rows and to read D's. Exits 1 when a
command fails."""
import json
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
RUNS = 5


def run(usage_program, argv):
    """CPU seconds and peak resident KiB of one run of argv."""
    with tempfile.NamedTemporaryFile("r") as usage:
        process = subprocess.run([usage_program, usage.name] + argv,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if process.returncode not in (0, 1):
            sys.exit("%s failed (exit %d): %s" % (" ".join(argv), process.returncode,
                                                 process.stderr.decode(errors="replace")[-2000:]))
        cpu, rss = usage.read().split()
    return float(cpu), int(rss)


def human(records):
    return "%dM" % (records // 1000000) if records % 1000000 == 0 else "%dk" % (records // 1000)


def write_ten_changes(store, path, host):
    """Ten remote devices of the store changed: their fifth column rewritten."""
    out = subprocess.run([host, "export", store], check=True, capture_output=True, text=True).stdout
    devices = [json.loads(line) for line in out.splitlines() if '"remote_device"' in line][:10]
    with open(path, "w") as f:
        for device in devices:
            device["columns"]["5"] = "changed"
            f.write(json.dumps({"op": "change", **device}) + "\n")


def fill_log(store, commits):
    """A log of that many commits, as a busy device's store might hold, each
    leaving the records as the import did (its digest). Written as the
    store's version keeps it: from version 4 the texts in a table of their
    own."""
    db = sqlite3.connect(store)
    version = db.execute("pragma user_version").fetchone()[0]
    row = db.execute("select time, uid, user, digest from commit_log where seq = 0").fetchone()
    change = '{"op":"change","table":"remote_device","columns":{"0":"1","5":"%s"}}\n' % ("x" * 200)
    command = "confmodel-host apply --commit d.db c.jsonl"
    seqs = range(1, commits + 1)
    if version >= 4:
        db.executemany("insert into commit_log (seq, time, uid, user, command, added, changed, removed, "
                       "undo_kept, digest) values (?, ?, ?, ?, ?, 0, 1, 0, 1, ?)",
                       ((seq, row[0], row[1], row[2], command, row[3]) for seq in seqs))
        db.executemany("insert into commit_text (seq, changes, undo) values (?, ?, ?)",
                       ((seq, change, change) for seq in seqs))
    else:
        db.executemany("insert into commit_log (seq, time, uid, user, command, added, changed, removed, "
                       "changes, undo, digest) values (?, ?, ?, ?, ?, 0, 1, 0, ?, ?, ?)",
                       ((seq, row[0], row[1], row[2], command, change, change, row[3]) for seq in seqs))
    db.commit()


def make_history(store, path, host, folder, commits):
    """A copy of the store with that many commits of the program's own, each
    rewriting the fifth column of the same ten remote devices."""
    shutil.copyfile(store, path)
    with open(os.path.join(folder, "ten.jsonl")) as f:
        lines = [json.loads(line) for line in f]
    changes = os.path.join(folder, "history.jsonl")
    for n in range(1, commits + 1):
        with open(changes, "w") as f:
            for change in lines:
                change["columns"]["5"] = "commit %d" % n
                f.write(json.dumps(change) + "\n")
        subprocess.run([host, "apply", "--host", "faithful", "--commit", path, changes],
                       check=True, stdout=subprocess.DEVNULL)


# The commands of the store's history, which --history measures alone.
HISTORY = ("apply D ten", "apply --commit D ten", "apply --commit D ten (10,000 commits logged)",
           "store commit of ten rows (floor)", "store commit of ten rows, logged (floor)",
           "rollback 1 commit back (of 100)", "rollback 10 commits back (of 100)",
           "rollback 100 commits back (of 100)", "log (10,000 commits)")


def main():
    args = sys.argv[1:]
    history_only = args[:1] == ["--history"]
    if history_only:
        args = args[1:]
    build, work, sizes = args[0], args[1], [int(s) for s in args[2:]]
    host = os.path.join(build, "tools/confmodel-host/confmodel-host")
    floor = os.path.join(build, "bench/confmodel_host_floor")
    usage = os.path.join(build, "bench/confmodel_host_usage")
    rows = []
    for size in sizes:
        folder = os.path.join(work, human(size))
        subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), str(size), folder], check=True)
        a, b, c, d = (os.path.join(folder, n) for n in ("a.jsonl", "b.jsonl", "c.jsonl", "d.db"))
        if not history_only:
            with open(c, "w") as changes:
                subprocess.run([host, "diff", "--changes", a, b], stdout=changes)
        if os.path.exists(d):
            os.unlink(d)
        subprocess.run([host, "import", d, a], check=True, stdout=subprocess.DEVNULL)
        fresh = os.path.join(folder, "import.db")
        # Ten records changed, committed to a copy of the store and rolled
        # back again; and a log of 10,000 commits to list.
        ten, committed, logged = (os.path.join(folder, n) for n in ("ten.jsonl", "commit.db", "log.db"))
        write_ten_changes(d, ten, host)
        shutil.copyfile(d, logged)
        fill_log(logged, 10000)
        # 100 commits of ten records, to roll back 1, 10 or 100 of them.
        hundred, rolled = (os.path.join(folder, n) for n in ("hundred.db", "rolled.db"))
        make_history(d, hundred, host, folder, 100)

        def copied(argv, source=d):
            shutil.copyfile(source, committed)
            return argv

        def rollback(back):
            shutil.copyfile(hundred, rolled)
            return [host, "rollback", rolled, str(100 - back)]

        def created(argv):
            if os.path.exists(fresh):
                os.unlink(fresh)
            return argv

        commands = [
            ("simdjson parse (floor)", lambda: [floor, "simdjson", a]),
            ("nlohmann tree parse (floor)", lambda: [floor, "nlohmann", a]),
            ("store write (floor)", lambda: created([floor, "store-write", a, fresh])),
            ("store read (floor)", lambda: [floor, "store-read", d]),
            ("check", lambda: [host, "check", a]),
            ("show", lambda: [host, "show", a]),
            ("show --json", lambda: [host, "show", "--json", a]),
            ("diff A B", lambda: [host, "diff", a, b]),
            ("apply A C", lambda: [host, "apply", a, c]),
            ("apply D ten", lambda: [host, "apply", "--host", "faithful", d, ten]),
            ("apply --commit D ten", lambda: copied([host, "apply", "--host", "faithful", "--commit", committed, ten])),
            ("apply --commit D ten (10,000 commits logged)",
             lambda: copied([host, "apply", "--host", "faithful", "--commit", committed, ten], logged)),
            ("store commit of ten rows (floor)", lambda: copied([floor, "store-commit", committed], logged)),
            ("store commit of ten rows, logged (floor)",
             lambda: copied([floor, "store-commit-logged", committed], logged)),
            ("rollback D 0 (after ten)", lambda: copied_and_committed([host, "rollback", committed, "0"])),
            ("rollback 1 commit back (of 100)", lambda: rollback(1)),
            ("rollback 10 commits back (of 100)", lambda: rollback(10)),
            ("rollback 100 commits back (of 100)", lambda: rollback(100)),
            ("log (10,000 commits)", lambda: [host, "log", logged]),
            ("import", lambda: created([host, "import", fresh, a])),
            ("export", lambda: [host, "export", d]),
        ]
        def copied_and_committed(argv):
            copied(None)
            subprocess.run([host, "apply", "--host", "faithful", "--commit", committed, ten],
                           check=True, stdout=subprocess.DEVNULL)
            return argv

        if history_only:
            commands = [c for c in commands if c[0] in HISTORY]
        best = {}
        for _ in range(RUNS):
            for name, argv in commands:
                cpu, rss = run(usage, argv())
                old = best.get(name, (float("inf"), 0))
                best[name] = (min(old[0], cpu), max(old[1], rss))
        dump_mb = os.path.getsize(a) / 1e6
        rows.append((size, dump_mb, best))

    if history_only:
        print("| records | command | CPU s | peak RSS |")
        print("|---:|---|---:|---:|")
        for size, dump_mb, best in rows:
            for name, (cpu, rss) in best.items():
                print("| %s | %s | %.3f | %.0f MB |" % (human(size), name, cpu, rss / 1024))
        return
    own_floor = {"import": "store write (floor)", "export": "store read (floor)"}
    print("| records | dump | command | CPU s | peak RSS | CPU / simdjson | CPU / check | "
          "CPU / store floor | RSS / dump |")
    print("|---:|---:|---|---:|---:|---:|---:|---:|---:|")
    for size, dump_mb, best in rows:
        floor_cpu = best["simdjson parse (floor)"][0]
        check_cpu = best["check"][0]
        for name, (cpu, rss) in best.items():
            rss_mb = rss / 1024
            store_cpu = best[own_floor[name]][0] if name in own_floor else 0
            print("| %s | %.0f MB | %s | %.3f | %.0f MB | %.1f | %s | %s | %.1f |" % (
                human(size), dump_mb, name, cpu, rss_mb, cpu / floor_cpu if floor_cpu else 0,
                "%.1f" % (cpu / check_cpu) if "floor" not in name and check_cpu else "",
                "%.1f" % (cpu / store_cpu) if store_cpu else "", rss_mb / dump_mb))


if __name__ == "__main__":
    main()
