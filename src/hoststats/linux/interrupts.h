// /proc/interrupts and /proc/softirqs: interrupts counted per CPU.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hoststats/linux/procfiles.h"

// Per CPU, the sum of its column over the rows. The header line names a column
// per online CPU ("CPU0 CPU1 ..."); each row is "<label>: <one count per
// column> [description]". Rows with fewer counts than columns are system-wide
// (ERR and MIS of /proc/interrupts) and are left out, as are ERR and MIS on a
// one-CPU host.
struct ProcPerCpuCounts {
  std::vector<int> cpus;         // CPU number of each column
  std::vector<uint64_t> totals;  // column sums, one per entry of cpus
  // The sum of cpu's column; 0 when it has no column (offline).
  uint64_t totalFor(int cpu) const;
};
bool parseProcPerCpuCounts(const std::string& text, ProcPerCpuCounts* out, std::string* error);
// rel: "/proc/interrupts" or "/proc/softirqs".
bool readProcPerCpuCounts(ProcFiles& files, const char* rel, ProcPerCpuCounts* out, ProcError* error);
