#!/usr/bin/env python3
"""A soak of the running host, confmodel-host serve: its memory stays flat
over many commits.

    soak.py BUILD_DIR WORK_DIR [--commits N] [--minutes M] [--records N] ...

It imports a store (by default a small one: the example device with
--devices more remote devices and a port group of its own; with --records N,
generate.py's realistic dump of N records), starts `serve` on it, and makes
up to --commits commits (100,000) or as many as --minutes allow (60),
through the program's commands as a device's other processes make them, one
at a time. Each command runs in confmodel_host_driver (bench/host/driver.cc)
where that is built beside confmodel-host: the program's own code from the
command line to the exit status, the store's own commit path, without a
process, its linking and the module's loading for each, which take most of a
small store's commit; --processes runs each as a process of its own. The
commits:

- `apply --host faithful --commit` of one record changed, each kind in turn
  and each record of a kind in turn: a remote device (taken as rows alone),
  a subport or a port-protect record (port records in place), a port group
  or an xnet (the faithful host); an xnet with its xnetgroup added, and
  removed a few commits later (entries created and released); a remote
  device added, and removed later (rows inserted and deleted);
- `rollback` of the last one to three commits;
- `apply --commit --confirm 600` followed by `confirm`;
- now and then a DCBX flag written without a commit, by `dcbx` on the store
  and by a `dcbx` request to the host (the host reads the devices again);
- every --deadline-every commits, `apply --commit --confirm 1` left
  unconfirmed, which the host rolls back at its deadline;
- every --sighup-every commits, SIGHUP (a fresh start).

After every commit it asks the host, on one connection, for a `port` lookup
and its `status`; every 1,000 commits for `show`, on a new connection.

Every --sample seconds it records the host's VmRSS, VmHWM and VmSize, its
huge pages, its open descriptors and what `status` says (the commit taken,
the fresh starts) in WORK_DIR/soak.csv. Every --checkpoint commits (10,000)
it waits for the host to take the newest commit, asks for `verify`, and
drops the change sets of all but the newest --keep commits (`log --keep`,
1,000), so that the store's log keeps its summaries alone; the store file
keeps the pages it reached.

Exits 1, with one line saying why, when a command fails, the host dies,
falls behind (has not taken the newest commit 10 s after it landed), fails
`verify`, makes a fresh start for a reason other than SIGHUP, `verify` or
the records it replaced outnumbering the configuration, holds more
descriptors at the end than after the first tenth of the commits, or when
its memory is not flat. A fresh start lets go of what the host kept since
the one before, so memory is judged by its peaks, sampled before every
SIGHUP and `verify` too: it grew when the highest VmRSS of the last tenth of
the commits is above that of the second tenth by more than --tolerance
percent (10) and --slack MB (4); it grows steadily when a least-squares
slope over the samples from the first tenth on makes as much over the run;
and it grows with the commits taken between fresh starts when it ever
reaches --bound times (2) the VmRSS after the start, and --slack MB, which
holds a fresh start's model twice, as `verify` does, beside the records
kept since (as many as the configuration at most). It prints a table of what it found."""
import argparse
import copy
import json
import os
import random
import re
import signal
import socket
import sqlite3
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLE = os.path.join(HERE, "..", "..", "examples", "device.jsonl")
SETTLE_S = 10
SOAK_GROUP = "/portgroups/soak"
SOAK_XNET = "/xnets/soak"
SOAK_DEVICE = 9000
# The reasons a fresh start may have without the change path failing.
EXPECTED_FRESH = ("started", "SIGHUP", "verify", "the records replaced since the last fresh start outnumber")


class Soak(Exception):
    """A failure: its message is the one line the soak ends with."""


