// Attaching real System V segments laid out as caches: the owner-only retry, the
// view and its read-only mapping, hostile layouts, detach, and liveness. The
// refusals a user meets (size, level, initialisation) are shown end to end.
#include <errno.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "monitor/tallymgr.h"
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
const HostShmCalls recordingCalls = {denyGroupShmget, [](int id, const void* a, int f) { return shmat(id, a, f); },
                                     [](const void* a) { return shmdt(a); }};

class AttachTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QL_CORE_TIME_OUT", "1", 1);
    shmgetFlagsSeen.clear();
    memset(&SharedPageCache, 0, sizeof SharedPageCache);
    ASSERT_NE(seg.base, nullptr) << "cannot create a test segment";
    gdir.writeLockFile(CACHE_NAME, liveLock(NI_CACHE, (uint32_t)seg.key));
  }
  void TearDown() override {
    HostShrSetShmCalls(nullptr);
    if (SharedPageCache.segAddr != nullptr) {
      stderrOf([this] {
        HostShrMemAccessor acc(&mgr.shrMemState);
        mgr.basicDetach(acc, TRUE);
      });
    }
    mgr.shrpcPtr = nullptr;
  }

  BoolType attach() {
    mgr.shrpcPtr = &SharedPageCache;
    snprintf(SharedPageCache.locationStr, sizeof SharedPageCache.locationStr, "%s", CACHE_NAME);
    return mgr.AttachSharedCache();
  }

  TempGlobalDir gdir;  // declared first: outlives the segment
  TestCache seg{gdir.path()};  // registered under CACHE_NAME
  TallyMgr mgr;
};

TEST_F(AttachTest, OwnerOnlySegmentIsFoundOnTheSecondRequestMappedReadOnlyAndUnmappedByADetach) {
  struct shmid_ds ds;
  ASSERT_EQ(shmctl(seg.shmid, IPC_STAT, &ds), 0);
  ds.shm_perm.mode = 0400;
  ASSERT_EQ(shmctl(seg.shmid, IPC_SET, &ds), 0);
  ((HostShrSpinLockSType*)(seg.base + seg.config->sharedCountersOffset))[1].sharedCounterValue =
      0x1234567800000009LL;
  mgr.numAppStats = 10;
  HostShrSetShmCalls(&recordingCalls);
  ASSERT_TRUE(attach()) << mgr.errBuf;
  EXPECT_EQ(shmgetFlagsSeen, (std::vector<int>{02440, 02400}));

  const ShrPcStateSType& v = SharedPageCache;
  const char* s = v.segAddr;
  const ShrPcConfigSType* cfg = seg.config;
  EXPECT_EQ((uintptr_t)s % 16384, 0u);
  EXPECT_EQ(mgr.shrMemState.threadsAttached, 1);
  EXPECT_EQ((const char*)v.processTable, s + cfg->processTableOffset);
  EXPECT_EQ(v.cache.cacheData, s + 32768);
  EXPECT_EQ(v.cache.cacheLimit, s + 32768 + (uint64_t)cfg->numPages * 16384);
  EXPECT_EQ(v.cache.hashMask, (uint32_t)cfg->hashTableSize - 1);
  EXPECT_STREQ(v.clockHandLockPtr->lockName, "ClockHand");
  EXPECT_EQ(mgr.numAppStats, 8);  // clamped to the cache's counters
  EXPECT_EQ(v.sharedCounterLow32(1), 9u);
  EXPECT_STREQ(v.processEntry(1)->processName, "keeper");

  EXPECT_EXIT(*(volatile char*)(v.processTable) = 1, testing::KilledBySignal(SIGSEGV), "");  // a stray write

  stderrOf([this] {  // a detach unmaps
    HostShrMemAccessor acc(&mgr.shrMemState);
    EXPECT_TRUE(mgr.basicDetach(acc, FALSE));
  });
  EXPECT_FALSE(SharedPageCache.segAddr != nullptr || SharedPageCache.cacheEnabled());
  EXPECT_EXIT(*(volatile const char*)s, testing::KilledBySignal(SIGSEGV), "");
}

