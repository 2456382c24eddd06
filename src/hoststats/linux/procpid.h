// The per-process files of Linux procfs: parsers of /proc/<pid>/stat, status, io
// and schedstat (pure: text in, figures out), and the mapping of their figures to
// the 30 per-process figures of the archive. docs/process-stats-linux.md gives the
// mapping figure by figure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/hoststatwriter.h"
#include "host/hosttypes.h"
#include "hoststats/linux/proctasks.h"

// /proc/<pid>/stat; field numbers as in proc(5).
struct ProcPidStat {
  int pid;              // (1)
  char comm[64];        // (2) without its parentheses; may hold spaces and ')'
  char state;           // (3) 'R', 'S', ... 'Z' for a zombie
  uint64_t minflt;      // (10)
  uint64_t majflt;      // (12)
  uint64_t utime;       // (14) clock ticks
  uint64_t stime;       // (15) clock ticks
  uint64_t numThreads;  // (20)
  uint64_t startTime;   // (22) clock ticks after boot
  uint64_t vsize;       // (23) bytes
  uint64_t rssPages;    // (24) pages
};

// /proc/<pid>/status. Kernel threads and zombies have no Vm lines: those stay 0.
struct ProcPidStatus {
  int pid;   // "Pid:"
  int euid;  // "Uid:", second value (the effective user); -1 without the line
  uint64_t vmDataKb, vmStkKb;
  uint64_t volCsw, nonvolCsw;  // voluntary_ctxt_switches, nonvoluntary_ctxt_switches
};

// /proc/<pid>/io (readable only with ptrace access to the process).
struct ProcPidIo {
  uint64_t rchar, wchar, syscr, syscw;
  uint64_t readBytes, writeBytes, cancelledWriteBytes;
};

// /proc/<pid>/schedstat: time on a CPU, time waiting for one (ns), time slices.
struct ProcPidSchedstat {
  uint64_t runNs, waitNs, slices;
};

// Everything read from one process in one sample.
struct ProcPidSample {
  ProcPidStat stat;
  ProcPidStatus status;
  BoolType haveIo;
  ProcPidIo io;
  BoolType haveSchedstat;
  ProcPidSchedstat sched;
  // A multi-threaded process: its switches and CPU waits summed over its
  // threads (status and schedstat above are the main thread's alone).
  BoolType haveTasks;
  ProcTaskSums taskSums;
  std::vector<ProcTaskFigures> tasks;
};

// Each parser takes the file's text (not necessarily NUL-terminated) and returns
// FALSE when a field it needs is missing or is not a number.
BoolType parseProcPidStat(const char* text, size_t len, ProcPidStat* out);
BoolType parseProcPidStatus(const char* text, size_t len, ProcPidStatus* out);
BoolType parseProcPidIo(const char* text, size_t len, ProcPidIo* out);
BoolType parseProcPidSchedstat(const char* text, size_t len, ProcPidSchedstat* out);

// What the shares are computed against.
struct ProcShareBasis {
  long clockTicksPerSec;  // USER_HZ
  uint64_t memTotalKb;    // physical memory
  uint64_t pageKb;        // size of a page
  int cpuCount;           // online CPUs: the whole machine
  uint64_t prevCpuTicks;  // user + system ticks at the previous read
  int64_t prevNs;         // boot-clock time of the previous read; 0: none yet
  int64_t nowNs;          // boot-clock time of this read
};

// Whole percent of the machine (all of its cpuCount CPUs) used between two
// reads: the CPU ticks spent over the CPU time the machine had. 0 when no time
// elapsed or the ticks went backwards; at most 100 (tick accounting can run a
// little ahead of the clock).
uint32_t cpuSharePercent(uint64_t prevTicks, uint64_t curTicks, int64_t prevNs, int64_t curNs,
                         long clockTicksPerSec, int cpuCount);
// Whole percent of physical memory held resident; 0 when memory is unknown.
uint32_t memSharePercent(uint64_t rssKb, uint64_t memTotalKb);
// Clock ticks as milliseconds, truncated to 32 bits.
uint32_t ticksToMs(uint64_t ticks, long clockTicksPerSec);

// The instance name of a process from its executable name: cut at the first ':',
// space or other blank or control character, then only the part after the last
// '/'; "<unknown>" when nothing is left. Always NUL-terminated within size.
void getPidExeName(char* dest, size_t size, const char* text);

// Fills the 30 figures and the name. The CPU share covers the time since the
// previous read, or the life of the process at its first read.
void buildProcessStats(const ProcPidSample& sample, const ProcShareBasis& basis, HostProcessStatsSType* out);
