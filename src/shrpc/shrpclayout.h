// Layout of a shared page cache segment, as far as this program reads it.
//
// The segment is created and laid out by the cache's owners (the shared cache
// monitor, the keeper, the page servers and the envoys); this program maps it
// read only. All integers are little-endian, pointer-sized and 64-bit fields are
// 8 bytes, and every offset below is fixed: each is pinned by a static_assert so
// a change to a record can never go unnoticed.
//
// Segment map:
//   0                      ShrPcConfigSType (configuration section)
//   16384                  first page frame (baseAddress, also the fake page)
//   32768                  page data: numPages frames of 16384 bytes
//   other areas            at the offsets recorded in the configuration section
//
// Spin-lock area (at spinLocksOffset): the "hot" locks in this order: free
// page-cache-entry list, free frame list, clock hand, shared history log, then
// the page hash table locks. When hotSpinLockSize > spinLockSize each hot lock
// takes two 256-byte records (stride 512) and the first starts 256 bytes into the
// area; otherwise the stride is 256 and the first starts at the area's start. The
// first hash table lock lies hotSpinLockSize * 4 (plus spinLockSize when the
// stride is 512) after the first hot lock; a cache is accepted only when that
// distance equals the one its stride implies (4 * stride, plus 256 for stride
// 512), i.e. hotSpinLockSize is 256 (stride 256) or 512 (stride 512).
// shrpcHotLockPlacement() computes the placement; writers of test segments use it
// too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/hosttypes.h"
#include "shrpc/hostshrlock.h"

// Layout version this program reads.
const uint32_t SHRPC_COMPATIBILITY_LEVEL = 64940;  // 0xFDAC
// Page frame size, and the alignment of the mapping.
const int SHRPC_PAGE_SIZE = 16384;
const uint64_t SHRPC_BASE_ADDRESS_OFFSET = 16384;  // first frame / fake page
const uint64_t SHRPC_CACHE_DATA_OFFSET = 32768;    // page data
const int SHRPC_NUM_HOT_SPIN_LOCKS = 4;            // named hot locks before the hash table locks

// Where the hot locks and the first hash table lock lie in the spin-lock area,
// in bytes from the area's start, as the configuration describes them.
struct ShrPcHotLockPlacement {
  uint64_t firstHotLock;     // 0, or spinLockSize when the stride is 512
  uint64_t stride;           // 256, or 512 when hotSpinLockSize > spinLockSize
  uint64_t hashTableLocks;   // firstHotLock + configuredDistance
  int64_t configuredDistance;  // hotSpinLockSize * 4 (+ spinLockSize for stride 512)
  int64_t expectedDistance;    // 4 * stride (+ spinLockSize for stride 512)
};
inline ShrPcHotLockPlacement shrpcHotLockPlacement(int32_t spinLockSize, int32_t hotSpinLockSize) {
  ShrPcHotLockPlacement p;
  const bool doubled = hotSpinLockSize > spinLockSize;
  p.stride = doubled ? 512 : 256;
  p.firstHotLock = doubled ? (uint64_t)(int64_t)spinLockSize : 0;
  p.configuredDistance = (int64_t)hotSpinLockSize * 4 + (doubled ? spinLockSize : 0);
  p.expectedDistance = (int64_t)p.stride * 4 + (doubled ? spinLockSize : 0);
  p.hashTableLocks = p.firstHotLock + (uint64_t)p.configuredDistance;
  return p;
}

// Process kinds (statType of a process table entry); the cache statistic types
// of the archive use the same numbers.
enum ShrPcProcKindEnum {
  SHRPC_KIND_MONITOR = 1,
  SHRPC_KIND_KEEPER = 2,
  SHRPC_KIND_PGSVR = 4,
  SHRPC_KIND_ENVOY = 8,
  SHRPC_KIND_TALLY = 16,
  SHRPC_KIND_APP = 32,
  SHRPC_KIND_HOST = 64,
};

// "Monitor", "Keeper", "Pgsvr", "Envoy", "Tally", "App", "Host"; "" for any other value.
const char* shrpcProcKindToString(uint32_t kind);

