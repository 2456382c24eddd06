// Signals: the fault handler, the keyboard interrupt and the termination counter.
#pragma once

#include "host/hosttypes.h"

// Installs the fault handler once per process (later calls do nothing).
// shutdownFn runs before the exit path on termination and fatal signals;
// companionFn (may be null) runs before UtlExit(3) after a fatal signal.
void HostInstallFaultHandler(void (*shutdownFn)(), void (*companionFn)(), BoolType childHandler);

// Installs handler for SIGINT unless SIGINT is currently ignored.
void HostEnableKbInt(void (*handler)(int));

// Termination counter: incremented atomically by SIGTERM and SIGXCPU.
void HostIncrementSigTerm();
BoolType HostGetSigTerm();

// Symbolic name of a signal ("SIGSEGV"); "SIG?" for an unknown number.
const char* HostSignalName(int sig);

// Writes the call stack of the current thread to fd with async-signal-safe writes.
void HostPrintStack(int fd);

// Async-signal-safe write of a whole text to fd (at most 256 bytes per write).
void HostSafeWrite(int fd, const char* text);
