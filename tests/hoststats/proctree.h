#pragma once

#include "hoststats/fixturetree.h"
#include "hoststats/processtracker.h"

// The process fixture, read by a process tracker with fixed clocks (boot clock
// at 20 s, 100 ticks a second) on a machine of one CPU.
struct ProcTree : FixtureTree {
  static int64_t& bootNow() {
    static int64_t now = 0;
    return now;
  }
  ProcTree() : FixtureTree("proc") { bootNow() = 20LL * 1000000000LL; }
  ProcessTrackerOptions options(int fdTableSize = 256) const {
    ProcessTrackerOptions o;
    o.procRoot = root();
    o.fdTableSize = fdTableSize;
    o.bootClockNs = [] { return bootNow(); };
    o.clock = [] { return (HostHrtime_t)0; };
    o.processExists = [](int) { return (BoolType)TRUE; };
    o.clockTicksPerSec = 100;
    o.pageKb = 4;
    o.cpuCount = 1;
    return o;
  }
};
