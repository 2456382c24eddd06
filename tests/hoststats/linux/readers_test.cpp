// The readers of the host's procfs files on texts the fixture tree does not
// have: old kernels, offline CPUs, aliased interfaces, and malformed texts.
#include <gtest/gtest.h>

#include <functional>

#include "hoststats/fixturetree.h"
#include "hoststats/linux/diskstats.h"
#include "hoststats/linux/interrupts.h"
#include "hoststats/linux/loadavg.h"
#include "hoststats/linux/meminfo.h"
#include "hoststats/linux/netdev.h"
#include "hoststats/linux/netsnmp.h"
#include "hoststats/linux/procstat.h"
#include "hoststats/linux/uptime.h"
#include "hoststats/linux/vmstat.h"

namespace {

TEST(ReadersTest, OldAndNewLayouts) {
  std::string err;
  ProcStat st;
  ASSERT_TRUE(parseProcStat("cpu  1 2 3 4 5 6 7 8 9 10\ncpu0 1 2 3 4 5 6 7 8 9 10\n"
                            "cpu3 10 20 30 40\n"  // an old kernel's four fields; CPUs 1 and 2 offline
                            "intr 500 1 2\nctxt 70\nbtime 1\nprocesses 90\nprocs_running 3\nprocs_blocked 1\n"
                            "softirq 40\n",
                            &st, &err)) << err;
  ASSERT_EQ(st.cpus.size(), 2u);
  EXPECT_EQ(st.cpus[1].cpu, 3);
  EXPECT_EQ(st.cpus[1].idle, 40u);
  EXPECT_EQ(st.cpus[1].iowait, 0u);  // not printed by that kernel

  ProcLoadavg la;
  ASSERT_TRUE(parseProcLoadavg("0.50 1.25 12.99 3/120 4242\n", &la, &err)) << err;
  EXPECT_EQ(la.avenrun[2], 3325u);  // 12.99 * 256 = 3325.44

  ProcKeyValues kv;
  ASSERT_TRUE(parseProcSnmpSection("Ip: A\nIp: 1\nTcp: MaxConn InSegs\nTcp: -1 701\n", "Tcp", &kv, &err)) << err;
  ASSERT_EQ(kv.size(), 2u);
  EXPECT_EQ(kv[0].second, UINT64_MAX);  // -1 kept as its bits

  std::vector<ProcNetDev> n;
  ASSERT_TRUE(parseProcNetDev("Inter-| Receive | Transmit\n face |bytes\n"
                              "  eth0:1: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\nlo:9 8 0 0 0 0 0 0 9 8 0 0 0 0 0 0\n",
                              &n, &err)) << err;
  ASSERT_EQ(n.size(), 2u);
  EXPECT_EQ(n[0].name, "eth0:1");  // the name ends at the last colon
  EXPECT_EQ(n[0].txColls, 14u);
  EXPECT_EQ(n[1].name, "lo");
}

// Every malformed text and every missing figure is refused with a message
// naming the line or the figure, never read as zeros.
TEST(ReadersTest, MalformedTextsAndMissingFiguresAreRefusedWithAMessage) {
  ProcStat st;
  ProcKeyValues kv;
  ProcLoadavg la;
  int64_t ns;
  std::vector<ProcDiskStat> disks;
  std::vector<ProcNetDev> nets;
  ProcPerCpuCounts pc;
  MeminfoFigures mem;
  VmstatFigures vm;
  const std::string rest = "intr 1\nctxt 1\nbtime 1\nprocesses 1\nprocs_running 1\nprocs_blocked 0\nsoftirq 1\n";
  auto kvOf = [](const std::string& text) {
    ProcKeyValues out;
    std::string e;
    EXPECT_TRUE(parseProcMeminfo(text, &out, &e)) << e;
    return out;
  };
  using Parse = std::function<bool(std::string*)>;
  const std::pair<Parse, const char*> cases[] = {
      {[&](std::string* e) { return parseProcStat("cpu0 1 x 3 4\n" + rest, &st, e); }, "\"x\""},
      {[&](std::string* e) { return parseProcStat("cpu0 1 2 3\n" + rest, &st, e); }, "line 1"},
      {[&](std::string* e) { return parseProcStat("cpuX 1 2 3 4\n" + rest, &st, e); }, "cpu name"},
      {[&](std::string* e) { return parseProcStat(rest, &st, e); }, "cpu"},
      {[&](std::string* e) { return parseProcStat("cpu0 1 2 3 4\nintr 1\n" + rest.substr(14), &st, e); }, "ctxt"},
      {[&](std::string* e) { return parseProcStat("cpu0 1 2 3 99999999999999999999\n" + rest, &st, e); }, "99999"},
      {[&](std::string* e) { return parseProcVmstat("pgpgin -4\n", &kv, e); }, "line 1"},
      {[&](std::string* e) { return parseProcMeminfo("MemTotal: 100 MB\n", &kv, e); }, "line 1"},
      {[&](std::string* e) { return parseProcMeminfo("MemFree: 1 kB\nMemTotal:", &kv, e); }, "line 2"},
      {[&](std::string* e) { return parseProcUptime("", &ns, e); }, "nothing"},
      {[&](std::string* e) { return parseProcLoadavg("0.1 0.2 0.3 4 5\n", &la, e); }, "0.1"},
      {[&](std::string* e) { return parseProcDiskstats("8 0 sda 1 2 3 4 5 6 7 8 9 1O 11\n", &disks, e); }, "sda"},
      {[&](std::string* e) { return parseProcNetDev("lo: 1 2\n", &nets, e); }, "header"},
      {[&](std::string* e) { return parseProcNetDev("a|b\nc\neth0: 1 2 3\n", &nets, e); }, "line 3"},
      {[&](std::string* e) { return parseProcNetDev("a|b\nc\n eth0 1 2\n", &nets, e); }, "name:"},
      {[&](std::string* e) { return parseProcSnmpSection("Tcp: A B\nTcp: 1\n", "Tcp", &kv, e); }, "line 2"},
      {[&](std::string* e) { return parseProcSnmpSection("Udp: A\nUdp: 1\n", "Tcp", &kv, e); }, "Tcp"},
      {[&](std::string* e) { return parseProcPerCpuCounts("", &pc, e); }, "CPU columns"},
      {[&](std::string* e) { return parseProcPerCpuCounts("  CPU0 CPUx\n", &pc, e); }, "CPUx"},
      {[&](std::string* e) { return parseProcPerCpuCounts("  CPU0\n  no colon here 1\n", &pc, e); }, "line 2"},
      {[&](std::string* e) { return meminfoFigures(kvOf("MemFree: 1 kB\n"), MEMINFO_TOTAL, &mem, e); }, "MemTotal"},
      {[&](std::string* e) {
         return meminfoFigures(kvOf("MemFree: 1 kB\nSwapTotal: 2 kB\n"), MEMINFO_FREE | MEMINFO_SWAP, &mem, e);
       }, "SwapFree"},
      {[&](std::string* e) { return vmstatFigures(kvOf("pgpgin: 1\npgpgout: 1\n"), &vm, e); }, "pswpin"},
  };
  int i = 0;
  for (const auto& c : cases) {
    std::string err;
    EXPECT_FALSE(c.first(&err)) << "case " << i;
    EXPECT_NE(err.find(c.second), std::string::npos) << "case " << i << ": " << err;
    i++;
  }
}

TEST(ReadersTest, PerCpuCountsSumEachColumnAndLeaveSystemWideRowsOut) {
  ProcPerCpuCounts c;
  std::string err;
  ASSERT_TRUE(parseProcPerCpuCounts("           CPU0       CPU2\n"
                                    "  0:         40          1   IO-APIC   2-edge      timer\n"
                                    "NMI:          2          3   Non-maskable interrupts\n"
                                    "ERR:          7\n"
                                    "MIS:          0\n"
                                    "XYZ:          5   a system-wide count with a description\n",
                                    &c, &err))
      << err;
  EXPECT_EQ(c.cpus, (std::vector<int>{0, 2}));  // CPU1 offline: no column
  EXPECT_EQ(c.totals, (std::vector<uint64_t>{42, 4}));
  // One CPU: ERR and MIS have as many counts as there are columns, and are still left out.
  ASSERT_TRUE(parseProcPerCpuCounts("      CPU0\n  HI:  3\nERR:  7\nMIS:  1\n", &c, &err)) << err;
  EXPECT_EQ(c.totals, std::vector<uint64_t>{3});
}

// The readers below a root: the files of the fixture tree, and a message
// naming the file that is missing.
TEST(ReadersTest, ReadersTakeTheirFilesBelowTheRoot) {
  FixtureTree tree;
  ProcFiles files(tree.root() + "/");
  ProcError error;
  int64_t ns = 0;
  ASSERT_TRUE(readUptime(files, &ns, &error)) << error.message;  // not the live clock below a fixture root
  EXPECT_EQ(ns, 1000000000000);
  KstatTcpMib tcp;
  ProcKeyValues s, x;
  ASSERT_TRUE(readTcpCounters(files, &s, &x, &tcp, &error)) << error.message;
  tree.write("proc/net/snmp", "Tcp: RtoAlgorithm\nTcp: 1\n");
  EXPECT_FALSE(readTcpCounters(files, &s, &x, &tcp, &error));
  EXPECT_EQ(error.message, tree.path("proc/net/snmp") + ": Tcp: no \"ActiveOpens\" entry");
  tree.remove("proc/loadavg");
  ProcLoadavg la;
  EXPECT_FALSE(readProcLoadavg(files, &la, &error));
  EXPECT_EQ(error.message, tree.path("proc/loadavg") + ": No such file or directory");

  tree.write("proc/meminfo", "Odd line\nMemTotal:  1024 kB\n");  // only its MemTotal line counts
  EXPECT_EQ(readMemTotalKb(tree.path("proc")), 1024u);
  EXPECT_EQ(readMemTotalKb(tree.path("nowhere")), 0u);
}

}  // namespace
