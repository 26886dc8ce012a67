#!/bin/sh
# show --dot, rendered by Graphviz: every pathname of the model is a line of
# the picture, shown as the text output shows it, and no line comes from
# inside a name (a newline, "\n" or an entity such as "&#10;" in a pathname
# must not break a line and forge one).
# usage: dot.sh CONFIG -- HOST...   (HOST: the program, with its emulator)
set -eu
config=$1
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$@" show --json "$config" > "$work/model.json"
"$@" show --dot "$config" > "$work/model.dot"
dot -Tsvg "$work/model.dot" > "$work/model.svg"
python3 - "$work/model.json" "$work/model.svg" <<'EOF'
import json, sys, xml.etree.ElementTree as tree

def shown(text):
    """The text as confmodel-host shows a name: control characters, C1,
    line and paragraph separators, bidirectional controls and backslashes
    escaped."""
    out = []
    for c in text:
        o = ord(c)
        if c == '\\': out.append('\\\\')
        elif c == '\n': out.append('\\n')
        elif c == '\t': out.append('\\t')
        elif c == '\r': out.append('\\r')
        elif o < 0x20 or o == 0x7f: out.append('\\x%02x' % o)
        elif 0x80 <= o <= 0x9f or o in (0x61c, 0x200e, 0x200f, 0x2028, 0x2029) \
                or 0x202a <= o <= 0x202e or 0x2066 <= o <= 0x2069:
            out.append('\\u%04x' % o)
        else: out.append(c)
    return ''.join(out)

model = json.load(open(sys.argv[1]))
lines = [t.text or '' for t in tree.parse(sys.argv[2]).iter('{http://www.w3.org/2000/svg}text')]
# The picture's lines, exactly: each label's lines as the program makes them.
expected = []
for g in model['portgroups']:
    expected += ['#%d %s' % (g['number'], shown(g['pathname'])), 'ports ' + (g['ports'] or 'none')]
    if g['subport_ports']:
        expected.append('subports of ' + g['subport_ports'])
    expected.append('native VLAN %d' % g['native_vlan'])
for x in model['xnets']:
    expected += [shown(x['pathname']), '%s VLAN %d' % ('FC' if x['kind'] == 'fc' else 'Ethernet', x['int_vid'])]
    for g in x['xnetgroups']:
        expected += [shown(g['pathname']), g['role']]
missing = sorted(set(expected) - set(lines))
extra = sorted(set(lines) - set(expected))
for line in missing:
    print('not a line of the picture: %r' % line)
for line in extra:
    print('a line from inside a name: %r' % line)
if not model['portgroups'] or sorted(lines) != sorted(expected):
    print('lines of the picture: %r' % lines)
    sys.exit(1)
EOF
