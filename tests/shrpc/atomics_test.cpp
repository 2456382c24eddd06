// The atomic primitives. Record offsets are pinned at compile time.
#include <gtest/gtest.h>

#include "shrpc/hostshrlock.h"

namespace {

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
