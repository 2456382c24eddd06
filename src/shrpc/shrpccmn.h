// The per-process view of a mapped shared page cache (ShrPcStateSType), and its
// derivation from the segment's configuration section.
//
// The view only points into the segment; the segment belongs to the cache's
// owners and is mapped read only, so every pointer into it is a pointer to const.
// Any process of the cache can write anything into the segment at any time, so
// the view keeps a private copy of the configuration section, taken once after
// initialisation was seen and checked before use: every count, size and offset
// comes from that copy, never from a second read of the segment.
#pragma once

#include <cstdint>

#include "host/hosttypes.h"
#include "shrpc/shrpclayout.h"

// The cache's page management part of the view.
struct ShrPageCacheSType {
  const ShrPcCacheStateSType* statePtr;  // segment + cacheStateOffset
  uint64_t clockHandLimit;               // numPages * 16384
  const char* baseAddress;               // segment + 16384
  const char* fakePagePtr;               // same as baseAddress
  const char* cacheData;                 // segment + 32768
  const char* cacheLimit;                // cacheData + numPages * 16384
  const ShrPcPceSType* pces;             // segment + pceOffset
  uint32_t hashMask;                     // hashTableSize - 1
  const uint32_t* extentIdHashBits;      // the configuration's array
  int inTransaction;                     // 0
};

const int SHRPC_LOCATION_STR_SIZE = 1023;

struct ShrPcStateSType {
  bool _cacheEnabled;                    // TRUE while sampling from the cache is allowed
  uint8_t pageCreationOriginThisCache;   // 0 at attach
  uint8_t pageCacheHitOriginThisCache;   // 0 at attach
  int spinLockCount;                     // copy of the configuration's
  int numSharedCounters;                 // copy of the configuration's
  const char* segAddr;                   // start of the mapping; null while detached
  const ShrPcConfigSType* configPtr;     // == segAddr
  const ShrPcMiscDataSType* miscDataPtr;
  const void* shrHstLogPtr;              // null: the shared history log is not mapped
  const uint8_t* scanPinnedBitArray;
  const HostShrSpinLockSType* freePceLockPtr;
  const HostShrSpinLockSType* freeFrameLockPtr;
  const HostShrSpinLockSType* clockHandLockPtr;
  const HostShrSpinLockSType* shrHstLogLockPtr;
  const ShrPcSharedCounterSType* sharedCountersPtr;  // numSharedCounters records
  const HostShrSpinLockSType* hashTableLocksPtr;     // first hash table lock
  const ShrPcFrameLockSType* pageFrameLocksPtr;      // first frame lock
  const ShrPcProcessTableEntrySType* processTable;   // slot 0
  const ShrPcFrameHistorySType* frameHistoryPtr;
  const ShrPcFrameAgeType* frameAgePtr;
  ShrPageCacheSType cache;
  char locationStr[SHRPC_LOCATION_STR_SIZE];  // the cache's location string
  int _disconnectLine;                   // -1 while enabled; else where it was disabled
  // Private copy of the configuration section (ShrPcCopyConfig): the only source
  // of the counts, sizes and offsets used once the cache is attached.
  ShrPcConfigSType config;

  BoolType cacheEnabled() const { return _cacheEnabled ? TRUE : FALSE; }
  // Sets the enabled flag and _disconnectLine = -1.
  void setCacheEnabled();
  // Records line (only when enabled), clears the flag, then a full memory fence.
  void clearCacheEnabled(int line);

  // Slot i of the process table (i < numProcesses()).
  const ShrPcProcessTableEntrySType* processEntry(uint32_t slot) const { return processTable + slot; }
  // Number of process table slots, from the checked copy: the segment's own field
  // may say anything by now.
  uint32_t numProcesses() const { return config.numProcesses; }
  // Low 32 bits of shared counter i (i < numSharedCounters), read without a lock.
  uint32_t sharedCounterLow32(int i) const { return (uint32_t)sharedCountersPtr[i].sharedCounterValue; }
};

// The program's one cache view.
extern ShrPcStateSType SharedPageCache;
ShrPcStateSType* PageCacheGetShrCache();

// Copies the configuration section of the mapped segment into shrpcPtr->config,
// in one read. segAddr must be set.
void ShrPcCopyConfig(ShrPcStateSType* shrpcPtr);

// Derives the view from the private copy of the configuration (shrpcPtr->config,
// taken with ShrPcCopyConfig after initialisation was seen, whose segmentSize the
// caller has checked against the size of the mapping): every record size is
// checked against this program's, every area against the segment, the pointers
// are set, the end of the mapped structures is touched and (unless isMonitor) the
// lock names are verified. configInfoPtr must equal shrpcPtr->segAddr. A size or
// lock-name mismatch means a cache built from another layout: it is reported and
// is an internal consistency failure. An area outside the segment is reported on
// standard output and gives FALSE. Returns TRUE otherwise.
BoolType ShrPcInit(ShrPcStateSType* shrpcPtr, const ShrPcConfigSType* configInfoPtr, BoolType isMonitor);
