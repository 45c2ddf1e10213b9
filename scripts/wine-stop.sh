#!/bin/sh
# Ends every process of the build's prefix and its wineserver.
. "$(dirname "$0")/wine-env.sh"
"$WINESERVER" -k 2>/dev/null || true
timeout 60 "$WINESERVER" -w 2>/dev/null || true
exit 0
