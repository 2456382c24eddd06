// The process table the simulator lays out: one entry per slot, in slot order.
#pragma once

#include <string>
#include <vector>

#include "simoptions.h"

struct SimSlot {
  bool inUse = false;
  unsigned kind = 0;      // process kind bit (1 monitor, 2 keeper, 4 page server, 8 envoy)
  std::string name;       // processName (at most 31 characters)
  int sessionId = -1;
  bool needsChild = false;  // carries the pid of a live child process
  int fixedPid = 0;       // the pid written when needsChild is false (0 or -1)
  int pid = 0;            // filled once the child exists
};

// Slots in order as the help text describes them, including the free slots.
std::vector<SimSlot> SimPlanSlots(const SimOptions& opts);
