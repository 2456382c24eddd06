// The offset arithmetic over statistics blocks and the atomic primitives. Record
// offsets themselves are pinned at compile time.
#include <gtest/gtest.h>

#include <cstring>

#include "shrpc/hostshrlock.h"
#include "shrpc/shrpccmn.h"

namespace {

TEST(StatOffsetTest, IndexesCrossIntoTheSixtyFourBitPartAndValuesKeepTheirWidthAndSign) {
  struct Case {
    int (*fn)(int);
    int index;
    int offset;
  } cases[] = {
      {ShrPcStatsSType::byteOffsetForMonitorStatIndex, 134, 544},  // last 32-bit monitor counter
      {ShrPcStatsSType::byteOffsetForMonitorStatIndex, 135, 552},  // first 64-bit one
      {ShrPcStatsSType::byteOffsetForKeeperStatIndex, 236, 952},
      {ShrPcStatsSType::byteOffsetForKeeperStatIndex, 237, 960},
      {ShrPcStatsSType::byteOffsetForEnvoyStatIndex, 166, 672},
      {ShrPcStatsSType::byteOffsetForEnvoyStatIndex, 167, 680},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.index), c.offset) << "index " << c.index;

  ShrPcStatsSType block;
  memset(&block, 0, sizeof block);
  block.cmn.ctr[0] = 0xfffffffeu;                // a 32-bit word widened as signed
  block.u.monitor.lfStats[0] = 0x123456789abLL;  // first 64-bit monitor counter
  block.u.envoy.ctr64[55] = -5;                  // (shares the union with the monitor)
  BoolType is64 = TRUE;
  EXPECT_EQ(block.monitorStatForOffset(8), -2);
  EXPECT_EQ(block.monitorStatForOffset(552), 0x123456789abLL);
  EXPECT_EQ(block.envoyStatForOffset(ShrPcStatsSType::byteOffsetForEnvoyStatIndex(222)), -5);
  block.keeperStatAddrForOffset(552, &is64);  // still a 32-bit counter for the keeper
  EXPECT_FALSE(is64);
  setenv("QL_CORE_TIME_OUT", "1", 1);
  EXPECT_DEATH(ShrPcStatsSType::byteOffsetForMonitorStatIndex(154), "UTL_GUARANTEE failed");
  EXPECT_DEATH(block.monitorStatAddrForOffset(556, &is64), "UTL_GUARANTEE failed");  // 4-aligned, 64-bit part
}

TEST(AtomicsTest, SelfTestPassesAndTryLockHonoursItsSpinCount) {
  testAsmFunctions();  // an internal error would end the test program

  HostShrLockType word = 1;
  EXPECT_EQ(HostAsmTryLock(&word, 100), 0);
  HostAsmUnlock(&word);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(HostAsmTryLock(&word, 1), 1);
  EXPECT_EQ(HostAsmTryLock(&word, 0), 0);  // a count below 1 still returns
}

}  // namespace