def options():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("build")
    p.add_argument("work")
    p.add_argument("--commits", type=int, default=100000, help="commits to make (100000)")
    p.add_argument("--minutes", type=float, default=60, help="at most so long making them (60)")
    p.add_argument("--records", type=int, default=0, help="generate.py's dump of N records, not the small store")
    p.add_argument("--devices", type=int, default=48, help="remote devices added to the small store (48)")
    p.add_argument("--checkpoint", type=int, default=10000, help="commits between checkpoints (10000)")
    p.add_argument("--keep", type=int, default=1000, help="log --keep N at each checkpoint (1000)")
    p.add_argument("--sample", type=float, default=10, help="seconds between samples (10)")
    p.add_argument("--deadline-every", type=int, default=10000, help="commits between commits left unconfirmed")
    p.add_argument("--sighup-every", type=int, default=25000, help="commits between SIGHUPs")
    p.add_argument("--tolerance", type=float, default=10, help="percent of growth allowed (10)")
    p.add_argument("--slack", type=float, default=4, help="MB of growth allowed beside it (4)")
    p.add_argument("--processes", action="store_true",
                   help="run each command as a process of its own, even where confmodel_host_driver is built")
    p.add_argument("--bound", type=float, default=2,
                   help="times the RSS after the start (and --slack) the RSS may reach at most (2)")
    p.add_argument("--seed", type=int, default=1)
    return p.parse_args()


def name(record):
    return (record["table"], record.get("xnet"), record["columns"]["0"])


class Host:
    """The program, run as a command, with what each command took: each
    command a process of its own, or with in_process, each run by
    confmodel_host_driver (bench/host/driver.cc), one process that runs the
    program's commands one after the other as main.cc runs one."""

    def __init__(self, build, work, in_process=False):
        folder = os.path.abspath(os.path.join(build, "tools/confmodel-host"))
        self.path = os.path.join(folder, "confmodel-host")
        self.work = work
        self.times = {}
        self.driver = None
        if in_process:
            answers, self.answers_fd = os.pipe()
            with open(os.path.join(work, "driver.log"), "w") as log:
                self.driver = subprocess.Popen([os.path.join(folder, "confmodel_host_driver"), str(self.answers_fd)],
                                               cwd=work, stdin=subprocess.PIPE, stdout=log, stderr=log,
                                               pass_fds=(self.answers_fd,), text=True)
            os.close(self.answers_fd)
            self.answers = os.fdopen(answers, "r")

    def run(self, kind, *args, ok=(0,)):
        started = time.perf_counter()
        if self.driver is None:
            p = subprocess.run([self.path, *args], cwd=self.work, capture_output=True, text=True)
        else:
            self.driver.stdin.write(json.dumps(args) + "\n")
            self.driver.stdin.flush()
            line = self.answers.readline()
            if not line:
                raise Soak("confmodel_host_driver exited %s" % self.driver.wait())
            answer = json.loads(line)
            p = subprocess.CompletedProcess(args, answer["exit"], answer["out"], answer["err"])
        self.times.setdefault(kind, []).append(time.perf_counter() - started)
        if p.returncode not in ok:
            raise Soak("%s exited %d: %s" % (" ".join(args), p.returncode,
                                             (p.stderr or p.stdout).strip().splitlines()[-1:]))
        return p

    def close(self):
        if self.driver is not None:
            self.driver.stdin.close()
            self.driver.wait()


class Connection:
    """One client connection to the host, requests pipelined."""

    def __init__(self, path, timeout=60):
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.settimeout(timeout)
        self.socket.connect(path)
        self.replies = self.socket.makefile("rb")

    def ask(self, *requests):
        self.socket.sendall(b"".join(json.dumps(r).encode() + b"\n" for r in requests))
        out = []
        for r in requests:
            line = self.replies.readline()
            if not line:
                raise Soak("the host closed the connection")
            reply = json.loads(line)
            if not reply.get("ok"):
                raise Soak("%s: %s" % (r, reply))
            out.append(reply)
        return out

    def status(self):
        return self.ask({"request": "status"})[0]["document"]

    def close(self):
        self.replies.close()
        self.socket.close()


