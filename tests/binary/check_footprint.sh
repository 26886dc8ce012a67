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
[ "$size" -le "$budget" ] || { echo "stripped, the library takes $size bytes: over its budget"; status=1; }
"$readelf" -lW "$library" | grep -q GNU_RELRO || { echo "no RELRO segment"; status=1; }
"$readelf" -dW "$library" | grep -Eq 'BIND_NOW|FLAGS_1.* NOW' || { echo "not bound at load time"; status=1; }
echo "stripped: $size bytes of a budget of $budget"
exit "$status"
