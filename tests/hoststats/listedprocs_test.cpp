#include "hoststats/listedprocs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "archive/writerfixture.h"
#include "hoststats/processtracker.h"
#include "monitor/tallymgr.h"
#include "support/runprocess.h"

namespace {

BoolType everyoneAlive(int) { return TRUE; }
int64_t fixedBootClock() { return 20LL * 1000000000LL; }

// The "Solaris_Process" records of the buffered text, by pid, in order.
std::vector<std::vector<std::string>> records(const std::string& text) {
  std::vector<std::vector<std::string>> out;
  for (const std::string& line : splitLines(text)) {
    std::istringstream in(line);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;) tokens.push_back(t);
    if (!tokens.empty()) out.push_back(tokens);
  }
  return out;
}

std::vector<int> pidsOf(const std::string& text) {
  std::vector<int> pids;
  for (const auto& r : records(text)) pids.push_back(std::stoi(r.at(3)));
  return pids;
}

class ListedProcsTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string root;
  TallyMgr mgr{};
  std::unique_ptr<TestWriter> tw;

  void SetUp() override {
    root = dir.file("proc");
    std::filesystem::copy(TALLY_FIXTURES_DIR "/proc", root, std::filesystem::copy_options::recursive);
    for (SortedList* l : {&mgr.pidsToMonitor, &mgr.uidsToMonitor, &mgr.pidsToExclude, &mgr.pidsWrittenThisTime}) {
      l->initForSize(DEFAULT_LIST_SIZE);
    }
    tw.reset(new TestWriter(&mgr));
    tw->w.mgr = &mgr;
    tw->w.processTypeCount = 128;
    tw->w.quiet = TRUE;
    tw->w.sampleTimeStamp = 1000;
    ProcessTrackerOptions o;
    o.procRoot = root;
    o.fdTableSize = 256;
    o.bootClockNs = fixedBootClock;
    o.processExists = everyoneAlive;
    o.clockTicksPerSec = 100;
    tw->w.procTracker = new ProcessTracker(o);
  }
  void TearDown() override {
    delete tw->w.procTracker;
    tw->w.procTracker = nullptr;
  }
  // One sample of listed processes: their records, then the per-sample list emptied.
  std::string sample() {
    tw->clear();
    tw->w.writeStatsForListedProcesses();
    mgr.pidsWrittenThisTime.clear();
    return tw->text();
  }
  void rewrite(const std::string& rel, const std::string& text) {
    std::ofstream f(root + "/" + rel, std::ios::in | std::ios::out | std::ios::trunc);
    f << text;
  }
};

TEST_F(ListedProcsTest, NothingListedWritesNothing) {
  EXPECT_FALSE(monitorNonQlProcesses(mgr));
  EXPECT_EQ(sample(), "");
}

TEST_F(ListedProcsTest, ListedPidRecordCarriesTypeTimeNamePidSessionAndThirtyFigures) {
  mgr.pidsToMonitor.add(4242);
  auto recs = records(sample());
  ASSERT_EQ(recs.size(), 1u);
  const auto& r = recs[0];
  ASSERT_EQ(r.size(), 5u + 30u);
  EXPECT_EQ(r[0], "128");
  EXPECT_EQ(r[1], "1000");
  EXPECT_EQ(r[2], "worker");
  EXPECT_EQ(r[3], "4242");
  EXPECT_EQ(r[4], "0");
  EXPECT_EQ(r[5], "2500");        // UserTime
  EXPECT_EQ(r[5 + 27], "1600000");  // RSSKBytes
}

TEST_F(ListedProcsTest, ListedPidsThatFailStopForGoodAndProcessesAlreadyWrittenAreSkipped) {
  for (int pid : {4242, 4243, 4245}) mgr.pidsToMonitor.add(pid);
  mgr.pidsWrittenThisTime.add(4243);  // recorded this sample as a cache process
  EXPECT_EQ(pidsOf(sample()), (std::vector<int>{4242}));
  EXPECT_EQ(mgr.pidsToMonitor.list[2], -1);  // the zombie is not tried again

  // The pid comes back to life (a new process took it): still not recorded.
  rewrite("4245/stat", "4245 (again) S 1 4245 4245 0 -1 0 0 0 0 0 3 1 0 0 20 0 1 0 900 4096 1 0\n");
  EXPECT_EQ(pidsOf(sample()), (std::vector<int>{4242, 4243}));
  EXPECT_EQ(pidsOf(sample()), (std::vector<int>{4242, 4243}));
}

TEST_F(ListedProcsTest, UsersAndPidsTogetherRecordEachMatchingProcessOncePerSample) {
  const uid_t user = 4321;
  for (const char* pid : {"4242", "4244", "4248"}) ASSERT_EQ(chown((root + "/" + pid).c_str(), user, user), 0);
  mgr.uidsToMonitor.add((int)user);
  mgr.pidsToMonitor.add(4243);
  mgr.pidsToMonitor.add(4242);  // listed and owned by a listed user
  mgr.pidsToMonitor.add(777);   // not in /proc

  std::vector<int> first = pidsOf(sample());
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, (std::vector<int>{4242, 4243, 4244}));
  EXPECT_TRUE(mgr.pidsToExclude.hasEntry(4248));  // its stat is cut short

  // Fixed later, a pid that failed once stays excluded; a process recorded as a
  // cache process is not repeated.
  rewrite("4248/stat", "4248 (short) S 1 4248 4248 0 -1 0 10 0 0 0 1 1 0 0 20 0 1 0 900 4096 1 0\n");
  mgr.pidsWrittenThisTime.add(4244);
  std::vector<int> second = pidsOf(sample());
  std::sort(second.begin(), second.end());
  EXPECT_EQ(second, (std::vector<int>{4242, 4243}));
}

}  // namespace