class Store:
    """The configuration as the soak committed it, and the commits it made:
    each with the records it replaced, so that a rollback is known too."""

    def __init__(self, records):
        self.records = {name(r): r for r in records}
        self.journal = []  # (seq, {name: record before, or None}), the newest last
        self.newest = 0

    def committed(self, seq, before):
        self.journal = self.journal[-20:] + [(seq, before)]
        self.newest = seq

    def change(self, record):
        return {"op": "change", **record}

    def take(self, changes):
        """The records before the changes, and the state after them."""
        before = {}
        for c in changes:
            key = name(c)
            if key not in before:
                before[key] = copy.deepcopy(self.records.get(key))
            if c["op"] == "remove":
                del self.records[key]
            else:
                self.records[key] = {k: v for k, v in c.items() if k != "op"}
        return before

    def back_to(self, seq):
        """The configuration of commit seq, from the journal; what it
        replaced."""
        replaced = {}
        for s, before in reversed(self.journal):
            if s <= seq:
                break
            for key, record in before.items():
                replaced.setdefault(key, copy.deepcopy(self.records.get(key)))
                if record is None:
                    self.records.pop(key, None)
                else:
                    self.records[key] = copy.deepcopy(record)
        return replaced


def small_store(devices):
    records = [json.loads(line) for line in open(EXAMPLE) if line.startswith("{")]
    records += [{"table": "remote_device", "columns": {"0": str(2000 + k), "5": "rack %d" % (k % 8), "22": "false"}}
                for k in range(devices)]
    return records


def soak_group(number):
    """A port group of the soak's own, owning no port, for its xnetgroups."""
    columns = {"0": SOAK_GROUP, "3": str(number), "5": str(number % 7), "6": "0", "7": "0x%016x" % 0, "8": "0"}
    columns.update({str(c): "0x%016x" % 0 for c in range(9, 17)})
    return {"table": "portgroup", "columns": columns}