// ---------------------------------------------------------------------------
// Configuration section (1224 bytes at segment offset 0)
// ---------------------------------------------------------------------------
struct ShrPcConfigSType {
  uint32_t compatibilityLevel;     //   0 must be SHRPC_COMPATIBILITY_LEVEL
  int32_t numPages;                //   4 16384-byte page frames
  uint64_t segmentSize;            //   8 size as created; must equal the mapped size
  int32_t num_Pces;                //  16 page-cache entries
  int32_t hashTableSize;           //  20 hash table slots
  int32_t numSharedCounters;       //  24 shared application counters
  uint32_t numProcesses;           //  28 process table slots
  uint32_t numSemaphores;          //  32 (not read)
  uint32_t spinLockCount;          //  36 spin-lock records
  uint64_t pceOffset;              //  40
  uint64_t spinLocksOffset;        //  48
  uint64_t frameLocksOffset;       //  56
  uint64_t processTableOffset;     //  64
  uint64_t cacheStateOffset;       //  72
  uint64_t miscDataOffset;         //  80
  uint64_t shrHstLogOffset;        //  88 (not mapped by this program)
  uint64_t frameHistoryOffset;     //  96
  uint64_t frameAgeOffset;         // 104
  uint64_t sharedCountersOffset;   // 112
  uint64_t scanPinnedPagesOffset;  // 120
  uint64_t cacheLimitOffset;       // 128 end of the mapped cache structures
  int32_t pceSize;                 // 136 must be 128
  int32_t spinLockSize;            // 140 must be 256
  int32_t hotSpinLockSize;         // 144
  int32_t frameLockSize;           // 148 must be 256
  int32_t sharedCounterSize;       // 152 must be 256
  int32_t miscDataSize;            // 156 must be 349784
  int32_t pteSize;                 // 160 must be 55704
  int32_t cacheStateSize;          // 164 must be 960
  int32_t frameHistEntrySize;      // 168 must be 40
  int32_t aFrameAgeSize;           // 172 must be 4
  uint32_t numActiveProcesses;     // 176 (not read)
  uint32_t targetFreeFrameCount;   // 180 (not read)
  int32_t logBufShrMemId;          // 184 (not read)
  BoolType cacheLocked;            // 188 (not read)
  volatile BoolType initDone;      // 192 nonzero once the owner has finished initialising
  uint32_t extentIdHashBits[256];  // 196
  uint32_t _tailPad;               // 1220

  // TRUE at once when initDone is set; otherwise polls it every 50 ms until it is
  // set or at least timeoutMs have passed, and returns its last value.
  BoolType waitForCacheInit(int timeoutMs) const;
};

