// /proc/net/dev: the packet and byte counters of every interface (running totals).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hoststats/linux/procfiles.h"

// One interface line: its name (an alias may hold a colon) and 16 counters.
struct ProcNetDev {
  std::string name;
  uint64_t rxBytes = 0, rxPackets = 0, rxErrs = 0, rxDrop = 0, rxFifo = 0, rxFrame = 0, rxCompressed = 0,
           rxMulticast = 0;
  uint64_t txBytes = 0, txPackets = 0, txErrs = 0, txDrop = 0, txFifo = 0, txColls = 0, txCarrier = 0,
           txCompressed = 0;
};
// Two header lines, then one line per interface.
bool parseProcNetDev(const std::string& text, std::vector<ProcNetDev>* out, std::string* error);
bool readProcNetDev(ProcFiles& files, std::vector<ProcNetDev>* out, ProcError* error);
