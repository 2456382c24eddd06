// The collection against this machine's own /proc: figures that can be checked
// against the kernel directly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
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

// The columns of one of /proc/interrupts or /proc/softirqs summed, by CPU.
std::vector<uint64_t> columnSums(const char* path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  std::istringstream head(line);
  std::vector<uint64_t> sums;
  for (std::string cpu; head >> cpu;) sums.push_back(0);
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string label;
    row >> label;
    if (label == "ERR:" || label == "MIS:") continue;
    std::vector<uint64_t> counts;
    for (uint64_t v; counts.size() < sums.size() && row >> v;) counts.push_back(v);
    if (counts.size() == sums.size())
      for (size_t i = 0; i < sums.size(); i++) sums[i] += counts[i];
  }
  return sums;
}

// Each CPU's Interrupts and InterruptsAsThreads lie between its column sums of
// /proc/interrupts and /proc/softirqs read just before and just after, and the
// system record's are the sums over the CPUs.
TEST(LiveHostTest, InterruptsArePerCpuAsTheKernelCountsThem) {
  HostStatsSwitches sw;
  sw.monitorCpus = TRUE;
  HostStatsState s("/");
  ASSERT_TRUE(s.open(sw));
  const std::vector<uint64_t> intrBefore = columnSums("/proc/interrupts"), softBefore = columnSums("/proc/softirqs");
  ASSERT_TRUE(s.collect(sw));
  const std::vector<uint64_t> intrAfter = columnSums("/proc/interrupts"), softAfter = columnSums("/proc/softirqs");
  ASSERT_EQ(intrBefore.size(), (size_t)s.numCpus);  // one column per online CPU
  uint32_t intrSum = 0, softSum = 0;
  for (int i = 0; i < s.numCpus; i++) {
    const HostCpuStatsSType& c = s.cpuStats[i];
    EXPECT_GE(c.interrupts, (uint32_t)intrBefore[i]) << "cpu " << i;
    EXPECT_LE(c.interrupts, (uint32_t)intrAfter[i]) << "cpu " << i;
    EXPECT_GE(c.interruptsAsThreads, (uint32_t)softBefore[i]) << "cpu " << i;
    EXPECT_LE(c.interruptsAsThreads, (uint32_t)softAfter[i]) << "cpu " << i;
    intrSum += c.interrupts;
    softSum += c.interruptsAsThreads;
  }
  EXPECT_EQ(s.systemStats.cpuStats.interrupts, intrSum);
  EXPECT_EQ(s.systemStats.cpuStats.interruptsAsThreads, softSum);
  if (s.numCpus > 1) {
    EXPECT_GT(s.cpuStats[1].interrupts, 0u);  // no longer all on the first CPU
  }
}

}  // namespace
