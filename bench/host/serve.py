#!/usr/bin/env python3
"""Measures the running host, confmodel-host serve, at several sizes of a
realistic configuration, and prints the table of docs/performance.md:

    serve.py BUILD_DIR WORK_DIR SIZE...

For each size it imports a store D from generate.py's dump A (written only
when WORK_DIR/SIZE has none: the same size always gives the same dump),
starts `serve D`, and takes:

- the CPU of a fresh start (the one at startup and two on SIGHUP), beside the
  CPU of taking a commit of ten records (nine remote devices and a port
  group) made by `apply --host faithful --commit`, both as the host itself
  reports them in `status`;
- from the return of that command, the wall time until a lookup of the port
  group over the socket, asked again and again, answers the change;
- lookups: `port` requests per second on one connection, pipelined, and the
  latency of one request and its reply on an idle host, each beside the same
  client against bench/host/echo.c, which answers every line with the same
  reply bytes;
- `show --json` of the whole model from the socket beside `show --json` of
  the store.

Exits 1 when a command fails or an answer is wrong."""
import json
import os
import select
import signal
import socket
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
COMMITS = 7
FRESH_STARTS = 3
PIPELINED = 100000
BATCH = 250
# Replies awaited at once, in bytes: under the 1 MiB of waiting replies past
# which the host reads no more requests from a connection.
WINDOW_BYTES = 512 * 1024
STALLED_S = 10
SINGLE = 20000
SHOWS = 3
PORT_REQUEST = b'{"id":1,"request":"port","port":7}\n'


