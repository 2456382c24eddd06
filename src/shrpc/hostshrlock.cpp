#include "shrpc/hostshrlock.h"

#include "host/utlexit.h"

uint32_t HostAsmSyncAdd(volatile uint32_t* word, int32_t delta) {
  return __atomic_fetch_add(word, (uint32_t)delta, __ATOMIC_SEQ_CST);
}

// Or and and are compare-and-swap loops so that each is one full barrier whatever
// the compiler makes of a fetch-or.
uint32_t HostAsmSyncOr(volatile uint32_t* word, uint32_t bits) {
  uint32_t old = *word;
  while (!__atomic_compare_exchange_n(word, &old, old | bits, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
  }
  return old;
}

uint32_t HostAsmSyncAnd(volatile uint32_t* word, uint32_t mask) {
  uint32_t old = *word;
  while (!__atomic_compare_exchange_n(word, &old, old & mask, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
  }
  return old;
}

int HostAsmTryLock(HostShrLockType* lock, int spins) {
  if (__atomic_exchange_n(lock, 1u, __ATOMIC_SEQ_CST) == 0) return 1;
  if (spins < 1) spins = 1;  // a count below 1 would otherwise spin almost for ever
  while (--spins != 0) {
    __builtin_ia32_pause();
    if (*lock == 0 && __atomic_exchange_n(lock, 1u, __ATOMIC_SEQ_CST) == 0) return 1;
  }
  return 0;
}

void HostAsmUnlock(HostShrLockType* lock) { __atomic_exchange_n(lock, 0u, __ATOMIC_SEQ_CST); }

void HostAsmFence() { __atomic_thread_fence(__ATOMIC_SEQ_CST); }

void testAsmFunctions() {
  volatile uint32_t word = 0;
  UTL_GUARANTEE(HostAsmSyncAdd(&word, 7) == 0 && word == 7);
  UTL_GUARANTEE(HostAsmSyncAdd(&word, -4) == 7 && word == 3);
  UTL_GUARANTEE(HostAsmSyncAdd(&word, -1) == 3 && word == 2);
  UTL_GUARANTEE(HostAsmSyncAdd(&word, 1) == 2 && word == 3);
  UTL_GUARANTEE(HostAsmSyncAdd(&word, 0) == 3 && word == 3);
  UTL_GUARANTEE(HostAsmSyncAdd(&word, 0) == 3);

  UTL_GUARANTEE(HostAsmSyncOr(&word, 128) == 3 && word == 131);
  HostAsmSyncOr(&word, 256);
  HostAsmSyncOr(&word, 8192);
  UTL_GUARANTEE(word == 8579);
  UTL_GUARANTEE(HostAsmSyncAnd(&word, (uint32_t)-131) == 8579 && word == 8449);

  word = 1;
  UTL_GUARANTEE(HostAsmTryLock(&word, 100) == 0);
  HostAsmUnlock(&word);
  UTL_GUARANTEE(word == 0);
  UTL_GUARANTEE(HostAsmTryLock(&word, 1) == 1 && word == 1);
  HostAsmFence();
}
