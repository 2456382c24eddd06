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

// A pid removed from the head of a shared bucket leaves the pid chained behind
// it findable with its files open; removing absent pids changes nothing.
TEST_F(PidHashMapTest, PidsSharingABucketStayFindableAsTheFirstIsRemoved) {
  int fd1 = add(100), fd2 = add(100 + 4096);
  int freeBefore = map.freePool.countFree();
  map.removeEntryForPid(100);
  EXPECT_FALSE(isOpen(fd1));
  EXPECT_EQ(map.lookup(100), nullptr);
  ASSERT_NE(map.lookup(4196), nullptr);
  EXPECT_EQ(map.freePool.countFree(), freeBefore + 1);  // its pool entry went back
  EXPECT_EQ(map.fdToPidTable[fd2], 4196);
  EXPECT_TRUE(isOpen(fd2));
  for (int absent : {101, 100 + 2 * 4096}) map.removeEntryForPid(absent);  // empty bucket; not in the chain
  EXPECT_EQ(map.numEntries, 1);
  EXPECT_EQ(map.listOfPids.numActive, 1);
  map.removeEntryForPid(4196);
  EXPECT_FALSE(isOpen(fd2));
  EXPECT_EQ(map.numEntries, 0);
}

// Cleanup runs at most every two seconds, counted from the last cleanup, and
// probes only the processes the sample just taken did not read: a read made in
// it is as good as a probe, one made in an earlier sample proves nothing.
TEST_F(PidHashMapTest, CleanupAtMostEveryTwoSecondsClosesTheFilesOfTheDeadItDidNotRead) {
  int deadFd = add(500), livingFd = add(600);
  add(700);
  alive.erase(500);
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS - 1;
  EXPECT_EQ(map.cleanupDeadPids(), 0);  // not yet due
  EXPECT_TRUE(isOpen(deadFd));
  fakeNow += 1;
  probes = 0;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  EXPECT_EQ(probes, 3);
  EXPECT_EQ(map.lookup(500), nullptr);
  EXPECT_FALSE(isOpen(deadFd));
  EXPECT_TRUE(isOpen(livingFd));

  alive.clear();  // both end
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS - 1;
  EXPECT_EQ(map.cleanupDeadPids(), 0);
  fakeNow += 1;
  map.markRead(map.lookup(600));  // read by this sample before it ended
  probes = 0;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  EXPECT_EQ(probes, 1);
  ASSERT_EQ(map.listOfPids.numActive, 1);  // the list mirrors the map
  EXPECT_EQ(map.listOfPids.activePids[0], 600);
  EXPECT_EQ(map.numDeadCleanedUp, 2u);

  map.markRead(map.lookup(600));
  EXPECT_EQ(map.cleanupDeadPids(), 0);  // the next sample: not yet due
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS;
  EXPECT_EQ(map.cleanupDeadPids(), 1);  // the sample after that did not read it
  EXPECT_EQ(map.numEntries, 0);
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
  int low[PROC_FILE_COUNT] = {open("/dev/null", O_RDONLY), -1, open("/dev/null", O_RDONLY), -1};
  alive.insert(7);
  map.addEntryFor(7, low);
  int far = dup2(low[PROC_FILE_STAT], 3000);
  ASSERT_EQ(far, 3000);
  int high[PROC_FILE_COUNT] = {open("/dev/null", O_RDONLY), -1, far, -1};
  alive.insert(8);
  map.addEntryFor(8, high);
  EXPECT_LT(map.fdToPidTable.size(), 8192u);
  EXPECT_EQ(map.fdToPidTable[3000], 8);
  EXPECT_EQ(map.lookup(7)->processId, 7);  // the earlier slots survived the growth
  map.removeEntryForPid(8);
  EXPECT_EQ(map.fdToPidTable[3000], -1);
  EXPECT_FALSE(isOpen(3000));
  map.removeEntryForPid(7);
}

}  // namespace
