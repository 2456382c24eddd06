// Which process-table entries of the attached cache get a record in a sample,
// in which order, and how many values of each width a record of each kind holds.
// The table is read without a lock while its owners change it; each field is
// read once per decision.
#pragma once

#include <cstdint>

#include "host/hosttypes.h"
#include "shrpc/shrpclayout.h"

struct CacheSelectionSType {
  BoolType keeperOnly;             // -S, -P, -J: the monitor and the keeper (and the options' extras)
  BoolType pgsOnly;                // -P: also the page servers named "Aio..."
  BoolType pageMgrOnly;            // -J: also the first keeper thread named "pagemgrThread..."
  const int* sessions;             // envoys to keep, by session id; empty = all
  int numSessions;
};

typedef void (*CacheSlotVisitor)(const ShrPcProcessTableEntrySType* entry, void* context);

// Calls visit for each selected entry, in record order:
//  normal mode: every slot in use, ascending, except entries whose processId and
//    sessionId are both -1, and envoys of sessions not in a non-empty session list;
//  keeper-only mode: slot 0; when slot 1 holds a keeper (statType 2), slot 1, then
//    with pgsOnly the page servers whose name begins with "Aio", then with
//    pageMgrOnly the first keeper entry whose name begins with "pagemgrThread";
//    each in use and with a processId other than -1.
// Entries with a processId of 0 or below are still visited: the record writer
// drops them. Returns the number of entries visited.
int ShrPcSelectProcesses(const ShrPcProcessTableEntrySType* table, uint32_t numProcesses,
                         const CacheSelectionSType& sel, CacheSlotVisitor visit, void* context);

// Shape of the record of a process kind: the number of 32-bit words from the
// statistics block's processId on, and the number and start of the 64-bit
// words. FALSE for a kind that has no record shape of its own (none of 1, 2, 4, 8).
BoolType ShrPcRecordShape(const ShrPcStatsSType* stats, uint32_t statType, int* count32, const int64_t** first64,
                          int* count64);
