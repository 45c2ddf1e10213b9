#!/bin/sh
# Runs one Windows program, i686 or x86_64, under the matching Wine loader in
# the build's prefix. A time-out guards every run.
. "$(dirname "$0")/wine-env.sh"
loader=$(wine_loader_for "$1")
if [ "$loader" = "$WINE32" ] && ! wine32_runs; then
    echo "error: 32-bit Wine ($WINE32) does not start, natively or under qemu-i386: run scripts/bootstrap.sh" >&2
    exit 1
fi
exec timeout "${VANDREL_WINE_TIMEOUT:-600}" "$loader" "$@"
