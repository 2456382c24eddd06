// Records of the attached cache's processes and of its application counters.
// The process table and the counters are read without a lock while the cache's
// owners update them: a full fence precedes the reading of each statistics block,
// and values within one record may come from slightly different moments.
#include <atomic>
#include <cstring>

#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "shrpc/cacheselect.h"
#include "shrpc/shrpccmn.h"

namespace {

void writeSelectedEntry(const ShrPcProcessTableEntrySType* entry, void* context) {
  static_cast<TallyMgr*>(context)->writeProcessStatsForPte(entry);
}

}  // namespace

void TallyMgr::writeProcessStatsForPte(const ShrPcProcessTableEntrySType* entry) {
  int processId = entry->stats.processId;
  if (processId <= 0) return;
  std::atomic_thread_fence(std::memory_order_seq_cst);
  uint32_t statType = entry->statType;
  int count32, count64;
  const int64_t* first64;
  // A kind without a record shape of its own (16, 32, 64 ...) would give a line
  // that matches no type description of the header, so it gets no record.
  if (!ShrPcRecordShape(&entry->stats, statType, &count32, &first64, &count64)) return;
  // The owners keep the name NUL-terminated; a copy bounds it all the same.
  char name[SHRPC_PROCESS_NAME_SIZE + 1];
  memcpy(name, entry->processName, SHRPC_PROCESS_NAME_SIZE);
  name[SHRPC_PROCESS_NAME_SIZE] = '\0';
  const uint32_t* values32 = reinterpret_cast<const uint32_t*>(&entry->stats);
  if (count64 > 0)
    writeTallyRecord(name, statType, values32, processId, count32, first64, count64);
  else
    writeTallyRecord(name, statType, values32, processId, count32);
}

void TallyMgr::writeSharedCounters() {
  if (numAppStats <= 0) return;
  UTL_GUARANTEE(shrpcPtr != nullptr);
  if (appStats == nullptr)
    appStats = static_cast<uint32_t*>(UtlMallocHalt(sizeof(uint32_t) * (size_t)(numAppStats + 2), "app stats buffer"));
  UTL_GUARANTEE(numAppStats <= shrpcPtr->numSharedCounters);
  appStats[0] = 0;
  appStats[1] = 0;
  for (int i = 0; i < numAppStats; i++) appStats[i + 2] = shrpcPtr->sharedCounterLow32(i);
  writeTallyRecord("AppStat", SHRPC_KIND_APP, appStats, 0, numAppStats + 2);
}

void TallyMgr::writeCacheProcessRecords() {
  UTL_GUARANTEE(shrpcPtr != nullptr);
  CacheSelectionSType sel;
  sel.keeperOnly = keeperOnly;
  sel.pgsOnly = pgsOnly;
  sel.pageMgrOnly = pageMgrOnly;
  sel.sessions = sessionsToSample.list;
  sel.numSessions = sessionsToSample.numEntries;
  ShrPcSelectProcesses(shrpcPtr->processTable, shrpcPtr->numProcesses(), sel, writeSelectedEntry, this);
  if (numAppStats > 0) writeSharedCounters();
}
