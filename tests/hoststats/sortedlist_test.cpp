#include "hoststats/sortedlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace {

std::vector<int> entries(const SortedList& l) { return std::vector<int>(l.list, l.list + l.numEntries); }

// Random lists of many sizes and spreads (also sorted, reversed and all but
// equal), sorted directly between the sentinels and built through add (growing
// past its first 64 entries): the result is the sorted input and membership
// agrees with a plain search.
TEST(SortedList, RandomListsEndSorted) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; round++) {
    const int n = round < 100 ? round : (int)(rng() % 3000);
    const int spread = (round % 4 == 0) ? 5 : (round % 4 == 1) ? 1000 : INT_MAX - 1;
    std::vector<int> values(n);
    for (int& v : values) v = (int)(rng() % (unsigned)spread);
    if (round % 7 == 0) std::sort(values.begin(), values.end());
    if (round % 11 == 0) std::sort(values.rbegin(), values.rend());
    std::vector<int> expected = values;
    std::sort(expected.begin(), expected.end());

    std::vector<int> buffer(n + 2, 0);
    std::copy(values.begin(), values.end(), buffer.begin() + 1);
    buffer[n + 1] = INT_MAX;
    BmQsort(buffer.data() + 1, buffer.data() + n + 2);
    ASSERT_EQ(std::vector<int>(buffer.begin() + 1, buffer.end() - 1), expected) << "round " << round;
    ASSERT_EQ(buffer[n + 1], INT_MAX);
    ASSERT_EQ(buffer[0], 0);
    if (round % 5 != 0 || n > 500) continue;

    SortedList l;
    l.initForSize(64);
    for (int v : values) l.add(v);
    ASSERT_EQ(entries(l), expected);
    l.removeDups();
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    ASSERT_EQ(entries(l), expected);
    for (int v = 0; v < 1000; v++)
      ASSERT_EQ(l.hasEntry(v) == TRUE, std::binary_search(expected.begin(), expected.end(), v)) << v;
    l.destroy();
  }
}

TEST(SortedListDeath, ANegativeValueIsAConsistencyFailure) {
  setenv("QL_CORE_TIME_OUT", "1", 1);
  SortedList l;
  l.initForSize(4);
  EXPECT_EXIT(l.add(-1), ::testing::ExitedWithCode(1), "UTL_GUARANTEE failed, File .*sortedlist.cpp line");
  l.destroy();
}

}  // namespace