class Changes:
    """The commits of the soak, one kind after the other, each record of a
    kind in turn."""

    CYCLE = ["device", "subport", "device", "portgroup", "port_protect", "device", "xnet",
             "add_xnet", "device", "subport", "rollback", "add_device", "device", "confirmed",
             "portgroup", "remove_xnet", "device", "subport", "rollback", "remove_device"]

    def __init__(self, store, rng):
        self.store, self.rng = store, rng
        self.turn = {}
        self.n = 0

    def pick(self, table, keep=lambda r: True):
        ours = sorted((k for k, r in self.store.records.items() if r["table"] == table and keep(r)),
                      key=lambda k: k[2])
        if not ours:
            return None
        t = self.turn.get(table, 0)
        self.turn[table] = t + 1
        return copy.deepcopy(self.store.records[ours[t % len(ours)]])

    def next(self):
        """The next commit's kind and its changes (none for a rollback)."""
        self.n += 1
        kind = self.CYCLE[self.n % len(self.CYCLE)]
        records = self.store.records
        if kind in ("device", "confirmed"):
            r = self.pick("remote_device", lambda r: r["columns"]["0"] != str(SOAK_DEVICE))
            r["columns"]["5"] = "soak %d" % self.n
            return kind, [self.store.change(r)]
        if kind == "subport":
            r = self.pick("subport")
            r["columns"]["10"] = "10000" if r["columns"].get("10") != "10000" else "25000"
            return kind, [self.store.change(r)]
        if kind == "port_protect":
            r = self.pick("port_protect")
            r["columns"]["4"] = "disabled" if r["columns"].get("4") == "enabled" else "enabled"
            return kind, [self.store.change(r)]
        if kind == "portgroup":
            r = self.pick("portgroup")
            r["columns"]["19"] = "short" if r["columns"].get("19") == "long" else "long"
            return kind, [self.store.change(r)]
        if kind == "xnet":
            r = self.pick("xnet")
            r["columns"]["7"] = "disabled" if r["columns"]["7"] == "enabled" else "enabled"
            return kind, [self.store.change(r)]
        if kind == "add_xnet" and ("xnet", None, SOAK_XNET) not in records:
            xnet = {"table": "xnet", "columns": {"0": SOAK_XNET, "5": "3999", "6": "3999", "7": "enabled",
                                                 "8": "false", "9": "false", "10": "true", "11": "false"}}
            group = {"table": "xnetgroup", "xnet": SOAK_XNET,
                     "columns": {"0": SOAK_XNET + "/xnetgroups/g", "5": "server", "6": SOAK_GROUP}}
            return kind, [{"op": "add", **xnet}, {"op": "add", **group}]
        if kind == "remove_xnet" and ("xnet", None, SOAK_XNET) in records:
            return kind, [{"op": "remove", "table": "xnetgroup", "xnet": SOAK_XNET,
                           "columns": {"0": SOAK_XNET + "/xnetgroups/g"}},
                          {"op": "remove", "table": "xnet", "columns": {"0": SOAK_XNET}}]
        if kind == "add_device" and ("remote_device", None, str(SOAK_DEVICE)) not in records:
            return kind, [{"op": "add", "table": "remote_device",
                           "columns": {"0": str(SOAK_DEVICE), "5": "soak", "22": "false"}}]
        if kind == "remove_device" and ("remote_device", None, str(SOAK_DEVICE)) in records:
            return kind, [{"op": "remove", "table": "remote_device", "columns": {"0": str(SOAK_DEVICE)}}]
        if kind == "rollback":
            return kind, None
        # An add or remove the configuration has done already (a rollback
        # took it back): a device instead.
        r = self.pick("remote_device", lambda r: r["columns"]["0"] != str(SOAK_DEVICE))
        r["columns"]["5"] = "soak %d" % self.n
        return "device", [self.store.change(r)]


def write_changes(path, changes):
    with open(path, "w") as f:
        f.writelines(json.dumps(c) + "\n" for c in changes)


def logged_seq(output):
    found = re.search(r"logged as commit (\d+)", output)
    if not found:
        raise Soak("no commit number in: %s" % output.strip().splitlines()[-1:])
    return int(found[1])


class Daemon:
    def __init__(self, host, work):
        self.socket = os.path.join(work, "soak.sock")
        self.log_path = os.path.join(work, "serve.log")
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen([host.path, "serve", "store.db", "--socket", "soak.sock"],
                                            cwd=work, stdout=subprocess.DEVNULL, stderr=log)
        deadline = time.monotonic() + 120
        while True:
            self.alive()
            try:
                self.connection = Connection(self.socket)
                return
            except OSError:
                if time.monotonic() > deadline:
                    raise Soak("the host did not answer on its socket within 120 s")
                time.sleep(0.02)

    def alive(self):
        if self.process.poll() is not None:
            raise Soak("the host died: exit %d (%s)" % (self.process.returncode, self.log_tail()))

    def log_tail(self):
        with open(self.log_path, errors="replace") as f:
            return " | ".join(f.read().strip().splitlines()[-2:])

    def memory(self):
        out = {}
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("VmRSS", "VmHWM", "VmSize", "RssAnon"):
                    out[key] = int(value.split()[0])
        try:
            with open("/proc/%d/smaps_rollup" % self.process.pid) as f:
                out["AnonHugePages"] = next(int(l.split()[1]) for l in f if l.startswith("AnonHugePages:"))
        except (OSError, StopIteration):
            out["AnonHugePages"] = 0
        out["fds"] = len(os.listdir("/proc/%d/fd" % self.process.pid))
        return out

    def settle(self, newest):
        """Waits for the host to take the newest commit."""
        deadline = time.monotonic() + SETTLE_S
        while True:
            self.alive()
            status = self.connection.status()
            if status["seq"] == newest:
                return status
            if time.monotonic() > deadline:
                raise Soak("fell behind: the host took commit %d, %d s after commit %d landed"
                           % (status["seq"], SETTLE_S, newest))
            time.sleep(0.01)

    def fresh_starts(self):
        """Each fresh start the host logged: its reason."""
        with open(self.log_path, errors="replace") as f:
            return [m[1] for m in re.finditer(r"fresh start at commit -?\d+: (.*), in \d+ us of CPU", f.read())]

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def make_store(o, host):
    if o.records:
        folder = os.path.join(o.work, "dump-%d" % o.records)
        if not os.path.exists(os.path.join(folder, "a.jsonl")):
            subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), str(o.records), folder], check=True)
        records = [json.loads(line) for line in open(os.path.join(folder, "a.jsonl"))]
    else:
        records = small_store(o.devices)
    records.append(soak_group(1 + sum(r["table"] == "portgroup" for r in records) + 1000000))
    write_changes(os.path.join(o.work, "start.jsonl"), records)
    for stale in ("store.db", "store.db-journal"):
        if os.path.exists(os.path.join(o.work, stale)):
            os.unlink(os.path.join(o.work, stale))
    host.run("import", "import", "store.db", "start.jsonl")
    return Store(records)


