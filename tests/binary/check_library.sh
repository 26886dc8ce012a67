#!/bin/sh
# Checks a built libconfmodel.so as the host's dynamic linker will see it:
# exactly the expected exports, no NEEDED library, no undefined symbol beyond
# what the host process supplies, and no call between the module's own
# functions left for the dynamic linker to bind (a host function of the same
# name would take it over).
# usage: check_library.sh READELF LIBRARY EXPORTS UNDEFINED
set -eu
readelf=$1 library=$2 exports=$3 undefined=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# Symbol table rows: Num Value Size Type Bind Vis Ndx Name[@version]
"$readelf" --dyn-syms -W "$library" | awk 'NR > 3 && $8 != "" { sub(/@.*/, "", $8); print $5, $7, $8 }' > "$work/syms"

awk '$2 != "UND" && $1 != "LOCAL" { print $3 }' "$work/syms" | sort -u > "$work/exported"
grep -v '^#' "$exports" | sed '/^$/d' | sort -u > "$work/expected"
if ! cmp -s "$work/exported" "$work/expected"; then
    echo "exports differ from $exports (< exported, > expected):"
    diff "$work/exported" "$work/expected" || true
    status=1
fi

if [ "$(wc -l < "$work/expected")" -eq 0 ]; then
    echo "the list of expected exports is empty"
    status=1
fi

if "$readelf" -d -W "$library" | grep -q '(NEEDED)'; then
    echo "the library records NEEDED libraries:"
    "$readelf" -d -W "$library" | grep '(NEEDED)'
    status=1
fi

pattern=$(grep -v '^#' "$undefined" | sed '/^$/d' | paste -sd'|' -)
awk '$2 == "UND" { print $3 }' "$work/syms" | sort -u > "$work/undefined"
if grep -Evx "$pattern" "$work/undefined" > "$work/unexpected"; then
    echo "undefined symbols the host does not supply:"
    cat "$work/unexpected"
    status=1
fi

# Relocation rows: Offset Info Type Sym.Value Name + Addend
"$readelf" --dyn-syms -W "$library" | awk 'NR > 3 && $4 == "FUNC" && $7 != "UND" { print $8 }' | sort -u > "$work/functions"
"$readelf" -r -W "$library" | awk 'NF >= 5 { print $5 }' | sort -u > "$work/relocated"
if comm -12 "$work/functions" "$work/relocated" | grep . > "$work/interposable"; then
    echo "calls to the module's own functions bound at load time:"
    cat "$work/interposable"
    status=1
fi

[ "$status" -eq 0 ] && echo "$(wc -l < "$work/exported") exports, no NEEDED, $(wc -l < "$work/undefined") undefined symbols, all supplied by the host"
exit "$status"
