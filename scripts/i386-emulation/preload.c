/* Preloaded into every 32-bit program that runs under qemu-i386 on machines
 * whose kernel refuses 32-bit code. It mends three faults of that emulator
 * which 32-bit Wine depends on:
 *  - mmap ignores MAP_FIXED_NOREPLACE and hands back another address; Wine
 *    then keeps it and ends up reserving the whole upper half one piece at a
 *    time. The wrapper fails with EEXIST instead, as the kernel does.
 *  - the signal frame's trap number is -1, so Wine reports every access
 *    violation as an illegal instruction. The trap number is derived from the
 *    signal and its code before Wine's handler sees the frame.
 *  - all threads share one descriptor table: a new thread's TLS descriptor
 *    overwrites the one every other thread's %gs points at, and they pick up
 *    each other's thread data on the next segment reload (every signal
 *    return). Each thread gets its own LDT selector for %gs, and
 *    set_thread_area(-1) is refused so that Wine keeps its %fs selectors in
 *    the LDT too.
 * A fourth fault, guest memory placed at an offset from host memory, is
 * mended by the interpreter's -B 0 (see setup.sh).
 * Built freestanding (no 32-bit headers needed): the few kernel and C library
 * types it uses are declared here. */

typedef unsigned int size_t;
typedef int ssize_t;
typedef long long off64_t;
typedef struct { unsigned long bits[32]; } sigset_t;   /* glibc's 128 bytes */
typedef struct { int si_signo, si_errno, si_code; } siginfo_head;
typedef unsigned long pthread_t;

struct ksigaction {          /* glibc's struct sigaction on i386 */
    void (*handler)(int, siginfo_head *, void *);
    sigset_t mask;
    int flags;
    void (*restorer)(void);
};

struct user_desc {
    unsigned int entry_number;
    unsigned int base_addr;
    unsigned int limit;
    unsigned int seg_32bit : 1, contents : 2, read_exec_only : 1,
                 limit_in_pages : 1, seg_not_present : 1, useable : 1;
};

#define NULL ((void *)0)
#define RTLD_NEXT ((void *)-1)
#define MAP_FAILED ((void *)-1)
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define ENOSYS 38
#define SA_SIGINFO 4
#define SIG_BLOCK 0
#define SIG_SETMASK 2
#define SIGILL 4
#define SIGTRAP 5
#define SIGBUS 7
#define SIGFPE 8
#define SIGSEGV 11
#define SI_KERNEL 0x80
#define SEGV_MAPERR 1
#define SEGV_ACCERR 2
#define BUS_ADRERR 2
#define FPE_INTDIV 1
#define FPE_INTOVF 2
#define NR_munmap 91
#define NR_modify_ldt 123
#define NR_futex 240
#define NR_set_thread_area 243
#define FUTEX_WAIT_PRIVATE 128
#define FUTEX_WAKE_PRIVATE 129
#define REG_TRAPNO 12         /* index in the i386 ucontext's gregs */
#define UCONTEXT_GREGS 20     /* byte offset of gregs in ucontext_t */

/* x86 trap numbers as the kernel writes them into the frame. */
enum { TRAP_DIVIDE = 0, TRAP_DEBUG = 1, TRAP_BREAKPOINT = 3, TRAP_INVALID_OPCODE = 6,
       TRAP_PROTECTION = 13, TRAP_PAGE_FAULT = 14, TRAP_FPU = 16 };

/* glibc keeps a thread's TLS in the first 512 LDT entries' way only if %gs is
 * a GDT selector; Wine starts its own entries at 512 when it is not. */
#define LDT_FIRST 1
#define LDT_LIMIT 512

extern void *dlsym(void *, const char *);
extern int *__errno_location(void);
extern void *malloc(size_t);
extern void free(void *);
extern int unsetenv(const char *);
extern int pthread_sigmask(int, const sigset_t *, sigset_t *);
extern int sigfillset(sigset_t *);
extern int pthread_key_create(unsigned int *, void (*)(void *));
extern int pthread_setspecific(unsigned int, const void *);

static long raw_syscall(long nr, long a, long b, long c, long d) {
    long ret;
    __asm__ volatile("int $0x80"
                     : "=a"(ret)
                     : "0"(nr), "b"(a), "c"(b), "d"(c), "S"(d)
                     : "memory");
    return ret;
}

/* ---- mmap ---- */

static void *(*real_mmap64)(void *, size_t, int, int, int, off64_t);

