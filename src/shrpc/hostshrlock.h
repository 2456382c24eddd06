// Spin-lock records of a shared page cache, and the atomic word operations of the
// host layer.
//
// The owners of a cache coordinate through these 256-byte records inside the
// segment. This program never takes, releases or writes one: it reads lock names
// once per attach and shared counter values once per sample, without a lock. The
// atomic operations are here only so that their self-test (testAsmFunctions) runs
// at every attach and proves them on the processor the program runs on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/hosttypes.h"

// A lock word: 0 free, 1 held.
typedef volatile uint32_t HostShrLockType;

// Signature value meaning "no holder".
const uint64_t HOST_SHR_NO_SIGNATURE = ~(uint64_t)0;
// queueHead / queueTail of an empty wait queue.
const int32_t HOST_SHR_QUEUE_EMPTY = -2;

const int HOST_SHR_LOCK_NAME_SIZE = 108;

// One spin-lock record (256 bytes, little-endian). The owners place records on
// 128-byte boundaries inside the segment; the type itself carries no extra
// alignment so that larger records holding one keep their fixed sizes.
struct HostShrSpinLockSType {
  HostShrLockType lock;                   //   0 lock word
  int32_t lastUnlockPid;                  //   4 pid of the last releaser
  uint64_t ownerCacheSignature;           //   8 holder: slot << 32 | pid; all ones = none
  BoolType isHashTableLock;               //  16 the record is a page hash table lock
  char lockName[HOST_SHR_LOCK_NAME_SIZE]; //  20 NUL-terminated lock name
  HostShrLockType queueLock;              // 128 lock word of the wait queue
  volatile int32_t pageReferenceCount;    // 132
  volatile int64_t sharedCounterValue;    // 136 value, when the record is a shared counter
  uint64_t queueOwnerCacheSignature;      // 144 wait-queue holder (pid in the low 32 bits); all ones = none
  int32_t queueHead;                      // 152 first waiting slot; -2 = empty
  int32_t queueTail;                      // 156 last waiting slot; -2 = empty
  int32_t sleepCountStatOffset;           // 160 bytes from the record to its sleep counter
  int32_t readWaitersCount;               // 164
  int32_t readInProgressPteSlot;          // 168 slot reading a page; -1 = none
  volatile int32_t hashTableRwLock;       // 172 reader/writer state of a hash table lock
  uint64_t cleanupSignature;              // 176 all ones = none
  char padding2[72];                      // 184
};

static_assert(sizeof(HostShrSpinLockSType) == 256, "spin-lock record size");
static_assert(offsetof(HostShrSpinLockSType, lock) == 0, "lock");
static_assert(offsetof(HostShrSpinLockSType, lastUnlockPid) == 4, "lastUnlockPid");
static_assert(offsetof(HostShrSpinLockSType, ownerCacheSignature) == 8, "ownerCacheSignature");
static_assert(offsetof(HostShrSpinLockSType, isHashTableLock) == 16, "isHashTableLock");
static_assert(offsetof(HostShrSpinLockSType, lockName) == 20, "lockName");
static_assert(offsetof(HostShrSpinLockSType, queueLock) == 128, "queueLock");
static_assert(offsetof(HostShrSpinLockSType, pageReferenceCount) == 132, "pageReferenceCount");
static_assert(offsetof(HostShrSpinLockSType, sharedCounterValue) == 136, "sharedCounterValue");
static_assert(offsetof(HostShrSpinLockSType, queueOwnerCacheSignature) == 144, "queueOwnerCacheSignature");
static_assert(offsetof(HostShrSpinLockSType, queueHead) == 152, "queueHead");
static_assert(offsetof(HostShrSpinLockSType, queueTail) == 156, "queueTail");
static_assert(offsetof(HostShrSpinLockSType, sleepCountStatOffset) == 160, "sleepCountStatOffset");
static_assert(offsetof(HostShrSpinLockSType, readWaitersCount) == 164, "readWaitersCount");
static_assert(offsetof(HostShrSpinLockSType, readInProgressPteSlot) == 168, "readInProgressPteSlot");
static_assert(offsetof(HostShrSpinLockSType, hashTableRwLock) == 172, "hashTableRwLock");
static_assert(offsetof(HostShrSpinLockSType, cleanupSignature) == 176, "cleanupSignature");
static_assert(offsetof(HostShrSpinLockSType, padding2) == 184, "padding2");

// A shared application counter is laid out as a spin-lock record; its value is
// sharedCounterValue (this program reads the low 32 bits as unsigned).
typedef HostShrSpinLockSType ShrPcSharedCounterSType;

// --- atomic word operations; each is a full barrier --------------------------

// Adds delta (may be negative); returns the previous value.
uint32_t HostAsmSyncAdd(volatile uint32_t* word, int32_t delta);
// Ors bits in; returns the previous value.
uint32_t HostAsmSyncOr(volatile uint32_t* word, uint32_t bits);
// Ands with mask; returns the previous value.
uint32_t HostAsmSyncAnd(volatile uint32_t* word, uint32_t mask);
// Exchanges 1 into the lock word; 1 when the lock was free and is now taken.
// While it is held, retries until the decremented spins reaches 0: a pause, a
// plain read, and another exchange when the read shows 0. Returns 0 when not taken.
int HostAsmTryLock(HostShrLockType* lock, int spins);
// Exchanges 0 into the lock word.
void HostAsmUnlock(HostShrLockType* lock);
// Full memory fence.
void HostAsmFence();

// Self-test of the operations above on a local word; a wrong result is an
// internal consistency failure. Run by HostShrInit before every attach.
void testAsmFunctions();
