#!/bin/sh
# Writes into OUT a deb-src twin of every enabled deb entry of the apt
# sources under ETC (normally /etc/apt), each in the format it came in:
# one-line entries (sources.list, *.list) into vandrel-deb-src.list, deb822
# stanzas (*.sources: Debian 12, Ubuntu 24.04 and later, where sources.list
# is left a comment) into vandrel-deb-src.sources. Exits 1 when the sources
# already name deb-src entries (nothing to write), 2 when they hold no deb
# entry at all.
set -eu
ETC=$1
OUT=$2

all=$(for f in "$ETC/sources.list" "$ETC"/sources.list.d/*.list "$ETC"/sources.list.d/*.sources; do
    if [ -f "$f" ]; then echo "$f"; fi
done)
files=$(echo "$all" | grep -v '/vandrel-deb-src\.' || true)
[ -n "$files" ] || exit 2

for f in $all; do
    case "$f" in
        *.sources) pattern='^Types:.*[[:space:]]deb-src([[:space:]]|$)' ;;
        *) pattern='^[[:space:]]*deb-src[[:space:]]' ;;
    esac
    if grep -Eqs "$pattern" "$f"; then exit 1; fi
done

rm -f "$OUT/vandrel-deb-src.sources" "$OUT/vandrel-deb-src.list"
for f in $files; do
    case "$f" in
        *.sources)
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                /(^|\n)Types:[^\n]*[[:space:]]deb([[:space:]]|$)/ && !/(^|\n)Enabled:[[:space:]]*[Nn]o/ {
                    sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
                }' "$f" >> "$OUT/vandrel-deb-src.sources" ;;
        *)
            sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$f" >> "$OUT/vandrel-deb-src.list" ;;
    esac
done
for kind in sources list; do
    [ -s "$OUT/vandrel-deb-src.$kind" ] || rm -f "$OUT/vandrel-deb-src.$kind"
done
ls "$OUT"/vandrel-deb-src.* >/dev/null 2>&1 || exit 2
