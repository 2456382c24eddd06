#include "shrpc/shrpccmn.h"

#include <cstdio>
#include <cstring>

#include "host/hosttime.h"
#include "host/utlexit.h"
#include "shrpc/hostshrlock.h"

ShrPcStateSType SharedPageCache;

ShrPcStateSType* PageCacheGetShrCache() { return &SharedPageCache; }

const char* shrpcProcKindToString(uint32_t kind) {
  switch (kind) {
    case SHRPC_KIND_MONITOR: return "Monitor";
    case SHRPC_KIND_KEEPER: return "Keeper";
    case SHRPC_KIND_PGSVR: return "Pgsvr";
    case SHRPC_KIND_ENVOY: return "Envoy";
    case SHRPC_KIND_TALLY: return "Tally";
    case SHRPC_KIND_APP: return "App";
    case SHRPC_KIND_HOST: return "Host";
    default: return "";
  }
}

void ShrPcStateSType::setCacheEnabled() {
  _cacheEnabled = true;
  _disconnectLine = -1;
}

void ShrPcStateSType::clearCacheEnabled(int line) {
  if (_cacheEnabled) _disconnectLine = line;
  _cacheEnabled = false;
  HostAsmFence();
}

BoolType ShrPcConfigSType::waitForCacheInit(int timeoutMs) const {
  if (initDone) return TRUE;
  const HostHrtime_t start = HostGetNanoTime();
  const int64_t limitNs = (int64_t)timeoutMs * 1000000;
  while (!initDone && HostGetNanoTime() - start < limitNs) {
    HostNanoSleep(50 * 1000000LL);
  }
  return initDone ? TRUE : FALSE;
}

namespace {

// A record size of the cache that differs from this program's means a cache
// built from another layout: nothing in it can be trusted.
void checkSize(const char* what, long mySize, long cacheSize, int checkLine) {
  if (mySize == cacheSize) return;
  printf("ERROR in sizeof %s,  my size %ld, cache's size %ld , %s line %d \n", what, mySize, cacheSize,
         "file shrpccmn", checkLine);
  fflush(stdout);
  UTL_GUARANTEE(mySize == cacheSize);
}

void checkLockName(const HostShrSpinLockSType* lock, const char* expected) {
  size_t len = strlen(expected);
  if (strncmp(lock->lockName, expected, len) == 0) return;
  printf("ERROR: shared cache lock named '%.*s' where '%s' was expected\n", HOST_SHR_LOCK_NAME_SIZE, lock->lockName,
         expected);
  fflush(stdout);
  UTL_GUARANTEE(strncmp(lock->lockName, expected, len) == 0);
}

// The record sizes of the configuration against this program's, in the order
// in which they are checked (the number identifies the check in the report).
struct SizeCheck {
  const char* name;
  long mySize;
  long cacheSize;
  int line;
};

// Every area the view points at must lie inside the segment before anything
// in it is read, or even addressed; the offsets come from another process.
struct AreaCheck {
  const char* name;
  uint64_t offset;
  int64_t count;
  uint64_t recordSize;
};

bool areasFit(const ShrPcConfigSType& cfg, const ShrPcHotLockPlacement& hot) {
  const uint64_t segSize = cfg.segmentSize;
  const AreaCheck areas[] = {
      {"page data", SHRPC_CACHE_DATA_OFFSET, cfg.numPages, (uint64_t)SHRPC_PAGE_SIZE},
      {"page-cache entries", cfg.pceOffset, cfg.num_Pces, sizeof(ShrPcPceSType)},
      {"spin locks", cfg.spinLocksOffset, 1, hot.hashTableLocks + sizeof(HostShrSpinLockSType)},
      {"frame locks", cfg.frameLocksOffset, 1, sizeof(ShrPcFrameLockSType)},
      {"process table", cfg.processTableOffset, cfg.numProcesses, sizeof(ShrPcProcessTableEntrySType)},
      {"cache state", cfg.cacheStateOffset, 1, sizeof(ShrPcCacheStateSType)},
      {"miscellaneous data", cfg.miscDataOffset, 1, sizeof(ShrPcMiscDataSType)},
      {"frame history", cfg.frameHistoryOffset, 1, sizeof(ShrPcFrameHistorySType)},
      {"frame ages", cfg.frameAgeOffset, 1, sizeof(ShrPcFrameAgeType)},
      {"shared counters", cfg.sharedCountersOffset, cfg.numSharedCounters, sizeof(ShrPcSharedCounterSType)},
      {"scan-pinned pages", cfg.scanPinnedPagesOffset, 0, 1},
      {"cache limit", cfg.cacheLimitOffset - 4, 1, 4},
  };
  for (const AreaCheck& a : areas) {
    bool ok = a.count >= 0 && a.offset <= segSize && (uint64_t)a.count <= (segSize - a.offset) / a.recordSize;
    if (!ok) {
      printf("ERROR: shared cache area %s at offset %lu (%ld records of %lu bytes) lies outside the %lu-byte segment\n",
             a.name, (unsigned long)a.offset, (long)a.count, (unsigned long)a.recordSize, (unsigned long)segSize);
      fflush(stdout);
      return false;
    }
  }
  // Slots 0 and 1 (monitor and keeper) are read by the liveness test.
  return cfg.hashTableSize >= 1 && cfg.numProcesses >= 2;
}

}  // namespace

