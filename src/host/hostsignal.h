// Signals: the fault handler, the keyboard interrupt and the termination counter.
#pragma once

#include "host/hosttypes.h"

// Installs the fault handler once per process (later calls do nothing).
// shutdownFn runs before the exit path on termination and fatal signals;
// companionFn (may be null) runs before UtlExit(3) after a fatal signal.
// childHandler: install a SIGCHLD handler that reaps exited children, when
// SIGCHLD has no handler yet.
void HostInstallFaultHandler(void (*shutdownFn)(), void (*companionFn)(), BoolType childHandler);

// Installs handler for SIGINT (no flags) unless SIGINT is currently ignored.
// The termination signals (SIGTERM, SIGXCPU) are held while the handler runs,
// so that one cannot cut short the shutdown the handler makes; one that
// arrives meanwhile is taken when the handler calls
// HostReleaseTerminationSignals or returns.
void HostEnableKbInt(void (*handler)(int));

// Lets in the termination signals held for the keyboard interrupt's handler:
// one that arrived meanwhile is handled at once (it takes the termination path
// and the process ends with status 5).
void HostReleaseTerminationSignals();

// Termination counter: incremented atomically by SIGTERM and SIGXCPU.
void HostIncrementSigTerm();
BoolType HostGetSigTerm();

// Symbolic name of a signal ("SIGSEGV"); "SIG?" for an unknown number.
const char* HostSignalName(int sig);

// Writes the call stack of the current thread to fd with async-signal-safe writes.
void HostPrintStack(int fd);

// Loads what the stack walk needs so that a later HostPrintStack allocates
// nothing (the first walk of a process loads the unwinder). Called at install.
void HostPrimeStack();

// Async-signal-safe write of a whole text to fd (at most 256 bytes per write).
void HostSafeWrite(int fd, const char* text);
