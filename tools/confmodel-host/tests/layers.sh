#!/bin/sh
# No layer of confmodel-host reaches up: a file includes only files of its own
# layer and of the layers below it (input, store, running, output, then the
# commands), and the layers never include the commands' headers.
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
check input store/ running/ output/ commands.h session.h
check store running/ output/ commands.h session.h
check running output/ commands.h session.h
check output commands.h session.h
# The store file's format is the store's (host/store): no SQL here.
if grep -ln "sqlite3\|sqlstore_db" */*.h */*.cc *.h *.cc; then
    echo "^ these reach into the store file past its owner"
    status=1
fi
# Every file of the program is in a layer, or is a command.
for f in *.cc *.h; do
    case $f in
    main.cc | commands.h | session.h | session.cc | cmd_*.cc) ;;
    *) echo "$f is in no layer"; status=1 ;;
    esac
done
exit $status
