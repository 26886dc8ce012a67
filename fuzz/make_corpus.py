#!/usr/bin/env python3
"""Writes the fuzz target's seed corpus: one file per scenario, each a host's
realistic sequence of records and calls in the target's input format (see
fuzz_confmodel.cc). Run it again after changing the format:

    fuzz/make_corpus.py fuzz/corpus
"""
import os
import struct
import sys

# Operation and column tag numbers, as the enums in fuzz_confmodel.cc.
(OP_PORTGROUP, OP_XNET, OP_FC_XNET, OP_XNETGROUP, OP_FC_XNETGROUP, OP_PARSE_XNET,
 OP_PARSE_XNETGROUP, OP_FIND_PORTGROUP, OP_FIND_XNET, OP_FIND_XNETGROUP, OP_NATIVE_VLAN,
 OP_FREE_PORTGROUP, OP_FREE_XNET, OP_FREE_XNETGROUP, OP_SUBPORT, OP_FREE_SUBPORT, OP_PROTECT,
 OP_PORT_NUMBER, OP_FAIL, OP_DEVICE, OP_DCBX, OP_STORE_FAIL) = range(22)
TAG_ABSENT, TAG_LONG, TAG_TEXT = 0, 5, 6


def u8(n):
    return struct.pack("<B", n)


def i32(n):
    return struct.pack("<i", n)


def col(text):
    """A column: None is absent, a string is its text."""
    if text is None:
        return u8(TAG_ABSENT)
    data = text.encode()
    if len(data) > 255:
        assert len(set(data)) == 1, "long columns repeat one character"
        return u8(TAG_LONG) + struct.pack("<HB", len(data), data[0])
    return u8(TAG_TEXT) + u8(len(data)) + data


def record(length, columns):
    return b"".join(col(columns.get(i)) for i in range(length))


def portgroup(path, number, ports="0", native="1", subports=("0",) * 8, col18=None, col19=None):
    cols = {0: path, 3: str(number), 5: "0", 6: "0", 7: ports, 8: str(native), 18: col18, 19: col19}
    cols.update({9 + i: s for i, s in enumerate(subports)})
    return u8(OP_PORTGROUP) + record(20, cols)


def xnet(path, vid, fc=False, **cols):
    c = {0: path, 5: None if vid is None else str(vid)}
    c.update({int(k[1:]): v for k, v in cols.items()})
    return u8(OP_FC_XNET if fc else OP_XNET) + record(14, c)


def xnetgroup(parent, path, role, group, col7=None, fc=False):
    op = OP_FC_XNETGROUP if fc else OP_XNETGROUP
    return u8(op) + u8(parent) + record(8, {0: path, 5: role, 6: group, 7: col7})


def find_portgroup(number, name, port):
    return u8(OP_FIND_PORTGROUP) + i32(number) + col(name) + i32(port)


def find_xnet(vid, name):
    return u8(OP_FIND_XNET) + i32(vid) + col(name)


def find_xnetgroup(path, separator):
    return u8(OP_FIND_XNETGROUP) + col(path) + col(separator)


def subport(slot, parent, path, **cols):
    c = {0: path}
    c.update({int(k[1:]): v for k, v in cols.items()})
    return u8(OP_SUBPORT) + u8(slot) + i32(parent) + record(18, c)


def port_protect(**cols):
    return u8(OP_PROTECT) + u8(1) + record(9, {int(k[1:]): v for k, v in cols.items()})


def subport_protect(**cols):
    return u8(OP_PROTECT) + u8(0) + record(7, {int(k[1:]): v for k, v in cols.items()})


def dcbx(function, key, expected=None, new_value=None):
    return u8(OP_DCBX) + u8(function) + u8(key) + col(expected) + col(new_value)


# An xnet pathname and xnetgroup pathnames at and past the 36-character limit.
XNET_30 = "/xnets/abcdefghijklmnopqrstuvw"
NAME_36 = XNET_30 + "/01234"
NAME_37 = XNET_30 + "/012345"
assert (len(XNET_30), len(NAME_36), len(NAME_37)) == (30, 36, 37)

