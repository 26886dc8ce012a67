#!/usr/bin/env python3
"""Writes configuration dumps of a realistic mix for confmodel-host's benchmark:

    generate.py RECORDS DIR

DIR/a.jsonl holds RECORDS records; per 1000 of them 450 remote devices, 320
subports, 130 port_protect, 90 subport_protect, 1 port group, 3 xnets and 6
xnetgroups, in that proportion through the whole file. DIR/b.jsonl is the
same configuration with 1% of its records changed in place and 0.1% added at
the end. The same size always gives the same files."""
import json
import os
import random
import sys

MIX = [("remote_device", 450), ("subport", 320), ("port_protect", 130),
       ("subport_protect", 90), ("portgroup", 1), ("xnet", 3), ("xnetgroup", 6)]
ROLES = ["external", "server", "mtp", "sflow", "ingress_mirror", "egress_mirror"]


class Device:
    """Makes records of each kind, numbered in the order they are made."""

    def __init__(self, rng):
        self.rng = rng
        self.count = {kind: 0 for kind, _ in MIX}

    def make(self, kind, n=None):
        if n is None:
            n = self.count[kind]
            self.count[kind] += 1
        r = self.rng
        if kind == "remote_device":
            columns = {"0": str(100000 + n), "3": "chassis-%06x" % r.getrandbits(24),
                       "22": r.choice(["true", "false"])}
        elif kind == "subport":
            port, position = n // 8 % 64 + 1, n % 8 + 1
            columns = {"0": "/ports/port%d/subports/%d/%d" % (port, position, n // 512),
                       "5": str(position - 1), "7": r.choice(["FCoE", "Ethernet"]),
                       "9": r.choice(["enabled", "disabled"]), "10": "25000", "11": "1",
                       "16": r.choice(["true", "false"]), "17": "0x%x" % r.getrandbits(12)}
        elif kind == "port_protect":
            columns = {"0": "/ports/port%d/%d" % (n % 64 + 1, n // 64),
                       "4": r.choice(["enabled", "disabled"]), "5": r.choice(["loop_detected", "none"]),
                       "6": r.choice(["enabled", "disabled", "detection_only"]),
                       "7": r.choice(["pause_flood_detected", "in_pause_condition", "none"]),
                       "8": "0x%x" % r.getrandbits(8)}
        elif kind == "subport_protect":
            columns = {"0": "/ports/port%d/subports/%d/%d" % (n % 64 + 1, n % 8 + 1, n // 64),
                       "5": r.choice(["enabled", "disabled"]), "6": r.choice(["loop_detected", "none"])}
        elif kind == "portgroup":
            columns = {"0": "/portgroups/pg%d" % n, "3": str(n + 1), "5": str(n % 7), "6": "0",
                       "7": "0x%016x" % r.getrandbits(32), "8": str(100 + n % 4000),
                       **{str(c): "0x%016x" % (r.getrandbits(32) << 32 if c < 11 else 0)
                          for c in range(9, 17)},
                       "18": r.choice(["true", "false"]), "19": r.choice(["long", "short"])}
        elif kind == "xnet":
            columns = {"0": "/xnets/net%d" % n, "5": str(100 + n), "6": str(n % 4000),
                       "7": r.choice(["enabled", "disabled"]), "8": "true", "9": "false",
                       "10": "true", "11": "false"}
        else:  # xnetgroup: two for each xnet made so far, bound to a port group
            xnet = n // 2
            columns = {"0": "/xnets/net%d/xnetgroups/g%d" % (xnet, n % 2), "5": r.choice(ROLES),
                       "6": "/portgroups/pg%d" % (n // 6), "7": str(n % 100)}
            return {"table": kind, "xnet": "/xnets/net%d" % xnet, "columns": columns}
        return {"table": kind, "columns": columns}


def kinds(records):
    """The kind of each record, in the mix's proportions, spread evenly."""
    total = sum(share for _, share in MIX)
    owed = {kind: 0.0 for kind, _ in MIX}
    for _ in range(records):
        for kind, share in MIX:
            owed[kind] += share / total
        kind = max(owed, key=owed.get)
        owed[kind] -= 1
        yield kind


def main():
    records, folder = int(sys.argv[1]), sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(records)
    device = Device(rng)
    lines = [device.make(kind) for kind in kinds(records)]
    # An xnetgroup needs its xnet's record and a port group; the mix keeps
    # them in step, and any that ran ahead name the last ones.
    made = device.count
    for record in lines:
        if record["table"] == "xnetgroup":
            xnet = min(int(record["xnet"].rsplit("net", 1)[1]), made["xnet"] - 1)
            pg = min(int(record["columns"]["6"].rsplit("pg", 1)[1]), made["portgroup"] - 1)
            record["xnet"] = "/xnets/net%d" % xnet
            record["columns"]["0"] = "/xnets/net%d/xnetgroups/%s" % (
                xnet, record["columns"]["0"].rsplit("/", 1)[1])
            record["columns"]["6"] = "/portgroups/pg%d" % pg
    dump = lambda r: json.dumps(r, separators=(", ", ": ")) + "\n"
    with open(os.path.join(folder, "a.jsonl"), "w") as out:
        out.writelines(dump(r) for r in lines)
    # B: 1% changed in place (a new record of the same identity), 0.1% added.
    changed = rng.sample(range(len(lines)), len(lines) // 100)
    for i in changed:
        old = lines[i]
        new = device.make(old["table"], n=0)
        new["columns"]["0"] = old["columns"]["0"]
        if "xnet" in old:
            new["xnet"] = old["xnet"]
            new["columns"]["6"] = old["columns"]["6"]
        for keep in {"portgroup": "3", "xnet": "5"}.get(old["table"], ()):
            new["columns"][keep] = old["columns"][keep]
        lines[i] = new
    with open(os.path.join(folder, "b.jsonl"), "w") as out:
        out.writelines(dump(r) for r in lines)
        for _ in range(len(lines) // 1000):
            kind = rng.choice(["remote_device", "subport", "port_protect", "subport_protect"])
            out.write(dump(device.make(kind)))


if __name__ == "__main__":
    main()
