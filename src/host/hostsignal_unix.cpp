// The host fault handler: what the process does on each signal it catches.
// Everything a handler writes goes through async-signal-safe writes of at most
// 256 bytes; the only C-library calls made inside a handler are those POSIX lists
// as async-signal-safe, apart from the shutdown and exit paths themselves.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "host/hostsignal.h"
#include "host/safetext.h"
#include "host/utlexit.h"
#include "host/vermsg.h"

namespace {

const int MAX_OLD_HANDLERS = 50;
const int MAX_CORE_ATTEMPTS = 2;  // the third attempt gives up

struct SavedHandler {
  struct sigaction action;
  bool saved;
};

SavedHandler oldHandlers[MAX_OLD_HANDLERS];
void (*shutdownFunction)() = nullptr;
void (*companionFunction)() = nullptr;
std::atomic<int> installed{0};
std::atomic<int> segvCount{0};
std::atomic<int> coreAttempts{0};

struct NamedValue {
  int value;
  const char* name;
};

const NamedValue SIGNAL_NAMES[] = {
    {SIGHUP, "SIGHUP"},   {SIGINT, "SIGINT"},       {SIGQUIT, "SIGQUIT"},     {SIGILL, "SIGILL"},
    {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},       {SIGFPE, "SIGFPE"},
    {SIGKILL, "SIGKILL"}, {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"},     {SIGUSR2, "SIGUSR2"},
    {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"},     {SIGTERM, "SIGTERM"},     {SIGSTKFLT, "SIGSTKFLT"},
    {SIGCHLD, "SIGCHLD"}, {SIGCONT, "SIGCONT"},     {SIGSTOP, "SIGSTOP"},     {SIGTSTP, "SIGTSTP"},
    {SIGTTIN, "SIGTTIN"}, {SIGTTOU, "SIGTTOU"},     {SIGURG, "SIGURG"},       {SIGXCPU, "SIGXCPU"},
    {SIGXFSZ, "SIGXFSZ"}, {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"},     {SIGWINCH, "SIGWINCH"},
    {SIGPOLL, "SIGPOLL"}, {SIGPWR, "SIGPWR"},       {SIGSYS, "SIGSYS"},
#ifdef SIGEMT
    {SIGEMT, "SIGEMT"},
#endif
#ifdef SIGLOST
    {SIGLOST, "SIGLOST"},
#endif
};

// Where a signal came from, for the sender line.
const NamedValue SENDER_TEXTS[] = {
    {SI_USER, "SI_USER, signal from kill(2), sigsend(2), raise(3C) or abort(3C)"},
    {SI_TKILL, "SI_TKILL, signal from tkill(2) or tgkill(2), as raise(3) sends it"},
    {SI_QUEUE, "SI_QUEUE, signal from sigqueue(3)"},
};

struct FaultCode {
  int sig;
  int code;
  const char* text;
};

const FaultCode FAULT_CODES[] = {
    {SIGSEGV, SEGV_MAPERR, "SEGV_MAPERR, address not mapped to object"},
    {SIGSEGV, SEGV_ACCERR, "SEGV_ACCERR, invalid permissions for mapped object"},
    {SIGBUS, BUS_ADRALN, "BUS_ADRALN, invalid address alignment"},
    {SIGBUS, BUS_ADRERR, "BUS_ADRERR, non-existent physical address"},
    {SIGBUS, BUS_OBJERR, "BUS_OBJERR, object-specific hardware error"},
    {SIGILL, ILL_ILLOPC, "ILL_ILLOPC, illegal opcode"},
    {SIGILL, ILL_ILLOPN, "ILL_ILLOPN, illegal operand"},
    {SIGILL, ILL_ILLADR, "ILL_ILLADR, illegal addressing mode"},
    {SIGILL, ILL_ILLTRP, "ILL_ILLTRP, illegal trap"},
    {SIGILL, ILL_PRVOPC, "ILL_PRVOPC, privileged opcode"},
    {SIGILL, ILL_PRVREG, "ILL_PRVREG, privileged register"},
    {SIGILL, ILL_COPROC, "ILL_COPROC, coprocessor error"},
    {SIGILL, ILL_BADSTK, "ILL_BADSTK, internal stack error"},
    {SIGFPE, FPE_INTDIV, "FPE_INTDIV, integer divide by zero"},
    {SIGFPE, FPE_INTOVF, "FPE_INTOVF, integer overflow"},
    {SIGFPE, FPE_FLTDIV, "FPE_FLTDIV, floating-point divide by zero"},
    {SIGFPE, FPE_FLTOVF, "FPE_FLTOVF, floating-point overflow"},
    {SIGFPE, FPE_FLTUND, "FPE_FLTUND, floating-point underflow"},
    {SIGFPE, FPE_FLTRES, "FPE_FLTRES, floating-point inexact result"},
    {SIGFPE, FPE_FLTINV, "FPE_FLTINV, invalid floating-point operation"},
    {SIGFPE, FPE_FLTSUB, "FPE_FLTSUB, subscript out of range"},
};

const char* lookup(const NamedValue* table, size_t count, int value) {
  for (size_t i = 0; i < count; i++)
    if (table[i].value == value) return table[i].name;
  return nullptr;
}

template <size_t N>
const char* lookup(const NamedValue (&table)[N], int value) {
  return lookup(table, N, value);
}

bool isSynchronousFault(int sig) { return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE; }

bool isFunction(const struct sigaction& action) {
  if (action.sa_flags & SA_SIGINFO) return action.sa_sigaction != nullptr;
  return action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

void callPrevious(const struct sigaction* previous, int sig, siginfo_t* info, void* context) {
  if (!previous || !isFunction(*previous)) return;
  if (previous->sa_flags & SA_SIGINFO)
    previous->sa_sigaction(sig, info, context);
  else
    previous->sa_handler(sig);
}

void writeSender(int sig, const siginfo_t* info) {
  const char* source = lookup(SENDER_TEXTS, info->si_code);
  if (!source) return;  // sent by the kernel: no sending process to name
  HostSafeText line;
  line.str("Quillon signal handler: signal ").num(sig).str(" (").str(HostSignalName(sig)).str("), received from process ");
  line.num(info->si_pid).str(" userId ").num(info->si_uid).str("\n").writeTo(2);
  line.clear();
  line.str("  si_code: ").num(info->si_code).str(" at ").num((long long)time(nullptr)).str(", ").str(source).str("\n");
  line.writeTo(2);
}

void writeFaultCode(int sig, const siginfo_t* info) {
  HostSafeText line;
  line.str("  fault code: ").num(info->si_code);
  if (lookup(SENDER_TEXTS, info->si_code)) {
    line.str(", sent by a process, not a hardware fault\n").writeTo(2);
    return;
  }
  for (const FaultCode& fault : FAULT_CODES) {
    if (fault.sig == sig && fault.code == info->si_code) {
      line.str(", ").str(fault.text);
      if (isSynchronousFault(sig)) line.str(", at address 0x").hex((unsigned long long)(uintptr_t)info->si_addr);
      line.str("\n").writeTo(2);
      return;
    }
  }
  line.str(info->si_code == SI_KERNEL ? ", sent by the kernel\n" : "\n").writeTo(2);
}

// A core file of the process as it is now, without ending it: a forked copy
// raises SIGABRT with its default action and core limit raised to the hard
// limit, and the handler goes on to the exit path. Where the core lands is up
// to the kernel's core_pattern.
void writeCoreFile() {
  if (coreAttempts.fetch_add(1) >= MAX_CORE_ATTEMPTS) {
    HostSafeWrite(2, "coredump panic:  giving up!\n");
    _exit(1);
  }
  pid_t child = fork();
  if (child == 0) {
    struct rlimit limit;
    if (getrlimit(RLIMIT_CORE, &limit) == 0) {
      limit.rlim_cur = limit.rlim_max;
      setrlimit(RLIMIT_CORE, &limit);
    }
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(SIGABRT, &dfl, nullptr);
    sigset_t abortOnly;
    sigemptyset(&abortOnly);
    sigaddset(&abortOnly, SIGABRT);
    sigprocmask(SIG_UNBLOCK, &abortOnly, nullptr);
    kill(getpid(), SIGABRT);
    _exit(1);
  }
  HostSafeText line;
  if (child < 0) {
    line.str("HostCoreDump: fork for the core file failed, errno ").num(errno).str("\n").writeTo(2);
    return;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status) && WCOREDUMP(status))
    line.str("HostCoreDump: core file written by copy process ").num(child).str(" (placed by kernel core_pattern)\n");
  else
    line.str("HostCoreDump: no core file written (core size limit is 0 or core_pattern discards it)\n");
  line.writeTo(2);
}

void writeCoreDumpNotice() {
  HostSafeWrite(1, "\n\n");
  HostSafeWrite(1, VerLeadingEdgeText());
  HostSafeText line;
  line.str("| Possible Internal Error: HostCoreDump invoked at ").utcTime(time(nullptr));
  line.str(" in process ").num((long long)getpid()).str("\n").writeTo(1);
  int delay = HostCoreTimeOut();
  HostSafeWrite(2, "\n __________________________________ \n");
  line.clear();
  line.str("HostCoredump: Waiting ").num(delay).str(" seconds for C Debugger to attach, process ").num(getpid());
  line.str("\n").writeTo(2);
  HostSleepSeconds(delay);
}

void terminate(int sig, const char* description, const struct sigaction* previous, siginfo_t* info, void* context) {
  HostSafeText line;
  line.str("\n\nQuillon Signal Handler: Signal ").num(sig).str(", ").str(description).str(" Received at ");
  line.num((long long)time(nullptr)).str(" in thread ").unum((unsigned)gettid()).str("\n").writeTo(2);
  HostIncrementSigTerm();
  if (shutdownFunction) shutdownFunction();
  callPrevious(previous, sig, info, context);
  UtlExit(0, FALSE);
}

void fatalSignal(int sig, const struct sigaction* previous, siginfo_t* info, void* context) {
  HostSafeText line;
  line.str("\n\nQuillon Signal Handler: Signal ").num(sig).str(",  ").str(HostSignalName(sig)).str(" Received \n");
  line.writeTo(2);
  writeFaultCode(sig, info);
  HostPrintStack(2);
  // A saved previous handler is a plain signal handler that cannot tell whether
  // it dealt with the signal, so it is called and the process still goes down.
  callPrevious(previous, sig, info, context);
  if (sig != SIGQUIT) writeCoreDumpNotice();
  if (sig == SIGQUIT && getenv("QL_WRITE_CORE_FILE") != nullptr) writeCoreFile();
  if (companionFunction) companionFunction();
  HostSafeWrite(2, "\n");
  UtlExit(3, FALSE);
}

void faultHandler(int sig, siginfo_t* info, void* context) {
  int savedErrno = errno;
  if (info) writeSender(sig, info);

  const struct sigaction* previous = nullptr;
  if (sig != SIGBUS && sig != SIGSEGV && sig != SIGILL) {
    if (sig < MAX_OLD_HANDLERS && oldHandlers[sig].saved) previous = &oldHandlers[sig].action;
  } else {
    if (!info) {
      HostSafeText line;
      line.str("QL signal handler: signal ").num(sig);
      line.str(", received with incomplete or invalid args.  Additional info not available.\n").writeTo(2);
      HostCallDebuggerMsg_fl("UTL_GUARANTEE failed", __FILE__, __LINE__);
    }
    if (sig == SIGSEGV) {
      // The fault signals are not blocked in the handler, so a fault while a
      // fault is being handled arrives here again and is counted.
      int count = segvCount.fetch_add(1) + 1;
      if (count == 3) {
        HostSafeWrite(2, "\n\nQuillon signal handler: Recursive SEGV detected, attempting exit.\n");
        _exit(1);
      }
      if (count == 4) _exit(1);
      if (count >= 5) _exit(2);
    }
  }

  switch (sig) {
    case SIGTERM:
      terminate(sig, "SIGTERM, Software Termination Signal", previous, info, context);
      break;
    case SIGXCPU:
      terminate(sig, "SIGXCPU, CPU time limit exceeded", previous, info, context);
      break;
    case SIGUSR1:
      HostSafeWrite(2, "\n\nSignal SIGUSR1 received printingStack ...\n");
      HostPrintStack(2);
      break;
    case SIGABRT: {
      HostSafeWrite(2, "\n\nSignal SIGABRT received , printingStack ...\n");
      HostPrintStack(2);
      struct sigaction dfl = {};
      dfl.sa_handler = SIG_DFL;
      sigemptyset(&dfl.sa_mask);
      sigaction(SIGABRT, &dfl, nullptr);
      HostWaitForDebugger();
      UtlExit(3, FALSE);
      break;
    }
    case SIGCHLD:
      HostCallDebuggerMsg_fl("UTL_GUARANTEE failed", __FILE__, __LINE__);
    case SIGHUP:
      break;
    default:
      fatalSignal(sig, previous, info, context);
      break;
  }
  errno = savedErrno;
}

// Reaps exited children so that none is left a zombie. Callers that wait for a
// child of their own must block SIGCHLD meanwhile.
void reapChildren(int) {
  int savedErrno = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = savedErrno;
}

// The signal used to interrupt a thread blocked in a system call: its handler
// does nothing, so the call returns EINTR.
void threadInterruptHandler(int) {}

void setDisposition(int sig, void (*handler)(int), int flags) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = flags;
  UTL_GUARANTEE(sigaction(sig, &action, nullptr) == 0);
}

void installFaultHandler(int sig, int flags) {
  if (sig >= MAX_OLD_HANDLERS) {
    fprintf(stderr, "port error increase hostunix:MAX_OLD_HANDLERS to %d\n", sig + 1);
    UTL_GUARANTEE(FALSE);
  }
  struct sigaction action = {};
  action.sa_sigaction = faultHandler;
  action.sa_flags = SA_SIGINFO | flags;
  // Every other signal waits while the handler runs, except the hardware faults:
  // a fault inside the handler must reach it again (it is counted there) rather
  // than kill the process through a blocked fault signal.
  sigfillset(&action.sa_mask);
  sigdelset(&action.sa_mask, SIGSEGV);
  sigdelset(&action.sa_mask, SIGBUS);
  sigdelset(&action.sa_mask, SIGILL);
  sigdelset(&action.sa_mask, SIGFPE);
  if (isSynchronousFault(sig)) action.sa_flags |= SA_NODEFER;
  struct sigaction previous;
  UTL_GUARANTEE(sigaction(sig, &action, &previous) == 0);
  bool mine = (previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction == faultHandler;
  oldHandlers[sig].saved = isFunction(previous) && !mine;
  if (oldHandlers[sig].saved) oldHandlers[sig].action = previous;
}

bool hasHandler(int sig) {
  struct sigaction current;
  UTL_GUARANTEE(sigaction(sig, nullptr, &current) == 0);
  return (current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL;
}

// The signals that end the process through the termination path.
void terminationSignals(sigset_t* set) {
  sigemptyset(set);
  sigaddset(set, SIGTERM);
  sigaddset(set, SIGXCPU);
}

// Single-threaded set-up of the host signal layer.
void initThreadInterruptSignal() { setDisposition(SIGRTMIN, threadInterruptHandler, 0); }

}  // namespace

void HostInstallFaultHandler(void (*shutdownFn)(), void (*companionFn)(), BoolType childHandler) {
  if (installed.exchange(1) != 0) return;
  for (SavedHandler& saved : oldHandlers) saved.saved = false;
  shutdownFunction = shutdownFn;
  companionFunction = companionFn;
  HostPrimeStack();

  setDisposition(SIGPIPE, SIG_IGN, 0);
  setDisposition(SIGHUP, SIG_IGN, 0);

  installFaultHandler(SIGQUIT, SA_RESTART);
  installFaultHandler(SIGILL, SA_RESTART);
  installFaultHandler(SIGABRT, SA_RESTART);
  installFaultHandler(SIGBUS, SA_RESTART);
  installFaultHandler(SIGSEGV, SA_RESTART);
  installFaultHandler(SIGSYS, SA_RESTART);
  if (!hasHandler(SIGFPE)) installFaultHandler(SIGFPE, SA_RESTART);
  installFaultHandler(SIGTERM, 0);  // a sleep or a read returns early on SIGTERM
  installFaultHandler(SIGUSR1, SA_RESTART);

  initThreadInterruptSignal();

  installFaultHandler(SIGXFSZ, SA_RESTART);
  installFaultHandler(SIGXCPU, SA_RESTART);
#ifdef SIGEMT
  installFaultHandler(SIGEMT, SA_RESTART);
#endif
#ifdef SIGLOST
  installFaultHandler(SIGLOST, SA_RESTART);
#endif

  if (childHandler && !hasHandler(SIGCHLD)) setDisposition(SIGCHLD, reapChildren, SA_RESTART | SA_NOCLDSTOP);
}

void HostEnableKbInt(void (*handler)(int)) {
  struct sigaction current;
  UTL_GUARANTEE(sigaction(SIGINT, nullptr, &current) == 0);
  // Started with the interrupt ignored (a background job): it stays ignored.
  if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) return;
  // The handler shuts down: a termination signal let in meanwhile would end the
  // process in the middle of it. It waits until the handler releases it.
  struct sigaction action = {};
  action.sa_handler = handler;
  terminationSignals(&action.sa_mask);
  UTL_GUARANTEE(sigaction(SIGINT, &action, nullptr) == 0);
}

void HostReleaseTerminationSignals() {
  sigset_t held;
  terminationSignals(&held);
  sigprocmask(SIG_UNBLOCK, &held, nullptr);
}

const char* HostSignalName(int sig) {
  const char* name = lookup(SIGNAL_NAMES, sig);
  return name ? name : "SIG?";
}
