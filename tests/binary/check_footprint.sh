#!/bin/sh
# Fails when the library, stripped as a device image installs it, is larger
# than its budget, or has lost full RELRO (-z relro -z now).
# usage: check_footprint.sh STRIP READELF LIBRARY BUDGET
set -eu
strip=$1 readelf=$2 library=$3 budget=$4
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
"$strip" -o "$stripped" "$library"
size=$(wc -c < "$stripped")
status=0
fail() { echo "$*"; status=1; }
[ "$size" -le "$budget" ] || fail "stripped, the library takes $size bytes: over its budget"
"$readelf" -lW "$library" | grep -q GNU_RELRO || fail "no RELRO segment"
"$readelf" -dW "$library" | grep -Eq 'BIND_NOW|FLAGS_1.* NOW' || fail "not bound at load time"
echo "stripped: $size bytes of a budget of $budget"
exit "$status"
