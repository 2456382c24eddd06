#include "host/utlexit.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/hostsignal.h"
#include "host/safetext.h"

namespace {

const int MAX_EXIT_HANDLERS = 100;

void (*exitHandlers[MAX_EXIT_HANDLERS])();
int exitHandlerCount = 0;
std::atomic<int> InExit{0};
int utlExitStatus = 0;
std::atomic<int> inDebuggerWait{0};  // set while the guarantee report runs
void (*exitTestHook)(int) = nullptr;

}  // namespace

void UtlExitInit() {
  exitHandlerCount = 0;
  utlExitStatus = 0;
}

void UtlAtExit(void (*handler)()) {
  if (exitHandlerCount >= MAX_EXIT_HANDLERS) {
    fprintf(stderr, "\nUtlAtExit: Attempt to register more than %d exit functions.\n", MAX_EXIT_HANDLERS);
    UTL_GUARANTEE(FALSE);
  }
  exitHandlers[exitHandlerCount++] = handler;
}

int UtlExitStatus() { return utlExitStatus; }

void UtlExitSetTestHook(void (*hook)(int)) { exitTestHook = hook; }

void UtlExit(int status, BoolType keepStatus) {
  if (InExit.fetch_add(1) > 0) return;  // already exiting: a second request is a no-op
  if (!keepStatus && status != 5 && HostGetSigTerm()) status = 5;
  utlExitStatus = status;

  // The table is marked empty before the first handler runs, and each entry is
  // cleared before its handler runs, so nothing runs twice.
  int count = exitHandlerCount;
  exitHandlerCount = 0;
  for (int i = count - 1; i >= 0; i--) {
    void (*handler)() = exitHandlers[i];
    exitHandlers[i] = nullptr;
    if (handler) handler();
  }
  // A termination signal taken while the handlers ran (a keyboard interrupt's
  // shutdown lets one in once the archive is closed) still counts.
  if (!keepStatus && status != 5 && HostGetSigTerm()) utlExitStatus = status = 5;
  fflush(stdout);
  fflush(stderr);
  if (exitTestHook) {
    void (*hook)(int) = exitTestHook;
    InExit.store(0);
    hook(status);
    return;
  }
  _exit(status);
}

int HostCoreTimeOut() {
  const char* text = getenv("QL_CORE_TIME_OUT");
  if (text) {
    int seconds = atoi(text);
    if (seconds >= 1) return seconds;
  }
  return 129600;
}

void HostSleepSeconds(int seconds) {
  // In steps of 3 seconds, so that an attached debugger finds the process in a
  // short sleep; a signal that cuts a step short does not shorten the wait.
  for (int left = seconds; left > 0;) {
    int step = left < 3 ? left : 3;
    struct timespec req = {step, 0};
    struct timespec rest = {0, 0};
    while (nanosleep(&req, &rest) != 0 && errno == EINTR) req = rest;
    left -= step;
  }
}

void HostWaitForDebugger() {
  int delay = HostCoreTimeOut();
  int pid = (int)getpid();
  unsigned tid = (unsigned)gettid();
  HostSafeWrite(2, "\n __________________________________ \n");
  HostSafeText line;
  line.str("|  HostCallDebugger: Waiting for a C Debugger to attach, process ").num(pid).str(" \n").writeTo(2);
  line.clear();
  line.str("|  process ").num(pid).str(" (0x").hex((unsigned)pid).str("), thread ").unum(tid);
  line.str(" (0x").hex(tid).str("), sleep time ").num(delay).str("\n").writeTo(2);
  HostSafeWrite(2, "|__________________________________ \n");
  HostSleepSeconds(delay);
}

void HostCallDebuggerMsg_fl(const char* message, const char* file, int line) {
  // A guarantee that fails while the report is being written (in the stack walk,
  // say) must not start a second report and wait twice.
  if (inDebuggerWait.exchange(1) != 0) _exit(HostGetSigTerm() ? 5 : 1);
  fflush(stdout);
  fflush(stderr);
  HostSafeWrite(2, "\n");
  HostSafeWrite(2, "HostCallDebugger: invoked at: ");
  HostSafeText text;
  text.utcTime(time(nullptr)).writeTo(2);
  HostSafeWrite(2, "\n");
  text.clear();
  text.str(message).str(", File ").str(file).str(" line ").num(line).str("\n").writeTo(2);
  HostPrintStack(2);
  HostWaitForDebugger();
  fflush(stdout);
  fflush(stderr);
  _exit(HostGetSigTerm() ? 5 : 1);
}

void UtlHeapInit() {}

void* UtlMallocHalt(size_t size, const char* label) {
  void* p = malloc(size ? size : 1);
  if (!p) {
    fprintf(stderr, "[Error] memory exhausted allocating %zu bytes for %s\n", size, label);
    HostCallDebuggerMsg_fl("UtlMallocHalt: out of memory", __FILE__, __LINE__);
  }
  return p;
}

void UtlFree(void* p) { free(p); }
