#!/bin/sh
# `make demo`: packs examples/demo with the builder, runs the result silently
# under Wine into build/demo-out, lists what was extracted, and shows the
# shortcut it wrote into build/demo-links (not the prefix's desktop).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="${BUILD:-$ROOT/build}"
OUT="$BUILD/demo-out"
EXE="$BUILD/demo/vandrel-demo.exe"

LINKS="$BUILD/demo-links"
rm -rf "$OUT" "$BUILD/demo" "$LINKS"
mkdir -p "$BUILD/demo"
# The release stub is i686; where this machine cannot start 32-bit Wine, the
# x86_64 build of the same code stands in for it.
. "$ROOT/scripts/wine-env.sh"
KIND=i686
echo "demo stub: $KIND"
"$BUILD/release/bin/vandrel-pack" --stub "$BUILD/$KIND/bin/vandrel-stub.exe" \
    --name "Vandrel 演示" --no-gui --default-path "Z:$OUT" \
    --shortcut "$(printf 'Z:%s' "$LINKS/演示说明.lnk" | tr / '\\')|\$targetdir\$\\readme.txt|" \
    "$ROOT/examples/demo" -o "$EXE"
"$BUILD/release/bin/vandrel-pack" --info "$EXE"

export VANDREL_WINEPREFIX="$BUILD/wine"
"$ROOT/scripts/wine-start.sh"
trap '"$ROOT/scripts/wine-stop.sh"' EXIT
status=0
VANDREL_WINE_TIMEOUT=120 "$ROOT/scripts/wine-run.sh" "$EXE" || status=$?
echo "exit code: $status (a finished run always ends with 1)"
echo "extracted into $OUT:"
(cd "$OUT" && find . -mindepth 1 | sort | while read -r f; do
    if [ -d "$f" ]; then echo "  $f/"; else echo "  $f ($(stat -c %s "$f") bytes)"; fi
done)
echo "shortcut written into $LINKS:"
python3 "$ROOT/scripts/show_link.py" "$LINKS"/*.lnk
