#include "hoststats/linux/procparse.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const char* kStat =
    "cpu  1 2 3 4 5 6 7 8 9 10\n"
    "cpu0 1 2 3 4 5 6 7 8 9 10\n"
    "cpu3 10 20 30 40\n"  // an old kernel's four fields; CPUs 1 and 2 offline
    "intr 500 1 2\nctxt 70\nbtime 1700000000\nprocesses 90\nprocs_running 3\nprocs_blocked 1\n"
    "softirq 40 1 2\n";

TEST(ProcParseTest, StatReadsEachOnlineCpuAndTheSystemCounters) {
  ProcStat st;
  std::string err;
  ASSERT_TRUE(parseProcStat(kStat, &st, &err)) << err;
  ASSERT_EQ(st.cpus.size(), 2u);
  EXPECT_EQ(st.cpus[0].cpu, 0);
  EXPECT_EQ(st.cpus[0].iowait, 5u);
  EXPECT_EQ(st.cpus[0].steal, 8u);
  EXPECT_EQ(st.cpus[1].cpu, 3);
  EXPECT_EQ(st.cpus[1].idle, 40u);
  EXPECT_EQ(st.cpus[1].iowait, 0u);  // not printed by that kernel
  EXPECT_EQ(st.intrTotal, 500u);
  EXPECT_EQ(st.ctxt, 70u);
  EXPECT_EQ(st.procsRunning, 3u);
  EXPECT_EQ(st.procsBlocked, 1u);
  EXPECT_EQ(st.softirqTotal, 40u);
}

TEST(ProcParseTest, LoadavgIsScaledBy256AndUptimeKeepsItsFraction) {
  ProcLoadavg la;
  std::string err;
  ASSERT_TRUE(parseProcLoadavg("0.50 1.25 12.99 3/120 4242\n", &la, &err)) << err;
  EXPECT_EQ(la.avenrun[0], 128u);
  EXPECT_EQ(la.avenrun[1], 320u);
  EXPECT_EQ(la.avenrun[2], 3325u);  // 12.99 * 256 = 3325.44
  EXPECT_EQ(la.threads, 120u);
  int64_t ns;
  ASSERT_TRUE(parseProcUptime("476.78 875.91\n", &ns, &err)) << err;
  EXPECT_EQ(ns, 476780000000);
}

TEST(ProcParseTest, KeyValueFilesAndSnmpSections) {
  ProcKeyValues kv;
  std::string err;
  ASSERT_TRUE(parseProcMeminfo("MemTotal:  100 kB\nHugePages_Total:   0\n", &kv, &err)) << err;
  uint64_t v;
  ASSERT_TRUE(procLookup(kv, "MemTotal", &v, &err));
  EXPECT_EQ(v, 100u);
  EXPECT_FALSE(procLookup(kv, "SwapFree", &v, &err));
  EXPECT_NE(err.find("SwapFree"), std::string::npos);
  EXPECT_EQ(procLookupOptional(kv, "SwapFree"), 0u);

  ASSERT_TRUE(parseProcSnmpSection("Ip: A\nIp: 1\nTcp: MaxConn InSegs\nTcp: -1 701\n", "Tcp", &kv, &err)) << err;
  ASSERT_EQ(kv.size(), 2u);
  EXPECT_EQ(kv[0].second, UINT64_MAX);  // -1 kept as its bits
  EXPECT_EQ(kv[1].second, 701u);
}

TEST(ProcParseTest, DiskstatsAcceptsOldAndNewFieldCounts) {
  std::vector<ProcDiskStat> d;
  std::string err;
  ASSERT_TRUE(parseProcDiskstats("   8 0 sda 1 2 3 4 5 6 7 8 9 10 11\n"
                                 " 254 0 vda 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n",
                                 &d, &err))
      << err;
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[0].name, "sda");
  EXPECT_EQ(d[0].sectorsRead, 3u);
  EXPECT_EQ(d[0].weightedMsDoingIo, 11u);
  EXPECT_EQ(d[1].major, 254u);
}

TEST(ProcParseTest, NetDevSplitsTheNameAtTheLastColon) {
  std::vector<ProcNetDev> n;
  std::string err;
  ASSERT_TRUE(parseProcNetDev("Inter-| Receive | Transmit\n face |bytes\n"
                              "  eth0:1: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
                              "lo:9 8 0 0 0 0 0 0 9 8 0 0 0 0 0 0\n",
                              &n, &err))
      << err;
  ASSERT_EQ(n.size(), 2u);
  EXPECT_EQ(n[0].name, "eth0:1");
  EXPECT_EQ(n[0].rxMulticast, 8u);
  EXPECT_EQ(n[0].txColls, 14u);
  EXPECT_EQ(n[1].name, "lo");
  EXPECT_EQ(n[1].rxBytes, 9u);
}

