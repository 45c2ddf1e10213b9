#!/bin/sh
# Runs one Windows program, i686 or x86_64, under the matching Wine loader in
# the build's prefix. A time-out guards every run.
. "$(dirname "$0")/wine-env.sh"
loader=$(wine_loader_for "$1")
if [ "$loader" = "$WINE32" ] && ! wine32_runs; then
    echo "skipped: this machine cannot start 32-bit Wine ($WINE32): its kernel does not run 32-bit programs"
    exit 77
fi
exec timeout "${VANDREL_WINE_TIMEOUT:-600}" "$loader" "$@"
