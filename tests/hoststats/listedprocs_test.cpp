#include "hoststats/listedprocs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "archive/writerfixture.h"
#include "hoststats/proctree.h"
#include "monitor/tallymgr.h"

namespace {

class ListedProcsTest : public ::testing::Test {
 protected:
  ProcTree tree;
  TallyMgr mgr{};
  TestWriter tw{&mgr};

  void SetUp() override {
    for (SortedList* l : {&mgr.pidsToMonitor, &mgr.uidsToMonitor, &mgr.pidsToExclude, &mgr.pidsWrittenThisTime})
      l->initForSize(DEFAULT_LIST_SIZE);
    mgr.connectWriter(&tw.w);
    tw.w.processTypeCount = 128;
    tw.w.sampleTimeStamp = 1000;
    tw.w.quiet = TRUE;
    tw.w.procTracker = new ProcessTracker(tree.options());
  }
  void TearDown() override { delete tw.w.procTracker; }
  // One sample: the record lines of listed processes.
  std::vector<std::string> sample() {
    tw.clear();
    tw.w.writeStatsForListedProcesses();
    mgr.pidsWrittenThisTime.clear();
    return splitLines(tw.text());
  }
  std::vector<int> sortedPids() {
    std::vector<int> pids;
    for (const std::string& line : sample()) {
      std::istringstream in(line);
      std::string skip;
      int pid = 0;
      in >> skip >> skip >> skip >> pid;  // type, time, name, pid
      pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
  }
};

TEST_F(ListedProcsTest, EachListedProcessOncePerSampleFailuresDropForGoodAndCacheProcessesAreSkipped) {
  EXPECT_TRUE(sample().empty());  // nothing listed
  mgr.pidsToMonitor.add(4242);
  const std::vector<std::string> lines = sample();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("128 1000 worker 4242 0 2500 ", 0), 0u) << lines[0];
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ' '), 34);

  for (const char* pid : {"4242", "4244", "4248"}) ASSERT_EQ(chown((tree.root() + "/" + pid).c_str(), 4321, 4321), 0);
  mgr.uidsToMonitor.add(4321);
  for (int pid : {4243, 4245 /* a zombie */, 777 /* not in /proc */}) mgr.pidsToMonitor.add(pid);
  mgr.pidsWrittenThisTime.add(4243);  // recorded this sample as a cache process
  EXPECT_EQ(sortedPids(), (std::vector<int>{4242, 4244}));  // 4242 is listed by pid and by its user
  EXPECT_TRUE(mgr.pidsToExclude.hasEntry(4248));            // its stat is cut short

  // Readable again (a new process took the zombie's pid; 4248's stat whole): once failed, never recorded.
  tree.write("4245/stat", "4245 (again) S 1 4245 4245 0 -1 0 0 0 0 0 3 1 0 0 20 0 1 0 900 4096 1\n");
  tree.write("4248/stat", "4248 (short) S 1 4248 4248 0 -1 0 10 0 0 0 1 1 0 0 20 0 1 0 900 4096 1\n");
  EXPECT_EQ(sortedPids(), (std::vector<int>{4242, 4243, 4244}));
}

// A listed user's process that ended between two samples is no longer in /proc:
// its files are closed by the sample that walks /proc without it, though the
// cleanup is not due (the tree's clock stands still) and a probe would still
// call it alive. Tracked processes that the walk lists stay open.
TEST_F(ListedProcsTest, TheFilesOfAListedUsersProcessThatEndedAreClosedByTheNextSample) {
  for (const char* pid : {"4242", "4243", "4244"}) ASSERT_EQ(chown((tree.root() + "/" + pid).c_str(), 4321, 4321), 0);
  mgr.uidsToMonitor.add(4321);
  ProcessTracker* t = tw.w.procTracker;
  ASSERT_EQ(sortedPids(), (std::vector<int>{4242, 4243, 4244}));
  ASSERT_EQ(t->pidMap.cleanupDeadPids(), 0);
  const int ended[] = {t->pidMap.lookup(4243)->fds[PROC_FILE_STAT], t->pidMap.lookup(4243)->fds[PROC_FILE_STATUS]};
  const int living = t->pidMap.lookup(4242)->fds[PROC_FILE_STAT];
  tree.remove("4243");

  EXPECT_EQ(sortedPids(), (std::vector<int>{4242, 4244}));
  EXPECT_EQ(t->pidMap.lookup(4243), nullptr);
  for (int fd : ended) EXPECT_EQ(fcntl(fd, F_GETFD), -1) << fd;
  EXPECT_NE(fcntl(living, F_GETFD), -1);
  EXPECT_EQ(t->pidMap.numEntries, 2);
  EXPECT_FALSE(mgr.pidsToExclude.hasEntry(4243));  // a new process may take its pid
}

// /proc that cannot be opened for the walk of listed users is said in the
// system's own words, with the error number, before the run ends as inconsistent.
TEST_F(ListedProcsTest, AProcDirectoryThatCannotBeOpenedIsNamedWithItsErrorNumber) {
  mgr.uidsToMonitor.add(4321);
  tree.remove("");
  setenv("QL_CORE_TIME_OUT", "1", 1);
  EXPECT_EXIT(
      {
        dup2(2, 1);  // standard output, where the message goes, to where the test can see it
        tw.w.writeStatsForListedProcesses();
      },
      ::testing::ExitedWithCode(1), "opendir\\(/proc\\) failed\\.  errno=2\n(.|\n)*UTL_GUARANTEE failed");
}

// procfs gives a process's directory to the user it runs as, so once read, a
// listed user's process is judged by what its status said at the last read.
TEST_F(ListedProcsTest, AfterItsFirstReadAProcessIsJudgedByTheUserItRunsAs) {
  const std::string dir = tree.root() + "/4242";
  ASSERT_EQ(chown(dir.c_str(), 4321, 4321), 0);
  tree.replaceLine("4242/status", "Pid:", "Pid:\t4242\nUid:\t4321\t4321\t4321\t4321");
  mgr.uidsToMonitor.add(4321);
  EXPECT_EQ(sortedPids(), std::vector<int>{4242});  // found by its directory's owner
  EXPECT_EQ(tw.w.procTracker->ownerAtLastRead(4242), 4321);
  EXPECT_EQ(sortedPids(), std::vector<int>{4242});

  // It became root (a set-user-id program): the read that says so drops it,
  // without excluding it for good.
  tree.replaceLine("4242/status", "Uid:", "Uid:\t4321\t0\t0\t0");
  EXPECT_TRUE(sortedPids().empty());
  EXPECT_FALSE(mgr.pidsToExclude.hasEntry(4242));
  ASSERT_EQ(chown(dir.c_str(), 0, 0), 0);  // as procfs shows it by now
  EXPECT_TRUE(sortedPids().empty());

  // Back to its user: found again by its directory.
  tree.replaceLine("4242/status", "Uid:", "Uid:\t4321\t4321\t4321\t4321");
  ASSERT_EQ(chown(dir.c_str(), 4321, 4321), 0);
  EXPECT_EQ(sortedPids(), std::vector<int>{4242});
}

}  // namespace
