#!/bin/sh
# A running host over its socket, on a store committed to and rolled back.
# usage: serve.sh EXAMPLES -- HOST...   (HOST: the program, with its emulator)
set -u
examples=$1
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
HISTORY_SEED=${HISTORY_SEED:-20240611} python3 "$here/serve.py" "$examples" 15 "$@"
