#include "hoststats/linux/procpid.h"

#include <gtest/gtest.h>

#include <string>

namespace {

BoolType parseStat(const std::string& text, ProcPidStat* out) { return parseProcPidStat(text.data(), text.size(), out); }

TEST(ProcPidStatParse, CommandNameEndsAtTheLastParenthesisAndBadTextIsRefused) {
  ProcPidStat st;
  ASSERT_TRUE(parseStat("77 (a) b (c)) ) S 1 77 77 0 -1 0 5 0 6 0 7 8 0 0 -2 -20 4 0 99 4096 3 0 0\n", &st));
  EXPECT_EQ(st.pid, 77);
  EXPECT_STREQ(st.comm, "a) b (c)) ");
  EXPECT_EQ(st.state, 'S');
  EXPECT_EQ(st.minflt + st.majflt * 10 + st.utime * 100 + st.stime * 1000, 8765u);
  EXPECT_EQ(st.numThreads, 4u);
  EXPECT_EQ(st.rssPages, 3u);

  for (const char* bad : {"", "12 (x S 1 2 3", "12 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8",
                          "12 (x) S 1 12 12 0 -1 0 5 0 6 0 seven 8 0 0 20 0 1 0 9 1 1",
                          "0 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8 0 0 20 0 1 0 9 1 1",
                          "99999999999999999999999 (x) S 1 12 12 0 -1 0 5 0 6 0 7 8 0 0 20 0 1 0 9 1 1"}) {
    EXPECT_FALSE(parseStat(bad, &st)) << bad;
  }
  ProcPidStatus status;
  std::string noPid = "Name:\tw\nPPid:\t1\nTracerPid:\t0\nVmRSS:\t 3 kB\n";
  EXPECT_FALSE(parseProcPidStatus(noPid.data(), noPid.size(), &status));
  std::string badValue = "Pid:\t31\nVmData:\t lots kB\n";
  EXPECT_FALSE(parseProcPidStatus(badValue.data(), badValue.size(), &status));
  std::string badUid = "Pid:\t31\nUid:\t1000\n";
  EXPECT_FALSE(parseProcPidStatus(badUid.data(), badUid.size(), &status));

  // The effective user is the second of the four ids; one too large to be listed
  // is left unknown rather than refusing the process.
  std::string setuid = "Pid:\t31\nUid:\t1000\t0\t0\t0\nGid:\t7\t7\t7\t7\n";
  ASSERT_TRUE(parseProcPidStatus(setuid.data(), setuid.size(), &status));
  EXPECT_EQ(status.euid, 0);
  std::string high = "Pid:\t31\nUid:\t1\t4294967294\t1\t1\n";
  ASSERT_TRUE(parseProcPidStatus(high.data(), high.size(), &status));
  EXPECT_EQ(status.euid, -1);
  ProcPidIo io;
  std::string noReadBytes = "rchar: 1\nwchar: 2\nwrite_bytes: 6\n";
  EXPECT_FALSE(parseProcPidIo(noReadBytes.data(), noReadBytes.size(), &io));
}

TEST(ExeName, LastPathComponentCutAtColonOrBlank) {
  const std::pair<const char*, const char*> cases[] = {
      {"/usr/bin/worker", "worker"}, {"server:main", "server"}, {"/opt/x/srv:1/zzz", "srv"},
      {"tool (v2) x", "tool"},       {"line\nbreak", "line"},   {"", "<unknown>"},
      {":x", "<unknown>"},           {"dir/", "<unknown>"},
  };
  char buf[32];
  for (const auto& c : cases) {
    getPidExeName(buf, sizeof(buf), c.first);
    EXPECT_STREQ(buf, c.second) << c.first;
  }
  getPidExeName(buf, 8, "averyveryverylongname");
  EXPECT_STREQ(buf, "averyve");
}

TEST(Shares, CpuShareIsOfTheWholeMachineGuardsItsIntervalAndMemoryShareTruncates) {
  const int64_t s = 1000000000LL;
  EXPECT_EQ(cpuSharePercent(100, 150, 10 * s, 11 * s, 100, 1), 50u);
  EXPECT_EQ(cpuSharePercent(100, 150, 10 * s, 11 * s, 100, 2), 25u);
  EXPECT_EQ(cpuSharePercent(0, 400, 10 * s, 12 * s, 100, 2), 100u);  // two busy threads on two CPUs
  EXPECT_EQ(cpuSharePercent(0, 410, 10 * s, 12 * s, 100, 2), 100u);  // ticks a little ahead of the clock
  EXPECT_EQ(cpuSharePercent(100, 133, 10 * s, 11 * s, 100, 1), 33u);
  EXPECT_EQ(cpuSharePercent(100, 200, 10 * s, 10 * s, 100, 2), 0u);  // no time elapsed
  EXPECT_EQ(cpuSharePercent(200, 100, 10 * s, 11 * s, 100, 2), 0u);  // ticks went backwards
  EXPECT_EQ(cpuSharePercent(100, 200, 10 * s, 11 * s, 100, 0), 0u);  // no CPU count
  EXPECT_EQ(memSharePercent(159999, 1600000), 9u);
  EXPECT_EQ(memSharePercent(1, 0), 0u);
  EXPECT_EQ(ticksToMs(0x100000000ULL * 100 + 1, 100), 10u);  // truncated to 32 bits
}

}  // namespace
