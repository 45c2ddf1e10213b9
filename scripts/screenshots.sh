#!/bin/sh
# Renders the wizard's pages for the README: Xvfb, Wine's X11 driver inside a
# Wine virtual desktop (so that Wine draws captions and frames), Chinese
# texts in WenQuanYi Micro Hei, each window captured with ImageMagick's
# import. Uses a Wine prefix of its own; the tests' prefix keeps the null
# driver. Writes docs/screenshots/*.png.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="${BUILD:-$ROOT/build}"
OUT="$ROOT/docs/screenshots"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
missing=""
for p in xvfb xauth imagemagick fonts-wqy-microhei; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
        || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "screenshots: installing$missing"
    $SUDO apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        $missing >/dev/null
fi

export VANDREL_WINEPREFIX="$BUILD/wine-x11"
. "$ROOT/scripts/wine-env.sh"
DISPLAY_NUMBER=97
export DISPLAY=":$DISPLAY_NUMBER"

exchange=$(mktemp -d "$BUILD/screens.XXXXXX")
xvfb_pid=""
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$exchange"
}
trap cleanup EXIT INT TERM

Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!

sleep 2

if [ ! -f "$WINEPREFIX/.vandrel-screens" ]; then
    rm -rf "$WINEPREFIX" && mkdir -p "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$WINE64" wineboot --init >/dev/null 2>&1
    timeout 120 "$WINESERVER" -w
    touch "$WINEPREFIX/.vandrel-screens"
fi

mkdir -p "$OUT" "$exchange/work"
timeout 300 "$WINE64" explorer /desktop=vandrel,760x520 \
    "$BUILD/x86_64/bin/screenshot_driver.exe" "Z:$exchange" "Z:$exchange/work" \
    >/dev/null 2>&1 &
driver=$!

# Answer the driver's requests until it has finished.
deadline=$(( $(date +%s) + 300 ))
while [ ! -f "$exchange/finished" ]; do
    for request in "$exchange"/*.request; do
        [ -f "$request" ] || continue
        read -r name x y w h < "$request"
        # The virtual desktop is the only top-level X window, at the origin.
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$OUT/$name.png"
        echo "screenshots: $OUT/$name.png (${w}x${h})"
        rm -f "$request"
        touch "$exchange/$name.done"
    done
    if [ "$(date +%s)" -gt "$deadline" ]; then
        echo "screenshots: the driver did not finish in time" >&2
        exit 1
    fi
    sleep 0.2
done
wait "$driver" || true
if [ "$(cat "$exchange/finished")" != "ok" ]; then
    echo "screenshots: failed: $(cat "$exchange/failed" 2>/dev/null)" >&2
    exit 1
fi
