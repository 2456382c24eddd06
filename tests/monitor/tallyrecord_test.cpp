#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "archive/writerfixture.h"
#include "host/hosttime.h"
#include "monitor/tallymgr.h"
#include "shrpc/shrpccmn.h"

namespace {

// A manager with no cache attached, no lists and host statistics off.
class TallyRecordTest : public ::testing::Test {
 protected:
  TallyRecordTest() {
    mgr.statWriter = &writer.w;
    mgr.thisProcessPid = getpid();
    writer.w.disableSystemStats = TRUE;
    writer.w.sampleTimeStamp = 1700000123u;
    cacheView.setCacheEnabled();
  }
  TallyMgr mgr{};
  TestWriter writer{&mgr};
  ShrPcStateSType cacheView{};
};

// (Records of the cache's processes, value for value, are read back end to end.)
TEST_F(TallyRecordTest, RecordWithBothValueRunsAndAnEmptyName) {
  mgr.shrpcPtr = &cacheView;  // records of other processes need an attached, enabled cache
  const uint32_t v32[] = {4242, 0xFFFFFFFFu};
  const int64_t v64[] = {-20, 9223372036854775807LL};
  mgr.writeTallyRecord("", 8, v32, 4242, 2, v64, 2);
  EXPECT_EQ(writer.text(), "8 1700000123 Unnamed 4242 4294967295 -20 9223372036854775807\n");
}

TEST_F(TallyRecordTest, MonitorRecordAddsTheTimeSinceTheSampleBegan) {
  mgr.timeWritingStats = 41;
  mgr.startTime = HostGetNanoTime() - 5000LL * 1000000LL;  // the sample began 5 s ago
  mgr.writeStatsForTallyscope();
  EXPECT_GE(mgr.timeWritingStats, 5041u);
  EXPECT_EQ(mgr.tallyStats[2], mgr.timeWritingStats);
  EXPECT_EQ(writer.text(), "16 1700000123 Tally " + std::to_string(getpid()) + " 0 " +
                               std::to_string(mgr.timeWritingStats) + "\n");
}

}  // namespace
