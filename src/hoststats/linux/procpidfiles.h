// Opening and reading the procfs files of one process, and the open-file limit
// that bounds how many of them the monitor can hold open.
#pragma once

#include <cstddef>

#include "host/hosttypes.h"
#include "hoststats/linux/procpid.h"
#include "hoststats/pidhashmap.h"

enum ProcOpenResult {
  PROC_OPEN_OK,              // every required file is open
  PROC_OPEN_FAILED,          // a required file cannot be opened: the process is gone or hidden
  PROC_OPEN_NO_DESCRIPTORS,  // the process is there but descriptors ran out
};

// Opens <root>/<pid>/{stat,io,status,schedstat} read-only into fds (by
// ProcFilePos; -1 for an optional file that cannot be opened, and for an io file
// that opens but cannot be read). A descriptor at or
// above fdLimit, or an open refused for lack of descriptors, counts as
// PROC_OPEN_NO_DESCRIPTORS. Unless the result is PROC_OPEN_OK nothing stays open
// and every fd is -1.
ProcOpenResult openProcPidFiles(const char* root, int pid, int fds[PROC_FILE_COUNT], int fdLimit);

// Closes the descriptors that are open and sets them to -1.
void closeProcPidFiles(int fds[PROC_FILE_COUNT]);

// Reads an open descriptor from offset 0 with positioned reads (interrupted
// reads retried) until a read returns less than asked: one read per file for
// procfs texts that fit. The descriptor must be 3 or more. FALSE on an error or when nothing could be read; text that does not
// fit in capacity is cut.
BoolType doReadFile(int fd, char* buffer, size_t capacity, size_t* length);

// Reads and parses the open files of pid. FALSE when stat or status fails to
// read, when any file read fails to parse, when a file reports another pid, or
// when the process has ended and is only a zombie (one task left, in state Z).
// An optional file that refuses the read is left out (haveIo, haveSchedstat
// FALSE). A process of several threads is also read thread by thread below
// root (readProcTasks) for the figures Linux keeps per thread.
//
// previous, when given, is what the last read of the same open files found. A
// process that has not run since (one thread, no time on a CPU) costs two reads
// instead of four: schedstat and stat are read, and the status and io figures,
// which only its running can change, are taken from previous.
BoolType readProcPidSample(const char* root, const int fds[PROC_FILE_COUNT], int pid, const ProcPidSample* previous,
                           ProcPidSample* out);

// Raises the soft limit of open files to the hard limit (as far as the kernel
// allows) and returns the soft limit now in force, at most maxSize.
int HostRaiseOpenFileLimit(int maxSize);
