#!/bin/sh
# The README's C code is an excerpt of the example host: each of its lines is
# a line of the example, so that the two cannot drift apart.
# usage: excerpt.sh README EXAMPLE
set -eu
lines=$(awk '/^```c$/ { code = 1; next } /^```$/ { code = 0 } code && NF' "$1")
[ -n "$lines" ] || { echo "$1 has no C code"; exit 1; }
printf '%s\n' "$lines" | grep -vxF -f "$2" | sed 's/^/not a line of the example: /' | grep . && exit 1
echo "the C code of $1 is an excerpt of $2"
