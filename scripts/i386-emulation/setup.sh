#!/bin/sh
# Makes 32-bit Wine start on this machine. Where the kernel runs 32-bit code,
# nothing is done. Where it refuses it (ia32 emulation off), 32-bit programs
# run under qemu-i386, registered through binfmt_misc, with preload.c mending
# the faults of the emulator that Wine depends on.
# The state is checked as it stands and only what is wrong is changed, each
# machine-wide change announced in one line. Exits 1 when 32-bit Wine cannot
# start either way, or under a qemu or Wine that preload.c was not made for.
#   setup.sh            set up (VANDREL_I386=emulated: emulate even where the
#                       kernel runs 32-bit code)
#   setup.sh --remove   undo the emulation and what it changed
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
WINE32=/usr/lib/wine/wine
WINE64=/usr/lib/wine/wine64
QEMU=/usr/bin/qemu-i386
BINFMT=/proc/sys/fs/binfmt_misc
NAME=vandrel-i386
# Outside any checkout: the registration is the kernel's, for the whole
# machine, and must outlive the tree that made it.
DEST=/usr/local/lib/vandrel-i386
MMAP_MIN=/proc/sys/vm/mmap_min_addr
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# The versions whose faults preload.c mends (see its head). Another qemu or
# Wine may have other faults, or lack these: check the mends against it, then
# change these.
QEMU_MADE_FOR=7.2
WINE_MADE_FOR=8.0

# An i386 ELF executable or shared object, as the kernel sees its header.
MAGIC=7f454c4601010100000000000000000002000300
MASK=fffffffffffefe00fffffffffffffffffeffffff

say() { echo "i386 emulation: $*"; }
escaped() { echo "$1" | sed 's/../\\x&/g'; }
as_root_write() { echo "$2" | $SUDO tee "$1" >/dev/null; }

registered() { [ -f "$BINFMT/$1" ]; }
register() {
    as_root_write "$BINFMT/register" \
        ":$1:M::$(escaped $MAGIC):$(escaped $MASK):$DEST/run:F"
}
unregister() { as_root_write "$BINFMT/$1" -1; }
# The registration as the kernel reports it when it is the one set up here.
wanted_registration() {
    printf 'enabled\ninterpreter %s/run\nflags: F\noffset 0\nmagic %s\nmask %s\n' \
        "$DEST" "$MAGIC" "$MASK"
}

# Two set-ups at once (two trees' first builds) would each see the other's
# half-made registration: one at a time, machine-wide.
lock() {
    lockfile=/run/lock/vandrel-i386.lock
    [ -d /run/lock ] || lockfile=/tmp/vandrel-i386.lock
    [ -e "$lockfile" ] || (umask 0; : >>"$lockfile") 2>/dev/null || true
    exec 9<"$lockfile"
    flock -w 900 9 || { say "another set-up has held $lockfile for 15 minutes" >&2; exit 1; }
}

# Whether the kernel itself runs i386 code, asked without switching any
# registration off: a static program whose ELF identification has a padding
# byte set, which the kernel's loader ignores and the registrations' masks do
# not match.
kernel_runs_i386() {
    tmp=$(mktemp -d)
    printf 'void _start(void) { __asm__ volatile("int $0x80" : : "a"(1), "b"(42)); }\n' >"$tmp/p.c"
    gcc -m32 -nostdlib -static -ffreestanding -fno-pie -no-pie -O2 -o "$tmp/p" "$tmp/p.c"
    printf '\001' | dd of="$tmp/p" bs=1 seek=15 conv=notrunc 2>/dev/null
    status=0
    "$tmp/p" 2>/dev/null || status=$?
    rm -rf "$tmp"
    [ "$status" -eq 42 ]
}

version_of() { "$@" --version 2>/dev/null | sed -n '1s/.*[^0-9]\([0-9][0-9]*\.[0-9][0-9]*\).*/\1/p'; }

# preload.so and run, built into a temporary folder; each replaces the
# installed one only when it differs, by a rename, so that a process that
# has the old one mapped keeps it whole. Prints the names it replaced.
install_files() {
    tmp=$(mktemp -d)
    gcc -m32 -march=i686 -O2 -fPIC -ffreestanding -fno-stack-protector -nostdlib -shared \
        -Wall -Wextra -Werror -o "$tmp/preload.so" "$HERE/preload.c" /lib/i386-linux-gnu/libc.so.6
    gcc -static -O2 -Wall -Wextra -Werror -DQEMU="\"$QEMU\"" -DDEST="\"$DEST\"" \
        -o "$tmp/run" "$HERE/run.c"
    chmod 755 "$tmp/run" "$tmp/preload.so"
    [ -d "$DEST" ] || $SUDO mkdir -p "$DEST"
    for f in preload.so run; do
        if ! cmp -s "$tmp/$f" "$DEST/$f"; then
            $SUDO cp "$tmp/$f" "$DEST/.$f.new"
            $SUDO mv -f "$DEST/.$f.new" "$DEST/$f"
            echo "$f"
        fi
    done
    rm -rf "$tmp"
}

# With -B 0 the emulator reserves the guest's space from the mmap_min_addr
# that /proc reports; the kernel's security modules enforce 64 KiB whatever
# that says, so a lower figure makes the reservation fail. Raising it to
# 64 KiB changes nothing that the kernel did not already enforce. The figure
# found is kept for --remove.
raise_mmap_min_addr() {
    was=$(cat "$MMAP_MIN")
    [ "$was" -lt 65536 ] || return 0
    as_root_write "$DEST/mmap_min_addr.before" "$was"
    as_root_write "$MMAP_MIN" 65536
    say "raised vm.mmap_min_addr from $was to 65536"
}

