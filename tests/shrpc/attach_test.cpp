// Attaching real System V segments laid out as caches: permissions, the checks
// of the attach sequence, the view, read-only mapping, detach and liveness.
#include <errno.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "monitor/tallymgr.h"
#include "netinfo/netinfo.h"
#include "shrpc/hostshr.h"
#include "shrpc/shrpccmn.h"
#include "shrpc/tallyaccessors.h"
#include "support/cachefixture.h"

namespace {

const char CACHE_NAME[] = "kpr~ab";

std::vector<int> shmgetFlagsSeen;
int denyGroupShmget(key_t key, size_t size, int flags) {
  shmgetFlagsSeen.push_back(flags);
  if (flags & 040) {  // group bits asked for: refused as on a system that checks them
    errno = EACCES;
    return -1;
  }
  return shmget(key, size, flags);
}

class AttachTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QL_CORE_TIME_OUT", "1", 1);
    unsetenv("QL_DEBUG_SHARED_MEM");
    unsetenv("QL_DISABLE_SHMDT");
    shmgetFlagsSeen.clear();
    mgr.reset(new TallyMgr());
    memset(&SharedPageCache, 0, sizeof SharedPageCache);
  }
  void TearDown() override {
    HostShrSetShmCalls(nullptr);
    if (SharedPageCache.segAddr != nullptr) {
      testing::internal::CaptureStderr();
      HostShrMemAccessor acc(&mgr->shrMemState);
      mgr->basicDetach(acc, TRUE);
      testing::internal::GetCapturedStderr();
    }
    mgr->shrpcPtr = nullptr;
  }

  void makeCache(const TestCacheShape& shape = TestCacheShape()) {
    seg.reset(new TestCacheSegment(shape));
    ASSERT_TRUE(seg->ok()) << "cannot create a test segment: " << strerror(errno);
    LockFileSpec spec;
    spec.kind = NI_CACHE;
    spec.processId = getpid();
    spec.ftokKey = (uint32_t)seg->key();
    gdir.writeLockFile(CACHE_NAME, spec);
    seg->entry(0)->inUse = TRUE;
    seg->entry(0)->stats.processId = getpid();
    seg->entry(0)->statType = SHRPC_KIND_MONITOR;
    seg->entry(1)->inUse = TRUE;
    seg->entry(1)->stats.processId = getpid();
    seg->entry(1)->statType = SHRPC_KIND_KEEPER;
    snprintf(seg->entry(1)->processName, SHRPC_PROCESS_NAME_SIZE, "keeper");
  }

  BoolType attach() {
    mgr->shrpcPtr = &SharedPageCache;
    snprintf(SharedPageCache.locationStr, sizeof SharedPageCache.locationStr, "%s", CACHE_NAME);
    return mgr->AttachSharedCache();
  }

  void attachReportingOnStderr() {
    fflush(stdout);
    dup2(2, 1);
    attach();
  }

  TempGlobalDir gdir;  // declared first: outlives the segment's lock file
  std::unique_ptr<TestCacheSegment> seg;
  std::unique_ptr<TallyMgr> mgr;
};

