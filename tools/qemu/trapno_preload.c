/* libtarvish-trapno.so: preloaded into 32-bit Wine when it runs under
 * qemu-i386 user-mode emulation.
 *
 * Why: qemu-user delivers a guest fault as a signal whose i386 ucontext has
 * the trap number (gregs[REG_TRAPNO]) left at -1. 32-bit Wine decides the
 * Windows exception code from that trap number, so under qemu every fault
 * (an access violation included) reaches the program as 0xC000001D, illegal
 * instruction, and Wine logs "Got unexpected trap -1". Code that looks at
 * the exception code, such as an unhandled-exception filter, then sees the
 * wrong one.
 *
 * What: sigaction() is interposed for the fault signals. The handler that
 * the program installs is kept, and a trampoline installed in its place
 * fills in the trap number that the kernel would have given, derived from
 * the signal and its si_code, before calling it. A trap number that is
 * already set is left alone, so the library is harmless on a machine that
 * runs 32-bit code natively.
 *
 * Built with the host compiler as gcc -m32 -nostdlib -ffreestanding -shared
 * -fPIC, so it needs no 32-bit development packages: the few kernel/glibc
 * i386 layouts it touches are spelled out below. The real sigaction is
 * reached through glibc's __sigaction alias, resolved when 32-bit libc is
 * loaded. With -DTARVISH_TRAPNO_NOOP it builds the empty 64-bit twin, which
 * exists only so that LD_PRELOAD='<dir>/$LIB/libtarvish-trapno.so' finds a
 * library in the 64-bit Wine processes too and ld.so stays quiet. */

#ifndef TARVISH_TRAPNO_NOOP

typedef void (*tarvish_sigaction_fn)(int, void *, void *);

/* glibc's i386 struct sigaction: handler, 1024-bit mask, flags, restorer. */
struct tarvish_sigaction {
  tarvish_sigaction_fn handler;
  unsigned long mask[32];
  int flags;
  void (*restorer)(void);
};

/* The head of siginfo_t. */
struct tarvish_siginfo {
  int signo;
  int errno_value;
  int code;
};

enum {
  kSigIll = 4,
  kSigTrap = 5,
  kSigBus = 7,
  kSigFpe = 8,
  kSigSegv = 11,
  kMaxSignal = 65,
  kSaSiginfo = 4,
  /* The i386 ucontext_t: uc_flags, uc_link and a 12-byte stack_t come
   * before uc_mcontext, whose gregs[12] is REG_TRAPNO. */
  kMcontextOffset = 20,
  kRegTrapno = 12,
  kFpeIntDiv = 1,
  kFpeIntOvf = 2,
  kTrapBrkpt = 1,
  kTrapTrace = 2,
  kSiKernel = 0x80,
};

/* x86 exception vectors, as the kernel reports them. */
enum {
  kTrapDivide = 0,
  kTrapDebug = 1,
  kTrapBreakpoint = 3,
  kTrapInvalidOpcode = 6,
  kTrapProtection = 13,
  kTrapPageFault = 14,
  kTrapFpu = 16,
};

extern int __sigaction(int, const struct tarvish_sigaction *, struct tarvish_sigaction *);

static tarvish_sigaction_fn saved_handlers[kMaxSignal];

static int IsFaultSignal(int sig) {
  return sig == kSigSegv || sig == kSigBus || sig == kSigIll || sig == kSigFpe || sig == kSigTrap;
}

static int TrapNumberFor(int sig, int code) {
  switch (sig) {
    case kSigSegv:
      /* A general-protection fault arrives as SIGSEGV with SI_KERNEL;
       * Wine tells privileged instructions from it. */
      return code == kSiKernel ? kTrapProtection : kTrapPageFault;
    case kSigBus: return kTrapPageFault;
    case kSigIll: return kTrapInvalidOpcode;
    case kSigFpe: return (code == kFpeIntDiv || code == kFpeIntOvf) ? kTrapDivide : kTrapFpu;
    case kSigTrap: return code == kTrapTrace ? kTrapDebug : kTrapBreakpoint;
    default: return -1;
  }
}

static void Trampoline(int sig, void *info, void *context) {
  if (context != 0 && info != 0) {
    int *gregs = (int *)((char *)context + kMcontextOffset);
    if (gregs[kRegTrapno] == -1) {
      gregs[kRegTrapno] = TrapNumberFor(sig, ((struct tarvish_siginfo *)info)->code);
    }
  }
  saved_handlers[sig](sig, info, context);
}

__attribute__((visibility("default"))) int sigaction(int sig, const struct tarvish_sigaction *act,
                                                     struct tarvish_sigaction *old) {
  if (sig <= 0 || sig >= kMaxSignal || !IsFaultSignal(sig)) return __sigaction(sig, act, old);

  const tarvish_sigaction_fn previous = saved_handlers[sig];
  int result;
  if (act != 0 && (act->flags & kSaSiginfo) && act->handler != 0 &&
      act->handler != (tarvish_sigaction_fn)1) {  /* not SIG_DFL, not SIG_IGN */
    struct tarvish_sigaction wrapped = *act;
    /* Stored before the trampoline can run for this signal. */
    saved_handlers[sig] = act->handler;
    wrapped.handler = Trampoline;
    result = __sigaction(sig, &wrapped, old);
    if (result != 0) saved_handlers[sig] = previous;
  } else {
    result = __sigaction(sig, act, old);
  }
  /* The caller learns of the handler it installed, not of the trampoline. */
  if (result == 0 && old != 0 && old->handler == Trampoline) old->handler = previous;
  return result;
}

#endif /* TARVISH_TRAPNO_NOOP */

/* Keeps the translation unit non-empty in the no-op build. */
int tarvish_trapno_preload_version = 1;