static_assert(sizeof(ShrPcConfigSType) == 1224, "configuration section size");
static_assert(offsetof(ShrPcConfigSType, compatibilityLevel) == 0, "compatibilityLevel");
static_assert(offsetof(ShrPcConfigSType, numPages) == 4, "numPages");
static_assert(offsetof(ShrPcConfigSType, segmentSize) == 8, "segmentSize");
static_assert(offsetof(ShrPcConfigSType, num_Pces) == 16, "num_Pces");
static_assert(offsetof(ShrPcConfigSType, hashTableSize) == 20, "hashTableSize");
static_assert(offsetof(ShrPcConfigSType, numSharedCounters) == 24, "numSharedCounters");
static_assert(offsetof(ShrPcConfigSType, numProcesses) == 28, "numProcesses");
static_assert(offsetof(ShrPcConfigSType, numSemaphores) == 32, "numSemaphores");
static_assert(offsetof(ShrPcConfigSType, spinLockCount) == 36, "spinLockCount");
static_assert(offsetof(ShrPcConfigSType, pceOffset) == 40, "pceOffset");
static_assert(offsetof(ShrPcConfigSType, spinLocksOffset) == 48, "spinLocksOffset");
static_assert(offsetof(ShrPcConfigSType, frameLocksOffset) == 56, "frameLocksOffset");
static_assert(offsetof(ShrPcConfigSType, processTableOffset) == 64, "processTableOffset");
static_assert(offsetof(ShrPcConfigSType, cacheStateOffset) == 72, "cacheStateOffset");
static_assert(offsetof(ShrPcConfigSType, miscDataOffset) == 80, "miscDataOffset");
static_assert(offsetof(ShrPcConfigSType, shrHstLogOffset) == 88, "shrHstLogOffset");
static_assert(offsetof(ShrPcConfigSType, frameHistoryOffset) == 96, "frameHistoryOffset");
static_assert(offsetof(ShrPcConfigSType, frameAgeOffset) == 104, "frameAgeOffset");
static_assert(offsetof(ShrPcConfigSType, sharedCountersOffset) == 112, "sharedCountersOffset");
static_assert(offsetof(ShrPcConfigSType, scanPinnedPagesOffset) == 120, "scanPinnedPagesOffset");
static_assert(offsetof(ShrPcConfigSType, cacheLimitOffset) == 128, "cacheLimitOffset");
static_assert(offsetof(ShrPcConfigSType, pceSize) == 136, "pceSize");
static_assert(offsetof(ShrPcConfigSType, spinLockSize) == 140, "spinLockSize");
static_assert(offsetof(ShrPcConfigSType, hotSpinLockSize) == 144, "hotSpinLockSize");
static_assert(offsetof(ShrPcConfigSType, frameLockSize) == 148, "frameLockSize");
static_assert(offsetof(ShrPcConfigSType, sharedCounterSize) == 152, "sharedCounterSize");
static_assert(offsetof(ShrPcConfigSType, miscDataSize) == 156, "miscDataSize");
static_assert(offsetof(ShrPcConfigSType, pteSize) == 160, "pteSize");
static_assert(offsetof(ShrPcConfigSType, cacheStateSize) == 164, "cacheStateSize");
static_assert(offsetof(ShrPcConfigSType, frameHistEntrySize) == 168, "frameHistEntrySize");
static_assert(offsetof(ShrPcConfigSType, aFrameAgeSize) == 172, "aFrameAgeSize");
static_assert(offsetof(ShrPcConfigSType, numActiveProcesses) == 176, "numActiveProcesses");
static_assert(offsetof(ShrPcConfigSType, targetFreeFrameCount) == 180, "targetFreeFrameCount");
static_assert(offsetof(ShrPcConfigSType, logBufShrMemId) == 184, "logBufShrMemId");
static_assert(offsetof(ShrPcConfigSType, cacheLocked) == 188, "cacheLocked");
static_assert(offsetof(ShrPcConfigSType, initDone) == 192, "initDone");
static_assert(offsetof(ShrPcConfigSType, extentIdHashBits) == 196, "extentIdHashBits");

// ---------------------------------------------------------------------------
// Statistics block of a process (ShrPcStatsSType, 1488 bytes)
// ---------------------------------------------------------------------------
// Counter names are the archive catalogue's; the layout only fixes how many
// words of each width a kind has and where its 64-bit part begins.
const int SHRPC_NUM_COMMON_STATS = 36;
const int SHRPC_MONITOR_NUM_STATS32 = 99;
const int SHRPC_MONITOR_NUM_STATS64 = 19;
const int SHRPC_KEEPER_NUM_STATS32 = 201;
const int SHRPC_KEEPER_NUM_STATS64 = 65;
const int SHRPC_PGSVR_NUM_STATS32 = 33;
const int SHRPC_ENVOY_NUM_STATS32 = 131;
const int SHRPC_ENVOY_NUM_STATS64 = 56;

// The 36 32-bit counters every process kind has ("LocalPageCacheHits" ...).
struct ShrPcCommonStatSType {
  uint32_t ctr[SHRPC_NUM_COMMON_STATS];
};
static_assert(sizeof(ShrPcCommonStatSType) == 144, "common counters");

// Kind-specific blocks: 32-bit counters first, then (after 4 bytes of alignment
// fill) the 64-bit counters starting at the first 64-bit statistic.
struct ShrPcMonitorStatSType {
  uint32_t ctr[SHRPC_MONITOR_NUM_STATS32];  //   0 "FreeFrameCount" ... "NumProcsSleepingForLock"
  uint32_t _pad64;                          // 396
  int64_t lfStats[SHRPC_MONITOR_NUM_STATS64];  // 400 cache lifetime totals

