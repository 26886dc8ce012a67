#!/bin/sh
# Installs the build into a staging folder the way a device image build does
# (DESTDIR), checks what landed there, and builds a host from the staged files
# alone through pkg-config, then runs it against the staged library. Installs
# the runtime component on its own too, as for the device's root.
# usage: check_install.sh CMAKE BUILD_DIR PREFIX LIBDIR INCLUDEDIR CC READELF PKG_CONFIG HOST_SOURCE [EMULATOR]
set -eu
cmake=$1 build=$2 prefix=$3 libdir=$4 includedir=$5 cc=$6 readelf=$7 pkg_config=$8 host=$9
emulator=${10:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
status=0
fail() { echo "$*"; status=1; }

if ! DESTDIR=$stage "$cmake" --install "$build" > "$work/install.log" 2>&1; then
    cat "$work/install.log"
    exit 1
fi
lib=$stage$prefix/$libdir
include=$stage$prefix/$includedir/confmodel

# The dynamic linker finds the library by its SONAME, a build links it by the
# unversioned name: both are links to the one real file.
real=$lib/libconfmodel.so
[ -L "$real" ] || fail "$lib has no development link libconfmodel.so"
real=$(readlink -f "$real")
[ -f "$real" ] && [ ! -L "$real" ] || fail "libconfmodel.so does not lead to a file"
soname=$("$readelf" -d "$real" | sed -n 's/.*(SONAME).*\[\(.*\)\].*/\1/p')
case $soname in
    libconfmodel.so.[0-9]*) ;;
    *) fail "SONAME is '$soname', not libconfmodel.so.<major>" ;;
esac
[ -L "$lib/$soname" ] && [ "$(readlink -f "$lib/$soname")" = "$real" ] ||
    fail "$lib/$soname is not a link to $real"

# The device's root takes the runtime component alone: the library and its
# SONAME link.
if DESTDIR=$work/root "$cmake" --install "$build" --component runtime > "$work/install.log" 2>&1; then
    found=$(cd "$work/root" && find . ! -type d | sort)
    expected=$(printf '%s\n' ".$prefix/$libdir/${real##*/}" ".$prefix/$libdir/$soname" | sort)
    [ "$found" = "$expected" ] || fail "the runtime component holds" $found "instead of" $expected
else
    cat "$work/install.log"
    fail "installing the runtime component failed"
fi

for header in confmodel.h confmodel_lists.h hosk.h tavri.h; do
    [ -f "$include/$header" ] || fail "$include/$header is missing"
done

# The staged pkg-config file must point into the staging folder, wherever that is.
pc_dir=$lib/pkgconfig
[ -f "$pc_dir/confmodel.pc" ] || fail "$pc_dir/confmodel.pc is missing"
cflags=$(PKG_CONFIG_PATH=$pc_dir "$pkg_config" --cflags confmodel) || fail "pkg-config --cflags failed"
libs=$(PKG_CONFIG_PATH=$pc_dir "$pkg_config" --libs confmodel) || fail "pkg-config --libs failed"
[ "$status" -eq 0 ] || exit 1
resolve() { (cd "$1" 2>/dev/null && pwd -P) || echo "missing $1"; }
for flag in $cflags $libs; do
    case $flag in
        -I*) [ "$(resolve "${flag#-I}")" = "$(resolve "$include")" ] || fail "$flag is not $include" ;;
        -L*) [ "$(resolve "${flag#-L}")" = "$(resolve "$lib")" ] || fail "$flag is not $lib" ;;
        -lconfmodel) ;;
        *) fail "unexpected flag $flag" ;;
    esac
done

# shellcheck disable=SC2086 # the flags are words
"$cc" -std=c99 -Wall -Wextra -Werror -pedantic $cflags "$host" -o "$work/host" $libs ||
    fail "a host does not build against the staged files"
if [ "$status" -eq 0 ]; then
    # shellcheck disable=SC2086 # the emulator is a command with its arguments
    LD_LIBRARY_PATH=$lib $emulator "$work/host" || fail "the host failed against the staged library"
fi

[ "$status" -eq 0 ] && echo "staged $soname, headers and confmodel.pc; a host builds and runs against them"
exit "$status"
