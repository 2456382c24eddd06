#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "archive/writerfixture.h"
#include "host/hosttime.h"
#include "host/hostprocess.h"
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

TEST_F(TallyRecordTest, RecordWithBothValueRunsASpacedNameAndAnEmptyName) {
  mgr.shrpcPtr = &cacheView;  // records of other processes need an attached, enabled cache
  const uint32_t v32[] = {4242, 0xFFFFFFFFu, 0, 17};
  const int64_t v64[] = {-1, -20, 9223372036854775807LL};
  mgr.writeTallyRecord("page  server 1", 8, v32, 4242, 4, v64, 3);
  mgr.writeTallyRecord("AppStat", 32, v32 + 2, 0, 2);
  mgr.writeTallyRecord("", 2, v32, 4242, 2);
  EXPECT_EQ(writer.text(),
            "8 1700000123 page__server_1 4242 4294967295 0 17 -1 -20 9223372036854775807\n"
            "32 1700000123 AppStat 0 17\n2 1700000123 Unnamed 4242 4294967295\n");
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
