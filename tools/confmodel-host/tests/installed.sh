#!/bin/sh
# An installed confmodel-host loads the module installed with it, found from
# its own place: it runs the example with the build tree's module hidden (a
# file bound over it, in a mount namespace of this test's own, so that tests
# running beside it are not touched), and again after the installed tree has
# moved.
# usage: installed.sh CMAKE BUILD_DIR BUILD_MODULE EXAMPLE [EMULATOR...]
set -eu
cmake=$1 build=$2 module=$3 example=$4
shift 4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

"$cmake" --install "$build" --prefix "$work/prefix" > "$work/install.log" 2>&1 ||
    fail "$(cat "$work/install.log")"
hidden() {
    unshare --mount --map-root-user sh -c 'mount --bind /dev/null "$0" && exec "$@"' "$module" "$@"
}
hidden true 2>/dev/null || fail "cannot hide the build's module: unshare --mount --map-root-user fails here"
hidden sh -c '[ ! -s "$0" ]' "$module" || fail "the build's module is not hidden"

for prefix in prefix moved; do
    [ "$prefix" = prefix ] || mv "$work/prefix" "$work/moved"
    host="$work/$prefix/bin/confmodel-host"
    "$@" "$host" --help > "$work/help" || fail "--help failed"
    grep -qF "(default: $work/$prefix/bin/../lib" "$work/help" ||
        fail "--help names another default: $(grep -F -- --library "$work/help")"
    hidden "$@" "$host" show "$example" > "$work/out" 2>&1 || fail "installed in $prefix: $(cat "$work/out")"
    grep -q "^Port groups (5)" "$work/out" || fail "installed in $prefix: $(cat "$work/out")"
    # The help names the documentation installed with it, and it is there.
    docs=$(tr '\n' ' ' < "$work/help" | sed -n 's/.* are in \([^ ]*\)\. .*/\1/p')
    [ "$docs" = "$work/$prefix/bin/../share/doc/confmodel" ] || fail "--help names the docs at $docs"
    for file in "$docs/README.md" "$docs/docs/records.md" "$docs/docs/changes.md" \
        "$work/$prefix/share/man/man1/confmodel-host.1" \
        "$work/$prefix/share/bash-completion/completions/confmodel-host"; do
        [ -s "$file" ] || fail "not installed: $file"
    done
done
echo "the installed program runs the example with the module installed beside it"
