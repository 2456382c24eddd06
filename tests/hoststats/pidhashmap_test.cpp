#include "hoststats/pidhashmap.h"

#include "hoststats/hostprocess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

namespace {

HostHrtime_t fakeNow = 0;
HostHrtime_t fakeClock() { return fakeNow; }
std::set<int> alivePids;
BoolType fakeExists(int pid) { return alivePids.count(pid) ? TRUE : FALSE; }

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

// Descriptors of /dev/null standing in for a process's /proc files; the optional
// io and schedstat files are left out.
struct FakeFiles {
  int fds[PROC_FILE_COUNT] = {-1, -1, -1, -1};
  FakeFiles() {
    fds[PROC_FILE_STAT] = open("/dev/null", O_RDONLY);
    fds[PROC_FILE_STATUS] = open("/dev/null", O_RDONLY);
  }
};

class PidHashMapTest : public ::testing::Test {
 protected:
  PidHashMap map;
  void SetUp() override {
    fakeNow = 1000000000LL;
    alivePids.clear();
    map.clock = fakeClock;
    map.processExists = fakeExists;
    map.initForTableSize(PID_HASH_MAP_SIZE);
  }
  PidHashEntry* add(int pid, FakeFiles* files = nullptr) {
    FakeFiles local;
    FakeFiles& f = files ? *files : local;
    alivePids.insert(pid);
    return map.addEntryFor(pid, f.fds);
  }
};

TEST(PowerOf2, RoundsUpToAPowerOfTwo) {
  EXPECT_EQ(UtlPowerOf2GreaterThan(0), 1u);
  EXPECT_EQ(UtlPowerOf2GreaterThan(1), 1u);
  EXPECT_EQ(UtlPowerOf2GreaterThan(3), 4u);
  EXPECT_EQ(UtlPowerOf2GreaterThan(4096), 4096u);
  EXPECT_EQ(UtlPowerOf2GreaterThan(4097), 8192u);
}

TEST_F(PidHashMapTest, PidsSharingABucketStayFindableAsTheFirstIsRemoved) {
  FakeFiles a, b;
  int p1 = 100, p2 = 100 + 4096;
  ASSERT_EQ(map.hashPid(p1), map.hashPid(p2));
  int freeBefore = map.freePool.countFree();
  PidHashEntry* e1 = add(p1, &a);
  PidHashEntry* e2 = add(p2, &b);
  EXPECT_EQ(e1, &map.table[100]);  // the first lives in the bucket itself
  EXPECT_NE(e2, &map.table[100]);  // the second is chained from the pool
  EXPECT_EQ(map.freePool.countFree(), freeBefore - 1);
  EXPECT_EQ(map.lookup(p1), e1);
  EXPECT_EQ(map.lookup(p2), e2);

  map.removeEntryForPid(p1);
  EXPECT_FALSE(isOpen(a.fds[PROC_FILE_STAT]));
  EXPECT_FALSE(isOpen(a.fds[PROC_FILE_STATUS]));
  EXPECT_EQ(map.lookup(p1), nullptr);
  PidHashEntry* moved = map.lookup(p2);
  ASSERT_EQ(moved, &map.table[100]);  // the chained entry moved into the bucket
  EXPECT_EQ(moved->fds[PROC_FILE_STAT], b.fds[PROC_FILE_STAT]);
  EXPECT_EQ(moved->next, nullptr);
  EXPECT_EQ(map.freePool.countFree(), freeBefore);  // its pool entry went back
  EXPECT_TRUE(isOpen(b.fds[PROC_FILE_STAT]));
  EXPECT_EQ(map.fdToPidTable[b.fds[PROC_FILE_STAT]], p2);
  EXPECT_EQ(map.fdToPidTable[a.fds[PROC_FILE_STAT]], -1);
  EXPECT_EQ(map.numEntries, 1);

  map.removeEntryForPid(p2);
  EXPECT_EQ(map.lookup(p2), nullptr);
  EXPECT_EQ(map.numEntries, 0);
  EXPECT_EQ(map.listOfPids.numActive, 0);
}

TEST_F(PidHashMapTest, RemovingFromTheMiddleOfAChainUnlinksOnlyThatEntry) {
  int pids[3] = {7, 7 + 4096, 7 + 2 * 4096};
  for (int p : pids) add(p);
  map.removeEntryForPid(pids[1]);
  EXPECT_NE(map.lookup(pids[0]), nullptr);
  EXPECT_EQ(map.lookup(pids[1]), nullptr);
  EXPECT_NE(map.lookup(pids[2]), nullptr);
  EXPECT_EQ(map.numEntries, 2);
  map.removeEntryForPid(pids[0]);
  map.removeEntryForPid(pids[2]);
  EXPECT_EQ(map.numEntries, 0);
}

TEST_F(PidHashMapTest, RemovingAnAbsentPidChangesNothing) {
  FakeFiles f;
  add(300, &f);
  int freeBefore = map.freePool.countFree();
  map.removeEntryForPid(301);          // empty bucket
  map.removeEntryForPid(300 + 4096);   // occupied bucket, not in its chain
  EXPECT_EQ(map.numEntries, 1);
  EXPECT_EQ(map.freePool.countFree(), freeBefore);
  EXPECT_NE(map.lookup(300), nullptr);
  EXPECT_TRUE(isOpen(f.fds[PROC_FILE_STAT]));
  EXPECT_EQ(map.listOfPids.numActive, 1);
  map.removeEntryForPid(300);
}

TEST_F(PidHashMapTest, PoolGrowsByBlocksWhenOneChainOutgrowsIt) {
  const int none[PROC_FILE_COUNT] = {-1, -1, -1, -1};
  // Transient entries hold no descriptors, so a long chain costs no files.
  for (int i = 0; i <= PID_FREE_POOL_BLOCK + 1; i++) map.addEntryFor(5 + i * 4096, none, TRUE);
  EXPECT_EQ(map.freePool.blocks.size(), 2u);
  EXPECT_EQ(map.numEntries, PID_FREE_POOL_BLOCK + 2);
  EXPECT_NE(map.lookup(5 + PID_FREE_POOL_BLOCK * 4096), nullptr);
  for (int i = 0; i <= PID_FREE_POOL_BLOCK + 1; i++) map.removeEntryForPid(5 + i * 4096);
  EXPECT_EQ(map.numEntries, 0);
  EXPECT_EQ(map.freePool.countFree(), 2 * PID_FREE_POOL_BLOCK);
}

TEST_F(PidHashMapTest, ASecondInitLeavesTheMapAlone) {
  add(42);
  map.initForTableSize(16, 8);
  EXPECT_EQ(map.tableSize, PID_HASH_MAP_SIZE);
  EXPECT_EQ(map.fdToPidTableSize, PID_FD_TABLE_DEFAULT_SIZE);
  EXPECT_NE(map.lookup(42), nullptr);
  map.removeEntryForPid(42);
}

TEST_F(PidHashMapTest, CleanupRunsAtMostEveryTwoSecondsAndClosesTheFilesOfTheDead) {
  FakeFiles dead, living;
  add(500, &dead);
  add(600, &living);
  add(700);
  alivePids.erase(500);

  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS - 1;  // not yet due
  EXPECT_EQ(map.cleanupDeadPids(), 0);
  EXPECT_NE(map.lookup(500), nullptr);
  EXPECT_TRUE(isOpen(dead.fds[PROC_FILE_STAT]));

  fakeNow += 1;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  EXPECT_EQ(map.lookup(500), nullptr);
  EXPECT_FALSE(isOpen(dead.fds[PROC_FILE_STAT]));
  EXPECT_TRUE(isOpen(living.fds[PROC_FILE_STAT]));
  EXPECT_EQ(map.numDeadCleanedUp, 1u);

  alivePids.erase(700);
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS / 2;  // the next is due 2 s after the last
  EXPECT_EQ(map.cleanupDeadPids(), 0);
  fakeNow += DEAD_PID_CLEANUP_INTERVAL_NS / 2;
  EXPECT_EQ(map.cleanupDeadPids(), 1);
  EXPECT_EQ(map.lookup(700), nullptr);
  ASSERT_EQ(map.listOfPids.numActive, 1);
  EXPECT_EQ(map.listOfPids.activePids[0], 600);
  map.removeEntryForPid(600);
}

TEST(PidListTest, SplitsLivingAndDeadInOrderAndGrows) {
  PidList list;
  list.initForSize(2);
  for (int pid : {11, 12, 13, 14, 15}) list.addPid(pid);
  EXPECT_EQ(list.listAllocSize, 8);
  alivePids = {12, 15};
  EXPECT_EQ(list.removeDeadProcesses(fakeExists), 3);
  ASSERT_EQ(list.numActive, 2);
  EXPECT_EQ(list.activePids[0], 12);
  EXPECT_EQ(list.activePids[1], 15);
  ASSERT_EQ(list.numInactive, 3);
  EXPECT_EQ(list.inactivePids[0], 11);
  EXPECT_EQ(list.inactivePids[1], 13);
  EXPECT_EQ(list.inactivePids[2], 14);
  list.removePid(12);
  list.removePid(99);
  ASSERT_EQ(list.numActive, 1);
  EXPECT_EQ(list.activePids[0], 15);
}

TEST(HostProcessExistsTest, SeesOurselvesAndNotAReapedChild) {
  EXPECT_TRUE(HostProcessExists(getpid()));
  EXPECT_TRUE(HostProcessExists(1));  // not ours to signal, but it exists
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_FALSE(HostProcessExists(child));
}

}  // namespace