TEST_F(AttachTest, OwnerReadOnlySegmentAttachesReadOnlyAndAligned) {
  makeCache();
  ASSERT_TRUE(seg->setMode(0400));
  seg->sharedCounter(1)->sharedCounterValue = 0x1234567800000009LL;
  mgr->numAppStats = 10;
  ASSERT_TRUE(attach()) << mgr->errBuf;

  const ShrPcStateSType& v = SharedPageCache;
  const char* s = v.segAddr;
  EXPECT_EQ((uintptr_t)s % 16384, 0u);
  EXPECT_EQ(mgr->shrMemState.actualSegSize, seg->size());
  EXPECT_EQ(mgr->shrMemState.threadsAttached, 1);
  EXPECT_FALSE(mgr->shrMemState.shrMemIsLocked);
  EXPECT_TRUE(v.cacheEnabled());
  EXPECT_EQ(v._disconnectLine, -1);
  EXPECT_EQ((const char*)v.configPtr, s);
  EXPECT_EQ((const char*)v.processTable, s + seg->config()->processTableOffset);
  EXPECT_EQ(v.cache.baseAddress, s + 16384);
  EXPECT_EQ(v.cache.cacheData, s + 32768);
  EXPECT_EQ(v.cache.cacheLimit, s + 32768 + 2 * 16384);
  EXPECT_EQ(v.cache.hashMask, 3u);
  EXPECT_STREQ(v.hashTableLocksPtr->lockName, "HashTable_0");
  EXPECT_STREQ(v.clockHandLockPtr->lockName, "ClockHand");
  EXPECT_EQ(v.numSharedCounters, 3);
  EXPECT_EQ(mgr->numAppStats, 3);  // clamped to the cache's counters
  EXPECT_EQ(v.sharedCounterLow32(1), 9u);
  EXPECT_EQ(v.processEntry(1)->statType, (uint32_t)SHRPC_KIND_KEEPER);

  // A stray write into the cache faults instead of corrupting it.
  EXPECT_EXIT(*(volatile char*)(v.processTable) = 1, testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(AttachTest, GroupReadRefusedThenOwnerReadFoundOnTheSecondShmget) {
  makeCache();
  ASSERT_TRUE(seg->setMode(0400));
  HostShmCalls calls = {denyGroupShmget, [](int id, const void* a, int f) { return shmat(id, a, f); },
                        [](const void* a) { return shmdt(a); }};
  HostShrSetShmCalls(&calls);
  setenv("QL_DEBUG_SHARED_MEM", "1", 1);
  testing::internal::CaptureStdout();
  BoolType ok = attach();
  std::string out = testing::internal::GetCapturedStdout();
  unsetenv("QL_DEBUG_SHARED_MEM");
  ASSERT_TRUE(ok) << mgr->errBuf;
  EXPECT_EQ(shmgetFlagsSeen, (std::vector<int>{02440, 02400}));
  EXPECT_NE(out.find("[Debug]: Shared memory debug tracing enabled\n"), std::string::npos);
  EXPECT_NE(out.find("flags 2440, errno=13\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[Debug]: shmget() succeeded with key " + std::to_string((unsigned)seg->key()) +
                     " and flags 2400.  shmid=" + std::to_string(seg->id()) + "\n"),
            std::string::npos)
      << out;
}

TEST_F(AttachTest, StrideOf512PlacesTheHotLocksFurtherApart) {
  TestCacheShape shape;
  shape.hotSpinLockSize = 512;
  makeCache(shape);
  ASSERT_TRUE(attach()) << mgr->errBuf;
  const ShrPcStateSType& v = SharedPageCache;
  const char* area = v.segAddr + seg->config()->spinLocksOffset;
  EXPECT_EQ((const char*)v.freePceLockPtr, area + 256);
  EXPECT_EQ((const char*)v.freeFrameLockPtr, area + 768);
  EXPECT_EQ((const char*)v.hashTableLocksPtr - (const char*)v.freePceLockPtr, 4 * 512 + 256);
  EXPECT_STREQ(v.freeFrameLockPtr->lockName, "FreeFrameList");
}

TEST_F(AttachTest, SizeMismatchIsCorruptionAndIsCheckedBeforeTheLevel) {
  makeCache();
  seg->config()->segmentSize = seg->size() + 16384;
  seg->config()->compatibilityLevel = 1;
  EXPECT_FALSE(attach());
  std::string msg = mgr->errBuf;
  EXPECT_NE(msg.find("   The actual size of the attached memory region, " + std::to_string(seg->size()) +
                     ", is not the same\n"),
            std::string::npos)
      << msg;
  EXPECT_NE(msg.find("memory: " + std::to_string(seg->size() + 16384) + ".  Shared memory is corrupt.\n"),
            std::string::npos)
      << msg;
  EXPECT_NE(SharedPageCache.segAddr, nullptr);  // stays mapped until the detach
}

TEST_F(AttachTest, OtherCompatibilityLevelShowsBothLevels) {
  makeCache();
  seg->config()->compatibilityLevel = 64939;
  EXPECT_FALSE(attach());
  EXPECT_STREQ(mgr->errBuf,
               "\n   Incompatible shared cache.  The shared cache monitor and this process\n"
               "   are from different versions of Quillon.\n"
               "     cachewarden process compatibility level = 64939\n"
               "     This process' shared cache compatibility level = 64940.\n");
}

TEST_F(AttachTest, UninitialisedCacheTimesOut) {
  makeCache();
  seg->config()->initDone = FALSE;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(attach());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "[ERROR]: Time out after 2 seconds waiting for cache initialization to complete.  Monitor died?\n");
}

TEST_F(AttachTest, CacheInitialisedWhileWaitingIsAccepted) {
  makeCache();
  seg->config()->initDone = FALSE;
  ShrPcConfigSType* cfg = seg->config();
  std::thread owner([cfg] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    cfg->initDone = TRUE;
  });
  BoolType ok = attach();
  owner.join();
  EXPECT_TRUE(ok) << mgr->errBuf;
}