def human(records):
    return "%dM" % (records // 1000000) if records % 1000000 == 0 else "%dk" % (records // 1000)


class Connection:
    """One client connection, asking a request and reading its reply line."""

    def __init__(self, path):
        self.socket = socket.socket(socket.AF_UNIX)
        # Long enough for a fresh start of a large store.
        self.socket.settimeout(600)
        self.socket.connect(path)
        self.buffer = b""

    def ask_bytes(self, line):
        self.socket.sendall(line)
        while b"\n" not in self.buffer:
            data = self.socket.recv(1 << 20)
            if not data:
                sys.exit("the server closed the connection")
            self.buffer += data
        reply, self.buffer = self.buffer.split(b"\n", 1)
        return reply + b"\n"

    def ask(self, request):
        reply = json.loads(self.ask_bytes(json.dumps(request).encode() + b"\n"))
        if not reply.get("ok"):
            sys.exit("%s: %s" % (request, reply))
        return reply

    def close(self):
        self.socket.close()


def wait_for_socket(path, process, seconds=600):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            sys.exit("%s exited %d before answering" % (process.args[0], process.returncode))
        try:
            return Connection(path)
        except OSError:
            time.sleep(0.01)
    sys.exit("nothing answered on %s" % path)


def status(connection):
    return connection.ask({"request": "status"})["document"]


def export_records(host, store):
    """The records write_changes changes: the first remote devices and port
    group of the store."""
    out = subprocess.run([host, "export", store], check=True, capture_output=True, text=True).stdout
    devices = [line for line in out.splitlines() if '"remote_device"' in line][:9]
    group = next(line for line in out.splitlines() if '"portgroup"' in line)
    return [json.loads(line) for line in devices + [group]]


def write_changes(records, path, commit):
    """Ten records changed, differently for each commit: nine remote
    devices' fifth column, and the first port group's column 19 (long or
    not), which a lookup of the group shows."""
    devices = [r for r in records if r["table"] == "remote_device"][:9]
    group = next(r for r in records if r["table"] == "portgroup")
    with open(path, "w") as f:
        for device in devices:
            device["columns"]["5"] = "changed-%d" % commit
            f.write(json.dumps({"op": "change", **device}) + "\n")
        group["columns"]["19"] = "short" if group["columns"].get("19") == "long" else "long"
        f.write(json.dumps({"op": "change", **group}) + "\n")
    return int(group["columns"]["3"])


def fresh_start_cpu(connection, pid):
    """The CPU of the fresh start at startup and of some more on SIGHUP."""
    cpu = [status(connection)["fresh_starts"]["latest"][-1]["cpu_us"]]
    for _ in range(FRESH_STARTS - 1):
        count = status(connection)["fresh_starts"]["count"]
        os.kill(pid, signal.SIGHUP)
        while True:
            starts = status(connection)["fresh_starts"]
            if starts["count"] > count:
                break
            time.sleep(0.01)
        cpu.append(starts["latest"][-1]["cpu_us"])
    return cpu


def commits(host, store, records, folder, connection):
    """CPU the host spent taking each commit, its own wall time, and the
    wall time from the committing command's return to a lookup answering
    the change; and the committing command's wall time."""
    cpu, own_wall, seen, command = [], [], [], []
    for commit in range(COMMITS):
        changes = os.path.join(folder, "ten-%d.jsonl" % commit)
        number = write_changes(records, changes, commit)
        lookup = json.dumps({"id": 1, "request": "portgroup", "number": number}).encode() + b"\n"
        before = connection.ask_bytes(lookup)
        seq = status(connection)["seq"]
        started = time.perf_counter()
        subprocess.run([host, "apply", "--host", "faithful", "--commit", store, changes],
                       check=True, stdout=subprocess.DEVNULL)
        returned = time.perf_counter()
        while connection.ask_bytes(lookup) == before:
            pass
        seen.append(time.perf_counter() - returned)
        command.append(returned - started)
        now = status(connection)
        if now["seq"] != seq + 1 or now["last_commit"]["rows"] != 10:
            sys.exit("commit %d was not taken as one commit of ten rows: %s" % (seq + 1, now))
        cpu.append(now["last_commit"]["cpu_us"])
        own_wall.append(now["last_commit"]["wall_us"])
    return cpu, own_wall, seen, command


def daemon_cpu(host, store, records, folder, connection, pid):
    """All the CPU the host spends on each of COMMITS commits, read from the
    kernel's count of its run time: waking at each change of the store's
    folder and reading the log as well as taking the commit. Nothing asks it
    meanwhile; it is asked only afterwards whether it took the commit."""
    def run_us():
        with open("/proc/%d/schedstat" % pid) as f:
            return int(f.read().split()[0]) / 1000
    spent = []
    for commit in range(COMMITS):
        changes = os.path.join(folder, "cpu-%d.jsonl" % commit)
        write_changes(records, changes, COMMITS + commit)
        seq = status(connection)["seq"]
        before = run_us()
        subprocess.run([host, "apply", "--host", "faithful", "--commit", store, changes],
                       check=True, stdout=subprocess.DEVNULL)
        time.sleep(0.5)
        spent.append(run_us() - before)
        if status(connection)["seq"] != seq + 1:
            sys.exit("commit %d was not taken within 0.5 s" % (seq + 1))
    return spent


def pipelined(path, line, expected):
    """Requests per second on one connection, written in batches while the
    replies awaited stay within WINDOW_BYTES; every reply byte is checked to
    be the expected line's."""
    s = socket.socket(socket.AF_UNIX)
    s.connect(path)
    s.setblocking(False)
    poller = select.poll()
    batch = line * BATCH
    window = max(BATCH, WINDOW_BYTES // len(expected) // BATCH * BATCH)
    sent = answered = received = 0
    out = memoryview(b"")
    tail = b""
    poller.register(s, select.POLLIN)
    started = time.perf_counter()
    while answered < PIPELINED:
        if not out and sent < PIPELINED and sent - answered <= window - BATCH:
            out = memoryview(batch)
            sent += BATCH
        poller.modify(s, select.POLLIN | (select.POLLOUT if out else 0))
        ready = poller.poll(STALLED_S * 1000)
        if not ready:
            sys.exit("no reply for %d s: %d of %d requests answered" % (STALLED_S, answered, sent))
        for _, events in ready:
            if events & select.POLLOUT and out:
                out = out[s.send(out):]
            if events & select.POLLIN:
                data = s.recv(1 << 20)
                if not data:
                    sys.exit("the server closed the connection")
                received += len(data)
                answered += data.count(b"\n")
                # The last reply is compared; the byte count covers the rest.
                tail = (tail + data)[-len(expected):]
    elapsed = time.perf_counter() - started
    s.close()
    if received != PIPELINED * len(expected) or tail != expected:
        sys.exit("pipelined replies differ from %r" % expected)
    return PIPELINED / elapsed


def single(path, line, expected):
    """Microseconds from one request's sending to its whole reply, the next
    sent only then: the median and the 99th percentile."""
    connection = Connection(path)
    times = []
    for _ in range(SINGLE):
        started = time.perf_counter_ns()
        reply = connection.ask_bytes(line)
        times.append(time.perf_counter_ns() - started)
        if reply != expected:
            sys.exit("reply %r differs from %r" % (reply, expected))
    connection.close()
    times.sort()
    return times[len(times) // 2] / 1000, times[len(times) * 99 // 100] / 1000


def show_wall(host, source):
    started = time.perf_counter()
    subprocess.run([host, "show", source, "--json"], check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - started


def stop(process):
    process.send_signal(signal.SIGTERM)
    if process.wait(timeout=60) != 0:
        sys.exit("%s exited %d" % (process.args[0], process.returncode))


def measure(build, folder, size):
    host = os.path.join(build, "tools/confmodel-host/confmodel-host")
    echo = os.path.join(build, "bench/confmodel_host_echo")
    a, d = os.path.join(folder, "a.jsonl"), os.path.join(folder, "serve.db")
    if not os.path.exists(a):
        subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), str(size), folder], check=True)
    if os.path.exists(d):
        os.unlink(d)
    subprocess.run([host, "import", d, a], check=True, stdout=subprocess.DEVNULL)
    records = export_records(host, d)
    path = os.path.join(folder, "serve.sock")
    with open(os.path.join(folder, "serve.log"), "w") as log:
        daemon = subprocess.Popen([host, "serve", d, "--socket", path], stderr=log)
    try:
        connection = wait_for_socket(path, daemon)
        starts = fresh_start_cpu(connection, daemon.pid)
        cpu, own_wall, seen, command = commits(host, d, records, folder, connection)
        whole_cpu = daemon_cpu(host, d, records, folder, connection, daemon.pid)
        expected = connection.ask_bytes(PORT_REQUEST)
        connection.close()
        with open(os.path.join(folder, "reply"), "wb") as f:
            f.write(expected)
        echo_path = os.path.join(folder, "echo.sock")
        floor = subprocess.Popen([echo, echo_path, os.path.join(folder, "reply")])
        try:
            wait_for_socket(echo_path, floor).close()
            # Interleaved, so that both meet the same load.
            rate, floor_rate, latency, floor_latency = [], [], [], []
            for _ in range(3):
                rate.append(pipelined(path, PORT_REQUEST, expected))
                floor_rate.append(pipelined(echo_path, PORT_REQUEST, expected))
            latency = single(path, PORT_REQUEST, expected)
            floor_latency = single(echo_path, PORT_REQUEST, expected)
        finally:
            stop(floor)
        shows, store_shows = [], []
        for _ in range(SHOWS):
            shows.append(show_wall(host, path))
            store_shows.append(show_wall(host, d))
    finally:
        if daemon.poll() is None:
            stop(daemon)
    return {
        "fresh start CPU us": starts, "commit CPU us": cpu, "commit wall us": own_wall,
        "host CPU a commit us": whole_cpu,
        "seen after return s": seen, "apply --commit wall s": command,
        "requests/s": rate, "echo requests/s": floor_rate,
        "latency us": latency, "echo latency us": floor_latency, "reply bytes": len(expected),
        "show socket s": shows, "show store s": store_shows,
    }


def main():
    build, work, sizes = sys.argv[1], sys.argv[2], [int(s) for s in sys.argv[3:]]
    results = []
    for size in sizes:
        folder = os.path.join(work, human(size))
        os.makedirs(folder, exist_ok=True)
        figures = measure(build, folder, size)
        with open(os.path.join(folder, "serve.json"), "w") as f:
            json.dump(figures, f, indent=1)
        results.append((size, figures))
    print_tables(results)


def print_tables(results):
    med = statistics.median
    print("| records | fresh start CPU ms | commit of 10 CPU ms | fresh / commit | commit's own wall ms "
          "| seen after apply returns ms | apply --commit wall s | host CPU a commit ms | fresh / host |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for size, f in results:
        fresh, commit = med(f["fresh start CPU us"]), med(f["commit CPU us"])
        whole = med(f["host CPU a commit us"])
        print("| %s | %.0f | %.2f | %.0f | %.2f | %.2f | %.2f | %.2f | %.0f |" % (
            human(size), fresh / 1000, commit / 1000, fresh / commit, med(f["commit wall us"]) / 1000,
            med(f["seen after return s"]) * 1000, med(f["apply --commit wall s"]), whole / 1000, fresh / whole))
    print()
    print("| records | pipelined requests/s | echo floor | / floor | p50 µs | echo p50 µs | p99 µs "
          "| echo p99 µs | show socket s | show store s | socket / store |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for size, f in results:
        rate, floor_rate = max(f["requests/s"]), max(f["echo requests/s"])
        show, show_store = med(f["show socket s"]), med(f["show store s"])
        print("| %s | %.0f | %.0f | %.2f | %.0f | %.0f | %.0f | %.0f | %.2f | %.2f | %.1f |" % (
            human(size), rate, floor_rate, rate / floor_rate, f["latency us"][0], f["echo latency us"][0],
            f["latency us"][1], f["echo latency us"][1], show, show_store, show / show_store))


if __name__ == "__main__":
    main()
