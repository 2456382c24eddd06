#include "hoststats/processtracker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "hoststats/linux/procpidfiles.h"
#include "hoststats/processstats.h"
#include "hoststats/proctree.h"

namespace {

using namespace procstat;

size_t openDescriptorCount() {
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd"); it != std::filesystem::directory_iterator(); ++it) n++;
  return n;
}

class ProcessTrackerTest : public ::testing::Test {
 protected:
  ProcTree tree;
  HostProcessStatsSType s;
};

TEST_F(ProcessTrackerTest, EveryLinuxFigureAndTheIntervalShareOfTheNextRead) {
  ProcessTracker t(tree.options());
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  uint32_t expected[Count] = {};
  expected[UserTime] = 2500, expected[SysTime] = 1250, expected[MajFlt] = 7, expected[MinorFaults] = 1500;
  expected[VolCSW] = 77, expected[IVolCSW] = 11;
  expected[InputBlocks] = 80, expected[OutputBlocks] = 8;  // 40960 read; 8192 written less 4096 cancelled
  expected[CharacterIO] = 1500000, expected[LwpTotalCount] = 3, expected[LwpCurCount] = 3;
  expected[HeapKBytes] = 51200, expected[StackKBytes] = 136, expected[WaitCpuTime] = 123;
  expected[ImageKBytes] = 102400, expected[RSSKBytes] = 1600000, expected[PercentMemoryUsed] = 10;
  expected[PercentCpuUsed] = 37;  // 3.75 s of CPU since its start 10 s ago
  for (int i = 0; i < Count; i++) EXPECT_EQ(s.values[i], expected[i]) << "figure " << i;
  EXPECT_STREQ(s.name, "worker");

  int statFd = t.pidMap.lookup(4242)->fds[PROC_FILE_STAT];
  tree.write("4242/stat", "4242 (worker) S 1 4242 4242 0 -1 0 1600 30 7 0 300 150 0 0 20 0 3 0 1000 104857600 400000\n");
  ProcTree::bootNow() += 1500000000LL;  // 0.75 s more CPU in 1.5 s
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  EXPECT_EQ(s.values[PercentCpuUsed], 50u);
  EXPECT_EQ(s.values[UserTime], 3000u);
  EXPECT_EQ(t.pidMap.lookup(4242)->fds[PROC_FILE_STAT], statFd);  // read again, not reopened
}

TEST_F(ProcessTrackerTest, OddNamesKernelThreadsAndUnreadableIoFiles) {
  ProcessTracker t(tree.options());
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_STREQ(s.name, "tool");  // "(tool (v2) x)", negative priority and nice
  ASSERT_TRUE(t.readProcess(4247, TRUE, &s));
  EXPECT_STREQ(s.name, "0");  // "kworker/0:1-events"
  EXPECT_EQ(s.values[RSSKBytes], 0u);
  EXPECT_EQ(s.values[VolCSW], 900u);

  // 4244 has no io file, 4243's io opens but refuses reads (a directory): the io
  // figures are 0, the rest is recorded, and the warning comes once, not when quiet.
  testing::internal::CaptureStdout();
  ASSERT_TRUE(t.readProcess(4244, TRUE, &s));
  ASSERT_TRUE(t.readProcess(4243, FALSE, &s));
  EXPECT_EQ(s.values[CharacterIO], 0u);
  EXPECT_EQ(s.values[UserTime], 10u);
  ASSERT_TRUE(t.readProcess(4244, FALSE, &s));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Warning: Unable to read /proc/<pid>/io for some processes.\n"
            "Warning: Some process data will not be reported.\n");
  EXPECT_STREQ(s.name, "daemon");  // "/usr/sbin/daemon:main"
  EXPECT_EQ(s.values[HeapKBytes], 512u);
  EXPECT_EQ(t.pidMap.lookup(4243)->fds[PROC_FILE_IO], -1);  // not kept open
}

TEST_F(ProcessTrackerTest, ProcessesThatCannotBeReadAreDroppedWithTheirFiles) {
  ProcessTracker t(tree.options());
  // zombie, reports pid 999, stat cut short, absent
  for (int pid : {4245, 4246, 4248, 5000, 0}) EXPECT_FALSE(t.readProcess(pid, TRUE, &s)) << pid;
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  int fd = t.pidMap.lookup(4243)->fds[PROC_FILE_STATUS];
  for (const char* file : {"4243/stat", "4243/status"}) tree.write(file, "");  // an ended process reads as empty
  EXPECT_FALSE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(t.pidMap.numEntries, 0);
  EXPECT_EQ(t.pidMap.listOfPids.numActive, 0);
}

// A process that has not run since its last read (one thread, its time on a CPU,
// wait and time slices unchanged) is read through schedstat and stat alone: what
// only its running changes is kept, its resident size is new. Once it has run,
// status is read again.
TEST_F(ProcessTrackerTest, AProcessThatHasNotRunIsReadThroughSchedstatAndStatAlone) {
  ProcessTracker t(tree.options());
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(s.values[RSSKBytes], 400u);
  const std::string stat = "4243 (tool) R 1 4243 4243 0 -1 0 10 0 0 0 1 2 0 0 20 0 1 0 500 2048000 50\n";
  tree.write("4243/stat", stat);
  tree.write("4243/status", "");  // would fail the read if it were read
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(s.values[RSSKBytes], 200u);  // pages reclaimed while it slept
  EXPECT_EQ(s.values[HeapKBytes], 300u);
  EXPECT_EQ(s.values[StackKBytes], 132u);

  tree.write("4243/status", "Pid:\t4243\nVmData:\t 900 kB\nvoluntary_ctxt_switches:\t4\n");
  tree.write("4243/schedstat", "1000 0 1\n");
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(s.values[HeapKBytes], 900u);
  EXPECT_EQ(s.values[VolCSW], 4u);

  // More than one thread: the leader's scheduler figures do not speak for the
  // others, so status is read though nothing moved.
  tree.write("4243/stat", "4243 (tool) R 1 4243 4243 0 -1 0 10 0 0 0 1 2 0 0 20 0 2 0 500 2048000 50\n");
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  tree.write("4243/status", "");
  EXPECT_FALSE(t.readProcess(4243, TRUE, &s));
}

TEST_F(ProcessTrackerTest, WhenDescriptorsRunOutFilesAreOpenedAtEachRead) {
  testing::internal::CaptureStderr();  // takes a descriptor of its own first
  int probe[4];
  for (int& fd : probe) fd = open("/dev/null", O_RDONLY);
  for (int fd : probe) close(fd);
  ProcessTrackerOptions o = tree.options(probe[3] + 1);  // room for one process's four files
  o.fdReserve = 0;
  ProcessTracker t(o);
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  ASSERT_TRUE(t.readProcess(4247, TRUE, &s));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("too many processes"), std::string::npos);
  EXPECT_EQ(err.find("too many processes"), err.rfind("too many processes"));  // said once
  EXPECT_FALSE(t.pidMap.lookup(4242)->transient);
  EXPECT_TRUE(t.pidMap.lookup(4243)->transient);

  size_t before = openDescriptorCount();
  tree.write("4243/stat", "4243 (tool (v2) x) R 1 4243 4243 0 -1 0 10 0 0 0 101 2 0 0 20 0 1 0 500 2048000 100\n");
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  EXPECT_EQ(s.values[UserTime], 1010u);
  EXPECT_EQ(openDescriptorCount(), before);  // its files were closed again
}

}  // namespace
