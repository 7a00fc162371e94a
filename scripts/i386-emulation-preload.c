/* Preloaded into the 32-bit Wine processes that run under qemu-i386, to mend
 * two things the emulator reports differently from a 32-bit process on a
 * 64-bit kernel.
 *
 * Fault signals: qemu-user delivers fault signals with the signal context's trap number set
 * to -1, and Wine decides what a fault was from that number alone: every
 * access violation would reach the Windows program as an illegal instruction
 * and a division by zero as a floating-point fault. This library wraps
 * sigaction() for the fault signals and puts the number a real CPU would have
 * reported into the context, derived from the signal and its si_code, before
 * Wine's own handler runs.
 *
 * Memory sizes: qemu copies the host's sysinfo() into the 32-bit structure
 * without rescaling, so on a machine with more than 4 GiB the total memory
 * wraps around (Wine's total then lies below its available memory). The
 * kernel's own 32-bit sysinfo counts in pages in that case; this does the
 * same from /proc/meminfo.
 *
 * Built with `gcc -m32 -nostdlib -shared` and no i386 headers (the machine has
 * none), so the few kernel and glibc layouts it touches are spelled out here.
 * A no-op twin of the same name is built for x86_64 so that one LD_PRELOAD
 * with $LIB in its path serves native and emulated processes alike. */

#ifdef __i386__

#define SIGILL 4
#define SIGFPE 8
#define SIGBUS 7
#define SIGSEGV 11
#define SA_SIGINFO 4
#define RTLD_NEXT ((void *)-1)

#define SEGV_MAPERR 1
#define SEGV_ACCERR 2
#define FPE_INTDIV 1
#define FPE_INTOVF 2

/* i386 trap numbers, as Wine names them. */
#define TRAP_DIVIDE 0
#define TRAP_OFLOW 4
#define TRAP_ILLOP 6
#define TRAP_PROTFLT 13
#define TRAP_PAGEFLT 14
#define TRAP_ARITHTRAP 16
#define TRAP_ALIGNFLT 17

/* ucontext_t: uc_flags, uc_link, uc_stack (3 words), then the registers. */
#define UC_GREGS 5
#define REG_TRAPNO 12
#define REG_ERR 13

typedef void (*info_handler)(int, void *, void *);

/* glibc's i386 struct sigaction. */
struct glibc_sigaction {
    info_handler handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

typedef int (*sigaction_fn)(int, const struct glibc_sigaction *, struct glibc_sigaction *);
void *dlsym(void *, const char *);

static info_handler saved[32];

/* i386 struct sysinfo. */
struct i386_sysinfo {
    long uptime;
    unsigned long loads[3];
    unsigned long totalram, freeram, sharedram, bufferram, totalswap, freeswap;
    unsigned short procs, pad;
    unsigned long totalhigh, freehigh;
    unsigned int mem_unit;
    char reserved[8];
};

typedef int (*sysinfo_fn)(struct i386_sysinfo *);
int open(const char *, int, ...);
int read(int, void *, unsigned int);
int close(int);

static int is_fault_signal(int sig)
{
    return sig == SIGSEGV || sig == SIGFPE || sig == SIGILL || sig == SIGBUS;
}

static int trap_for(int sig, int code)
{
    switch (sig) {
    case SIGSEGV:
        return code == SEGV_MAPERR || code == SEGV_ACCERR ? TRAP_PAGEFLT : TRAP_PROTFLT;
    case SIGFPE:
        return code == FPE_INTDIV ? TRAP_DIVIDE : code == FPE_INTOVF ? TRAP_OFLOW : TRAP_ARITHTRAP;
    case SIGILL:
        return TRAP_ILLOP;
    default:
        return TRAP_ALIGNFLT;
    }
}

static void on_fault(int sig, void *info, void *context)
{
    unsigned long *gregs = (unsigned long *)context + UC_GREGS;
    if ((long)gregs[REG_TRAPNO] == -1) {
        gregs[REG_TRAPNO] = (unsigned long)trap_for(sig, ((int *)info)[2]);
        /* The error code is unknown as well; 0 reads as a read of a page
         * that is not present, which is what Windows reports most often. */
        if ((long)gregs[REG_ERR] == -1) gregs[REG_ERR] = 0;
    }
    saved[sig](sig, info, context);
}

int sigaction(int sig, const struct glibc_sigaction *act, struct glibc_sigaction *old)
{
    static sigaction_fn real;
    if (!real) real = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    if (!is_fault_signal(sig)) return real(sig, act, old);
    info_handler previous = saved[sig];
    int result;
    if (act && (act->flags & SA_SIGINFO)) {
        struct glibc_sigaction ours = *act;
        saved[sig] = act->handler;
        ours.handler = on_fault;
        result = real(sig, &ours, old);
    } else {
        result = real(sig, act, old);
    }
    /* Callers see the handler they installed, never the wrapper. */
    if (old && old->handler == on_fault) old->handler = previous;
    return result;
}

/* The value of a "Name:   123 kB" line of /proc/meminfo, in KiB; 0 when absent. */
static unsigned long long meminfo_kib(const char *text, const char *name)
{
    for (const char *line = text; *line;) {
        const char *a = line, *b = name;
        while (*b && *a == *b) ++a, ++b;
        if (!*b && *a == ':') {
            unsigned long long value = 0;
            while (*a == ':' || *a == ' ') ++a;
            while (*a >= '0' && *a <= '9') value = value * 10 + (unsigned long long)(*a++ - '0');
            return value;
        }
        while (*line && *line != '\n') ++line;
        if (*line) ++line;
    }
    return 0;
}

int sysinfo(struct i386_sysinfo *info)
{
    static sysinfo_fn real;
    if (!real) real = (sysinfo_fn)dlsym(RTLD_NEXT, "sysinfo");
    int result = real(info);
    if (result != 0) return result;
    char text[4096];
    int fd = open("/proc/meminfo", 0);
    if (fd < 0) return result;
    int length = read(fd, text, sizeof(text) - 1);
    close(fd);
    if (length <= 0) return result;
    text[length] = 0;
    unsigned long long total = meminfo_kib(text, "MemTotal");
    unsigned long long swap = meminfo_kib(text, "SwapTotal");
    if (((total + swap) << 10) >> 32 == 0) return result;  /* fits: as reported */
    /* KiB to 4 KiB pages. */
    info->mem_unit = 4096;
    info->totalram = (unsigned long)(total >> 2);
    info->freeram = (unsigned long)(meminfo_kib(text, "MemFree") >> 2);
    info->sharedram = (unsigned long)(meminfo_kib(text, "Shmem") >> 2);
    info->bufferram = (unsigned long)(meminfo_kib(text, "Buffers") >> 2);
    info->totalswap = (unsigned long)(swap >> 2);
    info->freeswap = (unsigned long)(meminfo_kib(text, "SwapFree") >> 2);
    info->totalhigh = info->freehigh = 0;
    return result;
}

#endif