  static const int FIRST_64BIT_STAT_OFFSET = 400;
  const int64_t* first64BitStat() const { return lfStats; }
  static int byteOffsetOfFirst64BitStat() { return FIRST_64BIT_STAT_OFFSET; }
  // TRUE when byteOffset (from the block start) lies in the 64-bit part.
  static BoolType isOffsetOf64BitStat(int byteOffset) { return byteOffset >= FIRST_64BIT_STAT_OFFSET; }
};
static_assert(offsetof(ShrPcMonitorStatSType, lfStats) == ShrPcMonitorStatSType::FIRST_64BIT_STAT_OFFSET, "monitor 64-bit part");
static_assert(sizeof(ShrPcMonitorStatSType) == 552, "monitor block");

struct ShrPcKeeperStatSType {
  uint32_t ctr[SHRPC_KEEPER_NUM_STATS32];   //   0 "TotalCommits" ... "LocalCacheFreeFrameCount"
  uint32_t _pad64;                          // 804
  int64_t ctr64[SHRPC_KEEPER_NUM_STATS64];  // 808 "GlobalStat00" ... "OopNumberHighWaterMark"

  static const int FIRST_64BIT_STAT_OFFSET = 808;
  const int64_t* first64BitStat() const { return ctr64; }
  static int byteOffsetOfFirst64BitStat() { return FIRST_64BIT_STAT_OFFSET; }
  static BoolType isOffsetOf64BitStat(int byteOffset) { return byteOffset >= FIRST_64BIT_STAT_OFFSET; }
};
static_assert(offsetof(ShrPcKeeperStatSType, ctr64) == ShrPcKeeperStatSType::FIRST_64BIT_STAT_OFFSET, "keeper 64-bit part");
static_assert(sizeof(ShrPcKeeperStatSType) == 1328, "keeper block");

struct ShrPcPgsvrStatSType {
  uint32_t ctr[SHRPC_PGSVR_NUM_STATS32];  // 0 "AioDirtyCount" ... "TimePerformingReadRequests"
};
static_assert(sizeof(ShrPcPgsvrStatSType) == 132, "page server block");

struct ShrPcEnvoyStatSType {
  uint32_t ctr[SHRPC_ENVOY_NUM_STATS32];   //   0 "CommitCount" ... "QciRpcKeepAlivePacketCount"
  uint32_t _pad64;                         // 524
  int64_t ctr64[SHRPC_ENVOY_NUM_STATS64];  // 528 "ObjectsReadInBytes" ... "SessionStat47"

  static const int FIRST_64BIT_STAT_OFFSET = 528;
  const int64_t* first64BitStat() const { return ctr64; }
  static int byteOffsetOfFirst64BitStat() { return FIRST_64BIT_STAT_OFFSET; }
  static BoolType isOffsetOf64BitStat(int byteOffset) { return byteOffset >= FIRST_64BIT_STAT_OFFSET; }
};
static_assert(offsetof(ShrPcEnvoyStatSType, ctr64) == ShrPcEnvoyStatSType::FIRST_64BIT_STAT_OFFSET, "envoy 64-bit part");
static_assert(sizeof(ShrPcEnvoyStatSType) == 976, "envoy block");

union ShrPcStatUnion {
  ShrPcMonitorStatSType monitor;
  ShrPcKeeperStatSType keeper;
  ShrPcPgsvrStatSType pgsvr;
  ShrPcEnvoyStatSType envoy;
  uint8_t bytes[1328];
};
static_assert(sizeof(ShrPcStatUnion) == 1328, "statistics union");

struct ShrPcStatsSType {
  int32_t processId;         //    0 -1 = none
  int32_t sessionId;         //    4 -1 = none
  ShrPcCommonStatSType cmn;  //    8
  ShrPcStatUnion u;          //  152 member chosen by the entry's statType
  uintptr_t spaceWaster;     // 1480

  static const int UNION_OFFSET = 152;
  // Named counters per kind (the common ones and the kind's own).
  static const int MONITOR_NUM_NAMED_STATS = SHRPC_NUM_COMMON_STATS + SHRPC_MONITOR_NUM_STATS32 + SHRPC_MONITOR_NUM_STATS64;
  static const int KEEPER_NUM_NAMED_STATS = SHRPC_NUM_COMMON_STATS + SHRPC_KEEPER_NUM_STATS32 + SHRPC_KEEPER_NUM_STATS64;
  static const int ENVOY_NUM_NAMED_STATS = SHRPC_NUM_COMMON_STATS + SHRPC_ENVOY_NUM_STATS32 + SHRPC_ENVOY_NUM_STATS64;