void ShrPcCopyConfig(ShrPcStateSType* shrpcPtr) {
  UTL_GUARANTEE(shrpcPtr->segAddr != nullptr);
  HostAsmFence();
  memcpy(static_cast<void*>(&shrpcPtr->config), shrpcPtr->segAddr, sizeof shrpcPtr->config);
  HostAsmFence();
}

BoolType ShrPcInit(ShrPcStateSType* shrpcPtr, const ShrPcConfigSType* configInfoPtr, BoolType isMonitor) {
  const char* seg = shrpcPtr->segAddr;
  UTL_GUARANTEE(seg != nullptr && (const char*)configInfoPtr == seg);
  shrpcPtr->configPtr = configInfoPtr;
  // From here on only the private copy is read: the segment's section may change
  // under us at any moment.
  const ShrPcConfigSType& cfg = shrpcPtr->config;
  const ShrPcHotLockPlacement hot = shrpcHotLockPlacement(cfg.spinLockSize, cfg.hotSpinLockSize);

  const SizeCheck sizes[] = {
      {"aPce", sizeof(ShrPcPceSType), cfg.pceSize, 1},
      {"miscData", sizeof(ShrPcMiscDataSType), cfg.miscDataSize, 2},
      {"spinLock", sizeof(HostShrSpinLockSType), cfg.spinLockSize, 3},
      // The distance from the first hot lock to the first hash table lock.
      {"hotSpinLocksSize", (long)hot.expectedDistance, (long)hot.configuredDistance, 4},
      {"frameLock", sizeof(ShrPcFrameLockSType), cfg.frameLockSize, 5},
      {"aPte", sizeof(ShrPcProcessTableEntrySType), cfg.pteSize, 6},
      {"cacheState", sizeof(ShrPcCacheStateSType), cfg.cacheStateSize, 7},
      {"aFrameHistory", sizeof(ShrPcFrameHistorySType), cfg.frameHistEntrySize, 8},
      {"aFrameAge", sizeof(ShrPcFrameAgeType), cfg.aFrameAgeSize, 9},
      {"sharedCounter", sizeof(ShrPcSharedCounterSType), cfg.sharedCounterSize, 10},
  };
  for (const SizeCheck& c : sizes) checkSize(c.name, c.mySize, c.cacheSize, c.line);

  // No address is formed before every area is known to lie inside the segment.
  if (!areasFit(cfg, hot)) return FALSE;

  ShrPageCacheSType& cache = shrpcPtr->cache;
  cache.baseAddress = seg + SHRPC_BASE_ADDRESS_OFFSET;
  cache.fakePagePtr = cache.baseAddress;
  cache.cacheData = seg + SHRPC_CACHE_DATA_OFFSET;
  cache.cacheLimit = cache.cacheData + (uint64_t)cfg.numPages * SHRPC_PAGE_SIZE;
  cache.pces = (const ShrPcPceSType*)(seg + cfg.pceOffset);
  shrpcPtr->miscDataPtr = (const ShrPcMiscDataSType*)(seg + cfg.miscDataOffset);
  shrpcPtr->shrHstLogPtr = nullptr;
  shrpcPtr->scanPinnedBitArray = (const uint8_t*)(seg + cfg.scanPinnedPagesOffset);
  shrpcPtr->spinLockCount = (int)cfg.spinLockCount;
  const char* spinArea = seg + cfg.spinLocksOffset;
  const char* firstHot = spinArea + hot.firstHotLock;
  shrpcPtr->freePceLockPtr = (const HostShrSpinLockSType*)firstHot;
  shrpcPtr->freeFrameLockPtr = (const HostShrSpinLockSType*)(firstHot + hot.stride);
  shrpcPtr->clockHandLockPtr = (const HostShrSpinLockSType*)(firstHot + 2 * hot.stride);
  shrpcPtr->shrHstLogLockPtr = (const HostShrSpinLockSType*)(firstHot + 3 * hot.stride);
  shrpcPtr->hashTableLocksPtr = (const HostShrSpinLockSType*)(spinArea + hot.hashTableLocks);
  shrpcPtr->pageFrameLocksPtr = (const ShrPcFrameLockSType*)(seg + cfg.frameLocksOffset);
  shrpcPtr->processTable = (const ShrPcProcessTableEntrySType*)(seg + cfg.processTableOffset);
  cache.statePtr = (const ShrPcCacheStateSType*)(seg + cfg.cacheStateOffset);
  shrpcPtr->frameHistoryPtr = (const ShrPcFrameHistorySType*)(seg + cfg.frameHistoryOffset);
  shrpcPtr->frameAgePtr = (const ShrPcFrameAgeType*)(seg + cfg.frameAgeOffset);
  shrpcPtr->sharedCountersPtr = (const ShrPcSharedCounterSType*)(seg + cfg.sharedCountersOffset);
  shrpcPtr->numSharedCounters = cfg.numSharedCounters;

  // Touch the last word of the mapped structures: the whole range must be readable.
  volatile uint32_t lastWord = *(const volatile uint32_t*)(seg + cfg.cacheLimitOffset - 4);
  (void)lastWord;

  cache.hashMask = (uint32_t)(cfg.hashTableSize - 1);
  cache.extentIdHashBits = configInfoPtr->extentIdHashBits;
  cache.clockHandLimit = (uint64_t)cfg.numPages * SHRPC_PAGE_SIZE;
  cache.inTransaction = 0;

  if (!isMonitor) {
    char name[HOST_SHR_LOCK_NAME_SIZE];
    checkLockName(&shrpcPtr->miscDataPtr->globalSessionStatsLock, SHRPC_LOCKNAME_GLOBAL_STATS);
    checkLockName(&shrpcPtr->miscDataPtr->checkpointInfo.lock, SHRPC_LOCKNAME_CHKPT_INFO);
    checkLockName(shrpcPtr->freePceLockPtr, SHRPC_LOCKNAME_FREE_PCE);
    checkLockName(shrpcPtr->freeFrameLockPtr, SHRPC_LOCKNAME_FREE_FRAME);
    checkLockName(shrpcPtr->clockHandLockPtr, SHRPC_LOCKNAME_CLOCK_HAND);
    snprintf(name, sizeof name, SHRPC_LOCKNAME_HASH_TABLE_FMT, 0);
    checkLockName(shrpcPtr->hashTableLocksPtr, name);
    snprintf(name, sizeof name, SHRPC_LOCKNAME_FRAME_LOCK_FMT, 0);
    checkLockName(shrpcPtr->pageFrameLocksPtr, name);
  }

  shrpcPtr->pageCreationOriginThisCache = 0;
  shrpcPtr->pageCacheHitOriginThisCache = 0;
  return TRUE;
}
