#!/usr/bin/env python3
"""Random commits and rollbacks on one store: after every step the store holds,
line for line, the configuration of the commit it went back to, and its model
is a fresh start's of that configuration.
usage: history.py EXAMPLES STEPS HOST...   (HISTORY_SEED picks the run)"""
import json, os, random, re, subprocess, sys

examples, steps, host = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
seed = int(os.environ.get("HISTORY_SEED") or random.randrange(1 << 32))
rng = random.Random(seed)
ZERO = "0x" + "0" * 16


def fail(message):
    sys.exit(f"rollback (HISTORY_SEED={seed}): {message}")


def run(*args, status=(0,)):
    p = subprocess.run(host + list(args), capture_output=True, text=True)
    if p.returncode not in status:
        fail(f"{' '.join(args)}: exit {p.returncode}\n{p.stdout}{p.stderr}")
    return p


def jsonl(path, lines):
    with open(path, "w") as f:
        f.writelines(json.dumps(line) + "\n" for line in lines)


def device(key):
    return {"table": "remote_device",
            "columns": {"0": str(key), "5": rng.choice(["a", "rack 1", "x" * 40]), "22": rng.choice(["true", "false"])}}


def portgroup(n):
    # Each port group of its own owns one free port (37-40), or none.
    ports = "0x%016x" % ((1 << (30 + n)) if rng.random() < 0.7 else 0)
    columns = {"0": f"/portgroups/r{n}", "3": str(n), "5": str(n), "6": "0", "7": ports, "8": str(rng.choice([0, 600 + n]))}
    columns.update({str(c): ZERO for c in range(9, 17)})
    return {"table": "portgroup", "columns": columns}


def xnet(k):
    return {"table": "xnet", "columns": {"0": f"/xnets/r{k}", "5": str(600 + k), "6": str(600 + k),
                                         "7": rng.choice(["enabled", "disabled"]), "8": "false", "9": "false",
                                         "10": "true", "11": "false"}}


def xnetgroup(k, n):
    return {"table": "xnetgroup", "xnet": f"/xnets/r{k}",
            "columns": {"0": f"/xnets/r{k}/xnetgroups/g", "5": rng.choice(["server", "external"]), "6": f"/portgroups/r{n}"}}


def name(record):
    return (record["table"], record.get("xnet"), record["columns"]["0"])


def random_changes(records):
    """A change set the module takes, on the records the store holds."""
    by_table = {}
    for r in records:
        by_table.setdefault(r["table"], []).append(r)
    devices = by_table.get("remote_device", [])
    ours = lambda table: {int(r["columns"]["0"].split("/r")[1]): r for r in by_table.get(table, []) if "/r" in r["columns"]["0"]}
    groups, xnets = ours("portgroup"), ours("xnet")
    bound = {r["columns"]["6"] for r in by_table.get("xnetgroup", [])}
    changes, touched = [], set()

    def op(kind, record):
        if name(record) not in touched or kind == "add":
            touched.add(name(record))
            if kind == "remove":  # named by its identity alone
                record = dict(record, columns={"0": record["columns"]["0"]})
            changes.append(dict(record, op=kind))

    for _ in range(rng.randint(1, 5)):
        what = rng.randrange(10)
        if what == 0:
            free = [k for k in range(2000, 2030) if ("remote_device", None, str(k)) not in touched | set(map(name, devices))]
            if free:
                op("add", device(rng.choice(free)))
        elif what == 1 and devices:
            op("remove", rng.choice(devices))
        elif what == 2 and devices:
            op("change", device(rng.choice(devices)["columns"]["0"]))
        elif what == 3:  # removed and added again: it moves to the end of its kind
            pick = rng.choice(devices + by_table.get("port_protect", []) + [x for k, x in xnets.items() if all(
                g["xnet"] != x["columns"]["0"] for g in by_table.get("xnetgroup", []))] or [None])
            if pick is not None and name(pick) not in touched:
                op("remove", pick)
                op("add", device(pick["columns"]["0"]) if pick["table"] == "remote_device" else pick)
        elif what == 4:
            free = [k for k in range(1, 9) if k not in xnets and ("xnet", None, f"/xnets/r{k}") not in touched]
            if free:
                k = rng.choice(free)
                op("add", xnet(k))
                kept = [n for n, g in groups.items() if name(g) not in touched]
                if kept and rng.random() < 0.6:
                    n = rng.choice(kept)
                    op("add", xnetgroup(k, n))
                    bound.add(f"/portgroups/r{n}")
        elif what == 5 and xnets:
            k = rng.choice(list(xnets))
            if name(xnets[k]) not in touched:
                for g in by_table.get("xnetgroup", []):
                    if g["xnet"] == f"/xnets/r{k}":
                        op("remove", g)
                op("remove", xnets[k])
        elif what == 6 and xnets:
            x = xnets[rng.choice(list(xnets))]
            op("change", dict(x, columns=dict(x["columns"], **{"7": rng.choice(["enabled", "disabled"])})))
        elif what == 7:
            free = [n for n in range(6, 10) if n not in groups and ("portgroup", None, f"/portgroups/r{n}") not in touched]
            if free:
                op("add", portgroup(rng.choice(free)))
        elif what == 8 and groups:
            n = rng.choice(list(groups))
            if groups[n]["columns"]["0"] not in bound:
                op("remove", groups[n])
        elif what == 9 and by_table.get("subport"):  # a port record rewritten in its row
            p = rng.choice(by_table["subport"])
            op("change", dict(p, columns=dict(p["columns"], **{"10": rng.choice(["1000", "10000", "25000"])})))
    return changes


