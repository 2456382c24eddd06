#include "shrpc/cacheselect.h"

#include <algorithm>
#include <cstring>

namespace {

const int32_t kNone = -1;
const uint32_t kKeeperSlot = 1;

bool nameBegins(const ShrPcProcessTableEntrySType* e, const char* prefix) {
  return strncmp(e->processName, prefix, strlen(prefix)) == 0;
}

bool inUseWithProcess(const ShrPcProcessTableEntrySType* e) { return e->inUse && e->stats.processId != kNone; }

int selectNormal(const ShrPcProcessTableEntrySType* table, uint32_t n, const CacheSelectionSType& sel,
                 CacheSlotVisitor visit, void* context) {
  bool filterSessions = sel.numSessions > 0;
  const int* sessionsEnd = sel.sessions + (filterSessions ? sel.numSessions : 0);
  int count = 0;
  for (uint32_t i = 0; i < n; i++) {
    const ShrPcProcessTableEntrySType* e = &table[i];
    if (!e->inUse) continue;
    int32_t sessionId = e->stats.sessionId;
    if (e->statType == SHRPC_KIND_ENVOY && filterSessions) {
      if (std::find(sel.sessions, sessionsEnd, sessionId) == sessionsEnd) continue;
    } else if (e->stats.processId == kNone && sessionId == kNone) {
      continue;
    }
    visit(e, context);
    count++;
  }
  return count;
}

int selectKeeperOnly(const ShrPcProcessTableEntrySType* table, uint32_t n, const CacheSelectionSType& sel,
                     CacheSlotVisitor visit, void* context) {
  int count = 0;
  if (n == 0) return 0;
  if (inUseWithProcess(&table[0])) {
    visit(&table[0], context);
    count++;
  }
  bool keeperPresent = n > kKeeperSlot && table[kKeeperSlot].statType == SHRPC_KIND_KEEPER;
  if (!keeperPresent) return count;
  if (inUseWithProcess(&table[kKeeperSlot])) {
    visit(&table[kKeeperSlot], context);
    count++;
  }
  if (sel.pgsOnly) {
    for (uint32_t i = kKeeperSlot + 1; i < n; i++) {
      const ShrPcProcessTableEntrySType* e = &table[i];
      if (inUseWithProcess(e) && e->statType == SHRPC_KIND_PGSVR && nameBegins(e, "Aio")) {
        visit(e, context);
        count++;
      }
    }
  }
  if (sel.pageMgrOnly) {
    for (uint32_t i = kKeeperSlot + 1; i < n; i++) {
      const ShrPcProcessTableEntrySType* e = &table[i];
      if (inUseWithProcess(e) && e->statType == SHRPC_KIND_KEEPER && nameBegins(e, "pagemgrThread")) {
        visit(e, context);
        count++;
        break;
      }
    }
  }
  return count;
}

}  // namespace

int ShrPcSelectProcesses(const ShrPcProcessTableEntrySType* table, uint32_t numProcesses,
                         const CacheSelectionSType& sel, CacheSlotVisitor visit, void* context) {
  return sel.keeperOnly ? selectKeeperOnly(table, numProcesses, sel, visit, context)
                        : selectNormal(table, numProcesses, sel, visit, context);
}

BoolType ShrPcRecordShape(const ShrPcStatsSType* stats, uint32_t statType, int* count32, const int64_t** first64,
                          int* count64) {
  const int fixed = 2 + SHRPC_NUM_COMMON_STATS;  // processId, sessionId, the common counters
  *first64 = nullptr;
  *count64 = 0;
  switch (statType) {
    case SHRPC_KIND_MONITOR:
      *count32 = fixed + SHRPC_MONITOR_NUM_STATS32;
      *first64 = stats->u.monitor.first64BitStat();
      *count64 = SHRPC_MONITOR_NUM_STATS64;
      return TRUE;
    case SHRPC_KIND_KEEPER:
      *count32 = fixed + SHRPC_KEEPER_NUM_STATS32;
      *first64 = stats->u.keeper.first64BitStat();
      *count64 = SHRPC_KEEPER_NUM_STATS64;
      return TRUE;
    case SHRPC_KIND_PGSVR:
      *count32 = fixed + SHRPC_PGSVR_NUM_STATS32;
      return TRUE;
    case SHRPC_KIND_ENVOY:
      *count32 = fixed + SHRPC_ENVOY_NUM_STATS32;
      *first64 = stats->u.envoy.first64BitStat();
      *count64 = SHRPC_ENVOY_NUM_STATS64;
      return TRUE;
    default:
      *count32 = 0;
      return FALSE;
  }
}
