// The simulated cache's System V shared memory segment: creation under a fresh
// IPC key, the layout of its configuration section, spin locks, miscellaneous
// data, process table and shared counters, the counter updates, and removal.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "simoptions.h"
#include "simplan.h"

struct ShrPcConfigSType;

struct SimSegment {
  int shmid = -1;
  key_t key = 0;
  char* base = nullptr;  // mapping of the segment (read-write); null when not mapped
  size_t size = 0;
  ShrPcConfigSType* config = nullptr;
};

// Creates the segment exclusively under a key made by ftok over keyFile with a
// random project id in 1..255 (another id when a segment already uses the key),
// maps it and lays out every area. initDone is left 0. On failure nothing is left
// behind and *err says why.
bool SimCreateSegment(const SimOptions& opts, const std::string& keyFile, const std::vector<SimSlot>& slots,
                      SimSegment* seg, std::string* err);

// Writes every counter of every slot with a kind and every shared counter for
// tick t: the formula values when deterministic, otherwise small random steps
// upward. Also stores t at offset 0 of the cache state record.
void SimUpdateCounters(SimSegment* seg, const std::vector<SimSlot>& slots, uint64_t t, bool deterministic);

// Sets initDone (after a full fence, so every area is visible first).
void SimSetInitDone(SimSegment* seg);

// Unmaps and removes the segment; safe to call more than once.
void SimDestroySegment(SimSegment* seg);
