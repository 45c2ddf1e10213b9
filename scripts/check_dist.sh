#!/bin/sh
# Checks the packages of `make dist` as users get them. The Debian package,
# unpacked with dpkg -x, packs a folder with its default stub; the result is
# read back and extracted silently under Wine. The Windows zip, unzipped,
# packs a folder under Wine with the stub beside its tool. The i686 runs run
# natively or under qemu-i386, as the bootstrap set up.
# Usage: check_dist.sh BUILD_DIR DIST_DIR
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "$1" && pwd)
DIST=$(cd "$2" && pwd)
export VANDREL_WINEPREFIX="$BUILD/wine"
. "$ROOT/scripts/wine-env.sh"
export VANDREL_WINE_TIMEOUT=120

T="$BUILD/dist-check"
passed=0
# printf, not echo: Windows paths hold backslashes.
fail() {
    printf 'check_dist: FAIL: %s\ncheck_dist: the files are kept in %s\n' "$*" "$T" >&2
    exit 1
}
ok() { passed=$((passed + 1)); printf 'ok: %s\n' "$*"; }
# A path as the Windows programs take it: the Z: drive is the root.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The one version is the project's, in the top CMakeLists.txt.
VERSION=$(sed -n 's/^project(vandrel VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
[ -n "$VERSION" ] || fail "no version in CMakeLists.txt"
DEB="$DIST/vandrel_${VERSION}_$(dpkg --print-architecture).deb"
ZIP="$DIST/vandrel-$VERSION-win32.zip"
[ -f "$DEB" ] || fail "$DEB missing: $(ls "$DIST")"
[ -f "$ZIP" ] || fail "$ZIP missing: $(ls "$DIST")"

rm -rf "$T"
mkdir -p "$T/src/sub/deep" "$T/src/中文目录" "$T/src/empty-dir"
printf 'Read me first.\r\n' >"$T/src/readme.txt"
: >"$T/src/empty.txt"
head -c 70000 /dev/urandom >"$T/src/sub/deep/random.bin"
printf '中文说明\n' >"$T/src/中文目录/说明.txt"

# Package metadata: the one version, the team as maintainer, and the
# dependencies read from the builder's shared libraries.
field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = vandrel ] || fail "package name '$(field Package)'"
[ "$(field Version)" = "$VERSION" ] || fail "package version '$(field Version)', not $VERSION"
case "$(field Maintainer)" in "Vandrel team <"*">") ;; *) fail "maintainer '$(field Maintainer)'" ;; esac
for lib in libc6 libstdc++6 zlib1g; do
    field Depends | grep -q "$lib" || fail "Depends '$(field Depends)' lacks $lib"
done
[ -n "$(field Description)" ] || fail "no description"
ok "package vandrel $VERSION: maintainer, description, Depends: $(field Depends)"

# Every file the package lists is where it says, and nothing else is there.
R="$T/deb-root"
dpkg -x "$DEB" "$R"
listed=$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort)
found=$(cd "$R" && find . -type f | sed 's|^\./||' | sort)
[ "$listed" = "$found" ] || fail "dpkg -x gave '$found', the package lists '$listed'"
TOOL="$R/usr/bin/vandrel-pack"
STUBS="$R/usr/lib/vandrel"
[ -x "$TOOL" ] || fail "usr/bin/vandrel-pack missing or not executable"
cmp -s "$STUBS/vandrel-stub.exe" "$BUILD/i686/bin/vandrel-stub.exe" ||
    fail "usr/lib/vandrel/vandrel-stub.exe is not the i686 stub"
cmp -s "$STUBS/vandrel-stub-x86_64.exe" "$BUILD/x86_64/bin/vandrel-stub.exe" ||
    fail "usr/lib/vandrel/vandrel-stub-x86_64.exe is not the x86_64 stub"
SHOTS="create-error destination progress quit-question welcome"
expected=$(printf '%s\n' usr/bin/vandrel-pack usr/lib/vandrel/vandrel-stub.exe \
    usr/lib/vandrel/vandrel-stub-x86_64.exe usr/share/man/man1/vandrel-pack.1.gz \
    usr/share/doc/vandrel/README.md usr/share/doc/vandrel/copyright \
    usr/share/doc/vandrel/changelog.gz \
    $(for s in $SHOTS; do echo "usr/share/doc/vandrel/docs/screenshots/$s.png"; done) | sort)
[ "$found" = "$expected" ] || fail "the package holds '$found', not '$expected'"
ok "dpkg -x: $(echo "$found" | tr '\n' ' ')"

# Debian's own check: no errors and no warnings.
lintian --tag-display-limit 0 "$DEB" >"$T/lintian.txt" 2>&1 || true
if grep -q '^[EW]:' "$T/lintian.txt"; then fail "lintian: $(grep '^[EW]:' "$T/lintian.txt")"; fi
ok "lintian: no errors, no warnings"

