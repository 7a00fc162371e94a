/* Preloaded into the 32-bit Wine processes that run under qemu-i386.
 *
 * qemu-user delivers fault signals with the signal context's trap number set
 * to -1, and Wine decides what a fault was from that number alone: every
 * access violation would reach the Windows program as an illegal instruction
 * and a division by zero as a floating-point fault. This library wraps
 * sigaction() for the fault signals and puts the number a real CPU would have
 * reported into the context, derived from the signal and its si_code, before
 * Wine's own handler runs.
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

#endif
