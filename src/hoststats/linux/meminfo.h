// /proc/meminfo: "Name: value [kB]" lines, and the memory figures taken from them.
#pragma once

#include <cstdint>
#include <string>

#include "hoststats/linux/procfiles.h"
#include "hoststats/linux/proctext.h"

bool parseProcMeminfo(const std::string& text, ProcKeyValues* out, std::string* error);
// Reads and parses <root>/proc/meminfo.
bool readProcMeminfo(ProcFiles& files, ProcKeyValues* out, ProcError* error);

// The figures the host records use, in kilobytes.
struct MeminfoFigures {
  uint64_t memTotal = 0, memFree = 0, unevictable = 0, mlocked = 0;
  uint64_t swapTotal = 0, swapFree = 0, commitLimit = 0, committedAs = 0;
  uint64_t memAvailable = 0;  // MemAvailable, or MemFree on kernels before 3.14 that lack it
};
// Which figures a caller needs (a missing one is an error).
enum MeminfoNeed : unsigned {
  MEMINFO_TOTAL = 1 << 0,
  MEMINFO_FREE = 1 << 1,
  MEMINFO_UNEVICTABLE = 1 << 2,
  MEMINFO_MLOCKED = 1 << 3,
  MEMINFO_SWAP = 1 << 4,    // SwapTotal, SwapFree
  MEMINFO_COMMIT = 1 << 5,  // CommitLimit, Committed_AS
};
// Takes the needed figures (the others stay 0; memAvailable is always set);
// false with "no "<Name>" entry" for the first one absent, in the order of the
// fields above.
bool meminfoFigures(const ProcKeyValues& kv, unsigned needs, MeminfoFigures* out, std::string* error);

// MemTotal (kB) of <procDir>/meminfo ("/proc" on the live host); 0 when the
// file cannot be read or has no readable MemTotal line.
uint64_t readMemTotalKb(const std::string& procDir);
