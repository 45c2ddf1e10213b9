#!/bin/sh
# Runs one Windows program of the x86_64 tree under wine64 in the build's
# prefix. A time-out guards every run.
. "$(dirname "$0")/wine-env.sh"
exec timeout "${VANDREL_WINE_TIMEOUT:-600}" "$WINE64" "$@"
