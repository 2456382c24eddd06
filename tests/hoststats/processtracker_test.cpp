#include "hoststats/processtracker.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "hoststats/processstats.h"
#include "support/runprocess.h"

namespace {

int64_t bootNow = 0;
int64_t fakeBootClock() { return bootNow; }
HostHrtime_t fakeMonotonic() { return 0; }
BoolType everyoneAlive(int) { return TRUE; }

size_t openDescriptorCount() {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    n++;
  }
  return n;
}

// A copy of the fixture tree, so that tests can rewrite files in place.
class ProcessTrackerTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root;

  void SetUp() override {
    root = dir.file("proc");
    std::filesystem::copy(TALLY_FIXTURES_DIR "/proc", root, std::filesystem::copy_options::recursive);
    bootNow = 20LL * 1000000000LL;
  }
  ProcessTrackerOptions options(int fdTableSize = 256) {
    ProcessTrackerOptions o;
    o.procRoot = root;
    o.fdTableSize = fdTableSize;
    o.bootClockNs = fakeBootClock;
    o.clock = fakeMonotonic;
    o.processExists = everyoneAlive;
    o.clockTicksPerSec = 100;
    return o;
  }
  // Rewrites a file keeping its inode, as the kernel does for an open /proc file.
  void rewrite(const std::string& rel, const std::string& text) {
    std::ofstream f(root + "/" + rel, std::ios::in | std::ios::out | std::ios::trunc);
    f << text;
  }
};

TEST_F(ProcessTrackerTest, FillsEveryLinuxFigureOfAProcess) {
  ProcessTracker t(options());
  EXPECT_EQ(t.memTotalKb, 16000000u);  // from the tree's meminfo
  HostProcessStatsSType s;
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  using namespace procstat;
  uint32_t expected[Count] = {};
  expected[UserTime] = 2500;
  expected[SysTime] = 1250;
  expected[MajFlt] = 7;
  expected[MinorFaults] = 1500;
  expected[VolCSW] = 77;
  expected[IVolCSW] = 11;
  expected[InputBlocks] = 80;       // 40960 bytes read from storage
  expected[OutputBlocks] = 8;       // 8192 written less 4096 cancelled
  expected[CharacterIO] = 1500000;  // rchar + wchar
  expected[LwpTotalCount] = 3;
  expected[LwpCurCount] = 3;
  expected[HeapKBytes] = 51200;
  expected[StackKBytes] = 136;
  expected[WaitCpuTime] = 123;
  expected[ImageKBytes] = 102400;
  expected[RSSKBytes] = 1600000;
  expected[PercentCpuUsed] = 37;    // 3.75 s of CPU since its start 10 s ago
  expected[PercentMemoryUsed] = 10;
  for (int i = 0; i < Count; i++) EXPECT_EQ(s.values[i], expected[i]) << "figure " << i;
  EXPECT_STREQ(s.name, "worker");
}

TEST_F(ProcessTrackerTest, SecondReadUsesTheOpenFilesAndSharesTheInterval) {
  ProcessTracker t(options());
  HostProcessStatsSType s;
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  PidHashEntry* e = t.pidMap.lookup(4242);
  ASSERT_NE(e, nullptr);
  int statFd = e->fds[PROC_FILE_STAT];

  rewrite("4242/stat",
          "4242 (worker) S 1 4242 4242 0 -1 4194560 1600 30 7 0 300 150 0 0 20 0 3 0 1000 104857600 5000 0\n");
  bootNow += 1500000000LL;  // 1.5 s later, 0.75 s more CPU
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  EXPECT_EQ(s.values[procstat::PercentCpuUsed], 50u);
  EXPECT_EQ(s.values[procstat::UserTime], 3000u);
  EXPECT_EQ(s.values[procstat::MinorFaults], 1600u);
  EXPECT_EQ(t.pidMap.lookup(4242)->fds[PROC_FILE_STAT], statFd);  // not reopened
  EXPECT_EQ(t.pidMap.numEntries, 1);
}

TEST_F(ProcessTrackerTest, OddNamesAndKernelThreads) {
  ProcessTracker t(options());
  HostProcessStatsSType s;
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_STREQ(s.name, "tool");
  EXPECT_EQ(s.values[procstat::SysTime], 20u);
  ASSERT_TRUE(t.readProcess(4247, TRUE, &s));
  EXPECT_STREQ(s.name, "0");  // "kworker/0:1-events": cut at ':', then the last '/'
  EXPECT_EQ(s.values[procstat::RSSKBytes], 0u);
  EXPECT_EQ(s.values[procstat::VolCSW], 900u);
}

