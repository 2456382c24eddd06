#include "simsegment.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "shrpc/shrpclayout.h"
#include "simformula.h"

namespace {

const int kNumPages = 16;
const int kNumPces = 64;
const int kHashTableSize = 32;  // one lock per hash table slot

uint64_t align(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

struct Areas {
  uint64_t pce, spinLocks, firstHotLock, hotStride, hashLocks, frameLocks, processTable, cacheState, miscData,
      shrHstLog, frameHistory, frameAge, sharedCounters, scanPinned, cacheLimit, segmentSize;
};

Areas planAreas(const SimOptions& opts, size_t numProcesses) {
  Areas a;
  uint64_t off = SHRPC_CACHE_DATA_OFFSET + (uint64_t)kNumPages * SHRPC_PAGE_SIZE;
  a.pce = off;
  off = align(off + (uint64_t)kNumPces * sizeof(ShrPcPceSType), 256);
  a.spinLocks = off;
  // Hot locks, then the hash table locks at the distance the readers check.
  a.firstHotLock = off + (opts.paddedHotLocks ? 256 : 0);
  a.hotStride = opts.paddedHotLocks ? 512 : 256;
  a.hashLocks = a.firstHotLock + a.hotStride * SHRPC_NUM_HOT_SPIN_LOCKS + (opts.paddedHotLocks ? 256 : 0);
  off = a.hashLocks + (uint64_t)kHashTableSize * sizeof(HostShrSpinLockSType);
  a.frameLocks = off;
  off += (uint64_t)kNumPages * sizeof(ShrPcFrameLockSType);
  a.processTable = off;
  off += numProcesses * sizeof(ShrPcProcessTableEntrySType);
  a.cacheState = align(off, 256);
  off = a.cacheState + sizeof(ShrPcCacheStateSType);
  a.miscData = align(off, 256);
  off = a.miscData + sizeof(ShrPcMiscDataSType);
  a.shrHstLog = align(off, 256);
  off = a.shrHstLog + 4096;
  a.frameHistory = off;
  off += (uint64_t)kNumPages * sizeof(ShrPcFrameHistorySType);
  a.frameAge = off;
  off += (uint64_t)kNumPages * sizeof(ShrPcFrameAgeType);
  a.sharedCounters = align(off, 256);
  off = a.sharedCounters + (uint64_t)opts.sharedCounters * sizeof(ShrPcSharedCounterSType);
  a.scanPinned = off;
  off += align(kNumPages, 64) / 8;
  a.cacheLimit = align(off, 8);
  a.segmentSize = align(a.cacheLimit, SHRPC_PAGE_SIZE);
  return a;
}

void initLock(HostShrSpinLockSType* lock, const char* name, bool hashTableLock) {
  memset(lock, 0, sizeof *lock);
  lock->ownerCacheSignature = HOST_SHR_NO_SIGNATURE;
  lock->queueOwnerCacheSignature = HOST_SHR_NO_SIGNATURE;
  lock->cleanupSignature = HOST_SHR_NO_SIGNATURE;
  lock->queueHead = HOST_SHR_QUEUE_EMPTY;
  lock->queueTail = HOST_SHR_QUEUE_EMPTY;
  lock->readInProgressPteSlot = -1;
  lock->isHashTableLock = hashTableLock ? TRUE : FALSE;
  snprintf(lock->lockName, sizeof lock->lockName, "%s", name);
}

HostShrSpinLockSType* lockAt(char* base, uint64_t offset) { return (HostShrSpinLockSType*)(base + offset); }

void layOut(const SimOptions& opts, const Areas& a, const std::vector<SimSlot>& slots, SimSegment* seg) {
  char* base = seg->base;
  memset(base, 0, seg->size);
  ShrPcConfigSType* cfg = (ShrPcConfigSType*)base;
  cfg->compatibilityLevel = opts.compatLevel;
  cfg->numPages = kNumPages;
  cfg->segmentSize = seg->size + (opts.badSize ? SHRPC_PAGE_SIZE : 0);
  cfg->num_Pces = kNumPces;
  cfg->hashTableSize = kHashTableSize;
  cfg->numSharedCounters = opts.sharedCounters;
  cfg->numProcesses = (uint32_t)slots.size();
  cfg->numSemaphores = (uint32_t)slots.size() + 2;
  cfg->spinLockCount = SHRPC_NUM_HOT_SPIN_LOCKS + kHashTableSize;
  cfg->pceOffset = a.pce;
  cfg->spinLocksOffset = a.spinLocks;
  cfg->frameLocksOffset = a.frameLocks;
  cfg->processTableOffset = a.processTable;
  cfg->cacheStateOffset = a.cacheState;
  cfg->miscDataOffset = a.miscData;
  cfg->shrHstLogOffset = a.shrHstLog;
  cfg->frameHistoryOffset = a.frameHistory;
  cfg->frameAgeOffset = a.frameAge;
  cfg->sharedCountersOffset = a.sharedCounters;
  cfg->scanPinnedPagesOffset = a.scanPinned;
  cfg->cacheLimitOffset = a.cacheLimit;
  cfg->pceSize = sizeof(ShrPcPceSType);
  cfg->spinLockSize = sizeof(HostShrSpinLockSType);
  cfg->hotSpinLockSize = (int)a.hotStride;
  cfg->frameLockSize = sizeof(ShrPcFrameLockSType);
  cfg->sharedCounterSize = sizeof(ShrPcSharedCounterSType);
  cfg->miscDataSize = sizeof(ShrPcMiscDataSType);
  cfg->pteSize = sizeof(ShrPcProcessTableEntrySType);
  cfg->cacheStateSize = sizeof(ShrPcCacheStateSType);
  cfg->frameHistEntrySize = sizeof(ShrPcFrameHistorySType);
  cfg->aFrameAgeSize = sizeof(ShrPcFrameAgeType);
  cfg->targetFreeFrameCount = kNumPages / 4;
  cfg->logBufShrMemId = -1;
  for (int i = 0; i < 256; i++) cfg->extentIdHashBits[i] = (uint32_t)i * 2654435761u;

  static const char* const hotNames[SHRPC_NUM_HOT_SPIN_LOCKS] = {SHRPC_LOCKNAME_FREE_PCE, SHRPC_LOCKNAME_FREE_FRAME,
                                                                 SHRPC_LOCKNAME_CLOCK_HAND, "ShrHstLog"};
  for (int i = 0; i < SHRPC_NUM_HOT_SPIN_LOCKS; i++)
    initLock(lockAt(base, a.firstHotLock + a.hotStride * i), hotNames[i], false);
  char name[64];
  for (int i = 0; i < kHashTableSize; i++) {
    snprintf(name, sizeof name, SHRPC_LOCKNAME_HASH_TABLE_FMT, i);
    initLock(lockAt(base, a.hashLocks + (uint64_t)i * sizeof(HostShrSpinLockSType)), name, true);
  }
  for (int i = 0; i < kNumPages; i++) {
    snprintf(name, sizeof name, SHRPC_LOCKNAME_FRAME_LOCK_FMT, i);
    initLock(lockAt(base, a.frameLocks + (uint64_t)i * sizeof(ShrPcFrameLockSType)), name, false);
  }
  for (int i = 0; i < opts.sharedCounters; i++) {
    snprintf(name, sizeof name, "SharedCounter_%d", i);
    initLock(lockAt(base, a.sharedCounters + (uint64_t)i * sizeof(ShrPcSharedCounterSType)), name, false);
  }
  ShrPcMiscDataSType* misc = (ShrPcMiscDataSType*)(base + a.miscData);
  initLock(&misc->globalSessionStatsLock, SHRPC_LOCKNAME_GLOBAL_STATS, false);
  initLock(&misc->checkpointInfo.lock, SHRPC_LOCKNAME_CHKPT_INFO, false);

  ShrPcProcessTableEntrySType* table = (ShrPcProcessTableEntrySType*)(base + a.processTable);
  for (size_t i = 0; i < slots.size(); i++) {
    ShrPcProcessTableEntrySType* e = &table[i];
    const SimSlot& s = slots[i];
    e->readingIntoFrame = e->waitingForReadIntoFrame = -1;
    e->lockedPageFrameId = -1;
    if (s.kind == 0) {  // free slot
      e->stats.processId = -1;
      e->stats.sessionId = -1;
      e->_cacheSignature = HOST_SHR_NO_SIGNATURE;
      continue;
    }
    e->inUse = s.inUse ? TRUE : FALSE;
    e->_sessionIsValid = s.sessionId >= 0 ? TRUE : FALSE;
    e->statType = s.kind;
    snprintf(e->processName, sizeof e->processName, "%s", s.name.c_str());
    e->stats.processId = s.pid;
    e->stats.sessionId = s.sessionId;
    e->_cacheSignature = ((uint64_t)i << 32) | (uint32_t)s.pid;
  }
}

// Number of 32-bit words (from processId) and 64-bit words of a kind's record.
void kindCounts(unsigned kind, const ShrPcStatsSType* st, int* n32, int* n64, const int64_t** first64) {
  *first64 = nullptr;
  *n64 = 0;
  switch (kind) {
    case SHRPC_KIND_MONITOR:
      *n32 = 2 + SHRPC_NUM_COMMON_STATS + SHRPC_MONITOR_NUM_STATS32;
      *n64 = SHRPC_MONITOR_NUM_STATS64;
      *first64 = st->u.monitor.first64BitStat();
      break;
    case SHRPC_KIND_KEEPER:
      *n32 = 2 + SHRPC_NUM_COMMON_STATS + SHRPC_KEEPER_NUM_STATS32;
      *n64 = SHRPC_KEEPER_NUM_STATS64;
      *first64 = st->u.keeper.first64BitStat();
      break;
    case SHRPC_KIND_PGSVR: *n32 = 2 + SHRPC_NUM_COMMON_STATS + SHRPC_PGSVR_NUM_STATS32; break;
    case SHRPC_KIND_ENVOY:
      *n32 = 2 + SHRPC_NUM_COMMON_STATS + SHRPC_ENVOY_NUM_STATS32;
      *n64 = SHRPC_ENVOY_NUM_STATS64;
      *first64 = st->u.envoy.first64BitStat();
      break;
    default: *n32 = 2; break;
  }
}

unsigned nextRandom() {
  static unsigned state = (unsigned)time(nullptr) ^ 0x5bd1e995u;
  state = state * 1103515245u + 12345u;
  return (state >> 16) & 7;
}

}  // namespace

bool SimCreateSegment(const SimOptions& opts, const std::string& keyFile, const std::vector<SimSlot>& slots,
                      SimSegment* seg, std::string* err) {
  Areas a = planAreas(opts, slots.size());
  int mode = opts.ownerOnly ? 0600 : 0640;
  srand((unsigned)time(nullptr) ^ (unsigned)getpid());
  int shmid = -1;
  key_t key = -1;
  for (int attempt = 0; attempt < 64 && shmid < 0; attempt++) {
    int projId = 1 + rand() % 255;
    key = ftok(keyFile.c_str(), projId);
    if (key == -1) {
      *err = std::string("ftok ") + keyFile + ": " + strerror(errno);
      return false;
    }
    shmid = shmget(key, a.segmentSize, IPC_CREAT | IPC_EXCL | mode);
    if (shmid < 0 && errno != EEXIST) {
      *err = std::string("shmget: ") + strerror(errno);
      return false;
    }
  }
  if (shmid < 0) {
    *err = "no free IPC key after 64 project ids";
    return false;
  }
  void* addr = shmat(shmid, nullptr, 0);
  if (addr == (void*)-1) {
    *err = std::string("shmat: ") + strerror(errno);
    shmctl(shmid, IPC_RMID, nullptr);
    return false;
  }
  seg->shmid = shmid;
  seg->key = key;
  seg->base = (char*)addr;
  seg->size = a.segmentSize;
  seg->config = (ShrPcConfigSType*)addr;
  layOut(opts, a, slots, seg);
  return true;
}

void SimUpdateCounters(SimSegment* seg, const std::vector<SimSlot>& slots, uint64_t t, bool deterministic) {
  ShrPcConfigSType* cfg = seg->config;
  ShrPcProcessTableEntrySType* table = (ShrPcProcessTableEntrySType*)(seg->base + cfg->processTableOffset);
  for (size_t i = 0; i < slots.size(); i++) {
    if (slots[i].kind == 0) continue;
    ShrPcStatsSType* st = &table[i].stats;
    int n32, n64;
    const int64_t* first64;
    kindCounts(slots[i].kind, st, &n32, &n64, &first64);
    volatile uint32_t* words = (volatile uint32_t*)st;
    volatile int64_t* words64 = (volatile int64_t*)first64;
    for (int w = 2; w < n32; w++) words[w] = deterministic ? SimValue32((int)i, w, t) : words[w] + nextRandom();
    for (int j = 0; j < n64; j++) words64[j] = deterministic ? SimValue64((int)i, j, t) : words64[j] + nextRandom();
  }
  ShrPcSharedCounterSType* counters = (ShrPcSharedCounterSType*)(seg->base + cfg->sharedCountersOffset);
  for (int c = 0; c < cfg->numSharedCounters; c++)
    counters[c].sharedCounterValue =
        deterministic ? SimCounterValue(c, t) : counters[c].sharedCounterValue + nextRandom();
  *(volatile uint64_t*)(seg->base + cfg->cacheStateOffset) = t;
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

void SimSetInitDone(SimSegment* seg) {
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
  seg->config->initDone = TRUE;
  __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

void SimDestroySegment(SimSegment* seg) {
  if (seg->base) shmdt(seg->base);
  seg->base = nullptr;
  seg->config = nullptr;
  if (seg->shmid >= 0) shmctl(seg->shmid, IPC_RMID, nullptr);
  seg->shmid = -1;
}