TEST_F(AttachTest, StaleOrMissingRegistrationGivesNoKeyAndNoShmget) {
  LockFileSpec stale = liveLock(NI_CACHE, (uint32_t)seg.key);
  stale.processId = deadPid();
  gdir.writeLockFile(CACHE_NAME, stale);
  HostShrSetShmCalls(&recordingCalls);
  EXPECT_FALSE(attach());
  EXPECT_STREQ(mgr.errBuf, "Error reading lock file for shared cache 'kpr~ab'\n");

  unlink((gdir.lockDir() + CACHE_NAME + "..LCK").c_str());
  NetInfoResetCachesForTest();  // a stale record's key stays cached for its name
  EXPECT_FALSE(attach());
  EXPECT_EQ(std::string(mgr.errBuf), "file not found: " + gdir.lockDir() + "kpr~ab..LCK");
  EXPECT_TRUE(shmgetFlagsSeen.empty());
  EXPECT_EQ(SharedPageCache.segAddr, nullptr);
}

TEST_F(AttachTest, HostileLayoutsAreRefusedOrStopTheProgram) {
  const uint64_t table = seg.config->processTableOffset;
  seg.config->processTableOffset = seg.size - 100;  // runs past the end
  testing::internal::CaptureStdout();
  EXPECT_FALSE(attach());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("process table"), std::string::npos);
  EXPECT_FALSE(SharedPageCache.cacheEnabled());
  seg.config->processTableOffset = table;

  // Another record size or lock name means another layout: an internal error.
  // The report goes to standard output; the dying child sends it to stderr for the matcher.
  auto attachReportingOnStderr = [this] {
    memset(&SharedPageCache, 0, sizeof SharedPageCache);
    fflush(stdout);
    dup2(2, 1);
    attach();
  };
  seg.config->pteSize += 8;
  EXPECT_DEATH(attachReportingOnStderr(), "ERROR in sizeof aPte,  my size 55704, cache's size 55712 , file shrpccmn line 6");
  seg.config->pteSize -= 8;
  ShrPcMiscDataSType* misc = (ShrPcMiscDataSType*)(seg.base + seg.config->miscDataOffset);
  snprintf(misc->checkpointInfo.lock.lockName, HOST_SHR_LOCK_NAME_SIZE, "Checkpoint");
  EXPECT_DEATH(attachReportingOnStderr(), "lock named 'Checkpoint' where");
}

TEST_F(AttachTest, SectionChangedWhileTheOwnerInitialisesIsCheckedAgainAndRefused) {
  // The owner grows its counts and the size it claims before it declares the
  // cache initialised (the monitor, having mapped the segment, is polling for
  // that every 50 ms): only the copy taken after that is believed, and refused.
  seg.config->initDone = FALSE;
  std::thread owner([this] {
    struct shmid_ds ds;
    waitUntil([&] { return shmctl(seg.shmid, IPC_STAT, &ds) == 0 && ds.shm_nattch >= 2; }, 2000);
    sleepMs(150);
    seg.config->segmentSize = 1ull << 40;
    seg.config->numProcesses = 0xffffffffu;
    SimSetInitDone(&seg);
  });
  BoolType attached = attach();
  owner.join();
  EXPECT_FALSE(attached);
  EXPECT_NE(std::string(mgr.errBuf).find("memory: 1099511627776.  Shared memory is corrupt."), std::string::npos)
      << mgr.errBuf;
  EXPECT_FALSE(SharedPageCache.cacheEnabled());
}

// Pids of 0 and below name no process: a probe of 0 would succeed for our own
// process group and hide a dead monitor or keeper.
TEST_F(AttachTest, LivenessOfTheMonitorAndTheKeeper) {
  ASSERT_TRUE(attach());
  EXPECT_FALSE(mgr.shouldDie());
  if (geteuid() != 0) {
    seg.entry(0)->stats.processId = 1;  // another user's process: alive
    EXPECT_FALSE(mgr.cachewardenDied());
  }
  for (int slot : {0, 1}) {  // the keeper's pid is looked at, not probed
    for (int32_t pid : slot == 0 ? std::vector<int32_t>{deadPid(), 0, INT32_MIN} : std::vector<int32_t>{0, -1}) {
      seg.entry(slot)->stats.processId = pid;
      const std::string said = slot == 0 && pid > 0 ? "Shutting down due to loss of cachewarden process " : "";
      EXPECT_EQ(stderrOf([this] { EXPECT_TRUE(mgr.shouldDie()); }), said.empty() ? "" : said + std::to_string(pid) + "\n")
          << slot << " " << pid;
    }
    seg.entry(slot)->stats.processId = getpid();
  }
  EXPECT_FALSE(mgr.shouldDie());
  SharedPageCache.clearCacheEnabled(__LINE__);
  EXPECT_TRUE(mgr.shouldDie());
}

