#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hoststats/fixturetree.h"
#include "hoststats/hoststatsstate.h"

namespace {

float asFloat(uint32_t bits) {
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

HostStatsSwitches all() {
  HostStatsSwitches sw;
  sw.monitorDisks = sw.monitorPartitions = sw.monitorNetworks = sw.monitorCpus = sw.monitorSystemPages = TRUE;
  return sw;
}

std::unique_ptr<HostStatsState> openState(const FixtureTree& tree, const HostStatsSwitches& sw) {
  auto s = std::make_unique<HostStatsState>(tree.root(), 4096);
  EXPECT_TRUE(s->open(sw));
  return s;
}

TEST(SystemStatsTest, PercentagesAndAveragesCoverTheIntervalSinceTheLastCollection) {
  FixtureTree tree;
  auto s = openState(tree, all());
  // Ten seconds later. cpu0: one tick each of idle, user and system; cpu1: two of I/O wait.
  // sda: no completed operation, busy 500 ms, 1000 ms of waiting; sdb the same
  // with 10 reads.
  tree.replaceLine("proc/stat", "cpu0 ", "cpu0 101 10 51 1001 20 5 5 0 0 0");
  tree.replaceLine("proc/stat", "cpu1 ", "cpu1 200 10 50 1000 22 0 0 0 0 0");
  tree.replaceLine("proc/diskstats", "   8       0 sda", "   8       0 sda 100 0 2048 50 40 0 1024 30 1 560 1090");
  tree.replaceLine("proc/diskstats", "   8      16 sdb", "   8      16 sdb 20 0 100 5 4 0 8 2 1 506 1009");
  tree.setUptime("1010.00");
  ASSERT_TRUE(s->collect(all()));
  const HostCpuStatsSType& c0 = s->cpuStats[0];
  EXPECT_EQ(std::vector<int>({c0.percentCpuIdle, c0.percentCpuUser, c0.percentCpuSystem, c0.percentCpuActive}),
            std::vector<int>({33, 33, 33, 66}));
  const HostCpuStatsSType& c1 = s->cpuStats[1];
  EXPECT_EQ(std::vector<int>({c1.percentCpuIdle, c1.percentCpuActive, c1.percentCpuIOWait, c1.percentCpuWaiting}),
            std::vector<int>({0, 0, 100, 100}));
  EXPECT_EQ(s->systemStats.cpuStats.percentCpuUser, 20);  // one of the five ticks of both
  const HostDiskStatsSType& d = s->diskStats[0];
  const HostDiskStatsSType& b = s->diskStats[1];
  // sda's utilisation and queue length; sdb's response and service times in ms per operation
  EXPECT_EQ(std::vector<float>({asFloat(d.activeQueueUtilization), asFloat(d.activeQueueLength),
                                asFloat(b.activeQueueResponseTime), asFloat(b.activeQueueServiceTime)}),
            std::vector<float>({5.0f, 0.1f, 100.0f, 50.0f}));
  EXPECT_EQ(d.activeQueueResponseTime + d.activeQueueServiceTime, 0u);  // no operation completed
  // Ten seconds of constant figures average to those figures: MemAvailable, Committed_AS,
  // SwapTotal - SwapFree, CommitLimit - Committed_AS, SwapFree, and the run and wait queues.
  const HostSystemStatsSType& r = s->systemStats;
  EXPECT_EQ(std::vector<uint32_t>({r.freeMemory, r.reservedSwap, r.allocatedSwap, r.unreservedSwap, r.unallocatedSwap,
                                   r.schedulerRunCount, r.schedulerWaitCount}),
            std::vector<uint32_t>({4096, 2048, 1024, 4096, 1024, 30, 10}));

  // When no second has passed the divisor is 1: the raw difference in MB.
  s->lastvminfo.freemem -= 2560;  // 10 MB of 4 kB pages
  ASSERT_TRUE(s->collect(all()));
  EXPECT_EQ(s->systemStats.freeMemory, 10u);
  EXPECT_EQ(s->systemStats.reservedSwap, 0u);
  EXPECT_EQ(s->diskStats[1].activeQueueLength, 0u);  // no disk time passed: no disk figures
  EXPECT_EQ(c0.percentCpuIdle + c0.percentCpuUser + c0.percentCpuSystem + c0.percentCpuActive, 0);  // no ticks
}

TEST(SystemStatsTest, CpusDisksAndInterfacesThatComeAndGoAreSeenAtTheNextSample) {
  FixtureTree tree;
  auto s = openState(tree, all());
  tree.replaceLine("proc/stat", "cpu1 ", "cpu1 200 10 50 1000 20 0 0 0 0 0\ncpu2 5 0 5 10 0 0 0 0 0 0");
  tree.write("proc/diskstats", tree.read("proc/diskstats") + "   8 32 sdc 1 0 2 0 0 0 0 0 0 0 0\n");
  tree.write("sys/block/sdc/size", "1\n");
  tree.write("proc/net/dev", tree.read("proc/net/dev") + " eth1: 1 2 0 0 0 0 0 0 3 4 0 0 0 0 0 0\n");
  ASSERT_TRUE(s->collect(all()));
  EXPECT_EQ(s->systemStats.numCpus, 3u);
  ASSERT_EQ(s->numDisks, 3);
  EXPECT_STREQ(s->diskStats[2].name, "sdc");
  ASSERT_EQ(s->numComplexNetworks, 2);
  EXPECT_STREQ(s->complexNetworkStats[1].name, "eth1");
  // From the sample after its arrival on, the new CPU's percentages cover one interval.
  tree.replaceLine("proc/stat", "cpu2 ", "cpu2 6 0 5 10 0 0 0 0 0 0");
  tree.write("proc/diskstats", "   8 0 sda 100 0 2048 50 40 0 1024 30 0 60 90\n");  // sdb, sda1, sdc gone
  ASSERT_TRUE(s->collect(all()));
  EXPECT_EQ(s->cpuStats[2].percentCpuUser, 100);
  EXPECT_EQ(s->numDisks + s->numPartitions, 1);
}

TEST(SystemStatsTest, Lo0IsCalledLoopbackOnlyAmongSimpleInterfaces) {
  for (bool loopbackType : {true, false}) {
    FixtureTree tree;
    tree.write("proc/net/dev", "a|b\nc|d\n  lo0: 1 2 0 0 0 0 0 0 3 4 0 0 0 0 0 0\n");
    tree.write("sys/class/net/lo0/type", loopbackType ? "772\n" : "1\n");
    auto s = openState(tree, all());
    ASSERT_TRUE(s->collect(all()));
    ASSERT_EQ(s->numNetworks + s->numComplexNetworks, 1);
    EXPECT_STREQ(loopbackType ? s->networkStats[0].name : s->complexNetworkStats[0].name,
                 loopbackType ? "loopback" : "lo0");
  }
}

TEST(SystemStatsTest, BadContentIsReportedAndKeepsThePreviousFigures) {
  FixtureTree tree;
  auto s = openState(tree, all());
  ASSERT_TRUE(s->collect(all()));
  tree.write("proc/meminfo", "MemTotal: 8388608 kB\nMemFree: x kB\n");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(s->collect(all()));
  ASSERT_TRUE(s->collect(all()));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("[Error] host statistics: "), 0u) << err;
  EXPECT_NE(err.find("/proc/meminfo: line 2"), std::string::npos) << err;
  EXPECT_EQ(err.find("[Error]", 1), std::string::npos) << "reported once: " << err;
  EXPECT_EQ(s->systemPagesStats.freeMemory, 4096u);  // not a zero

  tree.write("proc/diskstats", "   8 0 sda 1\n");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(s->collect(all()));
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("kstat_chain_update failed with: 22\n"), std::string::npos) << err;
  EXPECT_EQ(s->systemStats.numCpus, 0u);  // the system record stays cleared
  EXPECT_EQ(s->numDisks, 2);              // the previous selection stays

