#include "hoststats/sortedlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace {

std::vector<int> entries(const SortedList& l) { return std::vector<int>(l.list, l.list + l.numEntries); }

class SortedListTest : public ::testing::Test {
 protected:
  void SetUp() override { list.initForSize(64); }
  void TearDown() override { list.destroy(); }
  SortedList list;
};

TEST_F(SortedListTest, AddKeepsOrderAndRemoveDupsAndMembership) {
  for (int v : {5, 3, 5, 1}) list.add(v);
  EXPECT_EQ(entries(list), (std::vector<int>{1, 3, 5, 5}));
  list.removeDups();
  EXPECT_EQ(entries(list), (std::vector<int>{1, 3, 5}));
  EXPECT_FALSE(list.hasEntry(4));
  EXPECT_TRUE(list.hasEntry(5));
  EXPECT_TRUE(list.hasEntry(1));
  EXPECT_FALSE(list.hasEntry(0));
  EXPECT_FALSE(list.hasEntry(6));
}

TEST_F(SortedListTest, MembershipOfSmallListsAndTheBoundaryValues) {
  EXPECT_TRUE(list.isEmpty());
  EXPECT_FALSE(list.hasEntry(0));
  list.add(0);
  EXPECT_TRUE(list.hasEntry(0));
  list.add(INT_MAX - 1);  // the largest value the sentinels allow
  EXPECT_EQ(entries(list), (std::vector<int>{0, INT_MAX - 1}));
  EXPECT_TRUE(list.hasEntry(INT_MAX - 1));
  EXPECT_FALSE(list.hasEntry(1));
  list.add(0);
  list.removeDups();
  EXPECT_EQ(entries(list), (std::vector<int>{0, INT_MAX - 1}));
  list.clear();
  EXPECT_EQ(list.size(), 0);
  EXPECT_FALSE(list.hasEntry(0));
}

TEST_F(SortedListTest, GrowsToTwiceItsEntriesWhenFullAndKeepsThem) {
  for (int i = 64; i >= 1; i--) list.add(i * 3);
  EXPECT_EQ(list.allocatedSize, 64);
  list.add(1);
  EXPECT_EQ(list.allocatedSize, 128);
  EXPECT_EQ(list._realAllocatedSizeInts, 130);
  EXPECT_EQ(list._list[0], 0);
  EXPECT_EQ(list.list, list._list + 1);
  ASSERT_EQ(list.size(), 65);
  EXPECT_EQ(list.list[0], 1);
  EXPECT_EQ(list.list[64], 192);
  EXPECT_TRUE(list.hasEntry(99));
}

TEST(SortedListGrowth, AListCreatedWithoutRoomStillAccepts) {
  SortedList l;
  l.init();
  for (int v : {7, 2, 9}) l.add(v);
  EXPECT_EQ(entries(l), (std::vector<int>{2, 7, 9}));
  l.destroy();
}

TEST_F(SortedListTest, RemoveDupsOfRunsAndOfAllEqual) {
  for (int v : {4, 4, 4, 4, 2, 2, 9, 9, 9, 1}) list.add(v);
  list.removeDups();
  EXPECT_EQ(entries(list), (std::vector<int>{1, 2, 4, 9}));
  list.clear();
  for (int i = 0; i < 20; i++) list.add(7);
  list.removeDups();
  EXPECT_EQ(entries(list), (std::vector<int>{7}));
}

// Random lists of many sizes and value spreads, sorted directly with the
// sentinels in place: the result must be the sorted input, and membership must
// agree with a plain search for present and absent values.
TEST(BmQsort, SortsRandomListsOfEverySizeAndSpread) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 400; round++) {
    int n = round < 100 ? round : (int)(rng() % 3000);
    int spread = (round % 4 == 0) ? 5 : (round % 4 == 1) ? 1000 : INT_MAX - 1;
    std::vector<int> values(n);
    for (int& v : values) v = (int)(rng() % (unsigned)spread);
    if (round % 7 == 0) std::sort(values.begin(), values.end());
    if (round % 11 == 0) std::sort(values.rbegin(), values.rend());

    std::vector<int> buffer(n + 2);
    buffer[0] = 0;
    std::copy(values.begin(), values.end(), buffer.begin() + 1);
    buffer[n + 1] = INT_MAX;
    BmQsort(buffer.data() + 1, buffer.data() + n + 2);
    std::vector<int> expected = values;
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(std::vector<int>(buffer.begin() + 1, buffer.begin() + 1 + n), expected) << "round " << round;
    ASSERT_EQ(buffer[n + 1], INT_MAX);
    ASSERT_EQ(buffer[0], 0);
  }
}

TEST(SortedListRandom, AddedValuesEndSortedAndMembershipAgrees) {
  std::mt19937 rng(777);
  for (int round = 0; round < 30; round++) {
    SortedList l;
    l.initForSize(64);
    std::vector<int> added;
    int n = 1 + (int)(rng() % 300);
    for (int i = 0; i < n; i++) {
      int v = (int)(rng() % 500);
      l.add(v);
      added.push_back(v);
    }
    std::sort(added.begin(), added.end());
    ASSERT_EQ(entries(l), added);
    l.removeDups();
    added.erase(std::unique(added.begin(), added.end()), added.end());
    ASSERT_EQ(entries(l), added);
    for (int v = 0; v < 500; v++)
      ASSERT_EQ(l.hasEntry(v) == TRUE, std::binary_search(added.begin(), added.end(), v)) << v;
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