[ "$("$TOOL" --version)" = "vandrel-pack $VERSION" ] ||
    fail "installed --version says '$("$TOOL" --version)'"
"$TOOL" --help | grep -q -- '--version' || fail "--help does not list --version"
ok "installed vandrel-pack --version: $("$TOOL" --version)"

"$ROOT/scripts/wine-start.sh"
trap '"$ROOT/scripts/wine-stop.sh"' EXIT

# Packs the source folder with the installed tool for a silent extraction
# into $T/out-NAME, reads it back, and expects STUB named as the one used.
pack_installed() { # NAME STUB_PATH [--stub FILE]
    name=$1 stub=$2
    shift 2
    said=$("$TOOL" "$@" --no-gui --default-path "$(winpath "$T/out-$name")" \
        "$T/src" -o "$T/$name.exe") || fail "$name: packing failed"
    case "$said" in *"stub $stub ("*) ;; *) fail "$name: not packed with $stub: $said" ;; esac
    info=$("$TOOL" --info --verify "$T/$name.exe") || fail "$name: --info --verify: $info"
    printf '%s\n' "$info" | grep -q '^verified:' || fail "$name: --verify verified nothing: $info"
    ok "$name: $said"
}

# Runs a packed file under Wine and compares what it extracted with the
# source folder. A finished run ends with exit code 1.
extract() { # NAME
    status=0
    "$ROOT/scripts/wine-run.sh" "$T/$1.exe" >"$T/$1.log" 2>&1 || status=$?
    [ "$status" -eq 1 ] || fail "$1: exit code $status: $(cat "$T/$1.log")"
    diff -r "$T/src" "$T/out-$1" >"$T/$1.diff" 2>&1 || fail "$1: extracted files differ: $(cat "$T/$1.diff")"
    ok "$1: extracted under $(basename "$(wine_loader_for "$T/$1.exe")"), diff -r equal"
}

# The default stub: the installed i686 one, found from the tool's folder.
pack_installed deb-default "$STUBS/vandrel-stub.exe"
extract deb-default
# The installed x86_64 stub, chosen with --stub.
pack_installed deb-x86_64 "$STUBS/vandrel-stub-x86_64.exe" --stub "$STUBS/vandrel-stub-x86_64.exe"
extract deb-x86_64

# The Windows zip: one folder holding the tool, the stub and the README.
unzip -q "$ZIP" -d "$T/zip"
Z="$T/zip/vandrel-$VERSION-win32"
found=$(cd "$T/zip" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')
expected="$(for f in LICENSE README.md \
        $(for s in $SHOTS; do echo "docs/screenshots/$s.png"; done) vandrel-pack.exe vandrel-stub.exe; do
    echo "vandrel-$VERSION-win32/$f"; done | sort | tr '\n' ' ')"
[ "$found" = "$expected" ] || fail "the zip holds '$found'"
cmp -s "$Z/vandrel-stub.exe" "$BUILD/i686/bin/vandrel-stub.exe" || fail "the zip's stub is not the i686 stub"
[ "$(wine_loader_for "$Z/vandrel-pack.exe")" = "$WINE32" ] || fail "the zip's vandrel-pack.exe is not i686"
ok "unzip: $found"

# Packs under Wine with the tool in DIR and no --stub, then reads the result
# back with the installed Linux tool.
pack_windows() { # NAME DIR
    name=$1 dir=$2
    said=$("$ROOT/scripts/wine-run.sh" "$dir/vandrel-pack.exe" --version 2>&1 | tr -d '\r')
    [ "$said" = "vandrel-pack $VERSION" ] || fail "$name: --version says '$said'"
    "$ROOT/scripts/wine-run.sh" "$dir/vandrel-pack.exe" --no-gui \
        "$(winpath "$T/src")" -o "$(winpath "$T/$name.exe")" >"$T/$name.log" 2>&1 ||
        fail "$name: packing under Wine failed: $(cat "$T/$name.log")"
    said=$(tr -d '\r' <"$T/$name.log")
    case "$said" in
        *"stub $(winpath "$dir")\\vandrel-stub.exe (i386, "*) ;;
        *) fail "$name: not packed with the i686 stub beside the tool: $said" ;;
    esac
    info=$("$TOOL" --info --verify "$T/$name.exe") || fail "$name: --info --verify: $info"
    printf '%s\n' "$info" | grep -q '^verified:' || fail "$name: --verify verified nothing: $info"
    ok "$name: vandrel-pack $VERSION under Wine: $said"
}

pack_windows zip-i686 "$Z"

echo "check_dist: $passed passed (32-bit Wine: $(i386_mode))"
rm -rf "$T"
