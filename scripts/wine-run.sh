#!/bin/sh
# Runs one Windows program, i686 or x86_64, under the matching Wine loader in
# the build's prefix. A time-out guards every run.
. "$(dirname "$0")/wine-env.sh"
loader=$(wine_loader_for "$1")
status=0
timeout "${VANDREL_WINE_TIMEOUT:-600}" "$loader" "$@" || status=$?
# 126: the loader itself could not be executed.
if [ "$status" -eq 126 ] && [ "$loader" = "$WINE32" ]; then
    echo "error: 32-bit Wine ($WINE32) does not start, natively or under qemu-i386: run scripts/bootstrap.sh" >&2
fi
exit "$status"
