#include "archive/stattype.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

// (Names, numbers and counts per type are checked in the header text.)
TEST(StatTypeCatalogue, NamesAreUniqueAndTheKindsShareTheFixedAndCommonOnes) {
  for (int i = 0; i < StatTypeCount; i++) {
    const StatTypeSType& t = StatTypeTable[i];
    std::set<std::string> seen;
    for (int n = 0; n < t.ctrCount; n++) {
      EXPECT_TRUE(seen.insert(t.ctrTable[n]).second) << t.name << " repeats " << t.ctrTable[n];
      if (n < STATTYPE_FIXED_COUNT) { EXPECT_STREQ(t.ctrTable[n], BasicStatNames[n]); }
      if (i < 4 && n < 41) { EXPECT_STREQ(t.ctrTable[n], StatTypeTable[0].ctrTable[n]); }
    }
  }
}

// The last 32-bit and the first 64-bit counter of each kind: the four bytes of
// alignment fill between them are not part of a 64-bit value.
TEST(StatTypeLookup, NamesToIndicesAndByteOffsets) {
  struct Case { BoolType (*lookup)(const char*, int*); StatTypeKind kind; const char* name;
                int index, offset; BoolType is64; };
  const Case cases[] = {
      {StatTypeIndexForMonitorStat, STATTYPE_KIND_MONITOR, "NumProcsSleepingForLock", 134, 544, FALSE},
      {StatTypeIndexForMonitorStat, STATTYPE_KIND_MONITOR, "TotalLocalPageCacheHits", 135, 552, TRUE},
      {StatTypeIndexForKeeperStat, STATTYPE_KIND_KEEPER, "LocalCacheFreeFrameCount", 236, 952, FALSE},
      {StatTypeIndexForKeeperStat, STATTYPE_KIND_KEEPER, "GlobalStat00", 237, 960, TRUE},
      {StatTypeIndexForEnvoyStat, STATTYPE_KIND_ENVOY, "QciRpcKeepAlivePacketCount", 166, 672, FALSE},
      {StatTypeIndexForEnvoyStat, STATTYPE_KIND_ENVOY, "SessionStat47", 222, 1120, TRUE},
  };
  for (const Case& c : cases) {
    int index = -1;
    ASSERT_TRUE(c.lookup(c.name, &index)) << c.name;
    EXPECT_EQ(index, c.index) << c.name;
    EXPECT_EQ(StatTypeByteOffsetForIndex(c.kind, index), c.offset) << c.name;
    EXPECT_EQ(StatTypeOffsetIs64Bit(c.kind, c.offset), c.is64) << c.name;
  }
  EXPECT_FALSE(StatTypeOffsetIs64Bit(STATTYPE_KIND_MONITOR, 548));

  // Fixed fields, unknown names and another kind's counters are not counters.
  for (const char* name : {"StatTypeNum", "SessionId", "localPageCacheHits", "", "GlobalStat48"}) {
    int index = 77;
    EXPECT_FALSE(StatTypeIndexForMonitorStat(name, &index) || StatTypeIndexForKeeperStat(name, &index) ||
                 StatTypeIndexForEnvoyStat(name, &index)) << name;
    EXPECT_EQ(index, 77);
  }
  int index = 0;
  EXPECT_FALSE(StatTypeIndexForMonitorStat("GlobalStat00", &index));  // a keeper's counter
}

}  // namespace
