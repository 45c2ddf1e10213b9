# Sourced by the Wine scripts: the build's own prefix and a fixed environment.
# The prefix belongs to the build tree, never to the user's ~/.wine.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
# VANDREL_LOCALE chooses the ANSI code page the Windows programs see: 936
# (the default, Simplified Chinese), 1252 (English), 932 (Japanese) or 65001
# (UTF-8: Wine gives it to a locale without an ANSI code page, such as
# Hindi; a registry ACP value is not read). Each has a prefix of its own
# beside the default one, with its own wineserver.
VANDREL_LOCALE="${VANDREL_LOCALE:-936}"
case "$VANDREL_LOCALE" in
    936) locale_name=zh_CN.UTF-8; prefix_suffix= ;;
    1252) locale_name=en_US.UTF-8; prefix_suffix=-1252 ;;
    932) locale_name=ja_JP.UTF-8; prefix_suffix=-932 ;;
    65001) locale_name=hi_IN.UTF-8; prefix_suffix=-65001 ;;
    *) echo "error: VANDREL_LOCALE=$VANDREL_LOCALE: choose 936, 1252, 932 or 65001" >&2; exit 2 ;;
esac
export WINEPREFIX="${VANDREL_WINEPREFIX:-$ROOT/build/wine}$prefix_suffix"
# The test programs check that they run under the code page asked for.
export VANDREL_ACP="$VANDREL_LOCALE"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No menu entries or desktop files on the host for the shell links that the
# tests and the demo write. No crash debugger either: a crashing program ends
# at once with its exception code instead of waiting for a debugger that
# nobody will attach.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d;winedbg.exe=d"
# The chosen code page inside Wine, UTF-8 file names on disk.
export LC_ALL="$locale_name"
# A fixed zone east of UTC, so that local-time faults show.
export TZ=Asia/Shanghai
# One WoW64 prefix runs both kinds of program: the 64-bit server serves the
# 32-bit loader too.
export WINESERVER=/usr/lib/wine/wineserver64
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine

# The loader for a Windows program: 32-bit Wine for an i386 image, wine64
# for everything else.
wine_loader_for() {
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    machine=$(od -An -tx2 -j$((${pe:-0} + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
    if [ "$machine" = "014c" ]; then echo "$WINE32"; else echo "$WINE64"; fi
}

# 32-bit Wine starts natively where the kernel runs 32-bit programs, and under
# qemu-i386 where it refuses them (scripts/i386-emulation/setup.sh, which the
# bootstrap runs, registers it).
wine32_runs() {
    timeout 60 "$WINE32" --version >/dev/null 2>&1
}

# How 32-bit programs run here, in a few words for the test log.
i386_mode() {
    if grep -qsx enabled /proc/sys/fs/binfmt_misc/vandrel-i386; then
        echo "emulated by qemu-i386"
    else
        echo "native"
    fi
}
