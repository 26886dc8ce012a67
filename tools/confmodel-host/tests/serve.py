#!/usr/bin/env python3
"""A running host follows random commits and rollbacks, a restart after kill -9
answers the same, and its socket stands up to bad, long, pipelined and
unread requests, signals and a second host.
usage: serve.py EXAMPLES STEPS HOST...   (HISTORY_SEED picks the run)"""
import atexit, json, os, signal, socket, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import history
from history import export, jsonl, newest, random_changes, rng, run

SOCK = "serve.sock"


def fail(message):
    sys.exit(f"serve (HISTORY_SEED={history.seed}): {message}")


history.fail = fail


def wait_for(what, ok):
    for _ in range(400):
        if ok():
            return
        time.sleep(0.025)
    fail(f"still not {what}")


def connect(timeout=20):
    c = socket.socket(socket.AF_UNIX)
    c.settimeout(timeout)
    c.connect(SOCK)
    return c, c.makefile("rb")


def reachable():
    try:
        connect()[0].close()
        return True
    except OSError:
        return False


def start():
    daemon = subprocess.Popen(history.host + ["serve", "store.db", "--socket", SOCK],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    atexit.register(lambda: daemon.poll() is None and daemon.kill())  # a failed run leaves no host behind
    wait_for("serving", lambda: daemon.poll() is None and reachable())
    return daemon


def ask(conn, *requests):
    c, replies = conn
    c.sendall(b"".join((r if isinstance(r, bytes) else json.dumps(r).encode()) + b"\n" for r in requests))
    return [json.loads(replies.readline()) for _ in requests]


def status(conn):
    return ask(conn, {"request": "status"})[0]["document"]


def check_same(step):
    want, conn = newest(), connect()
    wait_for(f"at commit {want} after step {step}", lambda: status(conn)["seq"] == want)
    if json.loads(run("status", "--json", SOCK).stdout)["seq"] != want:
        fail(f"step {step}: status --json does not say commit {want}")
    verify = ask(conn, {"request": "verify"})[0]
    if verify.get("exit") != 0:
        fail(f"step {step}: verify: {verify}")
    if run("show", "--json", SOCK).stdout != run("show", "--json", "store.db").stdout:
        fail(f"step {step}: the running model shows otherwise than the store")


# ---- Follows commits and rollbacks, and restarts after kill -9 -------------
history.start_store()
daemon = start()
rollbacks = 0
for step in range(history.steps):
    seq = newest()
    if step % 3 == 2 and seq > 0:
        rollbacks += run("rollback", "store.db", str(rng.randrange(seq)), status=(0, 1)).returncode == 0
    else:
        records = {history.name(r): r for r in map(json.loads, export().splitlines())}
        changes = random_changes(list(records.values()))
        if step % 3 == 1:  # port records alone: taken where they stand, without the faithful host
            subports = [r for r in records.values() if r["table"] == "subport"]
            changes = [dict(p, op="change", columns=dict(p["columns"], **{"10": str(rng.randrange(1, 99999))}))
                       for p in rng.sample(subports, min(2, len(subports)))]
        jsonl("changes.jsonl", changes)
        run("apply", "--commit", "--host", "faithful", "store.db", "changes.jsonl", status=(0, 1))
    check_same(step)
if newest() < history.steps // 2 or rollbacks == 0:
    fail(f"only {newest()} commits, {rollbacks} rollbacks")
daemon.kill()
daemon.wait()
daemon = start()
check_same("restart")

# ---- Each bad line its error, and the connection goes on -------------------
conn = connect()
long_line = {"id": 9, "request": "status", "pad": "x" * (64 * 1024)}
for line, code in ((b'{"request": "status"', "malformed"), ({"id": "u1", "request": "frobnicate"}, "unknown-request"),
                   (long_line, "too-long")):
    reply, after = ask(conn, line, {"id": "after", "request": "status"})
    if reply.get("ok") is not False or reply["error"]["code"] != code or after.get("ok") is not True:
        fail(f"{code}: {reply}, then {after}")
if ask(conn, {"id": "u1", "request": "frobnicate"})[0].get("id") != "u1":
    fail("an error did not echo its id")
replies = ask(conn, {"id": [1], "request": "status"}, {"id": {"n": 2}, "request": "port", "port": 33})
if [r.get("id") for r in replies] != [[1], {"n": 2}] or "seq" not in replies[0]["document"]:
    fail(f"two pipelined requests: {replies}")

# ---- A client that never reads holds no one else up ------------------------
hog = connect()[0]
hog.setblocking(False)
try:
    for _ in range(20000):
        hog.send(b'{"request": "show"}\n' * 50)
except BlockingIOError:
    pass
other = connect(timeout=5)  # the host drops a client only after it read nothing for 10 s
try:
    status(other)
except socket.timeout:
    fail("a client that never reads held up another one's status")
hog.close()

# ---- One host a socket; SIGHUP starts afresh; SIGTERM cleans up ------------
for path in (SOCK, "plain.sock"):
    with open("plain.sock", "w") as f:
        f.write("keep me\n")
    try:
        second = subprocess.run(history.host + ["serve", "store.db", "--socket", path], capture_output=True, timeout=20)
    except subprocess.TimeoutExpired:
        fail(f"a second host served on {path}")
    if second.returncode != 2 or open("plain.sock").read() != "keep me\n" or not reachable():
        fail(f"a second host on {path}: exit {second.returncode}: {second.stderr}")
starts = status(conn)["fresh_starts"]["count"]
daemon.send_signal(signal.SIGHUP)
wait_for("started afresh on SIGHUP", lambda: status(conn)["fresh_starts"]["count"] == starts + 1)
daemon.send_signal(signal.SIGTERM)
if daemon.wait(timeout=20) != 0 or os.path.lexists(SOCK):
    fail(f"SIGTERM: exit {daemon.returncode}, the socket {'left' if os.path.lexists(SOCK) else 'removed'}")
print(f"serve: {history.steps} steps, {rollbacks} rollbacks (HISTORY_SEED={history.seed})")
