#include "archive/stattype.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(StatTypeCatalogue, SixTypesWithTheirNumbersAndNameCounts) {
  struct Row { const char* name; int id; int count; BoolType hasPid; };
  const Row rows[StatTypeCount] = {{"Shrpc", 1, 159, TRUE}, {"Kpr", 2, 307, TRUE},   {"Pgsvr", 4, 74, TRUE},
                                   {"Envoy", 8, 228, TRUE}, {"Tally", 16, 6, TRUE}, {"AppStat", 32, 5, FALSE}};
  for (int i = 0; i < StatTypeCount; i++) {
    const StatTypeSType& t = StatTypeTable[i];
    EXPECT_STREQ(t.name, rows[i].name);
    EXPECT_EQ(t.id, rows[i].id);
    EXPECT_EQ(t.ctrCount, rows[i].count) << t.name;
    EXPECT_EQ(t.hasPid, rows[i].hasPid) << t.name;
    std::set<std::string> seen;
    for (int n = 0; n < t.ctrCount; n++) {
      ASSERT_NE(t.ctrTable[n], nullptr) << t.name << " " << n;
      EXPECT_TRUE(seen.insert(t.ctrTable[n]).second) << t.name << " repeats " << t.ctrTable[n];
    }
    for (int n = 0; n < STATTYPE_FIXED_COUNT; n++) EXPECT_STREQ(t.ctrTable[n], BasicStatNames[n]);
  }
  EXPECT_STREQ(StatTypeTable[4].ctrTable[5], "TimeWritingStats");
}

TEST(StatTypeCatalogue, KindsShareTheCommonCounters) {
  for (int i = 1; i < 4; i++)
    for (int n = 0; n < 41; n++) EXPECT_STREQ(StatTypeTable[i].ctrTable[n], StatTypeTable[0].ctrTable[n]);
  EXPECT_STREQ(StatTypeTable[0].ctrTable[40], "PinnedPagesCount");
  EXPECT_STREQ(StatTypeTable[2].ctrTable[73], "TimePerformingReadRequests");
}

TEST(StatTypeLookup, NamesToIndicesAndByteOffsets) {
  struct Case {
    BoolType (*lookup)(const char*, int*);
    StatTypeKind kind;
    const char* name;
    int index;
    int offset;
    BoolType is64;
  };
  const Case cases[] = {
      {StatTypeIndexForMonitorStat, STATTYPE_KIND_MONITOR, "LocalPageCacheHits", 0, 8, FALSE},
      {StatTypeIndexForMonitorStat, STATTYPE_KIND_MONITOR, "NumProcsSleepingForLock", 134, 544, FALSE},
      {StatTypeIndexForMonitorStat, STATTYPE_KIND_MONITOR, "TotalLocalPageCacheHits", 135, 552, TRUE},
      {StatTypeIndexForMonitorStat, STATTYPE_KIND_MONITOR, "TotalPcesAddedToFreeList", 153, 696, TRUE},
      {StatTypeIndexForKeeperStat, STATTYPE_KIND_KEEPER, "LocalCacheFreeFrameCount", 236, 952, FALSE},
      {StatTypeIndexForKeeperStat, STATTYPE_KIND_KEEPER, "GlobalStat00", 237, 960, TRUE},
      {StatTypeIndexForKeeperStat, STATTYPE_KIND_KEEPER, "OopNumberHighWaterMark", 301, 1472, TRUE},
      {StatTypeIndexForEnvoyStat, STATTYPE_KIND_ENVOY, "QciRpcKeepAlivePacketCount", 166, 672, FALSE},
      {StatTypeIndexForEnvoyStat, STATTYPE_KIND_ENVOY, "ObjectsReadInBytes", 167, 680, TRUE},
      {StatTypeIndexForEnvoyStat, STATTYPE_KIND_ENVOY, "SessionStat47", 222, 1120, TRUE},
  };
  for (const Case& c : cases) {
    int index = -1;
    ASSERT_TRUE(c.lookup(c.name, &index)) << c.name;
    EXPECT_EQ(index, c.index) << c.name;
    EXPECT_EQ(StatTypeByteOffsetForIndex(c.kind, index), c.offset) << c.name;
    EXPECT_EQ(StatTypeOffsetIs64Bit(c.kind, c.offset), c.is64) << c.name;
  }
  // The four bytes of alignment fill before the first 64-bit statistic are not 64-bit.
  EXPECT_FALSE(StatTypeOffsetIs64Bit(STATTYPE_KIND_MONITOR, 548));
  EXPECT_EQ(StatTypeCounterCount(STATTYPE_KIND_KEEPER), 302);
}

TEST(StatTypeLookup, FixedFieldsAndUnknownNamesAreNotCounters) {
  const char* misses[] = {"StatTypeNum", "Time", "ProcessName", "ProcessId", "SessionId",
                          "localPageCacheHits", "", "GlobalStat48"};
  for (const char* name : misses) {
    int index = 77;
    EXPECT_FALSE(StatTypeIndexForMonitorStat(name, &index)) << name;
    EXPECT_FALSE(StatTypeIndexForKeeperStat(name, &index)) << name;
    EXPECT_FALSE(StatTypeIndexForEnvoyStat(name, &index)) << name;
    EXPECT_EQ(index, 77);
  }
  int index = 0;
  EXPECT_FALSE(StatTypeIndexForMonitorStat("GlobalStat00", &index));  // a keeper counter only
}

}  // namespace
