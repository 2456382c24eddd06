// /proc/vmstat: "name value" lines, and the paging and fault counters taken
// from them (running totals).
#pragma once

#include <cstdint>
#include <string>

#include "hoststats/linux/procfiles.h"
#include "hoststats/linux/proctext.h"

bool parseProcVmstat(const std::string& text, ProcKeyValues* out, std::string* error);
// Reads and parses <root>/proc/vmstat.
bool readProcVmstat(ProcFiles& files, ProcKeyValues* out, ProcError* error);

struct VmstatFigures {
  // Required: every kernel prints them.
  uint64_t pgpgin = 0, pgpgout = 0;  // kilobytes
  uint64_t pswpin = 0, pswpout = 0, pgfault = 0, pgmajfault = 0;
  // Come and go with kernel versions: 0 when absent.
  uint64_t pgstealKswapd = 0, pgscanKswapd = 0, pgscanDirect = 0, pageoutrun = 0;
};
// false with "no "<name>" entry" for the first required counter absent.
bool vmstatFigures(const ProcKeyValues& kv, VmstatFigures* out, std::string* error);
