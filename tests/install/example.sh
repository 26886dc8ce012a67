#!/bin/sh
# Builds examples/host.c against an installed tree through pkg-config, linked
# with the library and loaded with dlopen, and runs each (under valgrind where
# one is given: no memory error, no leak).
# usage: example.sh CMAKE BUILD_DIR LIBDIR CC PKG_CONFIG EXAMPLE VALGRIND [EMULATOR...]
#   VALGRIND  the valgrind program, or "" for none
set -eu
cmake=$1 build=$2 libdir=$3 cc=$4 pkg_config=$5 example=$6 valgrind=$7
shift 7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

"$cmake" --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1 ||
    fail "$(cat "$work/install.log")"
export PKG_CONFIG_PATH="$work/prefix/$libdir/pkgconfig"
libdir=$("$pkg_config" --variable=libdir confmodel)
module=$("$pkg_config" --variable=module confmodel)
[ -f "$module" ] || fail "the .pc file names no module that is installed: $module"
# shellcheck disable=SC2046 # the flags are words
"$cc" -std=c99 -Wall -Wextra -Werror -pedantic "$example" $("$pkg_config" --cflags --libs confmodel) \
    -Wl,-rpath,"$libdir" -o "$work/linked" || fail "the example does not build linked"
# shellcheck disable=SC2046
"$cc" -std=c99 -Wall -Wextra -Werror -pedantic -DLOAD_MODULE "$example" \
    $("$pkg_config" --cflags confmodel) -rdynamic -ldl -o "$work/loaded" ||
    fail "the example does not build to load the module"

run() {
    if [ -n "$valgrind" ]; then
        "$valgrind" --quiet --error-exitcode=3 --leak-check=full \
            --errors-for-leak-kinds=definite,indirect,possible "$@"
    else
        "$@"
    fi
}
for way in linked loaded; do
    argument=
    [ $way = linked ] || argument=$module
    # shellcheck disable=SC2086 # no argument for the linked one
    run "$@" "$work/$way" $argument > "$work/out" 2>&1 ||
        fail "$way: exit status $?: $(cat "$work/out")"
    grep -qx "/ports/port1: /portgroups/uplink; /xnets/prod native" "$work/out" ||
        fail "$way: $(cat "$work/out")"
done
echo "the example host builds against the installed tree, linked and loaded, and runs"