TEST_F(AttachTest, StaleOrMissingRegistrationGivesNoKeyAndNoShmget) {
  makeCache();
  HostShmCalls calls = {denyGroupShmget, [](int id, const void* a, int f) { return shmat(id, a, f); },
                        [](const void* a) { return shmdt(a); }};
  HostShrSetShmCalls(&calls);
  LockFileSpec stale;
  stale.kind = NI_CACHE;
  stale.processId = deadPid();
  stale.ftokKey = (uint32_t)seg->key();
  gdir.writeLockFile(CACHE_NAME, stale);
  EXPECT_FALSE(attach());
  EXPECT_STREQ(mgr->errBuf, "Error reading lock file for shared cache 'kpr~ab'\n");

  unlink((gdir.lockDir() + CACHE_NAME + "..LCK").c_str());
  NetInfoResetCachesForTest();  // a stale record's key stays cached for its name
  EXPECT_FALSE(attach());
  EXPECT_EQ(std::string(mgr->errBuf), "file not found: " + gdir.lockDir() + "kpr~ab..LCK");
  EXPECT_TRUE(shmgetFlagsSeen.empty());
  EXPECT_EQ(SharedPageCache.segAddr, nullptr);
}

TEST_F(AttachTest, RemovedSegmentFailsInShmget) {
  makeCache();
  shmctl(seg->id(), IPC_RMID, nullptr);  // still exists while the fixture maps it, but the key is gone
  EXPECT_FALSE(attach());
  EXPECT_EQ(std::string(mgr->errBuf).rfind("shmget(" + std::to_string(seg->key()) + ", 0, 1312) failed with", 0),
            0u)
      << mgr->errBuf;
}

TEST_F(AttachTest, AreasBeyondTheSegmentAreRefusedBeforeAnythingIsRead) {
  makeCache();
  seg->config()->processTableOffset = seg->size() - 100;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(attach());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("process table"), std::string::npos) << out;
  EXPECT_FALSE(SharedPageCache.cacheEnabled());
}

TEST_F(AttachTest, ReattachDetachesOnceAndMapsAgain) {
  makeCache();
  ASSERT_TRUE(attach());
  testing::internal::CaptureStderr();
  ASSERT_TRUE(mgr->AttachSharedCache()) << mgr->errBuf;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tally is detaching from shared cache.\n");
  EXPECT_EQ(mgr->shrMemState.threadsAttached, 1);
  EXPECT_TRUE(SharedPageCache.cacheEnabled());
}