def newest_in_log(work):
    """The newest commit the store logged, read without writing."""
    db = sqlite3.connect("file:%s?mode=ro" % os.path.join(work, "store.db"), uri=True, timeout=30)
    try:
        return db.execute("SELECT max(seq) FROM commit_log").fetchone()[0]
    finally:
        db.close()


class Samples:
    COLUMNS = ["elapsed_s", "commits", "newest", "taken", "rss_kb", "hwm_kb", "vsz_kb", "anon_huge_kb",
               "fds", "fresh_starts", "requests", "taken_by", "commit_cpu_us"]

    def __init__(self, path):
        self.rows = []
        self.file = open(path, "w")
        self.file.write(",".join(self.COLUMNS) + "\n")

    def take(self, daemon, elapsed, commits, newest, status=None):
        status = status or daemon.connection.status()
        m = daemon.memory()
        last = status.get("last_commit") or {}
        row = {"elapsed_s": round(elapsed, 1), "commits": commits, "newest": newest, "taken": status["seq"],
               "rss_kb": m["VmRSS"], "hwm_kb": m["VmHWM"], "vsz_kb": m["VmSize"],
               "anon_huge_kb": m["AnonHugePages"], "fds": m["fds"],
               "fresh_starts": status["fresh_starts"]["count"], "requests": status["requests"],
               "taken_by": last.get("taken_by", ""), "commit_cpu_us": last.get("cpu_us", "")}
        self.rows.append(row)
        self.file.write(",".join(str(row[c]) for c in self.COLUMNS) + "\n")
        self.file.flush()
        return row


def slope(points):
    """Least-squares slope of y over x."""
    if len(points) < 3:
        return 0.0
    mx = statistics.fmean(x for x, _ in points)
    my = statistics.fmean(y for _, y in points)
    den = sum((x - mx) ** 2 for x, _ in points)
    return sum((x - mx) * (y - my) for x, y in points) / den if den else 0.0


