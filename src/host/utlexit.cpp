#include "host/utlexit.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/hostsignal.h"

namespace {

const int MAX_EXIT_HANDLERS = 100;

void (*exitHandlers[MAX_EXIT_HANDLERS])();
int exitHandlerCount = 0;
std::atomic<int> InExit{0};
int utlExitStatus = 0;
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

void HostCallDebuggerMsg_fl(const char* message, const char* file, int line) {
  fflush(stdout);
  fflush(stderr);
  char buf[256];
  time_t now = time(nullptr);
  HostSafeWrite(2, "\n");
  HostSafeWrite(2, "HostCallDebugger: invoked at: ");
  snprintf(buf, sizeof buf, "%ld", (long)now);
  HostSafeWrite(2, buf);
  HostSafeWrite(2, "\n");
  snprintf(buf, sizeof buf, "%s, File %s line %d\n", message, file, line);
  HostSafeWrite(2, buf);
  HostPrintStack(2);
  int delay = HostCoreTimeOut();
  int pid = (int)getpid();
  unsigned tid = (unsigned)gettid();
  HostSafeWrite(2, "\n __________________________________ \n");
  snprintf(buf, sizeof buf, "|  HostCallDebugger: Waiting for a C Debugger to attach, process %d \n", pid);
  HostSafeWrite(2, buf);
  snprintf(buf, sizeof buf, "|  process %d (0x%x), thread %u (0x%x), sleep time %d\n", pid, (unsigned)pid, tid, tid,
           delay);
  HostSafeWrite(2, buf);
  HostSafeWrite(2, "|__________________________________ \n");
  for (int waited = 0; waited < delay; waited += 3) sleep(delay - waited < 3 ? delay - waited : 3);
  fflush(stdout);
  fflush(stderr);
  _exit(HostGetSigTerm() ? 5 : 1);
}

void UtlHeapInit() {}

void* UtlMallocHalt(size_t size, const char* label) {
  void* p = malloc(size ? size : 1);
  if (!p) {
    char buf[256];
    snprintf(buf, sizeof buf, "[Error] memory exhausted allocating %zu bytes for %s\n", size, label);
    HostSafeWrite(2, buf);
    HostCallDebuggerMsg_fl("UtlMallocHalt: out of memory", __FILE__, __LINE__);
  }
  return p;
}

void UtlFree(void* p) { free(p); }
