#!/bin/sh
# Installs what the build and the tests need. Idempotent, and silent when
# everything is already in place; each change to the machine is announced in
# one line. `bootstrap.sh --undo` takes back what it wrote outside the
# packages: the source list and the i386 emulation.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS="$ROOT/.deps"

PACKAGES="gcc g++ g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 libz-mingw-w64-dev
wine64 wine cmake ninja-build googletest locales zip unzip p7zip-full dpkg-dev python3
osslsigncode openssl help2man lintian"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

SOURCES=/etc/apt/sources.list.d
OUR_SOURCES="$SOURCES/vandrel-deb-src.sources $SOURCES/vandrel-deb-src.list"

if [ "${1:-}" = --undo ]; then
    for f in $OUR_SOURCES; do
        if [ -f "$f" ]; then
            echo "bootstrap: removing $f"
            $SUDO rm -f "$f"
        fi
    done
    exec "$ROOT/scripts/i386-emulation/setup.sh" --remove
fi
[ $# -eq 0 ] || { echo "usage: bootstrap.sh [--undo]" >&2; exit 2; }

apt_updated=0
apt_update_once() {
    if [ "$apt_updated" -eq 0 ]; then
        $SUDO apt-get update -qq >/dev/null
        apt_updated=1
    fi
}

# The release stub is a 32-bit program: Debian's 32-bit Wine runs it in the
# same WoW64 prefix as the 64-bit test programs.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "bootstrap: adding the i386 architecture"
    $SUDO dpkg --add-architecture i386
fi
PACKAGES="$PACKAGES wine32:i386"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
        || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "bootstrap: installing$missing"
    apt_update_once
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# Wine runs the tests under a Chinese locale so that the ANSI code page is 936
# and non-ASCII file names reach the disk as UTF-8; the end-to-end suite runs
# again under English (1252), Japanese (932) and Hindi (no ANSI code page of
# its own: Wine gives it 65001) ones (scripts/wine-env.sh).
for loc in zh_CN en_US ja_JP hi_IN; do
    if ! locale -a 2>/dev/null | grep -qix "$loc\.utf8"; then
        echo "bootstrap: generating locale $loc.UTF-8"
        $SUDO localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
    fi
done

# minizip is not packaged for MinGW: take its sources from Debian's zlib
# source package at the version of the installed zlib headers.
if [ ! -f "$DEPS/minizip/unzip.c" ]; then

    # With i386 added, zlib1g may be installed twice: take one line.
    zlib_version=$(dpkg-query -W -f='${source:Version}\n' zlib1g | head -n1)
    echo "bootstrap: fetching minizip from zlib $zlib_version sources"
    tmp=$(mktemp -d)
    status=0
    "$ROOT/scripts/apt-deb-src.sh" /etc/apt "$tmp" || status=$?
    if [ "$status" -eq 2 ]; then
        echo "bootstrap: no deb entry in the apt sources to take source packages from" >&2
        exit 1
    elif [ "$status" -eq 0 ]; then
        echo "bootstrap: enabling source packages (for zlib's minizip) in" \
             $(cd "$tmp" && ls | sed "s|^|$SOURCES/|")
        for f in "$tmp"/*; do $SUDO cp "$f" "$SOURCES/"; done
        apt_updated=0
    fi
    rm -rf "$tmp"
    apt_update_once
    rm -rf "$DEPS/zlib-src" && mkdir -p "$DEPS/zlib-src"
    # The mirror may not serve the sources of a security update: fall back to
    # the other zlib source versions it lists (minizip is the same in them).
    for v in "$zlib_version" $(apt-cache showsrc zlib 2>/dev/null | sed -n 's/^Version: //p'); do
        (cd "$DEPS/zlib-src" && apt-get source -qq "zlib=$v" >/dev/null 2>&1) && break
    done
    dir=$(find "$DEPS/zlib-src" -maxdepth 1 -mindepth 1 -type d -name 'zlib-*' | head -n1)
    [ -n "$dir" ] || { echo "bootstrap: zlib sources not found" >&2; exit 1; }
    mkdir -p "$DEPS/minizip"
    cp "$dir"/contrib/minizip/unzip.c "$dir"/contrib/minizip/unzip.h \
       "$dir"/contrib/minizip/zip.c "$dir"/contrib/minizip/zip.h \
       "$dir"/contrib/minizip/ioapi.c "$dir"/contrib/minizip/ioapi.h \
       "$dir"/contrib/minizip/crypt.h "$DEPS/minizip/"
    rm -rf "$DEPS/zlib-src"

fi

# The release stub is tested under 32-bit Wine on every machine: natively, or
# under qemu-i386 where the kernel refuses 32-bit code. VANDREL_I386=emulated
# chooses the emulation even where the kernel would run it.
"$ROOT/scripts/i386-emulation/setup.sh"
