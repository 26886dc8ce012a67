#!/usr/bin/env python3
"""Measures confmodel-host at several sizes of a realistic dump, beside the
floors of parsing the same file, and prints the table of docs/performance.md:

    measure.py BUILD_DIR WORK_DIR SIZE...

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
    """A log of that many commits, as a busy device's store might hold."""
    db = sqlite3.connect(store)
    row = db.execute("select time, uid, user from commit_log where seq = 0").fetchone()
    change = '{"op":"change","table":"remote_device","columns":{"0":"1","5":"%s"}}\n' % ("x" * 200)
    db.executemany("insert into commit_log (seq, time, uid, user, command, added, changed, removed, "
                   "changes, undo) values (?, ?, ?, ?, 'confmodel-host apply --commit d.db c.jsonl', "
                   "0, 1, 0, ?, ?)",
                   ((seq, row[0], row[1], row[2], change, change) for seq in range(1, commits + 1)))
    db.commit()


def main():
    build, work, sizes = sys.argv[1], sys.argv[2], [int(s) for s in sys.argv[3:]]
    host = os.path.join(build, "tools/confmodel-host/confmodel-host")
    floor = os.path.join(build, "bench/confmodel_host_floor")
    usage = os.path.join(build, "bench/confmodel_host_usage")
    rows = []
    for size in sizes:
        folder = os.path.join(work, human(size))
        subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), str(size), folder], check=True)
        a, b, c, d = (os.path.join(folder, n) for n in ("a.jsonl", "b.jsonl", "c.jsonl", "d.db"))
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

        def copied(argv):
            shutil.copyfile(d, committed)
            return argv

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
            ("rollback D 0 (after ten)", lambda: copied_and_committed([host, "rollback", committed, "0"])),
            ("log (10,000 commits)", lambda: [host, "log", logged]),
            ("import", lambda: created([host, "import", fresh, a])),
            ("export", lambda: [host, "export", d]),
        ]
        def copied_and_committed(argv):
            copied(None)
            subprocess.run([host, "apply", "--host", "faithful", "--commit", committed, ten],
                           check=True, stdout=subprocess.DEVNULL)
            return argv

        best = {}
        for _ in range(RUNS):
            for name, argv in commands:
                cpu, rss = run(usage, argv())
                old = best.get(name, (float("inf"), 0))
                best[name] = (min(old[0], cpu), max(old[1], rss))
        dump_mb = os.path.getsize(a) / 1e6
        rows.append((size, dump_mb, best))

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