TEST_F(AttachTest, DetachClearsTheViewAndUnmaps) {
  makeCache();
  ASSERT_TRUE(attach());
  const char* addr = SharedPageCache.segAddr;
  testing::internal::CaptureStderr();
  {
    HostShrMemAccessor acc(&mgr->shrMemState);
    EXPECT_TRUE(mgr->basicDetach(acc, FALSE));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tally is detaching from shared cache.\n");
  EXPECT_EQ(SharedPageCache.segAddr, nullptr);
  EXPECT_FALSE(SharedPageCache.cacheEnabled());
  EXPECT_EQ(mgr->shrMemState.shrMemId.loc, nullptr);
  EXPECT_EXIT(*(volatile const char*)addr, testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(AttachTest, SecondAttachCountsUpAndNeedsTwoDetaches) {
  makeCache();
  HostShrMemStateType& st = mgr->shrMemState;
  st.initialize();
  HostShrMemAccessor acc(&st);
  SysErrorSType err;
  void* first = HostShrMemAttach(acc, CACHE_NAME, 16384, &err, TRUE);
  ASSERT_NE(first, nullptr) << err.errMsg;
  EXPECT_EQ(HostShrMemAttach(acc, CACHE_NAME, 16384, &err, TRUE), first);
  EXPECT_EQ(st.threadsAttached, 2);
  EXPECT_TRUE(HostShrMemDetach(acc, &err, nullptr));
  EXPECT_EQ(st.shrMemId.loc, first);  // still mapped
  EXPECT_EQ(*(volatile uint32_t*)first, SHRPC_COMPATIBILITY_LEVEL);
  EXPECT_TRUE(HostShrMemDetach(acc, &err, nullptr));
  EXPECT_EQ(st.threadsAttached, 0);
  EXPECT_EQ(st.shrMemId.loc, nullptr);
  EXPECT_TRUE(HostShrMemDetach(acc, &err, nullptr));  // nothing attached: nothing to do
}

TEST_F(AttachTest, DisabledShmdtLeavesTheMappingButReadsDetached) {
  makeCache();
  HostShrMemStateType& st = mgr->shrMemState;
  st.initialize();
  HostShrMemAccessor acc(&st);
  SysErrorSType err;
  void* addr = HostShrMemAttach(acc, CACHE_NAME, 16384, &err, TRUE);
  ASSERT_NE(addr, nullptr) << err.errMsg;
  setenv("QL_DISABLE_SHMDT", "1", 1);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(HostShrMemDetach(acc, &err, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[Info]: Skipping shared memory segment detach system call shmdt()\n");
  unsetenv("QL_DISABLE_SHMDT");
  EXPECT_EQ(st.shrMemId.loc, nullptr);
  EXPECT_EQ(st.threadsAttached, 0);
  EXPECT_EQ(*(volatile uint32_t*)addr, SHRPC_COMPATIBILITY_LEVEL);  // still mapped
  shmdt(addr);
}

TEST_F(AttachTest, LivenessOfTheMonitorAndTheKeeper) {
  makeCache();
  ASSERT_TRUE(attach());
  EXPECT_FALSE(mgr->shouldDie());

  seg->entry(0)->stats.processId = 1;  // another user's process: alive
  if (geteuid() != 0) {
    EXPECT_FALSE(mgr->cachewardenDied());
  }

  pid_t gone = deadPid();
  seg->entry(0)->stats.processId = gone;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(mgr->cachewardenDied());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Shutting down due to loss of cachewarden process " + std::to_string(gone) + "\n");
  mgr->quietMode = TRUE;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(mgr->shouldDie());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  seg->entry(0)->stats.processId = getpid();
  seg->entry(1)->stats.processId = -1;  // keeper gone
  EXPECT_TRUE(mgr->shouldDie());
  seg->entry(1)->stats.processId = getpid();
  EXPECT_FALSE(mgr->shouldDie());
  SharedPageCache.clearCacheEnabled(__LINE__);
  EXPECT_TRUE(mgr->shouldDie());
  seg->entry(0)->stats.processId = -1;
  EXPECT_TRUE(mgr->cachewardenDied());
}

TEST_F(AttachTest, AccessorsListProcessesOfAKind) {
  makeCache();
  seg->entry(2)->inUse = TRUE;
  seg->entry(2)->statType = SHRPC_KIND_KEEPER;
  seg->entry(2)->stats.processId = getpid();
  memset(seg->entry(2)->processName, 'p', SHRPC_PROCESS_NAME_SIZE);  // no terminator
  seg->entry(3)->inUse = FALSE;
  seg->entry(3)->statType = SHRPC_KIND_KEEPER;
  seg->entry(3)->stats.processId = getpid();
  ASSERT_TRUE(attach());

  int inst[4];
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_KEEPER, inst, 4), 2);
  EXPECT_EQ(inst[0], 1);
  EXPECT_EQ(inst[1], 2);
  EXPECT_EQ(inst[2], -1);
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_KEEPER, inst, 1), 2);
  EXPECT_EQ(inst[0], 1);
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_KEEPER, nullptr, 0), 2);
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_ENVOY, inst, 4), 0);
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_TALLY, inst, 2), 1);
  EXPECT_EQ(inst[0], 2147483647);
  EXPECT_EQ(inst[1], -1);
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_APP, inst, 2), 1);
  EXPECT_EQ(inst[0], 2147483646);

  EXPECT_STREQ(TallyGetInstanceName(2147483647), "Tally");
  EXPECT_STREQ(TallyGetInstanceName(2147483646), "Application");
  EXPECT_STREQ(TallyGetInstanceName(1), "keeper");
  EXPECT_EQ(std::string(TallyGetInstanceName(2)), std::string(32, 'p'));
  EXPECT_DEATH(TallyGetInstanceName(4), "UTL_GUARANTEE failed");
}

std::vector<std::pair<std::string, std::string>> cachesSeen;
void noteCache(const char* display, const char* name) { cachesSeen.emplace_back(display, name); }

TEST_F(AttachTest, ForeachCacheReportsLiveCachesOfThisVersion) {
  LockFileSpec cache;
  cache.kind = NI_CACHE;
  cache.processId = getpid();
  cache.ftokKey = 5;
  gdir.writeLockFile("kpr~ab", cache);
  cache.version = "1.0";
  gdir.writeLockFile("old~cd", cache);
  LockFileSpec keeper;
  keeper.processId = getpid();
  gdir.writeLockFile("kpr", keeper);
  cachesSeen.clear();
  EXPECT_TRUE(TallyForeachCache(nullptr, nullptr, 0));
  char errText[64];
  EXPECT_TRUE(TallyForeachCache(noteCache, errText, sizeof errText));
  ASSERT_EQ(cachesSeen.size(), 1u);
  EXPECT_EQ(cachesSeen[0].first, "kpr");
  EXPECT_EQ(cachesSeen[0].second, "kpr~ab");
}

