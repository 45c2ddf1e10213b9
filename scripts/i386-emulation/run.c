/* The interpreter binfmt_misc starts for every i386 program on a machine that
 * emulates them: qemu-i386 with guest addresses equal to host ones (-B 0:
 * the wineserver reads a client's memory at the client's own addresses) and
 * preload.so. Static and registered with the F flag, so that the kernel holds
 * it open and it starts inside containers and chroots too. There qemu itself
 * may be out of reach; the program then runs natively if the kernel allows
 * 32-bit code (the emulation was chosen, not needed). */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef QEMU
#define QEMU "/usr/bin/qemu-i386"
#endif
#ifndef DEST
#define DEST "/usr/local/lib/vandrel-i386"
#endif

extern char **environ;

/* Runs a copy whose ELF identification has one padding byte set: the
 * kernel's loader ignores it, the registration's mask does not, so the copy
 * is not handed back to this interpreter. Returns only on failure. */
static void run_natively(char **argv) {
    int in = open(argv[0], O_RDONLY | O_CLOEXEC);
    int mem = memfd_create("vandrel-i386", MFD_CLOEXEC);
    struct stat st;
    if (in < 0 || mem < 0 || fstat(in, &st) != 0) return;
    for (off_t done = 0; done < st.st_size;) {
        ssize_t n = sendfile(mem, in, NULL, (size_t)(st.st_size - done));
        if (n <= 0) return;
        done += n;
    }
    const char one = 1;
    if (pwrite(mem, &one, 1, 15) != 1) return;
    fexecve(mem, argv, environ);
}

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "vandrel-i386: started without a program\n");
        return 126;
    }
    char *args[argc + 6];
    int n = 0;
    args[n++] = "qemu-i386";
    args[n++] = "-B";
    args[n++] = "0";
    args[n++] = "-E";
    args[n++] = "LD_PRELOAD=" DEST "/preload.so";
    for (int i = 1; i < argc; i++) args[n++] = argv[i];
    args[n] = NULL;
    execv(QEMU, args);
    int err = errno;
    if (err == ENOENT) run_natively(argv + 1);
    fprintf(stderr, "vandrel-i386: cannot run %s: %s: %s, and this kernel does not run it natively\n",
            argv[1], QEMU, strerror(err));
    return 126;
}