  tree.remove("proc/stat");
  HostStatsState unopened(tree.root(), 4096);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(unopened.open(all()));
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find("kstat_open failed with: 2\n"), 0u) << err;
  EXPECT_NE(err.find("proc/stat"), std::string::npos) << err;
  EXPECT_FALSE(unopened.collect(all()));
}

// A source that cannot be read when the objects are selected is reported once,
// naming the file and the error, and taken as soon as it reads again: the
// system record does not go on with 0 CPUs and the disk without its errors.
TEST(SystemStatsTest, ASourceThatCannotBeReadIsReportedOnceAndTakenWhenItReadsAgain) {
  FixtureTree tree;
  tree.write("proc/loadavg", "0.50 1.25\n");
  tree.write("sys/block/sdb/device/ioerr_cnt", "many\n");
  testing::internal::CaptureStderr();
  auto s = openState(tree, all());
  ASSERT_TRUE(s->collect(all()));
  ASSERT_TRUE(s->collect(all()));
  std::string err = testing::internal::GetCapturedStderr();
  const std::vector<std::string> lines = splitLines(err);
  ASSERT_EQ(lines.size(), 2u) << err;
  EXPECT_EQ(lines[0].find("[Error] host statistics: " + tree.root() + "/proc/loadavg: expected"), 0u) << err;
  EXPECT_EQ(lines[1].find("[Error] host statistics: " + tree.root() + "/sys/block/sdb/device/ioerr_cnt: not a number"),
            0u)
      << err;
  EXPECT_EQ(s->systemStats.numCpus, 0u);
  EXPECT_EQ(s->diskStats[1].hardErrors, 0u);

  tree.write("proc/loadavg", "0.50 1.25 2.00 3/120 4242\n");
  tree.write("sys/block/sdb/device/ioerr_cnt", "0x3\n");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(s->collect(all()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(s->systemStats.numCpus, 2u);
  EXPECT_GT(s->systemStats.numProcesses, 0u);
  EXPECT_FLOAT_EQ(asFloat(s->systemStats.encodedLoadAverage1), 0.5f);
  EXPECT_EQ(s->diskStats[1].hardErrors, 3u);

  // Failing again after it read is a new failure, said again.
  tree.write("proc/loadavg", "\n");
  testing::internal::CaptureStderr();
  ASSERT_TRUE(s->collect(all()));
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("proc/loadavg"), std::string::npos) << err;
}

}  // namespace
