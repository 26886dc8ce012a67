#!/bin/sh
# show --dot, rendered by Graphviz: every pathname of the model is a line of
# the picture, shown as the text output shows it, and no line comes from
# inside a name (a newline, "\n" or an entity such as "&#10;" in a pathname
# must not break a line and forge one). The legend is there; a disabled xnet
# is filled; records the module listed nothing for are drawn dashed, their
# lines given as LINEs.
# usage: dot.sh CONFIG [LINE]... -- HOST...   (HOST: the program, with its emulator)
set -eu
config=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: > "$work/unlisted"
while [ "$1" != "--" ]; do
    printf '%s\n' "$1" >> "$work/unlisted"
    shift
done
shift
"$@" show --json "$config" > "$work/model.json" 2> /dev/null
"$@" show --dot "$config" > "$work/model.dot" 2> /dev/null
dot -Tsvg "$work/model.dot" > "$work/model.svg"
python3 - "$work/model.json" "$work/model.svg" "$work/unlisted" <<'EOF'
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

svg = '{http://www.w3.org/2000/svg}'
model = json.load(open(sys.argv[1]))
picture = tree.parse(sys.argv[2])
lines = [t.text or '' for t in picture.iter(svg + 'text')]
# The picture's lines, exactly: each label's lines as the program makes them.
expected = ['Legend', 'xnet, bold: the native VLAN', 'of its port group', 'xnet, filled grey:',
            'disabled', 'xnetgroup: from its xnet,', 'to the port group it binds', 'port group',
            'dashed grey: a duplicate record,', 'not listed; to the entry listed',
            'dashed red: a record', 'the module refused']
expected += open(sys.argv[3]).read().splitlines()
for g in model['portgroups']:
    expected += ['#%d %s' % (g['number'], shown(g['pathname'])), 'ports ' + (g['ports'] or 'none')]
    if g['subport_ports']:
        expected.append('subports of ' + g['subport_ports'])
    expected.append('native VLAN %d' % g['native_vlan'])
for x in model['xnets']:
    expected += [shown(x['pathname']), '%s VLAN %d' % ('FC' if x['kind'] == 'fc' else 'Ethernet', x['int_vid'])]
    if not x['enabled']:
        expected.append('disabled')
    for g in x['xnetgroups']:
        expected += [shown(g['pathname']), g['role']]
failed = False
missing = sorted(set(expected) - set(lines))
extra = sorted(set(lines) - set(expected))
for line in missing:
    print('not a line of the picture: %r' % line)
for line in extra:
    print('a line from inside a name: %r' % line)
if not model['portgroups'] or sorted(lines) != sorted(expected):
    print('lines of the picture: %r' % lines)
    failed = True
# How each node is drawn: records not listed dashed, each with one dashed
# edge (to the entry listed in its place, or from its xnet); disabled xnets
# filled.
disabled = set(shown(x['pathname']) for x in model['xnets'] if not x['enabled'])
dashed_edges = {}
for edge in picture.iter(svg + 'g'):
    if edge.get('class') == 'edge' and any(s.get('stroke-dasharray') for s in edge.iter(svg + 'path')):
        for end in edge.find(svg + 'title').text.split('->'):
            dashed_edges[end] = dashed_edges.get(end, 0) + 1
for node in picture.iter(svg + 'g'):
    if node.get('class') != 'node':
        continue
    texts = [t.text or '' for t in node.iter(svg + 'text')]
    shapes = [s for s in node if s.tag != svg + 'text' and s.tag != svg + 'title']
    dashed = any(s.get('stroke-dasharray') for s in shapes)
    filled = any(s.get('fill') not in (None, 'none') for s in shapes)
    unlisted = 'duplicate, not listed' in texts or 'refused by the module' in texts
    if unlisted != dashed and texts[0] not in ('dashed grey: a duplicate record,', 'dashed red: a record'):
        print('%r is %sdashed' % (texts, '' if dashed else 'not '))
        failed = True
    if unlisted and dashed_edges.get(node.find(svg + 'title').text) != 1:
        print('%r has not one dashed edge' % texts)
        failed = True
    if texts[0] in disabled and not filled:
        print('the disabled xnet %r is not filled' % texts[0])
        failed = True
sys.exit(1 if failed else 0)
EOF