// --- record-size and lock-name mismatches stop the program ------------------------------

TEST_F(AttachTest, RecordSizeMismatchIsAnInternalError) {
  makeCache();
  seg->config()->pteSize = 55712;
  // The report goes to standard output; the dying child sends it to stderr for the matcher.
  EXPECT_DEATH(attachReportingOnStderr(),
               "ERROR in sizeof aPte,  my size 55704, cache's size 55712 , file shrpccmn line 6");
  seg->config()->pteSize = 55704;
  seg->config()->hotSpinLockSize = 384;
  EXPECT_DEATH(attachReportingOnStderr(), "ERROR in sizeof hotSpinLocksSize,  my size 2304, cache's size 1792");
}

TEST_F(AttachTest, LockNameMismatchIsAnInternalError) {
  makeCache();
  ShrPcMiscDataSType* misc = (ShrPcMiscDataSType*)(seg->base() + seg->config()->miscDataOffset);
  snprintf(misc->checkpointInfo.lock.lockName, HOST_SHR_LOCK_NAME_SIZE, "Checkpoint");
  EXPECT_DEATH(attach(), "UTL_GUARANTEE failed");
}

// --- the aligned attach, with the system calls replaced ----------------------------------

std::vector<uintptr_t> shmatAddrs;
uintptr_t acceptAt = 0;
void* fakeShmat(int, const void* addr, int) {
  shmatAddrs.push_back((uintptr_t)addr);
  if (addr == nullptr) return (void*)(uintptr_t)0x7f0000005000ULL;  // misaligned
  if ((uintptr_t)addr == acceptAt) return (void*)addr;
  errno = EINVAL;
  return (void*)-1;
}
int fakeShmdt(const void*) { return 0; }

TEST(AlignerTest, MisalignedMappingIsRetriedAtAlignedCandidates) {
  const uintptr_t a = 16384;
  const uintptr_t base = 0x7f0000008000ULL;  // 0x7f0000005000 rounded up to 16384
  HostShmCalls calls = {nullptr, fakeShmat, fakeShmdt};
  HostShrSetShmCalls(&calls);
  HostShrMemStateType st;
  st.initialize();
  SysErrorSType err;

  shmatAddrs.clear();
  acceptAt = base + 6 * a;
  EXPECT_EQ((uintptr_t)unixMemAttach(&st, 7, nullptr, 16384, &err), base + 6 * a);
  EXPECT_EQ(shmatAddrs, (std::vector<uintptr_t>{0, base, base - a, base + 2 * a, base + 6 * a}));
  EXPECT_EQ((uintptr_t)st.shrMemId.loc, base + 6 * a);
  EXPECT_EQ(st.shrMemIsLocked, FALSE);

  // With the default read-only flags, each attempt asks for SHM_RDONLY.
  shmatAddrs.clear();
  acceptAt = base;
  EXPECT_EQ((uintptr_t)unixMemAttach(&st, 7, nullptr, 16384, &err), base);
  EXPECT_EQ(shmatAddrs.size(), 2u);

  // When no candidate can be mapped the search ends once the addresses run out.
  shmatAddrs.clear();
  acceptAt = 1;  // never
  err.initialize();
  EXPECT_EQ(unixMemAttach(&st, 7, nullptr, 16384, &err), nullptr);
  EXPECT_GT(shmatAddrs.size(), 5u);
  EXPECT_LT(shmatAddrs.size(), 64u);
  EXPECT_EQ(st.shrMemId.loc, nullptr);
  HostShrSetShmCalls(nullptr);
}

TEST(AlignerTest, FailedFirstShmatEndsTheAttach) {
  HostShmCalls calls = {nullptr,
                        [](int, const void*, int) -> void* {
                          errno = EACCES;
                          return (void*)-1;
                        },
                        fakeShmdt};
  HostShrSetShmCalls(&calls);
  HostShrMemStateType st;
  st.initialize();
  SysErrorSType err;
  EXPECT_EQ(unixMemAttach(&st, 9, nullptr, 16384, &err), nullptr);
  EXPECT_EQ(err.errNum(), EACCES);
  EXPECT_STREQ(err.errMsg, "shmat( 9 , 0x(nil), 0x1000)");
  HostShrSetShmCalls(nullptr);
}

}  // namespace