def soak(o):
    os.makedirs(o.work, exist_ok=True)
    o.work = os.path.abspath(o.work)
    o.in_process = not o.processes and os.path.exists(
        os.path.join(o.build, "tools/confmodel-host/confmodel_host_driver"))
    host = Host(o.build, o.work, o.in_process)
    rng = random.Random(o.seed)
    store = make_store(o, host)
    daemon = Daemon(host, o.work)
    samples = Samples(os.path.join(o.work, "soak.csv"))
    changes = Changes(store, rng)
    changes_path = os.path.join(o.work, "changes.jsonl")
    started = time.monotonic()
    bound = started + o.minutes * 60
    made = sighups = verifies = kept = deadlines = dcbx = 0
    keep_note = ""
    next_sample = next_print = started
    lookup = {"request": "port", "port": 5}
    passed = {}

    def due(what, every, offset=0):
        """Whether the commits made passed the next multiple of every
        (plus offset) since the last time."""
        if not every:
            return False
        if made == 0 or made < offset:
            return False
        turn = (made - offset) // every + (1 if offset else 0)
        if passed.get(what, 0) >= turn:
            return False
        passed[what] = turn
        return True

    try:
        samples.take(daemon, 0, 0, store.newest)
        while made < o.commits and time.monotonic() < bound:
            kind, change_set = changes.next()
            if kind == "rollback":
                target = max(0, store.newest - rng.randint(1, 3))
                if store.journal and target >= store.journal[0][0] - 1:
                    p = host.run(kind, "rollback", "store.db", str(target), ok=(0, 1))
                    if p.returncode == 0:
                        replaced = store.back_to(target)
                        store.committed(logged_seq(p.stdout), replaced)
                        made += 1
            else:
                write_changes(changes_path, change_set)
                confirm = ["--confirm", "600"] if kind == "confirmed" else []
                p = host.run(kind, "apply", "--host", "faithful", "--commit", *confirm, "store.db", "changes.jsonl")
                store.committed(logged_seq(p.stdout), store.take(change_set))
                made += 1
                if confirm:
                    host.run("confirm", "confirm", "store.db")
            # The host answers between commits, as the device's processes ask.
            port, status = daemon.connection.ask(lookup, {"request": "status"})
            status = status["document"]
            if port["exit"] not in (0, 1):
                raise Soak("a port lookup: %s" % port)
            if due("show", 1000):
                shown = Connection(daemon.socket)
                shown.ask({"request": "show"})
                shown.close()
            if due("dcbx", 250):
                # A DCBX flag written without a commit: by another process,
                # then by the host itself.
                device = str(2000 + (made // 250) % max(1, o.devices)) if not o.records else "100000"
                host.run("dcbx", "dcbx", "store.db", "set", device, ok=(0, 1))
                daemon.connection.ask({"request": "dcbx", "action": "reset", "device": int(device)})
                dcbx += 2
            if due("unconfirmed", o.deadline_every, o.deadline_every // 2):
                # Left unconfirmed: the host rolls it back at its deadline.
                r = changes.pick("remote_device", lambda r: r["columns"]["0"] != str(SOAK_DEVICE))
                r["columns"]["5"] = "unconfirmed %d" % made
                change_set = [store.change(r)]
                write_changes(changes_path, change_set)
                p = host.run("unconfirmed", "apply", "--host", "faithful", "--commit", "--confirm", "1",
                             "store.db", "changes.jsonl")
                seq = logged_seq(p.stdout)
                store.committed(seq, store.take(change_set))
                time.sleep(1)
                deadline = time.monotonic() + 15
                while newest_in_log(o.work) != seq + 1:
                    daemon.alive()
                    if time.monotonic() > deadline:
                        raise Soak("commit %d was not rolled back 15 s after its deadline" % seq)
                    time.sleep(0.05)
                store.committed(seq + 1, store.back_to(seq - 1))
                made += 2
                deadlines += 1
                daemon.settle(store.newest)
            # The last commit's checks are the end's, below.
            if due("sighup", o.sighup_every) and made < o.commits:
                status = daemon.settle(store.newest)
                samples.take(daemon, time.monotonic() - started, made, store.newest, status)
                daemon.process.send_signal(signal.SIGHUP)
                sighups += 1
            if due("checkpoint", o.checkpoint) and made < o.commits:
                status = daemon.settle(store.newest)
                samples.take(daemon, time.monotonic() - started, made, store.newest, status)
                if newest_in_log(o.work) != store.newest:
                    raise Soak("the store logged commit %d as its newest, the soak made %d"
                               % (newest_in_log(o.work), store.newest))
                reply = daemon.connection.ask({"request": "verify"})[0]
                verifies += 1
                if reply["exit"] != 0:
                    raise Soak("verify at commit %d: %s" % (store.newest, json.dumps(reply["document"])[:300]))
                if o.keep:
                    p = host.run("log --keep", "log", "store.db", "--keep", str(o.keep), ok=(0, 1))
                    kept += 1
                    keep_note = p.stdout.strip()
                    store.journal = [e for e in store.journal if e[0] > store.newest - o.keep]
            now = time.monotonic()
            if now >= next_sample:
                row = samples.take(daemon, now - started, made, store.newest, status)
                next_sample = now + o.sample
                if now >= next_print:
                    next_print = now + 60
                    print("soak: %6d commits in %5.0f s: RSS %d kB, HWM %d kB, VmSize %d kB, %d fds, %d fresh starts"
                          % (made, now - started, row["rss_kb"], row["hwm_kb"], row["vsz_kb"], row["fds"],
                             row["fresh_starts"]), file=sys.stderr, flush=True)
        duration = time.monotonic() - started
        # The end as the commits left it, then once more after a verify.
        status = daemon.settle(store.newest)
        end = samples.take(daemon, time.monotonic() - started, made, store.newest, status)
        reply = daemon.connection.ask({"request": "verify"})[0]
        verifies += 1
        if reply["exit"] != 0:
            raise Soak("verify at the end, commit %d: %s" % (store.newest, json.dumps(reply["document"])[:300]))
        verified = samples.take(daemon, time.monotonic() - started, made, store.newest)
        reasons = daemon.fresh_starts()
    except OSError as e:  # the socket: a host that died says so first
        daemon.alive()
        raise Soak("the host's socket after commit %d: %s" % (store.newest, e))
    finally:
        daemon.stop()
        host.close()
    counts = {"sighups": sighups, "verifies": verifies, "keeps": kept, "deadlines": deadlines, "dcbx": dcbx,
              "keep_note": keep_note, "store_mb": os.path.getsize(os.path.join(o.work, "store.db")) / 1e6}
    return judge(o, host, samples, end, verified, reasons, made, duration, counts)


def judge(o, host, samples, end, verified, reasons, made, duration, counts):
    rows = samples.rows[:-1]  # the last is after the final verify's fresh start
    mb = lambda kb: kb / 1024
    start = rows[0]
    tenth = next((r for r in rows if r["commits"] >= made / 10), end)
    peak = lambda window: max(window, key=lambda r: r["rss_kb"])
    # Peaks, as fresh starts cut what was kept since the one before: that
    # of the second tenth of the commits beside that of the last.
    second = peak([r for r in rows if made / 10 <= r["commits"] <= made / 5] or [tenth])
    last = peak([r for r in rows if r["commits"] >= made * 9 / 10] or [end])
    highest = peak(rows)
    allowed = second["rss_kb"] * o.tolerance / 100 + o.slack * 1024
    after = [(r["commits"], r["rss_kb"]) for r in rows if r["commits"] >= tenth["commits"]]
    trend = slope(after) * (made - tenth["commits"])
    bound = start["rss_kb"] * o.bound + o.slack * 1024
    unexpected = [r for r in reasons if not r.startswith(EXPECTED_FRESH)]
    by_reason = {}
    for r in reasons:
        key = next((e for e in EXPECTED_FRESH if r.startswith(e)), r)
        by_reason[key] = by_reason.get(key, 0) + 1
    # The first fresh start and those of verify are not logged.
    by_reason["started"] = 1
    by_reason["verify"] = counts["verifies"]
    applies = [t for k, ts in host.times.items() if k not in ("import", "confirm", "dcbx", "log --keep")
               for t in ts]

    print("| commits | minutes | commits/s | command median ms | RSS start MB | RSS at tenth MB | RSS end MB "
          "| RSS highest MB | VmHWM MB | VmSize highest MB | fds start / tenth / end | fresh starts | store MB |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    print("| %d | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %d / %d / %d | %d | %.1f |" % (
        made, duration / 60, made / duration, statistics.median(applies) * 1000 if applies else 0,
        mb(start["rss_kb"]), mb(tenth["rss_kb"]), mb(end["rss_kb"]), mb(highest["rss_kb"]), mb(verified["hwm_kb"]),
        mb(max(r["vsz_kb"] for r in rows)), start["fds"], tenth["fds"], end["fds"], verified["fresh_starts"],
        counts["store_mb"]))
    print()
    print("fresh starts by reason: " + ", ".join("%s %d" % kv for kv in sorted(by_reason.items())))
    print("commands (%s): " % ("in one process" if o.in_process else "each a process") +
          ", ".join("%s %d (median %.1f ms)" % (k, len(ts), statistics.median(ts) * 1000)
                    for k, ts in sorted(host.times.items())))
    print("SIGHUPs %(sighups)d, verifies %(verifies)d, commits left unconfirmed %(deadlines)d, "
          "DCBX flags written %(dcbx)d, log --keep %(keeps)d: %(keep_note)s" % counts)
    print("RSS peaks: %.1f MB in the second tenth of the commits (at commit %d), %.1f MB in the last (at %d); "
          "the highest %.1f MB at commit %d, with %.1f MB of huge pages; trend from the tenth on %+.1f MB "
          "(least squares); allowed %.1f MB of growth, %.1f MB in all"
          % (mb(second["rss_kb"]), second["commits"], mb(last["rss_kb"]), last["commits"], mb(highest["rss_kb"]),
             highest["commits"], mb(highest["anon_huge_kb"]), mb(trend), mb(allowed), mb(bound)))
    print("samples: %s" % os.path.join(o.work, "soak.csv"))

    if unexpected:
        raise Soak("%d fresh starts the change path should not have needed, the first: %s"
                   % (len(unexpected), unexpected[0]))
    if verified["fresh_starts"] != sum(by_reason.values()):
        raise Soak("%d fresh starts, of which %d are accounted for" % (verified["fresh_starts"], sum(by_reason.values())))
    if end["fds"] > tenth["fds"]:
        raise Soak("descriptors grew from %d after %d commits to %d after %d"
                   % (tenth["fds"], tenth["commits"], end["fds"], made))
    if last["rss_kb"] > second["rss_kb"] + allowed:
        raise Soak("memory grew: VmRSS peaked at %.1f MB in the second tenth of the commits, at %.1f MB in the last"
                   % (mb(second["rss_kb"]), mb(last["rss_kb"])))
    if trend > allowed:
        raise Soak("memory grows steadily: %+.1f MB of VmRSS over %d commits by least squares (allowed %.1f MB)"
                   % (mb(trend), made - tenth["commits"], mb(allowed)))
    if highest["rss_kb"] > bound:
        raise Soak("memory grows with the commits taken between fresh starts: VmRSS %.1f MB after the start, "
                   "%.1f MB at commit %d (%.1f MB of it huge pages), over the %.1f MB allowed"
                   % (mb(start["rss_kb"]), mb(highest["rss_kb"]), highest["commits"], mb(highest["anon_huge_kb"]),
                      mb(bound)))
    if made < o.commits:
        print("soak: passed, %d of %d commits within %g minutes (%.1f a second)"
              % (made, o.commits, o.minutes, made / duration))
    else:
        print("soak: passed, %d commits in %.1f minutes" % (made, duration / 60))


def main():
    o = options()
    try:
        soak(o)
    except Soak as e:
        print("soak: FAILED: %s" % e, flush=True)
        sys.exit(1)


if __name__ == "__main__":
    main()