static void *checked_mmap(void *addr, size_t len, int prot, int flags, int fd, off64_t off) {
    void *got = real_mmap64(addr, len, prot, flags, fd, off);
    if ((flags & MAP_FIXED_NOREPLACE) && got != MAP_FAILED && got != addr) {
        raw_syscall(NR_munmap, (long)got, (long)len, 0, 0);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return got;
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off64_t off) {
    return checked_mmap(addr, len, prot, flags, fd, off);
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, long off) {
    return checked_mmap(addr, len, prot, flags, fd, (off64_t)(unsigned long)off);
}

/* ---- signal frames ---- */

typedef void (*info_handler)(int, siginfo_head *, void *);
static info_handler program_handler[65];
static int (*real_sigaction)(int, const struct ksigaction *, struct ksigaction *);

static int trap_for(int sig, int code) {
    switch (sig) {
    case SIGSEGV: return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGE_FAULT
                                                                  : TRAP_PROTECTION;
    case SIGBUS: return code == BUS_ADRERR ? TRAP_PAGE_FAULT : -1;
    case SIGILL: return TRAP_INVALID_OPCODE;
    case SIGTRAP: return code == SI_KERNEL ? TRAP_BREAKPOINT : TRAP_DEBUG;
    case SIGFPE: return code == FPE_INTDIV || code == FPE_INTOVF ? TRAP_DIVIDE : TRAP_FPU;
    }
    return -1;
}

static int is_fault_signal(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGTRAP || sig == SIGFPE;
}

static void fault_handler(int sig, siginfo_head *info, void *ucontext) {
    long *trapno = (long *)((char *)ucontext + UCONTEXT_GREGS) + REG_TRAPNO;
    if (*trapno == -1) *trapno = trap_for(sig, info->si_code);
    program_handler[sig](sig, info, ucontext);
}

int sigaction(int sig, const struct ksigaction *act, struct ksigaction *old) {
    struct ksigaction mine;
    info_handler previous = sig > 0 && sig < 65 ? program_handler[sig] : NULL;
    int ret;
    if (act && is_fault_signal(sig) && (act->flags & SA_SIGINFO) &&
        (unsigned long)act->handler > 1) {
        mine = *act;
        mine.handler = fault_handler;
        program_handler[sig] = act->handler;
        ret = real_sigaction(sig, &mine, old);
        if (ret != 0) program_handler[sig] = previous;
    } else {
        ret = real_sigaction(sig, act, old);
        if (ret == 0 && act && sig > 0 && sig < 65) program_handler[sig] = NULL;
    }
    /* The program sees its own handler, never the wrapper. */
    if (ret == 0 && old && old->handler == fault_handler) old->handler = previous;
    return ret;
}

/* ---- thread-local storage ---- */

static int ldt_lock;                 /* futex: 0 free, 1 held */
static unsigned char ldt_used[LDT_LIMIT];
static int ldt_next = LDT_FIRST;
static unsigned int gdt_tls_entry;   /* the GDT entry glibc's TLS came in */
static unsigned int ldt_key;
static int (*real_pthread_create)(pthread_t *, const void *, void *(*)(void *), void *);
static long (*real_syscall)(long, long, long, long, long, long, long);

static void lock(int *word) {
    while (__sync_lock_test_and_set(word, 1))
        raw_syscall(NR_futex, (long)word, FUTEX_WAIT_PRIVATE, 1, 0);
}

static void unlock(int *word) {
    __sync_lock_release(word);
    raw_syscall(NR_futex, (long)word, FUTEX_WAKE_PRIVATE, 1, 0);
}

static unsigned int tls_base(void) {
    unsigned int base;
    __asm__ volatile("movl %%gs:0, %0" : "=r"(base));
    return base;
}

static unsigned short current_gs(void) {
    unsigned short sel;
    __asm__ volatile("movw %%gs, %0" : "=r"(sel));
    return sel;
}

static void load_gs(unsigned short sel) { __asm__ volatile("movw %0, %%gs" : : "r"(sel)); }

static struct user_desc tls_descriptor(unsigned int entry, unsigned int base) {
    struct user_desc d = { 0 };
    d.entry_number = entry;
    d.base_addr = base;
    d.limit = 0xfffff;
    d.seg_32bit = 1;
    d.limit_in_pages = 1;
    d.useable = 1;
    return d;
}

/* Round robin over the free entries, so that an entry freed by an ending
 * thread is reused as late as possible. Called with ldt_lock held. */
static int allocate_ldt_entry(void) {
    for (int n = 0; n < LDT_LIMIT - LDT_FIRST; n++) {
        int idx = ldt_next;
        ldt_next = ldt_next + 1 < LDT_LIMIT ? ldt_next + 1 : LDT_FIRST;
        if (!ldt_used[idx]) {
            ldt_used[idx] = 1;
            return idx;
        }
    }
    return -1;
}

static void free_ldt_entry(void *value) {
    int idx = (int)(long)value;
    lock(&ldt_lock);
    ldt_used[idx] = 0;
    unlock(&ldt_lock);
}

/* Points %gs at the calling thread's own LDT entry holding its TLS base. */
static int move_tls_to_ldt(int idx) {
    struct user_desc d = tls_descriptor((unsigned int)idx, tls_base());
    if (raw_syscall(NR_modify_ldt, 0x11, (long)&d, sizeof d, 0) != 0) return 0;
    load_gs((unsigned short)((idx << 3) | 7));
    pthread_setspecific(ldt_key, (void *)(long)idx);
    return 1;
}

struct thread_start {
    void *(*start)(void *);
    void *arg;
    int ldt_entry;
    int moved;                       /* futex: 0 until the child has moved */
    sigset_t mask;
};

static void *start_on_own_selector(void *p) {
    struct thread_start *ts = p;
    void *(*start)(void *) = ts->start;
    void *arg = ts->arg;
    sigset_t mask = ts->mask;
    move_tls_to_ldt(ts->ldt_entry);
    __atomic_store_n(&ts->moved, 1, __ATOMIC_SEQ_CST);
    raw_syscall(NR_futex, (long)&ts->moved, FUTEX_WAKE_PRIVATE, 1, 0);
    pthread_sigmask(SIG_SETMASK, &mask, NULL);
    return start(arg);
}

/* The emulator writes a new thread's TLS into the GDT entry named by the
 * parent's %gs and loads the child's %gs from it. So, with every signal
 * blocked and the lock held: put the parent back on that GDT entry with its
 * own base, create the thread, wait until the child has moved to its own
 * LDT entry, and move the parent back to its own. */
int pthread_create(pthread_t *thread, const void *attr, void *(*start)(void *), void *arg) {
    unsigned short own = current_gs();
    if (!(own & 4)) return real_pthread_create(thread, attr, start, arg);
    struct thread_start *ts = malloc(sizeof *ts);
    if (!ts) return real_pthread_create(thread, attr, start, arg);
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &ts->mask);
    lock(&ldt_lock);
    ts->start = start;
    ts->arg = arg;
    ts->moved = 0;
    ts->ldt_entry = allocate_ldt_entry();
    int ret;
    if (ts->ldt_entry < 0) {
        ret = 11; /* EAGAIN: no selector left */
    } else {
        struct user_desc d = tls_descriptor(gdt_tls_entry, tls_base());
        raw_syscall(NR_set_thread_area, (long)&d, 0, 0, 0);
        load_gs((unsigned short)((gdt_tls_entry << 3) | 3));
        ret = real_pthread_create(thread, attr, start_on_own_selector, ts);
        if (ret == 0) {
            while (!__atomic_load_n(&ts->moved, __ATOMIC_SEQ_CST))
                raw_syscall(NR_futex, (long)&ts->moved, FUTEX_WAIT_PRIVATE, 0, 0);
        } else {
            ldt_used[ts->ldt_entry] = 0;
        }
        load_gs(own);
    }
    unlock(&ldt_lock);
    sigset_t mask = ts->mask;
    free(ts);
    pthread_sigmask(SIG_SETMASK, &mask, NULL);
    return ret;
}

