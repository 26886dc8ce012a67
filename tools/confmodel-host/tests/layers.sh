#!/bin/sh
# No layer of confmodel-host reaches up: a file includes only files of its own
# layer and of the layers below it (input, store, running, output, serve,
# then the commands), the layers never include the commands' headers, and no command
# reaches another.
# usage: layers.sh SOURCE_DIR
set -eu
cd "$1"
status=0
check() { # LAYER FORBIDDEN...
    layer=$1
    shift
    for forbidden in "$@"; do
        if grep -n "^#include \"$forbidden" "$layer"/*.h "$layer"/*.cc; then
            echo "^ $layer/ reaches up to $forbidden"
            status=1
        fi
    done
}
top="commands.h session.h program.h arguments.h exit_status.h"
check input store/ running/ output/ serve/ $top
check store running/ output/ serve/ $top
check running output/ serve/ $top
check output serve/ $top
check serve $top
# The store file's format is the store's (host/store): no SQL here.
if grep -ln "sqlite3\|sqlstore_db" */*.h */*.cc *.h *.cc; then
    echo "^ these reach into the store file past its owner"
    status=1
fi
# Every file of the program is in a layer, or is a command.
for f in *.cc *.h; do
    case $f in
    main.cc | manual.cc | program.* | commands.* | arguments.* | exit_status.h | session.* | cmd_*.cc) ;;
    *) echo "$f is in no layer"; status=1 ;;
    esac
done
# A command's file declares its own command alone, and names no other's.
for f in cmd_*.cc; do
    own=$(basename "$f" .cc | sed 's/^cmd_//')
    if grep -n "declare_\|cmd_" "$f" | grep -v "declare_$own("; then
        echo "^ $f reaches another command"
        status=1
    fi
done
exit $status
