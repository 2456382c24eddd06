#include "hoststats/listedprocs.h"

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
    tw.w.mgr = &mgr;
    tw.w.processTypeCount = 128;
    tw.w.sampleTimeStamp = 1000;
    tw.w.quiet = TRUE;
    tw.w.procTracker = new ProcessTracker(tree.options());
  }
  void TearDown() override { delete tw.w.procTracker; }
  // One sample: the records of listed processes, one line of tokens each.
  std::vector<std::vector<std::string>> sample() {
    tw.clear();
    tw.w.writeStatsForListedProcesses();
    mgr.pidsWrittenThisTime.clear();
    std::vector<std::vector<std::string>> recs;
    for (const std::string& line : splitLines(tw.text())) {
      std::istringstream in(line);
      recs.emplace_back();
      for (std::string t; in >> t;) recs.back().push_back(t);
    }
    return recs;
  }
  std::vector<int> sortedPids() {
    std::vector<int> pids;
    for (const auto& r : sample()) pids.push_back(std::stoi(r.at(3)));
    std::sort(pids.begin(), pids.end());
    return pids;
  }
};

TEST_F(ListedProcsTest, PidRecordsFailuresDropForGoodAndProcessesAlreadyWrittenAreSkipped) {
  EXPECT_TRUE(sample().empty());  // nothing listed
  for (int pid : {4242, 4243, 4245}) mgr.pidsToMonitor.add(pid);
  mgr.pidsWrittenThisTime.add(4243);  // recorded this sample as a cache process
  auto recs = sample();
  ASSERT_EQ(recs.size(), 1u);
  ASSERT_EQ(recs[0].size(), 35u);
  EXPECT_EQ(std::vector<std::string>(recs[0].begin(), recs[0].begin() + 6),
            (std::vector<std::string>{"128", "1000", "worker", "4242", "0", "2500"}));
  EXPECT_EQ(mgr.pidsToMonitor.list[2], -1);  // the zombie is not tried again

  // Its pid readable again (a new process took it): still not recorded.
  tree.write("4245/stat", "4245 (again) S 1 4245 4245 0 -1 0 0 0 0 0 3 1 0 0 20 0 1 0 900 4096 1\n");
  EXPECT_EQ(sortedPids(), (std::vector<int>{4242, 4243}));
}

TEST_F(ListedProcsTest, UsersAndPidsTogetherRecordEachMatchingProcessOncePerSample) {
  for (const char* pid : {"4242", "4244", "4248"}) ASSERT_EQ(chown((tree.root() + "/" + pid).c_str(), 4321, 4321), 0);
  mgr.uidsToMonitor.add(4321);
  for (int pid : {4243, 4242 /* also its user's */, 777 /* not in /proc */}) mgr.pidsToMonitor.add(pid);
  EXPECT_EQ(sortedPids(), (std::vector<int>{4242, 4243, 4244}));
  EXPECT_TRUE(mgr.pidsToExclude.hasEntry(4248));  // its stat is cut short

  // Once failed, always excluded; written as a cache process, not repeated.
  tree.write("4248/stat", "4248 (short) S 1 4248 4248 0 -1 0 10 0 0 0 1 1 0 0 20 0 1 0 900 4096 1\n");
  mgr.pidsWrittenThisTime.add(4244);
  EXPECT_EQ(sortedPids(), (std::vector<int>{4242, 4243}));
}

}  // namespace
