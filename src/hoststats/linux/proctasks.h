// The threads of a multi-threaded process. Linux keeps context switches and the
// time spent waiting for a CPU per thread: /proc/<pid>/status and schedstat
// describe the main thread alone, and the process's figures are sums over the
// entries of /proc/<pid>/task. The threads' files are opened for each read and
// closed again: a process of many threads would otherwise hold two descriptors
// per thread.
#pragma once

#include <cstdint>
#include <vector>

#include "host/hosttypes.h"

struct ProcPidSample;

// What one read found of one thread.
struct ProcTaskFigures {
  int tid;
  BoolType haveSchedstat;
  uint64_t runNs, waitNs, slices;  // schedstat
  uint64_t volCsw, nonvolCsw;      // status
};

// Sums over the threads present at the read. Threads that have ended take
// their counts with them: Linux publishes no total of ended threads' switches
// or waits in procfs.
struct ProcTaskSums {
  uint64_t volCsw, nonvolCsw, waitNs;
  int threads;  // threads summed, the main thread included
};

// Walks <root>/<pid>/task. The main thread (tid == pid) is counted from what
// `sample` already holds (its status and schedstat, read through the process's
// own files); every other thread from its own files. A thread whose scheduler
// figures (time on a CPU, time waiting, time slices) are those of `previous`
// (the last walk, sorted by tid) has not run since, and keeps its switch counts
// without a read of its status. A thread that ends during the walk is left out.
//
// When the main thread has exited while others run (its stat shows 'Z' and no
// memory), the sizes of `sample` (stat vsize and rss, status VmData and VmStk)
// are taken from a live thread, which shares the process's memory.
//
// Fills `tasks` (sorted by tid) and `sums`. FALSE when the task directory cannot
// be read, or when no live thread is left of a process whose main thread exited:
// the process has ended.
BoolType readProcTasks(const char* root, int pid, ProcPidSample* sample, const std::vector<ProcTaskFigures>* previous,
                       std::vector<ProcTaskFigures>* tasks, ProcTaskSums* sums);
