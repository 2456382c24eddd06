// Command line of the cache simulator: how many processes of each kind it
// registers in its process table, how it updates their counters, and which
// faults it provokes.
#pragma once

#include <cstdint>
#include <string>

struct SimOptions {
  std::string globalDir;       // --dir, else QUILLON_GLOBAL_DIR
  std::string keeperName = "simkeeper";
  int pgsvrs = 2;              // page servers named "Aio..." (odd ones carry a space)
  int otherPgsvrs = 1;         // page servers whose names do not begin with "Aio"
  int pageMgrThreads = 1;      // keeper threads named "pagemgrThread..."
  int envoys = 4;
  int envoySessions = 0;       // number of distinct envoy sessions; 0 = one per envoy
  bool oddSlots = true;        // the three entries that must get no record
  int freeSlots = 2;           // unused slots after the last process
  int sharedCounters = 8;
  int intervalMs = 1000;       // counter update interval; 0 = never update
  bool deterministic = false;
  int initDelayMs = 0;         // initDone is set this long after the ready line
  bool neverInit = false;
  uint32_t compatLevel = 64940;
  bool badSize = false;        // configuration's segmentSize differs from the segment's
  int killMonitorAfterMs = -1; // SIGKILL the slot-0 process after this long; -1 never
  bool ownerOnly = false;      // segment mode 0600 instead of 0640
  bool paddedHotLocks = false; // hot spin locks take two records each
  bool verbose = false;        // one line per tick
  bool exitWithParent = false; // stop (as on SIGTERM) when the parent process ends
};

// Parses argv into opts. Returns 0 to go on, -1 after printing the help text
// (exit 0), or a positive exit status after printing an error.
int SimParseOptions(int argc, char** argv, SimOptions* opts);

// The help text, which also documents the deterministic counter formula.
const char* SimHelpText();