TEST_F(ProcessTrackerTest, UnreadableIoFileWarnsOnceUnlessQuiet) {
  ProcessTracker t(options());
  HostProcessStatsSType s;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(t.readProcess(4244, TRUE, &s));  // quiet: no warning, none used up
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  testing::internal::CaptureStdout();
  ASSERT_TRUE(t.readProcess(4244, FALSE, &s));
  ASSERT_TRUE(t.readProcess(4244, FALSE, &s));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: Unable to read /proc/<pid>/io for some processes.\n"
            "Warning: Some process data will not be reported.\n");
  EXPECT_STREQ(s.name, "daemon");
  EXPECT_EQ(s.values[procstat::CharacterIO], 0u);
  EXPECT_EQ(s.values[procstat::WaitCpuTime], 0u);
  EXPECT_EQ(s.values[procstat::HeapKBytes], 512u);  // memory figures come from status
  EXPECT_EQ(s.values[procstat::UserTime], 1000u);
  PidHashEntry* e = t.pidMap.lookup(4244);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->fds[PROC_FILE_IO], -1);
}

TEST_F(ProcessTrackerTest, ProcessesThatCannotBeReadAreNotKept) {
  ProcessTracker t(options());
  HostProcessStatsSType s;
  for (int pid : {4245 /* zombie */, 4246 /* reports pid 999 */, 4248 /* stat cut short */, 5000 /* absent */,
                  0, -1}) {
    EXPECT_FALSE(t.readProcess(pid, TRUE, &s)) << pid;
    if (pid > 0) {
      EXPECT_EQ(t.pidMap.lookup(pid), nullptr) << pid;
    }
  }
  EXPECT_EQ(t.pidMap.numEntries, 0);
  EXPECT_EQ(t.pidMap.listOfPids.numActive, 0);
}

TEST_F(ProcessTrackerTest, AProcessWhoseFilesVanishIsDroppedAndItsFilesClosed) {
  ProcessTracker t(options());
  HostProcessStatsSType s;
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  int fd = t.pidMap.lookup(4243)->fds[PROC_FILE_STATUS];
  rewrite("4243/status", "");  // an ended process reads as empty
  EXPECT_FALSE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(t.pidMap.lookup(4243), nullptr);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
}

TEST_F(ProcessTrackerTest, WhenDescriptorsRunOutFilesAreOpenedAtEachRead) {
  // A table that ends just above the next four free descriptors: the first
  // process keeps its four files, the next ones cannot.
  testing::internal::CaptureStderr();  // takes a descriptor of its own first
  int probe[4];
  for (int& fd : probe) fd = open("/dev/null", O_RDONLY);
  for (int fd : probe) close(fd);
  ProcessTrackerOptions o = options(probe[3] + 1);
  o.fdReserve = 0;
  ProcessTracker t(o);
  HostProcessStatsSType s;
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  ASSERT_TRUE(t.readProcess(4247, TRUE, &s));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("too many processes"), std::string::npos);
  EXPECT_EQ(err.find("too many processes"), err.rfind("too many processes"));  // said once

  EXPECT_FALSE(t.pidMap.lookup(4242)->transient);
  PidHashEntry* e = t.pidMap.lookup(4243);
  ASSERT_NE(e, nullptr);
  EXPECT_TRUE(e->transient);
  for (int fd = 0; fd < t.pidMap.fdToPidTableSize; fd++) EXPECT_NE(t.pidMap.fdToPidTable[fd], 4243);

  size_t before = openDescriptorCount();
  rewrite("4243/stat", "4243 (tool (v2) x) R 1 4243 4243 0 -1 0 10 0 0 0 101 2 0 0 20 0 1 0 500 2048000 100 0\n");
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(s.values[procstat::UserTime], 1010u);
  EXPECT_STREQ(s.name, "tool");
  EXPECT_EQ(openDescriptorCount(), before);  // its files were closed again
}

}  // namespace

namespace {

TEST(ProcessStatsOnThisHost, TheWriterReadsItsOwnProcessThroughProcfs) {
  HostStatWriter w{};
  HostProcessStatsSType s;
  ASSERT_TRUE(w.HostStatsGetStatsForProcess(getpid(), &s));
  ASSERT_NE(w.procTracker, nullptr);
  EXPECT_EQ(w.procTracker->procRoot, "/proc");
  EXPECT_STREQ(s.name, "unit_tests");
  EXPECT_GE(s.values[procstat::LwpCurCount], 1u);
  EXPECT_GT(s.values[procstat::RSSKBytes], 0u);
  EXPECT_GE(s.values[procstat::ImageKBytes], s.values[procstat::RSSKBytes]);
  EXPECT_GT(s.values[procstat::VolCSW] + s.values[procstat::IVolCSW], 0u);
  EXPECT_EQ(w.procTracker->pidMap.numEntries, 1);
  // The open-file limit was raised to the hard limit and sized the table.
  struct rlimit rl;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &rl), 0);
  EXPECT_EQ(rl.rlim_cur, rl.rlim_max);
  delete w.procTracker;
}

}  // namespace
