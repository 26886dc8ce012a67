#!/usr/bin/env python3
"""A running host follows random commits and rollbacks, a restart after kill -9
answers the same, and its socket stands up to bad, long, pipelined and
unread requests, signals and a second host; other cases: killed at random, 1,000
clients, a locked store, a commit unconfirmed, records written past the log,
other users, memory over commits.
usage: serve.py CASE EXAMPLES STEPS HOST...   (HISTORY_SEED picks the run)"""
import atexit, contextlib, json, os, re, resource, select, signal, socket, sqlite3, subprocess, sys, time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
CASE = sys.argv.pop(1)  # before history reads the rest
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


def start(*options, **popen):
    daemon = subprocess.Popen(history.host + ["serve", "store.db", "--socket", SOCK, *options],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **popen)
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


def random_step(step, *options):
    """A random rollback, or a commit of random changes with the options."""
    seq = newest()
    if step % 3 == 2 and seq > 0:
        return ["rollback", "store.db", str(rng.randrange(seq))]
    records = {history.name(r): r for r in map(json.loads, export().splitlines())}
    changes = random_changes(list(records.values()))
    if step % 3 == 1:  # port records alone: taken where they stand, without the faithful host
        subports = [r for r in records.values() if r["table"] == "subport"]
        changes = [dict(p, op="change", columns=dict(p["columns"], **{"10": str(rng.randrange(1, 99999))}))
                   for p in rng.sample(subports, min(2, len(subports)))]
    jsonl("changes.jsonl", changes)
    return ["apply", "--commit", "--host", "faithful", *options, "store.db", "changes.jsonl"]


# ---- One case a run ---------------------------------------------------------
def killed():
    """Killed at random points of random commits and rollbacks, its own at a
    deadline included, it starts again on the store as they left it."""
    daemon = start()
    for step in range(history.steps):
        args = random_step(step, *["--confirm", "1"] * (step % 4 == 3))
        writer = subprocess.Popen(history.host + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if "--confirm" in args or rng.random() < 0.4:  # once it committed, or around its deadline
            writer.wait()
        time.sleep(rng.uniform(0.8, 2.2) if "--confirm" in args else rng.uniform(0, 0.1))
        daemon.kill()
        daemon.wait()
        writer.wait()
        daemon = start()
        wait_for("past the deadline", lambda: status(connect())["awaiting"] is None)
        check_same(f"{step}, killed")


def connections():
    """1,000 clients at once, from a host started with fewer descriptors."""
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    if hard < 1100:
        print(f"serve connections: skipped: a hard limit of {hard} descriptors")
        sys.exit(77)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    start(preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (256, hard)))
    clients = [connect() for _ in range(1000)]
    for c, _ in clients:
        c.sendall(b'{"request": "status"}\n')
    for n, (_, replies) in enumerate(clients):
        with contextlib.suppress(socket.timeout, ValueError):
            if json.loads(replies.readline()).get("ok") is True:
                continue
        fail(f"client {n} of 1,000 got no status")
    if status(connect(timeout=5))["clients"] != 1001:
        fail("a new client is not answered after 1,000, or not counted")