remove() {
    if registered $NAME; then
        unregister $NAME
        say "removed the binfmt_misc registration $NAME"
    fi
    if [ -f "$DEST/mmap_min_addr.before" ]; then
        was=$(cat "$DEST/mmap_min_addr.before")
        if [ "$(cat "$MMAP_MIN")" -eq 65536 ]; then
            as_root_write "$MMAP_MIN" "$was"
            say "restored vm.mmap_min_addr to $was"
        fi
    fi
    if [ -d "$DEST" ]; then
        $SUDO rm -rf "$DEST"
        say "removed $DEST"
    fi
}

# The registration as wanted, replaced without a moment in which i386
# programs have no handler: the newest registration is tried first, so a
# second one under another name stands in while the first is made again.
ensure_registration() {
    force=$1
    if registered $NAME && [ "$force" = no ] &&
        [ "$(cat "$BINFMT/$NAME")" = "$(wanted_registration)" ]; then
        return 0
    fi
    if registered $NAME; then
        registered $NAME-next && unregister $NAME-next
        register $NAME-next
        unregister $NAME
        register $NAME
        unregister $NAME-next
        say "registration $NAME made again (flags F, interpreter $DEST/run)"
    else
        register $NAME
        say "registered $DEST/run through binfmt_misc as $NAME for i386 programs"
    fi
}

# What the tests need of 32-bit Wine under the emulation, tried once per
# qemu, Wine and interpreter files: threads with their own thread-local
# storage and thread block, a C++ exception, faults reported as what they
# are.
start_check() {
    dir=$ROOT/build/i386-check
    key="$1 $(cat "$DEST/preload.so" "$DEST/run" "$HERE/start_check.cpp" 2>/dev/null | md5sum | cut -c1-32)"
    [ "$(cat "$dir/passed" 2>/dev/null)" = "$key" ] && return 0
    mkdir -p "$dir"
    rm -f "$dir/passed"
    i686-w64-mingw32-g++ -std=c++17 -O2 -static -Wall -Wextra -Werror \
        -o "$dir/start_check.exe" "$HERE/start_check.cpp"
    # A prefix of its own: the tests' prefixes are made by their fixtures.
    export VANDREL_WINEPREFIX="$dir/wine"
    status=0
    out=$("$ROOT/scripts/wine-start.sh" 2>&1 &&
        VANDREL_WINE_TIMEOUT=120 "$ROOT/scripts/wine-run.sh" "$dir/start_check.exe" 2>&1) || status=$?
    "$ROOT/scripts/wine-stop.sh"
    if [ "$status" -ne 0 ]; then
        echo "$out" | sed 's/^/  /' >&2
        say "32-bit Wine ($1) fails the start check (exit $status)" >&2
        return 1
    fi
    echo "$key" >"$dir/passed"
}

case "${1:-}" in
    "") ;;
    --remove) lock; remove; exit 0 ;;
    *) echo "usage: setup.sh [--remove]" >&2; exit 2 ;;
esac

mode=${VANDREL_I386:-auto}
case "$mode" in auto|emulated) ;; *) echo "VANDREL_I386: auto or emulated, not '$mode'" >&2; exit 2 ;; esac

lock

# Native wherever the kernel allows it: an earlier forced emulation is
# removed, after which the same programs run natively.
if [ "$mode" = auto ] && kernel_runs_i386; then
    registered $NAME && remove
    timeout 60 "$WINE32" --version >/dev/null 2>&1 && exit 0
    say "this kernel runs 32-bit programs, but 32-bit Wine ($WINE32) does not start" >&2
    exit 1
fi

if ! registered $NAME; then
    if [ "$mode" = emulated ]; then
        say "chosen with VANDREL_I386=emulated; running 32-bit programs under qemu-i386"
    else
        say "this kernel does not run 32-bit programs; running them under qemu-i386"
    fi
fi
if ! dpkg-query -W -f='${Status}' qemu-user 2>/dev/null | grep -q 'install ok installed'; then
    say "installing qemu-user"
    $SUDO apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends qemu-user >/dev/null
fi

qemu_version=$(version_of "$QEMU")
wine_version=$(version_of "$WINE64")
if [ "$qemu_version" != "$QEMU_MADE_FOR" ] || [ "$wine_version" != "$WINE_MADE_FOR" ]; then
    say "preload.c was made for qemu $QEMU_MADE_FOR and Wine $WINE_MADE_FOR;" \
        "this machine has qemu ${qemu_version:-?} and Wine ${wine_version:-?}: check its mends" \
        "against these and change QEMU_MADE_FOR and WINE_MADE_FOR in $HERE/setup.sh" >&2
    exit 1
fi

if [ ! -f "$BINFMT/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT"
    say "mounted binfmt_misc on $BINFMT"
fi
replaced=$(install_files)
[ -z "$replaced" ] || say "installed" $(echo "$replaced" | sed "s|^|$DEST/|")
raise_mmap_min_addr
# The kernel holds the interpreter it registered open (F): a new one needs a
# new registration.
case "$replaced" in *run*) ensure_registration yes ;; *) ensure_registration no ;; esac
start_check "qemu $qemu_version, Wine $wine_version"
