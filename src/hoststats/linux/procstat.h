// /proc/stat: the online CPUs' tick counters and the system-wide counts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hoststats/linux/procfiles.h"

// One "cpuN" line, in clock ticks.
struct ProcStatCpu {
  int cpu = 0;
  uint64_t user = 0, nice = 0, system = 0, idle = 0;
  uint64_t iowait = 0, irq = 0, softirq = 0, steal = 0;  // absent on very old kernels: 0
};

struct ProcStat {
  std::vector<ProcStatCpu> cpus;  // the online CPUs, in file order
  uint64_t ctxt = 0;              // context switches
  uint64_t intrTotal = 0;         // interrupts (first field of "intr")
  uint64_t softirqTotal = 0;      // soft interrupts (first field of "softirq")
  uint64_t processes = 0;         // forks since boot
  uint64_t procsRunning = 0;
  uint64_t procsBlocked = 0;
  uint64_t btime = 0;  // boot time, seconds since the epoch
};

// The whole text; false with a message naming the line, or the line that is
// missing. At least one cpuN line and every count above are required.
bool parseProcStat(const std::string& text, ProcStat* out, std::string* error);
// Reads and parses <root>/proc/stat.
bool readProcStat(ProcFiles& files, ProcStat* out, ProcError* error);
