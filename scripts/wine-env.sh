# Sourced by the Wine scripts: the build's own prefix and a fixed environment.
# The prefix belongs to the build tree, never to the user's ~/.wine.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${VANDREL_WINEPREFIX:-$ROOT/build/wine}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# Code page 936 inside Wine, UTF-8 file names on disk.
export LC_ALL=zh_CN.UTF-8
# A fixed zone east of UTC, so that local-time faults show.
export TZ=Asia/Shanghai
export WINESERVER=/usr/lib/wine/wineserver64
WINE64=/usr/lib/wine/wine64
