// The single exit path of the process, its handler table, and internal
// consistency checks (guarantees).
#pragma once

#include "host/hosttypes.h"

// Empties the handler table and sets the recorded exit status to 0.
void UtlExitInit();

// Pushes a handler; at most 100. A 101st registration is a guarantee failure.
void UtlAtExit(void (*handler)());

// Ends the process: runs the registered handlers once, most recent first, and
// exits with `status` (turned into 5 when a termination signal was received,
// unless keepStatus). A second entry (from a handler or a signal handler)
// returns at once.
void UtlExit(int status, BoolType keepStatus);

// The status recorded by the first UtlExit; for tests.
int UtlExitStatus();

// Test hook: when set, UtlExit calls it instead of ending the process (after
// running the handlers), and resets its re-entry guard afterwards.
void UtlExitSetTestHook(void (*hook)(int status));

// The guarantee failure report: writes the message with file and line, the call
// stack and the debugger-wait box, waits QL_CORE_TIME_OUT seconds (default
// 129600) and ends the process with status 1 without running exit handlers.
[[noreturn]] void HostCallDebuggerMsg_fl(const char* message, const char* file, int line);

// Seconds to wait for a debugger: QL_CORE_TIME_OUT when it is at least 1, else 129600.
int HostCoreTimeOut();

// Writes the debugger-wait box (process and thread ids, the delay) to standard
// error and sleeps HostCoreTimeOut() seconds in steps of 3. Async-signal-safe.
void HostWaitForDebugger();

// Sleeps whole seconds in steps of 3; signals do not shorten the sleep.
void HostSleepSeconds(int seconds);

#define UTL_GUARANTEE(cond)                                                 \
  do {                                                                      \
    if (!(cond)) HostCallDebuggerMsg_fl("UTL_GUARANTEE failed", __FILE__, __LINE__); \
  } while (0)

// Allocation that ends the process with a report naming `label` when memory is
// exhausted. Memory from it is released with UtlFree.
void* UtlMallocHalt(size_t size, const char* label);
void UtlFree(void* p);
void UtlHeapInit();
