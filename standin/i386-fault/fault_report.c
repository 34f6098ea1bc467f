/* Preloaded into the 32-bit Linux processes Wine runs under qemu-user (see README.md).
 * qemu leaves -1 as the trap number of the signal frame it builds for an access fault;
 * Wine's SIGSEGV handler needs the x86 trap number to raise EXCEPTION_ACCESS_VIOLATION
 * with the address and the write flag, and raises an illegal instruction without them.
 * So SIGSEGV handlers installed through sigaction are wrapped, and a missing trap number
 * is given back before the process's own handler runs. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

enum { TRAP_PROTECTION = 13, TRAP_PAGE_FAULT = 14 };

typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);
static void (*process_handler)(int, siginfo_t*, void*);

/* Runs in signal context: it touches no TLS, no errno and nothing of libc. */
static void report_fault(int sig, siginfo_t* info, void* context) {
    greg_t* regs = ((ucontext_t*)context)->uc_mcontext.gregs;
    if ((int)regs[REG_TRAPNO] == -1)
        regs[REG_TRAPNO] = (info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR)
                               ? TRAP_PAGE_FAULT : TRAP_PROTECTION;
    process_handler(sig, info, context);
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static SigactionFn next;
    if (!next) next = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    if (sig != SIGSEGV) return next(sig, act, old);

    void (*previous)(int, siginfo_t*, void*) = process_handler;
    int rc;
    if (act && (act->sa_flags & SA_SIGINFO)) {
        struct sigaction wrapped = *act;
        wrapped.sa_sigaction = report_fault;
        rc = next(sig, &wrapped, old);
        if (rc == 0) process_handler = act->sa_sigaction;
    } else {
        rc = next(sig, act, old);
        if (rc == 0 && act) process_handler = NULL;
    }
    /* The process sees its own handler, never the wrapper. */
    if (rc == 0 && old && old->sa_sigaction == report_fault) old->sa_sigaction = previous;
    return rc;
}
