// A writable copy of the fixture tree tests/fixtures/proc and a process tracker
// reading it with fixed clocks (boot clock at 20 s, 100 ticks a second).
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "hoststats/processtracker.h"
#include "support/runprocess.h"

struct ProcTree {
  static int64_t& bootNow() {
    static int64_t now = 0;
    return now;
  }
  TempDir dir;
  std::string root = dir.file("proc");

  ProcTree() {
    std::filesystem::copy(TALLY_FIXTURES_DIR "/proc", root, std::filesystem::copy_options::recursive);
    bootNow() = 20LL * 1000000000LL;
  }
  ProcessTrackerOptions options(int fdTableSize = 256) const {
    ProcessTrackerOptions o;
    o.procRoot = root;
    o.fdTableSize = fdTableSize;
    o.bootClockNs = [] { return bootNow(); };
    o.clock = [] { return (HostHrtime_t)0; };
    o.processExists = [](int) { return (BoolType)TRUE; };
    o.clockTicksPerSec = 100;
    return o;
  }
  // Rewrites a file in place (same inode), as the kernel updates an open /proc file.
  void rewrite(const std::string& rel, const std::string& text) const {
    std::ofstream(root + "/" + rel, std::ios::in | std::ios::out | std::ios::trunc) << text;
  }
};
