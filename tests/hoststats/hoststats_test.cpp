// The host types in the header and the host records, byte for byte, from a
// fixture tree.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "archive/hoststatwriter.h"
#include "hoststats/fixturetree.h"
#include "hoststats/hoststatsstate.h"
#include "monitor/tallymgr.h"

namespace {

class HostRecordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    _buf.assign(1 << 20, '\0');
    w = HostStatWriter();
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
  // (type name, id) of each declared type.
  std::vector<std::pair<std::string, unsigned>> declared() const {
    std::vector<std::pair<std::string, unsigned>> out;
    std::istringstream in(text());
    std::string tok, name;
    bool inside = false, wantId = false;
    while (in >> tok) {
      if (wantId) {
        out.push_back({name, (unsigned)std::stoul(tok)});
        wantId = false;
      } else if (!inside && tok == "(") {
        inside = true;
      } else if (inside && tok == ")") {
        inside = false;
        wantId = true;
      } else if (!inside && tok != ",") {
        name = tok;
      }
    }
    return out;
  }

  FixtureTree tree;
  HostStatWriter w;

 private:
  std::vector<char> _buf;
};

const char* kBasic = "StatTypeNum Time ProcessName ProcessId SessionId \n";

TEST_F(HostRecordsTest, HeaderDeclaresOnlyThePresentTypesWithSingleBitIds) {
  w.monitorCpus = TRUE;
  w.HostStatsWriteSystemHeader();
  EXPECT_EQ(declared(), (std::vector<std::pair<std::string, unsigned>>{{"Solaris_x86_System", 64}, {"x86_CPU", 128}}));
  std::string t = text();
  EXPECT_EQ(t.find(std::string("Solaris_x86_System  (  ") + kBasic +
                   "CPUs Processes LoadAverage1 LoadAverage5 LoadAverage15 \n PhysicalMemory SchedulerRunCount "),
            0u);
  EXPECT_NE(t.find("FileSystemPagesPagedOut FileSystemPagesFreed \n) 64 ,\nx86_CPU  (  "), std::string::npos);
  EXPECT_EQ(t.substr(t.size() - 54), "FileSystemPagesPagedOut FileSystemPagesFreed \n  ) 128 ");
  EXPECT_EQ(w.systemTypeCount, 64u);
  EXPECT_EQ(w.cpuTypeCount, 128u);
  EXPECT_EQ(w.diskTypeCount, 0u);

  w.bufPtr = w.buffer;
  setAll(FALSE);
  w.monitorDisks = w.monitorPartitions = TRUE;  // as -D sets them
  w.HostStatsWriteSystemHeader();
  EXPECT_EQ(declared(), (std::vector<std::pair<std::string, unsigned>>{
                            {"Solaris_x86_System", 64}, {"HardDisk", 128}, {"DiskPartition", 256}}));

  w.bufPtr = w.buffer;
  setAll(TRUE);
  w.HostStatsWriteSystemHeader();
  EXPECT_EQ(declared(), (std::vector<std::pair<std::string, unsigned>>{{"Solaris_x86_System", 64},
                                                                        {"x86_CPU", 128},
                                                                        {"HardDisk", 256},
                                                                        {"DiskPartition", 512},
                                                                        {"Network", 1024},
                                                                        {"ComplexNetwork", 2048},
                                                                        {"TCP", 4096},
                                                                        {"SystemPages", 8192}}));
  // Five names end their line; no empty line before the closing text.
  t = text();
  EXPECT_EQ(t.substr(t.find(",\nSystemPages")),
            std::string(",\nSystemPages  (  ") + kBasic +
                "PhysicalMemory FreeMemory UnswappableMemory LockedPages TotalPages \n  ) 8192 ");
  // Every type names the basic columns and its counters.
  std::istringstream in(t);
  std::string tok;
  std::vector<int> counts;
  int n = -1;
  while (in >> tok) {
    if (tok == "(") n = 0;
    else if (tok == ")") counts.push_back(n), n = -1;
    else if (n >= 0) n++;
  }
  EXPECT_EQ(counts, (std::vector<int>{5 + 82, 5 + 68, 5 + 21, 5 + 12, 5 + 2, 5 + 13, 5 + 30, 5 + 5}));
}