std::vector<std::string> cachesSeen;
void noteCache(const char* display, const char* name) { cachesSeen.push_back(std::string(display) + " " + name); }

// Counts and offsets come from the copy checked at attach, not the live section
// (which hostile owners may overwrite at any time, as the end-to-end fuzz does).
TEST_F(AttachTest, ExportedAccessorsListInstancesNamesAndCachesFromTheCheckedCopy) {
  seg.entry(2)->inUse = TRUE;
  seg.entry(2)->statType = SHRPC_KIND_KEEPER;
  seg.entry(2)->stats.processId = getpid();
  memset(seg.entry(2)->processName, 'p', SHRPC_PROCESS_NAME_SIZE);  // no terminator
  seg.entry(3)->statType = SHRPC_KIND_KEEPER;                      // not in use
  seg.entry(3)->stats.processId = getpid();
  ASSERT_TRUE(attach());
  seg.config->numProcesses = 0xffffffffu;  // the live section changed after the check
  seg.config->processTableOffset = 1ull << 63;

  int inst[4];
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_KEEPER, inst, 4), 2);
  EXPECT_EQ(std::vector<int>(inst, inst + 3), (std::vector<int>{1, 2, -1}));
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_KEEPER, inst, 0), 2);  // counts beyond the room given
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_ENVOY, inst, 4), 0);
  EXPECT_EQ(TallyGetObjectInstances(SHRPC_KIND_TALLY, inst, 2), 1);
  EXPECT_EQ(inst[0], 2147483647);
  EXPECT_STREQ(TallyGetInstanceName(2147483647), "Tally");
  EXPECT_STREQ(TallyGetInstanceName(1), "keeper");
  EXPECT_EQ(std::string(TallyGetInstanceName(2)), std::string(SHRPC_PROCESS_NAME_SIZE, 'p'));

  // Only live cache registrations of this version are reported.
  LockFileSpec old = liveLock(NI_CACHE, 5);
  old.version = "1.0";
  gdir.writeLockFile("old~cd", old);
  gdir.writeLockFile("kpr", liveLock(NI_KEEPER));
  char errText[64];
  cachesSeen.clear();
  EXPECT_TRUE(TallyForeachCache(noteCache, errText, sizeof errText));
  EXPECT_EQ(cachesSeen, (std::vector<std::string>{"kpr kpr~ab"}));
}

// The aligned attach, with the system calls replaced.
std::vector<uintptr_t> shmatAddrs;
uintptr_t acceptAt = 0;
void* fakeShmat(int, const void* addr, int) {
  shmatAddrs.push_back((uintptr_t)addr);
  if (addr == nullptr && acceptAt == 0) {
    errno = EACCES;
    return (void*)-1;
  }
  if (addr == nullptr) return (void*)(uintptr_t)0x7f0000005000ULL;  // misaligned
  if ((uintptr_t)addr == acceptAt) return (void*)addr;
  errno = EINVAL;
  return (void*)-1;
}

TEST(AlignerTest, MisalignedMappingIsRetriedAtAlignedCandidates) {
  const uintptr_t a = 16384;
  const uintptr_t base = 0x7f0000008000ULL;  // 0x7f0000005000 rounded up to 16384
  HostShmCalls calls = {nullptr, fakeShmat, [](const void*) { return 0; }};
  HostShrSetShmCalls(&calls);
  HostShrMemStateType st;
  st.initialize();
  SysErrorSType err;
  shmatAddrs.clear();
  acceptAt = base + 6 * a;
  EXPECT_EQ((uintptr_t)unixMemAttach(&st, 7, nullptr, 16384, &err), base + 6 * a);
  EXPECT_EQ(shmatAddrs, (std::vector<uintptr_t>{0, base, base - a, base + 2 * a, base + 6 * a}));

  shmatAddrs.clear();  // no candidate maps: the search ends once the addresses run out
  acceptAt = 1;
  EXPECT_EQ(unixMemAttach(&st, 7, nullptr, 16384, &err), nullptr);
  EXPECT_TRUE(shmatAddrs.size() > 5 && shmatAddrs.size() < 64) << shmatAddrs.size();

  acceptAt = 0;  // a failed first request ends the attach with its reason
  err.initialize();
  EXPECT_EQ(unixMemAttach(&st, 9, nullptr, 16384, &err), nullptr);
  EXPECT_EQ(err.errNum(), EACCES);
  EXPECT_STREQ(err.errMsg, "shmat( 9 , 0x(nil), 0x1000)");
  HostShrSetShmCalls(nullptr);
}

}  // namespace
