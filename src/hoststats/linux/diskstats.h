// /proc/diskstats: the I/O counters of every block device (running totals).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hoststats/linux/procfiles.h"

// One line: the device and its first 11 figures (sectors are 512 bytes, times
// milliseconds). Kernels since 4.18 and 5.5 add 4 and 2 more, checked but not kept.
struct ProcDiskStat {
  unsigned major = 0, minor = 0;
  std::string name;
  uint64_t readsCompleted = 0, readsMerged = 0, sectorsRead = 0, msReading = 0;
  uint64_t writesCompleted = 0, writesMerged = 0, sectorsWritten = 0, msWriting = 0;
  uint64_t inFlight = 0, msDoingIo = 0, weightedMsDoingIo = 0;
};
bool parseProcDiskstats(const std::string& text, std::vector<ProcDiskStat>* out, std::string* error);
bool readProcDiskstats(ProcFiles& files, std::vector<ProcDiskStat>* out, ProcError* error);