  // Counter index (0 = "LocalPageCacheHits") to byte offset within this block.
  // An index beyond the kind's named counters is an internal consistency failure.
  static int byteOffsetForMonitorStatIndex(int index);
  static int byteOffsetForKeeperStatIndex(int index);
  static int byteOffsetForEnvoyStatIndex(int index);

  // Address (as an integer) of the statistic at byteOffset; *is64 tells its
  // width. The offset must be a multiple of 4, and of 8 for a 64-bit statistic.
  uintptr_t monitorStatAddrForOffset(int byteOffset, BoolType* is64) const;
  uintptr_t keeperStatAddrForOffset(int byteOffset, BoolType* is64) const;
  uintptr_t envoyStatAddrForOffset(int byteOffset, BoolType* is64) const;
  // The value at byteOffset: 64 bits, or the 32-bit word widened as signed.
  int64_t monitorStatForOffset(int byteOffset) const;
  int64_t keeperStatForOffset(int byteOffset) const;
  int64_t envoyStatForOffset(int byteOffset) const;
};
static_assert(sizeof(ShrPcStatsSType) == 1488, "statistics block size");
static_assert(offsetof(ShrPcStatsSType, processId) == 0, "processId");
static_assert(offsetof(ShrPcStatsSType, sessionId) == 4, "sessionId");
static_assert(offsetof(ShrPcStatsSType, cmn) == 8, "cmn");
static_assert(offsetof(ShrPcStatsSType, u) == ShrPcStatsSType::UNION_OFFSET, "u");
static_assert(offsetof(ShrPcStatsSType, spaceWaster) == 1480, "spaceWaster");
// First 64-bit statistic of each kind, from the block start: 552, 960, 680.
static_assert(offsetof(ShrPcStatsSType, u.monitor.lfStats) == 552, "monitor 64-bit part in block");
static_assert(offsetof(ShrPcStatsSType, u.keeper.ctr64) == 960, "keeper 64-bit part in block");
static_assert(offsetof(ShrPcStatsSType, u.envoy.ctr64) == 680, "envoy 64-bit part in block");

// ---------------------------------------------------------------------------
// Process table entry (55704 bytes); entry i at processTableOffset + i * 55704.
// Slot 0 is the shared cache monitor, slot 1 the keeper.
// ---------------------------------------------------------------------------
const int SHRPC_PROCESS_NAME_SIZE = 32;
const int SHRPC_MSG_BUF_SIZE = 17664;  // QlcMsgBufSType

struct ShrPcProcessTableEntrySType {
  BoolType inUse;                              //     0 nonzero while a process owns the slot
  BoolType inUseByKeeper;                      //     4
  BoolType _sessionIsValid;                    //     8
  uint32_t clientId;                           //    12
  int32_t lostOtTimeoutExpired;                //    16
  int32_t possibleDeadRefCount;                //    20
  uint8_t pad2[104];                           //    24
  uint8_t lockQueue[24];                       //   128
  uint8_t pad4[104];                           //   152
  uint8_t smcLock[128];                        //   256
  uint8_t freeFrameCache[256];                 //   384
  uint8_t freePceCache[256];                   //   640
  int32_t lockedPageFrameId;                   //   896
  int32_t lockedPageCount;                     //   900
  uint8_t pinnedFrameList[324];                //   904
  uint32_t _pad1228;                           //  1228
  uint64_t readingPageId;                      //  1232
  int32_t readingIntoFrame;                    //  1240
  int32_t readingIntoHashTableSlot;            //  1244
  uint64_t waitingForReadPageId;               //  1248
  int32_t waitingForReadIntoFrame;             //  1256
  int32_t waitingForReadIntoHashTableSlot;     //  1260
  int32_t waitingForQueueLock;                 //  1264
  int32_t readingHashTableLockIndex;           //  1268
  uint64_t _cacheSignature;                    //  1272 slot << 32 | pid
  int64_t timeWaitingForOthersReaders;         //  1280
  int32_t recoveryState;                       //  1288
  int32_t recoveryStatus;                      //  1292
  int32_t previousProcessId;                   //  1296
  int32_t failedReadCount;                     //  1300
  int64_t startReadCount;                      //  1304
  int64_t finishReadCount;                     //  1312
  ShrPcStatsSType stats;                       //  1320
  char processName[SHRPC_PROCESS_NAME_SIZE];   //  2808 NUL-terminated
  uint32_t statType;                           //  2840 process kind bit
  uint32_t _pad2844;                           //  2844
  uint8_t requestBuffer[SHRPC_MSG_BUF_SIZE];   //  2848
  uint8_t responseBuffer[SHRPC_MSG_BUF_SIZE];  // 20512
  uint8_t envoyTranLogBuf[17376];              // 38176
  uint8_t previousStatTotals[152];             // 55552
};
typedef ShrPcProcessTableEntrySType ShrPcPteSType;

