#include "hoststats/hosttable.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// Rows are zero until written, keep what was written as later rows are made,
// and a read-only look at a row not made yet neither makes it nor fails.
TEST(HostTable, RowsAreMadeZeroWhenFirstIndexedAndKeepTheirValues) {
  HostTable<std::array<uint32_t, 67>, 1024> t;
  EXPECT_EQ(t.size(), 0);
  t[1][66] = 7;
  EXPECT_EQ(t[0][66], 0u);
  t[1000][3] = 9;
  EXPECT_EQ(t.size(), 1001);
  EXPECT_EQ(t[1][66], 7u);
  EXPECT_EQ(t[999][0], 0u);
  const auto& view = t;
  EXPECT_EQ(view[1023][5], 0u);
  EXPECT_EQ(t.size(), 1001);
  EXPECT_EXIT(t[1024][0] = 1, ::testing::ExitedWithCode(1), "UTL_GUARANTEE failed, File .*hosttable.h line");
}

}  // namespace
