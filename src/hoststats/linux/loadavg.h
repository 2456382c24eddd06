// /proc/loadavg: the load averages.
#pragma once

#include <cstdint>
#include <string>

#include "hoststats/linux/procfiles.h"

// The three load averages scaled by 256 (rounded), and the scheduling
// entities runnable and in all.
struct ProcLoadavg {
  uint32_t avenrun[3] = {0, 0, 0};
  uint64_t runnable = 0;
  uint64_t threads = 0;
};
// "<1min> <5min> <15min> <running>/<total> <last pid>".
bool parseProcLoadavg(const std::string& text, ProcLoadavg* out, std::string* error);
bool readProcLoadavg(ProcFiles& files, ProcLoadavg* out, ProcError* error);
