// The collection against this machine's own /proc: figures that can be checked
// against the kernel directly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "hoststats/hoststatsstate.h"

namespace {

std::vector<double> loadavg() {
  std::ifstream in("/proc/loadavg");
  std::vector<double> v(3);
  in >> v[0] >> v[1] >> v[2];
  return v;
}

TEST(LiveHostTest, CpusMemoryAndLoadAveragesMatchTheKernel) {
  HostStatsSwitches sw;
  sw.monitorDisks = sw.monitorPartitions = sw.monitorNetworks = sw.monitorCpus = sw.monitorSystemPages = TRUE;
  HostStatsState s("/");
  ASSERT_TRUE(s.open(sw));
  const std::vector<double> before = loadavg();
  ASSERT_TRUE(s.collect(sw));
  const std::vector<double> after = loadavg();

  EXPECT_EQ(s.systemStats.numCpus, (uint32_t)sysconf(_SC_NPROCESSORS_ONLN));
  std::ifstream mem("/proc/meminfo");
  std::string key;
  uint64_t kb = 0;
  mem >> key >> kb;
  ASSERT_EQ(key, "MemTotal:");
  EXPECT_EQ(s.systemStats.physicalMemory, (uint32_t)(kb / 1024));
  EXPECT_EQ(s.systemPagesStats.physicalMemory, (uint32_t)(kb / 1024));

  const uint32_t enc[3] = {s.systemStats.encodedLoadAverage1, s.systemStats.encodedLoadAverage5,
                           s.systemStats.encodedLoadAverage15};
  for (int i = 0; i < 3; i++) {
    // The kernel prints two decimals; 256ths are within half a hundredth of them.
    float got;
    memcpy(&got, &enc[i], sizeof got);
    EXPECT_TRUE(std::fabs(got - before[i]) <= 0.006 || std::fabs(got - after[i]) <= 0.006)
        << "load " << i << ": " << got << " vs " << before[i] << "/" << after[i];
  }
  EXPECT_GT(s.systemStats.numProcesses, 0u);
}


}  // namespace
