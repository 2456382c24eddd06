// The host types in the header and the host records, byte for byte, from a
// fixture tree.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <tuple>
#include <vector>

#include "archive/hoststatwriter.h"
#include "hoststats/fixturetree.h"
#include "hoststats/hoststatsstate.h"
#include "monitor/tallymgr.h"

namespace {

using Declared = std::vector<std::tuple<std::string, unsigned, int>>;  // name, id, field count

class HostRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    _buf.assign(1 << 20, '\0');
    w.buffer = w.bufPtr = w.rawBuffer = _buf.data();
    w.bufferSize = _buf.size() - 4096;
    w.bufLimit = w.buffer + w.bufferSize;
    w.baseTypeCount = 64;
    w.sampleTimeStamp = 77;
  }
  void TearDown() override { delete w.hostStats; }

  void setAll(BoolType on) {
    w.monitorDisks = w.monitorPartitions = w.monitorNetworks = w.monitorCpus = w.monitorSystemPages = on;
  }
  void open() {
    w.hostStats = new HostStatsState(tree.root(), 4096);
    ASSERT_TRUE(w.HostStatsInit());
    strcpy(w.hostStats->systemName, "testhost");
  }
  std::string text() const { return std::string(w.buffer, w.bufPtr - w.buffer); }
  Declared header() {
    w.bufPtr = w.buffer;
    w.HostStatsWriteSystemHeader();
    Declared out;
    std::istringstream in(text());
    std::string name, tok;
    while (in >> name) {  // name ( fields ) id [,]
      if (name == ",") continue;
      in >> tok;
      int fields = 0;
      while (in >> tok && tok != ")") fields++;
      unsigned id = 0;
      in >> id;
      out.emplace_back(name, id, fields);
    }
    return out;
  }

  FixtureTree tree;
  HostStatWriter w{};

 private:
  std::vector<char> _buf;
};

const std::string kBasic = "StatTypeNum Time ProcessName ProcessId SessionId \n";

TEST_F(HostRecordsTest, HeaderDeclaresOnlyThePresentTypesWithSingleBitIds) {
  w.monitorCpus = TRUE;
  EXPECT_EQ(header(), (Declared{{"Solaris_x86_System", 64, 5 + 82}, {"x86_CPU", 128, 5 + 68}}));
  const std::string t = text();
  EXPECT_EQ(t.find("Solaris_x86_System  (  " + kBasic +
                   "CPUs Processes LoadAverage1 LoadAverage5 LoadAverage15 \n PhysicalMemory SchedulerRunCount "),
            0u);
  EXPECT_NE(t.find("FileSystemPagesPagedOut FileSystemPagesFreed \n) 64 ,\nx86_CPU  (  " + kBasic), std::string::npos);
  EXPECT_EQ(t.substr(t.size() - 54), "FileSystemPagesPagedOut FileSystemPagesFreed \n  ) 128 ");

  setAll(TRUE);
  EXPECT_EQ(header(), (Declared{{"Solaris_x86_System", 64, 87}, {"x86_CPU", 128, 73}, {"HardDisk", 256, 26},
                                {"DiskPartition", 512, 17}, {"Network", 1024, 7}, {"ComplexNetwork", 2048, 18},
                                {"TCP", 4096, 35}, {"SystemPages", 8192, 10}}));
  const std::string all = text();
  EXPECT_EQ(all.substr(all.find(",\nSystemPages")),
            ",\nSystemPages  (  " + kBasic +
                "PhysicalMemory FreeMemory UnswappableMemory LockedPages TotalPages \n  ) 8192 ");

  // Listed processes put the process type second.
  TallyMgr mgr{};
  mgr.pidsToMonitor.init();
  mgr.pidsToMonitor.add(42);
  w.listed = &mgr.listed;
  setAll(FALSE);
  w.monitorCpus = TRUE;
  EXPECT_EQ(header(), (Declared{{"Solaris_x86_System", 64, 87}, {"Solaris_Process", 128, 35}, {"x86_CPU", 256, 73}}));
  mgr.pidsToMonitor.destroy();
  EXPECT_NE(text().find(",\nSolaris_Process  (  " + kBasic + "UserTime SysTime "), std::string::npos);
  EXPECT_NE(text().find("PercentCpuUsed PercentMemoryUsed \n ) 128 ,\nx86_CPU"), std::string::npos);

  w.disableSystemStats = TRUE;  // nothing declared, set up or written
  EXPECT_EQ(header(), Declared{});
  delete w.hostStats;
  w.hostStats = nullptr;
  EXPECT_TRUE(w.HostStatsInit());
  EXPECT_EQ(w.hostStats, nullptr);
  w.HostStatsWriteStatsForSystem();
  EXPECT_EQ(text(), "");
}

TEST_F(HostRecordsTest, EveryRequestedGroupWritesItsRecordsInOrder) {
  setAll(TRUE);
  open();
  header();
  w.bufPtr = w.buffer;
  tree.replaceLine("proc/stat", "cpu0 ", "cpu0 101 10 51 1001 20 5 5 0 0 0");
  ASSERT_TRUE(w.HostStatsGetStatsForSystem());
  w.HostStatsWriteStatsForSystem();
  const std::string cpu =
      "66 0 33 33 33 0 0 0 0 0 0 0 0 70000 0 5000 0 0 0 9000 0 0 0 0 0 4000 0 0 0 0 0 0 0 0 0 0 1 0 0 0 2000 0 1000 0 "
      "11 0 12 0 7 25 0 0 49700 300 0 0 0 0 2 0 0 0 11 12 0 0 0 0";
  // Interrupts and soft interrupts are counted per CPU (the columns of
  // /proc/interrupts and /proc/softirqs) and the system record holds their
  // sums; the totals Linux keeps system-wide only are on the first CPU.
  const std::string cpu0 = std::regex_replace(cpu, std::regex("70000 0 5000 (.*) 4000"), "70000 0 3000 $1 2500");
  std::string idleCpu = "128 77 Processor_2 0 0";
  for (int i = 0; i < HOST_CPU_STAT_COUNT; i++) idleCpu += i == 7 + 8 ? " 2000" : i == 7 + 18 ? " 1500" : " 0";
  EXPECT_EQ(splitLines(text()), (std::vector<std::string>{
                         "64 77 testhost 0 0 2 2 1056964608 1067450368 1073741824 8192 0 0 0 0 0 0 0 0 " + cpu,
                         "128 77 Processor_1 0 0 " + cpu0, idleCpu,
                         "256 77 sda 0 0 1024 512 100 40 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                         "256 77 sdb 0 0 10 4 10 4 0 0 0 0 0 0 0 0 0 3 0 0 0 0 0 0 0",  // fd0 is not a disk
                         "512 77 sda1 0 0 512 256 60 20 0 0 0 0 0 0 0 0", "1024 77 lo 0 0 29 29",
                         "2048 77 eth0 0 0 695 1 567 4 6 18517599 42146 3 0 0 0 2 5",
                         "4096 77 TCP 0 0 1267 5 11 2 3 4 701 566 7 0 0 0 21 0 55 0 0 0 0 0 0 0 45 59 0 115 0 24 "
                         "161 81",
                         "8192 77 SystemPages 0 0 8192 4096 8152 5120 2097152"}));
}

}  // namespace