SCENARIOS = {
    "model": [
        portgroup("/portgroups/uplink", 1, "0x3", 100, col18="true"),
        portgroup("/portgroups/servers", 2, "0xf0", 200, ("0x1", "0", "0", "0", "0", "0", "0", "0x80")),
        portgroup("/portgroups/dup", 1, "0x1"),
        portgroup("/portgroups/long", 3, "0x8000000000000000", 300, col19="long"),
        xnet("/xnets/prod", 100, c6="10", c7="enabled", c8="true", c9="true", c10="true", c11="true"),
        xnet("/xnets/storage", 300, fc=True, c6="direct_attach", c7="enabled", c8="8", c9="9", c13="true"),
        xnet("/xnets/copy", 100),
        xnet("/xnets/fabric", 400, fc=True, c6="LAN"),
        xnetgroup(0, "/xnets/prod/g1", "external", "/portgroups/uplink", "7"),
        xnetgroup(0, "/xnets/prod/g2", "sflow", "/portgroups/servers"),
        xnetgroup(1, "/xnets/storage/g1", "fc", "/portgroups/long", fc=True),
        xnetgroup(1, "/xnets/storage/g2", "server", "/portgroups/missing", fc=True),
        find_portgroup(2, "/portgroups/servers", 63),
        find_portgroup(7, "/portgroups/none", 0),
        find_portgroup(1, "/portgroups/uplink", 64),
        find_portgroup(-1, "", -1),
        find_xnet(300, "/xnets/storage"),
        find_xnet(-1, "/xnets/none"),
        find_xnetgroup("/xnets/prod/g2", "/g"),
        find_xnetgroup("/xnets/storage/g1", "/"),
        find_xnetgroup("/xnets/prod/g1/0123456789abcdefghij", "/g"),
        u8(OP_NATIVE_VLAN) + u8(0) + i32(1),
        u8(OP_NATIVE_VLAN) + u8(1) + i32(9),
        u8(OP_FREE_XNETGROUP) + u8(0) + u8(0),
        u8(OP_FREE_PORTGROUP) + u8(1),
        u8(OP_FREE_XNET) + u8(0),
    ],
    "parsers": [
        portgroup("/pg/a", 5, "0x20"),
        xnet("/x/a", 5),
        u8(OP_PARSE_XNET) + u8(0) + record(14, {0: "/x/b", 5: "6", 6: "-1", 7: "Enabled"}),
        u8(OP_PARSE_XNET) + u8(1) + record(14, {0: "/x/c", 5: "7", 6: "lan", 13: "true"}),
        u8(OP_PARSE_XNETGROUP) + u8(0) + u8(0) + record(8, {0: "/x/a.g", 5: "mtp", 6: "/pg/a"}),
        u8(OP_PARSE_XNETGROUP) + u8(1) + u8(0) + record(8, {0: "/x/a.h", 5: "fc", 6: None}),
    ],
    "out-of-memory": [
        u8(OP_FAIL) + u8(1) + u8(0), portgroup("/pg/a", 1),
        u8(OP_FAIL) + u8(0) + u8(1), portgroup("/pg/a", 1),
        portgroup("/pg/a", 1),
        u8(OP_FAIL) + u8(1) + u8(0), xnet("/x/a", 1),
        u8(OP_FAIL) + u8(0) + u8(1), xnet("/x/a", 1, fc=True),
        xnet("/x/a", 1),
        u8(OP_FAIL) + u8(1) + u8(0), xnetgroup(0, "/x/a/g", "server", "/pg/a"),
        u8(OP_FAIL) + u8(0) + u8(1), xnetgroup(0, "/x/a/g", "fc", "/pg/a", fc=True),
        u8(OP_FAIL) + u8(0) + u8(1), subport(0, 2, "/ports/port3/1"),
    ],
    "long-names": [
        portgroup("p" * 300, 1, "0x1"),
        xnet(XNET_30, 10),
        xnetgroup(0, NAME_36, "server", "p" * 300),
        xnetgroup(0, NAME_37, "server", "p" * 300),
        find_xnetgroup(NAME_36, "/0"),
        find_xnetgroup(NAME_37, "/0"),
        find_xnetgroup("x" * 4000, "x"),
        find_portgroup(1, "p" * 300, 0),
    ],
    "ports": [
        subport(0, 2, "/ports/port3/1", c5="5", c7="FCoE", c9="enabled", c10="10", c11="11",
                c16="true", c17="ffffffff"),
        subport(1, 29, "/ports/port30/2", c7="fcoe", c17="123456789"),
        subport(0, -1, "/ports/port0/1", c17="-1"),
        u8(OP_FREE_SUBPORT) + u8(1),
        u8(OP_FREE_SUBPORT) + u8(1),
        port_protect(c4="enabled", c5="loop_detected", c6="detection_only", c7="in_pause_condition",
                     c8="0x10"),
        port_protect(c4="disabled", c6="enabled", c7="pause_flood_detected", c8="010"),
        subport_protect(c5="detection_only", c6="loop_detected"),
        subport_protect(c5="enabled"),
        u8(OP_PORT_NUMBER) + col("/ports/port3"),
        u8(OP_PORT_NUMBER) + col("/ports/port30/1"),
        u8(OP_PORT_NUMBER) + col("/ports/port-1"),
        u8(OP_PORT_NUMBER) + col("/ports/portx"),
    ],
    "dcbx": [
        u8(OP_DEVICE) + u8(1) + col("false"),
        u8(OP_DEVICE) + u8(2) + col("true"),
        u8(OP_DEVICE) + u8(2) + col("true"),
        u8(OP_DEVICE) + u8(3) + col(None),
        dcbx(0, 1, "false", "true"),
        dcbx(0, 1, "false", "true"),
        dcbx(0, 2, "true", "false"),
        dcbx(0, 3, "true", "false"),
        dcbx(0, 0, "true", "false"),
        dcbx(1, 0),
        dcbx(2, 1),
        dcbx(0, 1, None, None),
        u8(OP_STORE_FAIL) + u8(0) + u8(1) + u8(1), dcbx(1, 1),
        u8(OP_STORE_FAIL) + u8(2) + u8(1) + u8(2), dcbx(0, 1, "false", "true"),
        u8(OP_STORE_FAIL) + u8(3) + u8(1) + u8(3), dcbx(2, 1),
        u8(OP_STORE_FAIL) + u8(1) + u8(1) + u8(4), dcbx(0, 1, "false", "true"),
    ],
}


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus")
    os.makedirs(out, exist_ok=True)
    for name, steps in SCENARIOS.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(b"".join(steps))


if __name__ == "__main__":
    main()
