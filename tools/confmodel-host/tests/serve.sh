#!/bin/sh
# A running host over its socket: CASE follow (on a store committed to and
# rolled back), killed, connections, locked, confirmed, peers or memory.
# usage: serve.sh CASE EXAMPLES -- HOST...   (HOST: the program, with its emulator)
set -u
case=$1 examples=$2
shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
HISTORY_SEED=${HISTORY_SEED:-20240611} python3 "$here/serve.py" "$case" "$examples" 15 "$@"