/* Wine asks for a GDT entry for %fs with set_thread_area(-1); in the shared
 * table every thread would overwrite it. Refused, Wine uses the LDT. */
long syscall(long nr, long a, long b, long c, long d, long e, long f) {
    if (nr == NR_set_thread_area && a && ((struct user_desc *)a)->entry_number == (unsigned int)-1) {
        *__errno_location() = ENOSYS;
        return -1;
    }
    return real_syscall(nr, a, b, c, d, e, f);
}

__attribute__((constructor)) static void start_up(void) {
    real_mmap64 = dlsym(RTLD_NEXT, "mmap64");
    real_sigaction = dlsym(RTLD_NEXT, "sigaction");
    real_pthread_create = dlsym(RTLD_NEXT, "pthread_create");
    real_syscall = dlsym(RTLD_NEXT, "syscall");
    /* 32-bit children get it again from the interpreter; 64-bit ones must
     * not be asked to load it. */
    unsetenv("LD_PRELOAD");
    unsigned short gs = current_gs();
    if (gs & 4) return;              /* already in the LDT */
    gdt_tls_entry = gs >> 3;
    pthread_key_create(&ldt_key, free_ldt_entry);
    lock(&ldt_lock);
    int idx = allocate_ldt_entry();
    unlock(&ldt_lock);
    if (idx > 0) move_tls_to_ldt(idx);
}
