#include "hoststats/pidhashmap.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

namespace {

HostHrtime_t fakeNow = 0;
HostHrtime_t fakeClock() { return fakeNow; }
std::set<int> alive;
int probes = 0;
BoolType fakeExists(int pid) {
  probes++;
  return alive.count(pid) ? TRUE : FALSE;
}
bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

class PidHashMapTest : public ::testing::Test {
 protected:
  PidHashMap map;
  void SetUp() override {
    fakeNow = 1000000000LL;
    alive.clear();
    map.clock = fakeClock;
    map.processExists = fakeExists;
    map.initForTableSize(PID_HASH_MAP_SIZE);
  }
  // Registers pid with /dev/null standing in for its stat and status files.
  int add(int pid) {
    int fds[PROC_FILE_COUNT] = {open("/dev/null", O_RDONLY), -1, open("/dev/null", O_RDONLY), -1};
    alive.insert(pid);
    map.addEntryFor(pid, fds);
    return fds[PROC_FILE_STAT];
  }
};

TEST_F(PidHashMapTest, PidsSharingABucketStayFindableAsTheFirstIsRemoved) {
  int fd1 = add(100), fd2 = add(100 + 4096);
  int freeBefore = map.freePool.countFree();
  EXPECT_EQ(map.lookup(100), &map.table[100]);  // in the bucket itself
  EXPECT_NE(map.lookup(4196), &map.table[100]);  // chained from the pool

  map.removeEntryForPid(100);
  EXPECT_FALSE(isOpen(fd1));
  EXPECT_EQ(map.lookup(100), nullptr);
  ASSERT_EQ(map.lookup(4196), &map.table[100]);  // moved into the bucket
  EXPECT_EQ(map.table[100].next, nullptr);
  EXPECT_EQ(map.freePool.countFree(), freeBefore + 1);  // its pool entry went back
  EXPECT_EQ(map.fdToPidTable[fd2], 4196);
  EXPECT_EQ(map.fdToPidTable[fd1], -1);
  EXPECT_TRUE(isOpen(fd2));

  // Removing an absent pid (empty bucket, or not in an occupied bucket's chain)
  // changes nothing.
  map.removeEntryForPid(101);
  map.removeEntryForPid(100 + 2 * 4096);
  EXPECT_EQ(map.numEntries, 1);
  EXPECT_EQ(map.listOfPids.numActive, 1);
  EXPECT_EQ(map.freePool.countFree(), freeBefore + 1);
  map.removeEntryForPid(4196);
  EXPECT_FALSE(isOpen(fd2));
  EXPECT_EQ(map.numEntries, 0);
}

TEST_F(PidHashMapTest, CleanupAtMostEveryTwoSecondsClosesTheFilesOfTheDead) {
  int deadFd = add(500), livingFd = add(600);
  add(700);
  alive.erase(500);
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS - 1;
  EXPECT_EQ(map.cleanupDeadPids(), 0);  // not yet due
  EXPECT_TRUE(isOpen(deadFd));

  fakeNow += 1;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  EXPECT_EQ(map.lookup(500), nullptr);
  EXPECT_FALSE(isOpen(deadFd));
  EXPECT_TRUE(isOpen(livingFd));

  alive.erase(700);
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS - 1;  // counted from the last cleanup
  EXPECT_EQ(map.cleanupDeadPids(), 0);
  fakeNow += 1;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  ASSERT_EQ(map.listOfPids.numActive, 1);  // the list mirrors the map
  EXPECT_EQ(map.listOfPids.activePids[0], 600);
  EXPECT_EQ(map.numDeadCleanedUp, 2u);
  map.removeEntryForPid(600);
}

// A read made in the sample just taken is as good as a probe; one made in an
// earlier sample proves nothing.
TEST_F(PidHashMapTest, CleanupProbesOnlyTheProcessesTheSampleDidNotRead) {
  add(500);
  add(600);
  map.markRead(map.lookup(500));
  alive.clear();  // both end after the sample's reads
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS;
  probes = 0;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  EXPECT_EQ(probes, 1);
  EXPECT_EQ(map.lookup(600), nullptr);
  ASSERT_NE(map.lookup(500), nullptr);

  map.markRead(map.lookup(500));
  EXPECT_EQ(map.cleanupDeadPids(), 0);  // the next sample: not yet due
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS;
  EXPECT_EQ(map.cleanupDeadPids(), 1);  // the sample after that did not read it
  EXPECT_EQ(map.lookup(500), nullptr);
}

}  // namespace

namespace {

// A descriptor limit of a million must not cost a million table slots: the
// reverse table reaches as far as the highest descriptor registered, and a
// descriptor far up (dup2 to a high number) still registers and checks.
TEST(PidHashMapFdTable, CoversTheDescriptorsInUseNotTheWholeLimit) {
  PidHashMap map;
  map.clock = fakeClock;
  map.processExists = fakeExists;
  map.initForTableSize(PID_HASH_MAP_SIZE, 1 << 20);
  EXPECT_EQ(map.fdToPidTableSize, 1 << 20);
  EXPECT_TRUE(map.fdToPidTable.empty());

  int low[PROC_FILE_COUNT] = {open("/dev/null", O_RDONLY), -1, open("/dev/null", O_RDONLY), -1};
  alive.insert(7);
  map.addEntryFor(7, low);
  EXPECT_LE(map.fdToPidTable.size(), 256u);

  int far = dup2(low[PROC_FILE_STAT], 3000);
  ASSERT_EQ(far, 3000);
  int high[PROC_FILE_COUNT] = {open("/dev/null", O_RDONLY), -1, far, -1};
  alive.insert(8);
  map.addEntryFor(8, high);
  EXPECT_GT(map.fdToPidTable.size(), 3000u);
  EXPECT_LT(map.fdToPidTable.size(), 8192u);
  EXPECT_EQ(map.fdToPidTable[3000], 8);
  EXPECT_EQ(map.lookup(7)->processId, 7);  // the earlier slots survived the growth
  map.removeEntryForPid(8);
  EXPECT_EQ(map.fdToPidTable[3000], -1);
  EXPECT_FALSE(isOpen(3000));
  map.removeEntryForPid(7);
}

}  // namespace