static_assert(sizeof(ShrPcProcessTableEntrySType) == 55704, "process table entry size");
static_assert(offsetof(ShrPcProcessTableEntrySType, inUse) == 0, "inUse");
static_assert(offsetof(ShrPcProcessTableEntrySType, inUseByKeeper) == 4, "inUseByKeeper");
static_assert(offsetof(ShrPcProcessTableEntrySType, _sessionIsValid) == 8, "_sessionIsValid");
static_assert(offsetof(ShrPcProcessTableEntrySType, clientId) == 12, "clientId");
static_assert(offsetof(ShrPcProcessTableEntrySType, lostOtTimeoutExpired) == 16, "lostOtTimeoutExpired");
static_assert(offsetof(ShrPcProcessTableEntrySType, possibleDeadRefCount) == 20, "possibleDeadRefCount");
static_assert(offsetof(ShrPcProcessTableEntrySType, pad2) == 24, "pad2");
static_assert(offsetof(ShrPcProcessTableEntrySType, lockQueue) == 128, "lockQueue");
static_assert(offsetof(ShrPcProcessTableEntrySType, pad4) == 152, "pad4");
static_assert(offsetof(ShrPcProcessTableEntrySType, smcLock) == 256, "smcLock");
static_assert(offsetof(ShrPcProcessTableEntrySType, freeFrameCache) == 384, "freeFrameCache");
static_assert(offsetof(ShrPcProcessTableEntrySType, freePceCache) == 640, "freePceCache");
static_assert(offsetof(ShrPcProcessTableEntrySType, lockedPageFrameId) == 896, "lockedPageFrameId");
static_assert(offsetof(ShrPcProcessTableEntrySType, lockedPageCount) == 900, "lockedPageCount");
static_assert(offsetof(ShrPcProcessTableEntrySType, pinnedFrameList) == 904, "pinnedFrameList");
static_assert(offsetof(ShrPcProcessTableEntrySType, readingPageId) == 1232, "readingPageId");
static_assert(offsetof(ShrPcProcessTableEntrySType, readingIntoFrame) == 1240, "readingIntoFrame");
static_assert(offsetof(ShrPcProcessTableEntrySType, readingIntoHashTableSlot) == 1244, "readingIntoHashTableSlot");
static_assert(offsetof(ShrPcProcessTableEntrySType, waitingForReadPageId) == 1248, "waitingForReadPageId");
static_assert(offsetof(ShrPcProcessTableEntrySType, waitingForReadIntoFrame) == 1256, "waitingForReadIntoFrame");
static_assert(offsetof(ShrPcProcessTableEntrySType, waitingForReadIntoHashTableSlot) == 1260, "waitingForReadIntoHashTableSlot");
static_assert(offsetof(ShrPcProcessTableEntrySType, waitingForQueueLock) == 1264, "waitingForQueueLock");
static_assert(offsetof(ShrPcProcessTableEntrySType, readingHashTableLockIndex) == 1268, "readingHashTableLockIndex");
static_assert(offsetof(ShrPcProcessTableEntrySType, _cacheSignature) == 1272, "_cacheSignature");
static_assert(offsetof(ShrPcProcessTableEntrySType, timeWaitingForOthersReaders) == 1280, "timeWaitingForOthersReaders");
static_assert(offsetof(ShrPcProcessTableEntrySType, recoveryState) == 1288, "recoveryState");
static_assert(offsetof(ShrPcProcessTableEntrySType, recoveryStatus) == 1292, "recoveryStatus");
static_assert(offsetof(ShrPcProcessTableEntrySType, previousProcessId) == 1296, "previousProcessId");
static_assert(offsetof(ShrPcProcessTableEntrySType, failedReadCount) == 1300, "failedReadCount");
static_assert(offsetof(ShrPcProcessTableEntrySType, startReadCount) == 1304, "startReadCount");
static_assert(offsetof(ShrPcProcessTableEntrySType, finishReadCount) == 1312, "finishReadCount");
static_assert(offsetof(ShrPcProcessTableEntrySType, stats) == 1320, "stats");
static_assert(offsetof(ShrPcProcessTableEntrySType, processName) == 2808, "processName");
static_assert(offsetof(ShrPcProcessTableEntrySType, statType) == 2840, "statType");
static_assert(offsetof(ShrPcProcessTableEntrySType, requestBuffer) == 2848, "requestBuffer");
static_assert(offsetof(ShrPcProcessTableEntrySType, responseBuffer) == 20512, "responseBuffer");
static_assert(offsetof(ShrPcProcessTableEntrySType, envoyTranLogBuf) == 38176, "envoyTranLogBuf");
static_assert(offsetof(ShrPcProcessTableEntrySType, previousStatTotals) == 55552, "previousStatTotals");