// Every malformed text is refused with a message, never read as zeros.
TEST(ProcParseTest, MalformedTextsAreRefusedWithAMessage) {
  ProcStat st;
  ProcKeyValues kv;
  ProcLoadavg la;
  int64_t ns;
  std::vector<ProcDiskStat> disks;
  std::vector<ProcNetDev> nets;
  struct Case {
    const char* what;
    std::function<bool(std::string*)> parse;
    const char* mentions;
  };
  const std::string statBase = "intr 1\nctxt 1\nbtime 1\nprocesses 1\nprocs_running 1\nprocs_blocked 0\nsoftirq 1\n";
  const Case cases[] = {
      {"stat: tick not a number", [&](std::string* e) { return parseProcStat("cpu0 1 x 3 4\n" + statBase, &st, e); }, "\"x\""},
      {"stat: too few ticks", [&](std::string* e) { return parseProcStat("cpu0 1 2 3\n" + statBase, &st, e); }, "line 1"},
      {"stat: bad cpu name", [&](std::string* e) { return parseProcStat("cpuX 1 2 3 4\n" + statBase, &st, e); }, "cpu name"},
      {"stat: no cpus", [&](std::string* e) { return parseProcStat(statBase, &st, e); }, "cpu"},
      {"stat: missing ctxt", [&](std::string* e) { return parseProcStat("cpu0 1 2 3 4\nintr 1\nbtime 1\nprocesses 1\nprocs_running 1\nprocs_blocked 0\nsoftirq 1\n", &st, e); }, "ctxt"},
      {"stat: overflow", [&](std::string* e) { return parseProcStat("cpu0 1 2 3 99999999999999999999\n" + statBase, &st, e); }, "99999"},
      {"stat: empty", [&](std::string* e) { return parseProcStat("", &st, e); }, "cpu"},
      {"vmstat: no value", [&](std::string* e) { return parseProcVmstat("pgpgin\n", &kv, e); }, "pgpgin"},
      {"vmstat: negative", [&](std::string* e) { return parseProcVmstat("pgpgin -4\n", &kv, e); }, "line 1"},
      {"meminfo: no colon", [&](std::string* e) { return parseProcMeminfo("MemTotal 100 kB\n", &kv, e); }, "MemTotal"},
      {"meminfo: bad unit", [&](std::string* e) { return parseProcMeminfo("MemTotal: 100 MB\n", &kv, e); }, "line 1"},
      {"meminfo: truncated", [&](std::string* e) { return parseProcMeminfo("MemFree: 1 kB\nMemTotal:", &kv, e); }, "line 2"},
      {"uptime: text", [&](std::string* e) { return parseProcUptime("abc 1.0\n", &ns, e); }, "abc"},
      {"uptime: empty", [&](std::string* e) { return parseProcUptime("", &ns, e); }, "nothing"},
      {"loadavg: short", [&](std::string* e) { return parseProcLoadavg("0.1 0.2\n", &la, e); }, "0.1"},
      {"loadavg: no slash", [&](std::string* e) { return parseProcLoadavg("0.1 0.2 0.3 4 5\n", &la, e); }, "0.1"},
      {"diskstats: short line", [&](std::string* e) { return parseProcDiskstats("8 0 sda 1 2 3\n", &disks, e); }, "sda"},
      {"diskstats: bad figure", [&](std::string* e) { return parseProcDiskstats("8 0 sda 1 2 3 4 5 6 7 8 9 1O 11\n", &disks, e); }, "sda"},
      {"net/dev: no header", [&](std::string* e) { return parseProcNetDev("lo: 1 2\n", &nets, e); }, "header"},
      {"net/dev: few counters", [&](std::string* e) { return parseProcNetDev("a|b\nc\neth0: 1 2 3\n", &nets, e); }, "eth0"},
      {"net/dev: no colon", [&](std::string* e) { return parseProcNetDev("a|b\nc\neth0 1 2 3\n", &nets, e); }, "eth0"},
      {"snmp: value line short", [&](std::string* e) { return parseProcSnmpSection("Tcp: A B\nTcp: 1\n", "Tcp", &kv, e); }, "Tcp"},
      {"snmp: bad value", [&](std::string* e) { return parseProcSnmpSection("Tcp: A\nTcp: z\n", "Tcp", &kv, e); }, "\"z\""},
      {"snmp: section missing", [&](std::string* e) { return parseProcSnmpSection("Udp: A\nUdp: 1\n", "Tcp", &kv, e); }, "Tcp"},
  };
  for (const Case& c : cases) {
    std::string err;
    EXPECT_FALSE(c.parse(&err)) << c.what;
    EXPECT_NE(err.find(c.mentions), std::string::npos) << c.what << ": " << err;
  }
}

}  // namespace
