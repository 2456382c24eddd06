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
  // Switches and CPU waits summed over its three threads (task/4242, 4250, 4251).
  expected[VolCSW] = 77 + 1000 + 16000, expected[IVolCSW] = 11 + 5 + 20;
  expected[InputBlocks] = 80, expected[OutputBlocks] = 8;  // 40960 read; 8192 written less 4096 cancelled
  expected[CharacterIO] = 1500000, expected[LwpTotalCount] = 3, expected[LwpCurCount] = 3;
  expected[HeapKBytes] = 51200, expected[StackKBytes] = 136, expected[WaitCpuTime] = 123 + 2000 + 877;
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
  tree.write("4243/task/4243/schedstat", "1000 0 1\n");
  tree.write("4243/stat", "4243 (tool) R 1 4243 4243 0 -1 0 10 0 0 0 1 2 0 0 20 0 2 0 500 2048000 50\n");
  ASSERT_TRUE(t.readProcess(4243, TRUE, &s));
  tree.write("4243/status", "");
  EXPECT_FALSE(t.readProcess(4243, TRUE, &s));
}

// The threads' status files are read only for threads that ran since the last
// read; a thread that ended drops out of the sums; a main thread that called
// pthread_exit (state Z, threads left) leaves a live process whose sizes come
// from a live thread; one task left in state Z is a process that has ended.
TEST_F(ProcessTrackerTest, ThreadSumsAndAProcessWhoseMainThreadExited) {
  ProcessTracker t(tree.options());
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  tree.write("4242/task/4250/status", "");  // not read: 4250 has not run
  tree.write("4242/task/4251/schedstat", "600000000 900000000 101\n");
  tree.write("4242/task/4251/status", "Pid:\t4251\nvoluntary_ctxt_switches:\t16010\nnonvoluntary_ctxt_switches:\t21\n");
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  EXPECT_EQ(std::vector<uint32_t>({s.values[VolCSW], s.values[IVolCSW], s.values[WaitCpuTime]}),
            std::vector<uint32_t>({77 + 1000 + 16010, 11 + 5 + 21, 123 + 2000 + 900}));

  tree.remove("4242/task/4250");
  tree.write("4242/stat", "4242 (worker) Z 1 4242 4242 0 -1 0 1600 30 7 0 300 150 0 0 20 0 2 0 1000 0 0\n");
  tree.write("4242/status", "Pid:\t4242\nvoluntary_ctxt_switches:\t78\nnonvoluntary_ctxt_switches:\t11\n");
  tree.write("4242/task/4251/stat", "4251 (worker) S 1 4242 4242 0 -1 0 1 0 0 0 1 1 0 0 20 0 2 0 1001 204800000 1000\n");
  tree.write("4242/task/4251/status", "Pid:\t4251\nVmData:\t 9000 kB\nVmStk:\t 132 kB\n"
                                      "voluntary_ctxt_switches:\t16020\nnonvoluntary_ctxt_switches:\t21\n");
  tree.write("4242/task/4251/schedstat", "700000000 900000000 102\n");
  ASSERT_TRUE(t.readProcess(4242, TRUE, &s));
  // The main thread's stat covers the whole process's times; the sizes are the live thread's.
  EXPECT_EQ(std::vector<uint32_t>({s.values[VolCSW], s.values[LwpCurCount], s.values[UserTime], s.values[ImageKBytes],
                                   s.values[RSSKBytes], s.values[HeapKBytes], s.values[StackKBytes]}),
            std::vector<uint32_t>({78 + 16020, 2, 3000, 200000, 4000, 9000, 132}));

  // The last thread gone too: a zombie of one task has ended.
  tree.remove("4242/task/4251");
  tree.write("4242/stat", "4242 (worker) Z 1 4242 4242 0 -1 0 1600 30 7 0 300 150 0 0 20 0 1 0 1000 0 0\n");
  EXPECT_FALSE(t.readProcess(4242, TRUE, &s));
  EXPECT_EQ(t.pidMap.lookup(4242), nullptr);
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
