// The offset arithmetic over statistics blocks, the enable flag and the atomic
// primitives. Record offsets themselves are pinned at compile time.
#include <gtest/gtest.h>

#include <cstring>

#include "shrpc/hostshrlock.h"
#include "shrpc/shrpccmn.h"
#include "shrpc/shrpclayout.h"

namespace {

TEST(StatOffsetTest, IndexToByteOffsetCrossesIntoTheSixtyFourBitPart) {
  struct Case {
    int (*fn)(int);
    int index;
    int offset;
  } cases[] = {
      {ShrPcStatsSType::byteOffsetForMonitorStatIndex, 0, 8},      // LocalPageCacheHits
      {ShrPcStatsSType::byteOffsetForMonitorStatIndex, 134, 544},  // NumProcsSleepingForLock
      {ShrPcStatsSType::byteOffsetForMonitorStatIndex, 135, 552},  // TotalLocalPageCacheHits
      {ShrPcStatsSType::byteOffsetForMonitorStatIndex, 153, 696},  // TotalPcesAddedToFreeList
      {ShrPcStatsSType::byteOffsetForKeeperStatIndex, 236, 952},   // LocalCacheFreeFrameCount
      {ShrPcStatsSType::byteOffsetForKeeperStatIndex, 237, 960},   // GlobalStat00
      {ShrPcStatsSType::byteOffsetForKeeperStatIndex, 301, 960 + 8 * 64},
      {ShrPcStatsSType::byteOffsetForEnvoyStatIndex, 166, 8 + 4 * 166},
      {ShrPcStatsSType::byteOffsetForEnvoyStatIndex, 167, 680},  // ObjectsReadInBytes
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.index), c.offset) << "index " << c.index;
}

TEST(StatOffsetTest, ValuesAreReadWithTheirWidthAndSign) {
  ShrPcStatsSType block;
  memset(&block, 0, sizeof block);
  block.cmn.ctr[0] = 0xfffffffeu;                  // a 32-bit word widened as signed
  block.u.monitor.ctr[98] = 17;                    // last 32-bit monitor counter
  block.u.monitor.lfStats[0] = 0x123456789abLL;    // first 64-bit monitor counter
  block.u.envoy.ctr64[55] = -5;                    // (shares the union with the monitor)

  BoolType is64 = TRUE;
  EXPECT_EQ(block.monitorStatAddrForOffset(8, &is64), (uintptr_t)&block.cmn.ctr[0]);
  EXPECT_FALSE(is64);
  EXPECT_EQ(block.monitorStatForOffset(8), -2);
  EXPECT_EQ(block.monitorStatForOffset(ShrPcStatsSType::byteOffsetForMonitorStatIndex(134)), 17);
  EXPECT_EQ(block.monitorStatAddrForOffset(552, &is64), (uintptr_t)&block.u.monitor.lfStats[0]);
  EXPECT_TRUE(is64);
  EXPECT_EQ(block.monitorStatForOffset(552), 0x123456789abLL);
  EXPECT_EQ(block.envoyStatForOffset(ShrPcStatsSType::byteOffsetForEnvoyStatIndex(222)), -5);
  // The same place is a 32-bit counter for the keeper, whose 64-bit part starts later.
  block.keeperStatAddrForOffset(552, &is64);
  EXPECT_FALSE(is64);
}

TEST(StatOffsetDeathTest, OutOfRangeIndexAndMisalignedOffsetsAreInternalErrors) {
  setenv("QL_CORE_TIME_OUT", "1", 1);
  ShrPcStatsSType block;
  memset(&block, 0, sizeof block);
  BoolType is64;
  EXPECT_DEATH(ShrPcStatsSType::byteOffsetForMonitorStatIndex(154), "UTL_GUARANTEE failed");
  EXPECT_DEATH(ShrPcStatsSType::byteOffsetForEnvoyStatIndex(-1), "UTL_GUARANTEE failed");
  EXPECT_DEATH(block.keeperStatAddrForOffset(10, &is64), "UTL_GUARANTEE failed");
  EXPECT_DEATH(block.monitorStatAddrForOffset(556, &is64), "UTL_GUARANTEE failed");  // 4-aligned, 64-bit part
}

TEST(CacheViewTest, DisablingRecordsTheLineOnlyOnce) {
  ShrPcStateSType view;
  memset(&view, 0, sizeof view);
  view.setCacheEnabled();
  EXPECT_TRUE(view.cacheEnabled());
  EXPECT_EQ(view._disconnectLine, -1);
  view.clearCacheEnabled(42);
  EXPECT_FALSE(view.cacheEnabled());
  EXPECT_EQ(view._disconnectLine, 42);
  view.clearCacheEnabled(43);  // already disabled: the first place stays
  EXPECT_EQ(view._disconnectLine, 42);
}

TEST(AtomicsTest, SelfTestPassesAndTryLockHonoursItsSpinCount) {
  testAsmFunctions();  // an internal error would end the test program

  HostShrLockType word = 1;
  EXPECT_EQ(HostAsmTryLock(&word, 100), 0);
  EXPECT_EQ(word, 1u);
  HostAsmUnlock(&word);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(HostAsmTryLock(&word, 1), 1);
  EXPECT_EQ(HostAsmTryLock(&word, 0), 0);  // a count below 1 still returns
}

}  // namespace