def locked():
    """A writer holds the store's lock for 3 s: the host answers meanwhile,
    and takes the commit that waited behind it. A dcbx request waits for the
    lock up to --wait (2 s), the lookups after it on its connection with it,
    and is then answered as the store answered; one made later gets the lock
    once the writer lets it go."""
    start("--wait", "2")
    conn = connect(timeout=2.5)
    seq = status(conn)["seq"]
    db = sqlite3.connect("store.db", isolation_level=None)
    db.execute("BEGIN EXCLUSIVE")  # readers too are kept out
    db.execute("UPDATE remote_device SET key = key")  # no change, but its journal is written
    jsonl("changes.jsonl", [{"op": "change", "table": "remote_device", "columns": {"0": "1001", "5": "rack 9"}}])
    writer = subprocess.Popen(history.host + ["apply", "--commit", "--host", "faithful", "store.db", "changes.jsonl"],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    dcbx = [{"request": "dcbx", "action": "set", "device": 1001, "id": n} for n in range(2)]
    early, late = connect(timeout=10), connect(timeout=10)
    early[0].sendall(json.dumps(dcbx[0]).encode() + b'\n{"request": "port", "port": 5, "id": "after"}\n')
    early[0].shutdown(socket.SHUT_WR)  # as `socat` does at the end of its input: the replies still come
    replies = []
    held = time.monotonic() + 3
    while time.monotonic() < held:
        try:
            port, now = ask(conn, {"request": "port", "port": 5}, {"request": "status"})
        except socket.timeout:
            fail("no prompt answer while a writer holds the store's lock")
        if not port["document"]["found"] or now["document"]["seq"] != seq:
            fail(f"while the store is locked: {port}, {now}")
        if len(replies) == 0 and time.monotonic() > held - 1.5:
            replies = [json.loads(early[1].readline()) for _ in range(2)]
            late[0].sendall(json.dumps(dcbx[1]).encode() + b"\n")
        time.sleep(0.05)
    given_up = [(r.get("id"), r.get("exit"), r.get("document", {}).get("status_name")) for r in replies]
    if given_up != [(0, 2, "database is locked"), ("after", 0, None)]:
        fail(f"a dcbx request past --wait behind the lock, and a lookup after it: {replies}")
    waited = writer.poll() is None
    db.execute("COMMIT")
    answer = json.loads(late[1].readline())
    if (answer.get("id"), answer.get("exit")) != (1, 0) or answer["document"]["after"] != ["true"]:
        fail(f"a dcbx request held for the lock was not made once it was free: {answer}")
    # A writer that lets readers in: the host reads the store, but cannot write it.
    db.execute("BEGIN IMMEDIATE")
    db.execute("UPDATE remote_device SET key = key")
    late[0].sendall(json.dumps(dict(dcbx[1], action="reset")).encode() + b"\n")
    if select.select([late[0]], [], [], 0.5)[0]:
        fail(f"a dcbx request answered while a writer holds the lock: {late[1].readline()}")
    db.execute("COMMIT")
    answer = json.loads(late[1].readline())
    if (answer.get("exit"), answer["document"]["after"]) != (0, ["false"]):
        fail(f"a dcbx request held for a writer was not made once it was done: {answer}")
    if not waited or writer.wait(timeout=30) != 0:
        fail(f"apply behind the lock: waited {waited}, exit {writer.returncode}: {writer.stdout.read()}")
    check_same("after the lock")
    if status(conn)["seq"] != seq + 1:
        fail("the commit behind the lock was not taken")


def confirmed():
    """A commit left unconfirmed is rolled back by the host at its deadline."""
    start()
    conn, before = connect(), run("show", "--json", "store.db").stdout
    seq = status(conn)["seq"]
    jsonl("changes.jsonl", [{"op": "remove", "table": "remote_device", "columns": {"0": "1002"}}])
    run("apply", "--host", "faithful", "--commit", "--confirm", "2", "store.db", "changes.jsonl")
    # Read where the host sees no event: nothing but its own clock wakes it.
    log, deadline = sqlite3.connect("file:store.db?mode=ro", uri=True), time.monotonic() + 8
    while log.execute("SELECT max(seq) FROM commit_log").fetchone()[0] != seq + 2:
        if time.monotonic() > deadline:
            fail(f"not rolled back 8 s after commit {seq + 1}")
        time.sleep(0.1)
    if run("show", "--json", SOCK).stdout != before or "at its deadline" not in run("log", "store.db").stdout:
        fail(f"the rollback at the deadline: {run('log', 'store.db').stdout}")
    check_same("rolled back")


def foreign():
    """Records written by another program without the log, after the newest
    commit and before the next: the host makes a fresh start and says why;
    a commit with nothing written past the log is taken as a change."""
    daemon = start()
    conn, db = connect(), sqlite3.connect("store.db", isolation_level=None)
    starts = lambda: status(conn)["fresh_starts"]

    def fresh_start_since(count):
        wait_for("a fresh start", lambda: starts()["count"] > count)
        return starts()["latest"][-1]["why"]

    count = starts()["count"]
    db.execute("UPDATE config_record SET c1 = c1 WHERE id = (SELECT max(id) FROM config_record)")
    if "written without the log after commit" not in fresh_start_since(count):
        fail(f"a write past the log after the newest commit: {starts()}")
    check_same("a write past the log")
    count = starts()["count"]
    daemon.send_signal(signal.SIGSTOP)  # to see both at one look
    db.execute("UPDATE config_record SET c1 = c1 WHERE id = (SELECT min(id) FROM config_record)")
    jsonl("changes.jsonl", [{"op": "change", "table": "remote_device", "columns": {"0": "1001", "5": "rack 9"}}])
    run("apply", "--commit", "--host", "faithful", "store.db", "changes.jsonl")
    daemon.send_signal(signal.SIGCONT)
    if "written without the log before commit" not in fresh_start_since(count):
        fail(f"a write past the log, then a commit: {starts()}")
    check_same("a write past the log, then a commit")
    count = starts()["count"]
    run("apply", "--commit", "--host", "faithful", "store.db", os.path.join(history.examples, "uplink-wider.jsonl"))
    wait_for("at the newest commit", lambda: status(conn)["seq"] == newest())
    if starts()["count"] != count:
        fail(f"a commit after them was not taken as a change: {starts()}")
    check_same("a commit")


def peers():
    """Another user is refused, unless of the socket's group."""
    if os.geteuid() != 0:
        print("serve peers: skipped: not root, so no other user")
        sys.exit(77)
    start("--group", "root")  # group 0
    os.chmod(".", 0o711)
    os.chmod(SOCK, 0o666)  # past the file's mode: the credentials decide
    for gid, code in ((65534, "refused"), (0, None)):
        out, into = os.pipe()
        if os.fork() == 0:  # the peer
            try:
                os.setgroups([])
                os.setgid(gid)
                os.setuid(65534)
                c, replies = connect(timeout=5)
                with contextlib.suppress(OSError):  # refused and closed already
                    c.sendall(b'{"request": "status"}\n')
                    c.shutdown(socket.SHUT_WR)
                said = replies.readline()
                with contextlib.suppress(ConnectionResetError):  # closed with the request unread
                    said += replies.read()
            except Exception as e:
                said = repr(e).encode()
            os.write(into, said)
            os._exit(0)
        os.close(into)
        said = os.fdopen(out, "rb").read().splitlines()
        reply = json.loads(said[0]) if said and said[0].startswith(b"{") else {}
        if reply.get("ok") is not (code is None) or (code and (said[1:] or reply["error"]["code"] != code)):
            fail(f"user 65534 of group {gid}: {said}")


def memory():
    """Over 500 commits of one change each, the host takes every one as a
    change, and its resident memory stays flat (2,000 would take over a minute)."""
    daemon = start()
    conn, sizes = connect(), []
    seq = status(conn)["seq"]
    for n in range(1, 501):
        change = {"op": "change", "table": "remote_device", "columns": {"0": "1001", "5": f"rack {n % 2}"}}
        jsonl("changes.jsonl", [change])
        run("apply", "--commit", "--host", "faithful", "store.db", "changes.jsonl")
        if n in (125, 500):
            wait_for(f"at commit {seq + n}", lambda: status(conn)["seq"] == seq + n)
            sizes.append(int(re.search(r"VmRSS:\s+(\d+) kB", open(f"/proc/{daemon.pid}/status").read())[1]))
    if status(conn)["fresh_starts"]["count"] != 1:
        fail(f"fresh starts over 500 commits: {status(conn)['fresh_starts']}")
    if sizes[1] > sizes[0] * 1.2 + 4096:
        fail(f"the host grew from {sizes[0]} kB after 125 commits to {sizes[1]} kB after 500")


# ---- Follows commits and rollbacks, and restarts after kill -9 -------------
history.start_store()
if CASE != "follow":
    {f.__name__: f for f in (killed, connections, locked, confirmed, foreign, peers, memory)}[CASE]()
    print(f"serve {CASE}: passed (HISTORY_SEED={history.seed})")
    sys.exit(0)
daemon = start()
rollbacks = 0
for step in range(history.steps):
    args = random_step(step)
    rollbacks += run(*args, status=(0, 1)).returncode == 0 and args[0] == "rollback"
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

# ---- Output as raw bytes after the line, framed among other replies --------
def raw(conn, request):
    """A request asking for the command's output: the reply's line, and the
    bytes it announces."""
    c, replies = conn
    c.sendall(json.dumps(request).encode() + b"\n")
    reply = json.loads(replies.readline())
    return reply, replies.read(reply["bytes"]) if "bytes" in reply else None


conn = connect()
lookups = [["port", "5"], ["port", "64"], ["vlan", "100"], ["portgroup", "/portgroups/uplink"], ["portgroup", "99"],
           ["xnet", "/xnets/prod"], ["xnetgroup", "/xnets/prod/xnetgroups/servers", "/xnetgroups/"]]
for form, flag in (("text", []), ("json", ["--json"])):
    for args in [[]] + lookups:
        want = run("show", *flag, "store.db", *args, status=(0, 1))
        got = run("show", *flag, SOCK, *args, status=(0, 1))
        if (got.returncode, got.stdout, got.stderr) != (want.returncode, want.stdout, ""):
            fail(f"show {' '.join(flag + args)}: the socket's exit {got.returncode} and output differ from the store's "
                 f"{want.returncode}:\n{got.stdout}{got.stderr}")
    # The same bytes through the protocol, pipelined between document replies.
    c, replies = conn
    c.sendall(b'{"id": "a", "request": "port", "port": 5}\n' + json.dumps({"id": "b", "request": "show", "form": form}).encode()
              + b'\n{"id": "c", "request": "vlan", "vid": 100}\n')
    first, framed = json.loads(replies.readline()), json.loads(replies.readline())
    body = replies.read(framed.get("bytes", 0))
    last = json.loads(replies.readline())
    if (first["id"], framed["id"], last["id"], framed["exit"], "output" in framed, "document" in framed) != \
            ("a", "b", "c", 0, False, False) or body.decode() != run("show", *flag, "store.db").stdout:
        fail(f"show as {form} between two lookups: {first}, {framed}, {len(body)} bytes, {last}")
    if not first["document"]["found"] or last["document"]["found"]["pathname"] != "/xnets/prod":
        fail(f"the lookups around show as {form}: {first}, {last}")
# A document found by a lookup is the one `show --json` finds in the store.
for args in lookups:
    request = {"request": args[0]}
    if args[0] in ("port", "vlan"):
        request["port" if args[0] == "port" else "vid"] = int(args[1])
    elif args[0] == "portgroup":
        request.update({"number": int(args[1])} if args[1].isdigit() else {"path": args[1]})
    else:
        request.update({"path": args[1], **({"separator": args[2]} if len(args) > 2 else {})})
    reply = ask(conn, request)[0]
    want = run("show", "--json", "store.db", *args, status=(0, 1))
    if (reply["exit"], reply["document"]) != (want.returncode, json.loads(want.stdout)):
        fail(f"{request}: {reply}, where the store gives {want.stdout}")
# Errors carry no bytes, and say the same as before.
for port, message in ((2 ** 31, '"port" must be from -2147483647 to 2147483647'), ("7", '"port" must be an integer')):
    reply, body = raw(conn, {"id": 4, "request": "port", "port": port, "form": "text"})
    if body is not None or (reply["id"], reply["error"]["code"], reply["error"]["message"]) != (4, "bad-argument", message):
        fail(f"port {port!r} as text: {reply}")
reply, body = raw(conn, {"id": 3, "request": "status", "form": "json"})
if json.loads(body)["socket"] != SOCK or reply["exit"] != 0 or reply["id"] != 3:
    fail(f"status as JSON: {reply}, {body}")
# dcbx through the socket answers as against the store when it changes nothing.
key = next(r["columns"]["0"] for r in map(json.loads, export().splitlines()) if r["table"] == "remote_device")
for flag in ([], ["--json"]):
    got = run("dcbx", *flag, SOCK, "test-and-set", key, "neither", "nor", status=(0, 1, 2))
    want = run("dcbx", *flag, "store.db", "test-and-set", key, "neither", "nor", status=(0, 1, 2))
    if (got.returncode, got.stdout) != (want.returncode, want.stdout):
        fail(f"dcbx {flag} test-and-set of {key}: exit {got.returncode} {got.stdout}{got.stderr}, "
             f"where the store gives {want.returncode} {want.stdout}{want.stderr}")

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
