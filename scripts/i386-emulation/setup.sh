#!/bin/sh
# Makes 32-bit Wine start on this machine. Where the kernel runs 32-bit code,
# nothing is done. Where it refuses it (ia32 emulation off), 32-bit programs
# run under qemu-i386, registered through binfmt_misc, with preload.c mending
# the faults of the emulator that Wine depends on.
# Prints one line when it changes something; exits 1 when 32-bit Wine cannot
# start either way.
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
WINE32=/usr/lib/wine/wine
BINFMT=/proc/sys/fs/binfmt_misc
NAME=vandrel-i386
# Outside any checkout: the registration is the kernel's, for the whole
# machine, and must outlive the tree that made it.
DEST=/usr/local/lib/vandrel-i386
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

wine32_starts() { timeout 60 "$WINE32" --version >/dev/null 2>&1; }

# An i386 ELF executable or shared object, as the kernel sees its header.
MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

build_into() {
    tmp=$(mktemp -d)
    gcc -m32 -march=i686 -O2 -fPIC -ffreestanding -fno-stack-protector -nostdlib -shared \
        -Wall -Wextra -Werror -o "$tmp/preload.so" "$HERE/preload.c" /lib/i386-linux-gnu/libc.so.6
    # -B 0: guest addresses are host addresses. The wineserver, a native
    # program, reads and writes a client's memory through /proc/PID/mem at
    # the client's own addresses; any other base hands it the wrong bytes.
    printf '#!/bin/sh\nexec /usr/bin/qemu-i386 -B 0 -E LD_PRELOAD=%s/preload.so "$@"\n' "$DEST" > "$tmp/run"
    chmod 755 "$tmp/run" "$tmp/preload.so"
    $SUDO mkdir -p "$DEST"
    for f in preload.so run; do
        cmp -s "$tmp/$f" "$DEST/$f" || $SUDO cp "$tmp/$f" "$DEST/$f"
    done
    rm -rf "$tmp"
}

# With -B 0 the emulator reserves the guest's space from the mmap_min_addr
# that /proc reports; the kernel's security modules enforce 64 KiB whatever
# that says, so a lower figure makes the reservation fail. Raising it to
# 64 KiB changes nothing that the kernel did not already enforce.
raise_mmap_min_addr() {
    min=/proc/sys/vm/mmap_min_addr
    [ "$(cat "$min")" -ge 65536 ] || echo 65536 | $SUDO tee "$min" >/dev/null
}

registered() { [ -f "$BINFMT/$NAME" ] && grep -qx enabled "$BINFMT/$NAME"; }
unregister() { echo -1 | $SUDO tee "$BINFMT/$NAME" >/dev/null; }

mode=${VANDREL_I386:-auto}
case "$mode" in auto|emulated) ;; *) echo "VANDREL_I386: auto or emulated, not '$mode'" >&2; exit 2 ;; esac

# Native wherever the kernel allows it: an earlier forced emulation is
# switched off to find out, and removed when native works.
if registered && [ "$mode" = auto ]; then
    echo 0 | $SUDO tee "$BINFMT/$NAME" >/dev/null
    if wine32_starts; then
        unregister
        echo "i386 emulation: removed; this kernel runs 32-bit programs"
        exit 0
    fi
    echo 1 | $SUDO tee "$BINFMT/$NAME" >/dev/null
fi
if registered; then
    raise_mmap_min_addr
    build_into
    wine32_starts && exit 0
    echo "i386 emulation: registered, but 32-bit Wine does not start under it" >&2
    exit 1
fi
[ "$mode" = auto ] && wine32_starts && exit 0

if [ "$mode" = emulated ]; then
    echo "i386 emulation: chosen with VANDREL_I386=emulated; running 32-bit programs under qemu-i386"
else
    echo "i386 emulation: this kernel does not run 32-bit programs; running them under qemu-i386"
fi
if ! dpkg-query -W -f='${Status}' qemu-user 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends qemu-user >/dev/null
fi
[ -f "$BINFMT/register" ] || $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT"
[ -f "$BINFMT/$NAME" ] && unregister
raise_mmap_min_addr
build_into
printf ':%s:M::%s:%s:%s/run:\n' "$NAME" "$MAGIC" "$MASK" "$DEST" | $SUDO tee "$BINFMT/register" >/dev/null
if ! wine32_starts; then
    echo "i386 emulation: 32-bit Wine does not start under qemu-i386 either" >&2
    exit 1
fi
