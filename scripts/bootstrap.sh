#!/bin/sh
# Installs what the build and the tests need. Idempotent, and silent when
# everything is already in place.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS="$ROOT/.deps"

PACKAGES="g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 libz-mingw-w64-dev
wine64 wine cmake ninja-build googletest locales zip unzip dpkg-dev python3"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

apt_updated=0
apt_update_once() {
    if [ "$apt_updated" -eq 0 ]; then
        $SUDO apt-get update -qq >/dev/null
        apt_updated=1
    fi
}

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
# and non-ASCII file names reach the disk as UTF-8.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
    echo "bootstrap: generating locale zh_CN.UTF-8"
    $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# minizip is not packaged for MinGW: take its sources from Debian's zlib
# source package at the version of the installed zlib headers.
if [ ! -f "$DEPS/minizip/unzip.c" ]; then
    version=$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev 2>/dev/null || true)
    zlib_version=$(dpkg-query -W -f='${source:Version}' zlib1g)
    echo "bootstrap: fetching minizip from zlib $zlib_version sources"
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        src=/etc/apt/sources.list.d/debian.sources
        if [ -f "$src" ]; then
            sed 's/^Types: deb$/Types: deb-src/' "$src" | $SUDO tee /etc/apt/sources.list.d/vandrel-deb-src.sources >/dev/null
        else
            grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' \
                | $SUDO tee /etc/apt/sources.list.d/vandrel-deb-src.list >/dev/null
        fi
        apt_updated=0
    fi
    apt_update_once
    rm -rf "$DEPS/zlib-src" && mkdir -p "$DEPS/zlib-src"
    (cd "$DEPS/zlib-src" && apt-get source -qq "zlib=$zlib_version" >/dev/null 2>&1)
    dir=$(find "$DEPS/zlib-src" -maxdepth 1 -mindepth 1 -type d -name 'zlib-*' | head -n1)
    [ -n "$dir" ] || { echo "bootstrap: zlib sources not found" >&2; exit 1; }
    mkdir -p "$DEPS/minizip"
    cp "$dir"/contrib/minizip/unzip.c "$dir"/contrib/minizip/unzip.h \
       "$dir"/contrib/minizip/zip.c "$dir"/contrib/minizip/zip.h \
       "$dir"/contrib/minizip/ioapi.c "$dir"/contrib/minizip/ioapi.h \
       "$dir"/contrib/minizip/crypt.h "$DEPS/minizip/"
    rm -rf "$DEPS/zlib-src"
    : "${version:=}"
fi