// ---------------------------------------------------------------------------
// Miscellaneous data (349784 bytes at miscDataOffset). This program reads only
// two lock names in it; the rest belongs to the owners.
// ---------------------------------------------------------------------------
struct ShrPcCheckpointInfoSType {
  HostShrSpinLockSType lock;  // "ChkptInfo"; the owners' checkpoint figures follow
};

struct ShrPcMiscDataSType {
  uint8_t ownerArea0[65664];                    //     0
  HostShrSpinLockSType globalSessionStatsLock;  // 65664 "GlobalStats"
  uint8_t ownerArea1[384];                      // 65920
  ShrPcCheckpointInfoSType checkpointInfo;      // 66304 first member "ChkptInfo"
  uint8_t ownerArea2[283224];                   // 66560
};
static_assert(sizeof(ShrPcMiscDataSType) == 349784, "miscellaneous data size");
static_assert(offsetof(ShrPcMiscDataSType, globalSessionStatsLock) == 65664, "globalSessionStatsLock");
static_assert(offsetof(ShrPcMiscDataSType, checkpointInfo) == 66304, "checkpointInfo");
static_assert(offsetof(ShrPcMiscDataSType, checkpointInfo.lock) == 66304, "checkpointInfo.lock");

// ---------------------------------------------------------------------------
// Owner-only records: only their sizes are fixed here.
// ---------------------------------------------------------------------------
struct ShrPcPceSType {  // page-cache entry
  uint8_t bytes[128];
};
struct ShrPcCacheStateSType {  // cache state record
  uint8_t bytes[960];
};
struct ShrPcFrameHistorySType {  // frame history entry
  uint8_t bytes[40];
};
typedef uint32_t ShrPcFrameAgeType;  // frame age
typedef HostShrSpinLockSType ShrPcFrameLockSType;

static_assert(sizeof(ShrPcPceSType) == 128, "page-cache entry");
static_assert(sizeof(ShrPcCacheStateSType) == 960, "cache state");
static_assert(sizeof(ShrPcFrameHistorySType) == 40, "frame history entry");
static_assert(sizeof(ShrPcFrameAgeType) == 4, "frame age");
static_assert(sizeof(ShrPcFrameLockSType) == 256, "frame lock");
static_assert(sizeof(ShrPcSharedCounterSType) == 256, "shared counter");

// Lock names this program verifies at attach (each compared over its own length).
#define SHRPC_LOCKNAME_GLOBAL_STATS "GlobalStats"
#define SHRPC_LOCKNAME_CHKPT_INFO "ChkptInfo"
#define SHRPC_LOCKNAME_FREE_PCE "FreePceList"
#define SHRPC_LOCKNAME_FREE_FRAME "FreeFrameList"
#define SHRPC_LOCKNAME_CLOCK_HAND "ClockHand"
#define SHRPC_LOCKNAME_HASH_TABLE_FMT "HashTable_%d"
#define SHRPC_LOCKNAME_FRAME_LOCK_FMT "FrameLock_%d"
