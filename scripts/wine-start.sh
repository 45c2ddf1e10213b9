#!/bin/sh
# Makes the build's Wine prefix once, then keeps a persistent wineserver for
# it so that every Wine process of the run starts quickly.
set -eu
. "$(dirname "$0")/wine-env.sh"

# A prefix made where 32-bit Wine could not run lacks its 32-bit side (the
# 32-bit registry view and what 32-bit setup programs registered): make it
# again. The marker says which kind of prefix this is.
if ! grep -qsx wow64 "$WINEPREFIX/.vandrel-ready"; then
    if ! wine32_runs; then
        echo "error: 32-bit Wine does not start: run scripts/bootstrap.sh" >&2
        exit 1
    fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Mono and Gecko cannot be downloaded here; do not look for them.
    WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$WINE64" wineboot --init >/dev/null 2>&1
    # The null graphics driver: real windows and message boxes, no X server.
    timeout 120 "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    timeout 120 "$WINESERVER" -w
    echo wow64 > "$WINEPREFIX/.vandrel-ready"
fi
# Wine links the user's Desktop, Documents and the like to the Unix home
# (to $HOME itself when it has no such folders): every prefix, the side by
# side ones of `ctest -j2` and those of other trees, would share one
# desktop. Folders of the prefix's own instead.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
# Persistent server; a second start for the same prefix is harmless. Start
# Wine's own services now, detached from our output: a service started later
# by a test would inherit the test's output pipe and keep ctest waiting.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
timeout 120 "$WINE64" wineboot >/dev/null 2>&1 </dev/null || true
