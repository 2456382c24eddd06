// The per-process state of the writer: the table of open /proc files of the
// processes read so far, the reading of their 30 figures, and the /proc
// directory walked for listed users. Created on first use.
#pragma once

#include <string>

#include "archive/hoststatwriter.h"
#include "host/hosttypes.h"
#include "hoststats/linux/procwalk.h"
#include "hoststats/pidhashmap.h"

// Largest descriptor table, whatever the open-file limit.
const int PROC_FD_TABLE_MAX = 1 << 20;
const int PROC_FD_RESERVE = 64;

struct ProcessTrackerOptions {
  std::string procRoot = "/proc";
  // Descriptor-table size; 0: raise the open-file limit and size it from that.
  int fdTableSize = 0;
  // Descriptors below the table's end kept free for the output file and the
  // /proc walk; -1: PROC_FD_RESERVE.
  int fdReserve = -1;
  // Boot-clock nanoseconds (the clock of process start times); null: bootClockNowNs.
  int64_t (*bootClockNs)() = nullptr;
  // Clock of the cleanup schedule and the existence test; null: the host's.
  HostHrtime_t (*clock)() = nullptr;
  BoolType (*processExists)(int pid) = nullptr;
  long clockTicksPerSec = 0;  // 0: sysconf(_SC_CLK_TCK)
  uint64_t pageKb = 0;        // 0: sysconf(_SC_PAGESIZE) / 1024
  uint64_t memTotalKb = 0;    // 0: MemTotal of <procRoot>/meminfo, else sysconf
  int cpuCount = 0;           // 0: the CPUs online, looked up once a sample
};


struct ProcessTracker {
  std::string procRoot;
  PidHashMap pidMap;
  // Descriptors at or above this are not kept open: a process whose files would
  // need them is read by opening and closing its files at each sample.
  int fdTrackLimit = 0;
  long clockTicksPerSec = 0;
  uint64_t pageKb = 0;
  uint64_t memTotalKb = 0;
  int64_t (*bootClockNs)() = nullptr;
  BoolType ioWarningPrinted = FALSE;
  BoolType fdWarningPrinted = FALSE;
  ProcPidWalk procWalk;  // the processes of procRoot, for listed users

  explicit ProcessTracker(const ProcessTrackerOptions& options);
  ~ProcessTracker();
  ProcessTracker(const ProcessTracker&) = delete;
  ProcessTracker& operator=(const ProcessTracker&) = delete;

  // The entry of pid, opening and registering its files on first use; null when
  // they cannot be opened.
  PidHashEntry* getHashTableEntryForPid(int pid);
  // Fills the figures of pid; FALSE when the process cannot be read, after which
  // its files are closed and it is forgotten. quiet suppresses the one-time
  // warning about processes whose io file is unreadable.
  BoolType readProcess(int pid, BoolType quiet, HostProcessStatsSType* out);
  // The effective user of pid at its last read, which is the owner of its /proc
  // directory (procfs gives a process's directory its effective user, root for
  // kernel threads, whose status says 0); -1 when pid is not tracked or its
  // status did not say.
  int ownerAtLastRead(int pid);
  // The CPUs that make up the whole machine for PercentCpuUsed.
  int onlineCpus();

 private:
  int fixedCpuCount = 0;
  int cpuCount = 0;
  uint32_t cpuCountSample = 0;  // pidMap.sampleNumber of the last look-up
};