TEST_F(HostRecordsTest, TheProcessTypeIsDeclaredSecondWhenProcessesAreListed) {
  TallyMgr mgr;
  memset(static_cast<void*>(&mgr), 0, sizeof mgr);
  mgr.pidsToMonitor.init();
  mgr.pidsToMonitor.add(42);
  w.mgr = &mgr;
  w.monitorCpus = TRUE;
  w.HostStatsWriteSystemHeader();
  mgr.pidsToMonitor.destroy();
  EXPECT_EQ(declared(), (std::vector<std::pair<std::string, unsigned>>{
                            {"Solaris_x86_System", 64}, {"Solaris_Process", 128}, {"x86_CPU", 256}}));
  std::string t = text();
  EXPECT_NE(t.find(std::string(",\nSolaris_Process  (  ") + kBasic + "UserTime SysTime "), std::string::npos);
  EXPECT_NE(t.find("PercentCpuUsed PercentMemoryUsed \n ) 128 ,\nx86_CPU"), std::string::npos) << t;
  EXPECT_EQ(w.processTypeCount, 128u);
}

TEST_F(HostRecordsTest, NothingIsDeclaredOrWrittenWhenSystemStatisticsAreDisabled) {
  w.disableSystemStats = TRUE;
  setAll(FALSE);
  EXPECT_TRUE(w.HostStatsInit());
  EXPECT_EQ(w.hostStats, nullptr);
  w.HostStatsWriteSystemHeader();
  w.HostStatsWriteStatsForSystem();
  EXPECT_EQ(text(), "");
}

TEST_F(HostRecordsTest, TheSystemRecordIsWrittenEvenWithNoOtherGroup) {
  open();
  ASSERT_TRUE(w.HostStatsGetStatsForSystem());
  w.HostStatsWriteSystemHeader();
  w.bufPtr = w.buffer;
  w.HostStatsWriteStatsForSystem();
  std::string t = text();
  ASSERT_EQ(std::count(t.begin(), t.end(), '\n'), 1);
  std::istringstream in(t);
  std::vector<std::string> tok;
  std::string s;
  while (in >> s) tok.push_back(s);
  ASSERT_EQ(tok.size(), 5u + 82u);
  EXPECT_EQ(std::vector<std::string>(tok.begin(), tok.begin() + 11),
            (std::vector<std::string>{"64", "77", "testhost", "0", "0", "2", "2",
                                      std::to_string(0x3f000000u),  // 0.5f
                                      std::to_string(0x3fa00000u),  // 1.25f
                                      std::to_string(0x40000000u),  // 2.0f
                                      "8192"}));
}

TEST_F(HostRecordsTest, EveryGroupWritesItsRecordsInOrder) {
  setAll(TRUE);
  open();
  w.HostStatsWriteSystemHeader();
  w.bufPtr = w.buffer;
  tree.replaceLine("proc/stat", "cpu0 ", "cpu0 101 10 51 1001 20 5 5 0 0 0");
  ASSERT_TRUE(w.HostStatsGetStatsForSystem());
  w.HostStatsWriteStatsForSystem();
  std::vector<std::string> lines;
  std::istringstream in(text());
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 10u);
  std::vector<std::string> heads;
  for (const std::string& l : lines) heads.push_back(l.substr(0, l.find(' ', l.find(' ', l.find(' ') + 1) + 1)));
  EXPECT_EQ(heads, (std::vector<std::string>{"64 77 testhost", "128 77 Processor_1", "128 77 Processor_2",
                                             "256 77 sda", "256 77 sdb", "512 77 sda1", "1024 77 lo",
                                             "2048 77 eth0", "4096 77 TCP", "8192 77 SystemPages"}));
  EXPECT_EQ(lines[1],
            "128 77 Processor_1 0 0 66 0 33 33 33 0 0 "
            "0 0 0 0 0 0 70000 0 5000 0 0 0 9000 0 0 0 0 0 4000 0 0 0 0 0 0 0 0 0 0 1 "
            "0 0 0 2000 0 1000 0 11 0 12 0 7 25 0 0 49700 300 0 0 0 0 2 0 0 0 11 12 0 0 0 0");
  std::string idleCpu = "128 77 Processor_2 0 0";
  for (int i = 0; i < HOST_CPU_STAT_COUNT; i++) idleCpu += " 0";
  EXPECT_EQ(lines[2], idleCpu);
  EXPECT_EQ(lines[6], "1024 77 lo 0 0 29 29");
  EXPECT_EQ(lines[7], "2048 77 eth0 0 0 695 1 567 4 6 18517599 42146 3 0 0 0 2 5");
  EXPECT_EQ(lines[8], "4096 77 TCP 0 0 1267 5 11 2 3 4 701 566 7 0 0 0 21 0 55 0 0 0 0 0 0 0 45 59 0 115 0 24 161 81");
  EXPECT_EQ(lines[9], "8192 77 SystemPages 0 0 8192 4096 8152 5120 2097152");
  EXPECT_EQ(lines[4].substr(0, 20), "256 77 sdb 0 0 10 4 ");  // 20 and 8 sectors of 512 bytes
}

}  // namespace