def export():
    return run("export", "store.db").stdout


def newest():
    return int(run("log", "store.db").stdout.split(" ", 1)[0])


def check_model(expected, step):
    """The store's model is what a fresh start of its configuration builds."""
    with open("fresh.jsonl", "w") as f:
        f.write(expected)
    if os.path.exists("fresh.db"):
        os.remove("fresh.db")
    run("import", "fresh.db", "fresh.jsonl")
    if run("show", "--json", "store.db").stdout != run("show", "--json", "fresh.db").stdout:
        fail(f"step {step}: the model of the store is not a fresh start's of its records")


def check_counts(changes, records, step):
    """The log counts a record removed and added again as one changed."""
    names = lambda op: {name(c) for c in changes if c["op"] == op}
    moved = names("remove") & names("add")
    changed = {name(c) for c in changes if c["op"] == "change" and c["columns"] != records[name(c)]["columns"]}
    want = [len(names("add") - moved), len(changed | moved), len(names("remove") - moved)]
    commit = json.loads(run("log", "store.db", "--json").stdout)["commits"][0]
    if [commit["added"], commit["changed"], commit["removed"]] != want:
        fail(f"step {step}: commit {commit['seq']} is logged as {commit} for\n{changes}")


def start_store():
    """store.db, imported from the example device and random records."""
    start = [json.loads(line) for line in open(os.path.join(examples, "device.jsonl")) if line.startswith("{")]
    start += [device(k) for k in rng.sample(range(2000, 2030), rng.randint(2, 10))]
    start += [portgroup(n) for n in rng.sample(range(6, 10), rng.randint(0, 3))]
    jsonl("start.jsonl", start)
    run("check", "start.jsonl")
    run("import", "store.db", "start.jsonl")


if __name__ == "__main__":
    start_store()
    exports = {0: export()}
    rolled_back = 0
    # A remote device's DCBX-pending flag is the device's state, which dcbx writes
    # without a commit and a rollback leaves as it is: in half the runs, a record
    # is the same whatever its flag.
    dcbx = rng.random() < 0.5
    flagless = lambda text: re.sub(r',"22":"(true|false)"', "", text) if dcbx else text
    for step in range(steps):
        seq = newest()
        devices = [r["columns"]["0"] for r in map(json.loads, export().splitlines()) if r["table"] == "remote_device"]
        if dcbx and devices and rng.random() < 0.3:  # the device's own state, written without a commit
            run("dcbx", "store.db", rng.choice(["set", "reset"]), rng.choice(devices), status=(0, 1))
        if step % 3 == 2 and seq > 0:
            # An earlier commit: rolling back to the newest is the case below.
            target = rng.randrange(seq)
            before = export()
            p = run("rollback", "store.db", str(target), status=(0, 1))
            if p.returncode == 1 and flagless(before) != flagless(exports[target]):
                fail(f"step {step}: rollback to {target} did nothing\n{p.stdout}")
            got = export()
            if flagless(got) != flagless(exports[target]):
                fail(f"step {step}: after rollback to {target} the store holds\n{got}\nnot\n{exports[target]}")
            rolled_back += p.returncode == 0
        else:
            records = {name(r): r for r in map(json.loads, export().splitlines())}
            changes = random_changes(list(records.values()))
            if not changes:
                continue
            jsonl("changes.jsonl", changes)
            p = run("apply", "--commit", "--host", "faithful", "store.db", "changes.jsonl", status=(0, 1))
            if p.returncode == 1 and flagless(export()) != flagless(exports[seq]):
                fail(f"step {step}: a commit changed the store without logging it")
            got = export()
            if p.returncode == 0:
                check_counts(changes, records, step)
        exports[newest()] = got
        check_model(got, step)
    if rolled_back < steps // 6:
        fail(f"only {rolled_back} rollbacks committed")
    p = run("rollback", "store.db", str(newest()), status=(0, 1))
    if p.returncode != 1 or "nothing to roll back" not in p.stdout:
        fail(f"a rollback to the newest commit is not refused as nothing to do:\n{p.stdout}")
    print(f"rollback: {steps} steps, {rolled_back} rollbacks, {newest()} commits (HISTORY_SEED={seed})")
