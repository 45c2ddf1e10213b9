#!/bin/sh
# Makes a delay-load import library for one system DLL from MinGW's ordinary
# import library: every function it exports, resolved on first call instead
# of at process start.
# Usage: make_delay_lib.sh TRIPLE DLL_BASENAME OUTPUT
set -eu
triple=$1
dll=$2
out=$3
def="$out.def"
{
    echo "LIBRARY $dll.dll"
    echo "EXPORTS"
    # i686 names carry a leading underscore; the .def file has none.
    "$triple-nm" "/usr/$triple/lib/lib$dll.a" 2>/dev/null | awk '$2 == "T" { print $3 }' |
        case "$triple" in i686-*) sed 's/^_//' ;; *) cat ;; esac | sort -u
} > "$def"
"$triple-dlltool" -k --input-def "$def" --dllname "$dll.dll" --output-delaylib "$out"
