#include "archive/stattype.h"

#include <cstring>

#include "archive/statnames.h"
#include "host/utlexit.h"

const char* const BasicStatNames[STATTYPE_FIXED_COUNT] = {"StatTypeNum", "Time", "ProcessName", "ProcessId",
                                                          "SessionId"};

const StatTypeSType StatTypeTable[StatTypeCount] = {
    {"Shrpc", 1, SHRPC_CTR_COUNT, TRUE, shrpcCtrNames},
    {"Kpr", 2, KPR_CTR_COUNT, TRUE, kprCtrNames},
    {"Pgsvr", 4, PGSVR_CTR_COUNT, TRUE, pgsvrCtrNames},
    {"Envoy", 8, ENVOY_CTR_COUNT, TRUE, envoyCtrNames},
    {"Tally", 16, TALLY_CTR_COUNT, TRUE, tallyCtrNames},
    {"AppStat", 32, TALLY_CTR_COUNT - 1, FALSE, tallyCtrNames},
};

namespace {

struct KindLayout {
  const char* const* names;
  int nameCount;
  int count32;   // 32-bit counters after processId and sessionId
  int first64;   // first 64-bit statistic within the kind-specific block
};

const KindLayout kindLayouts[] = {
    {shrpcCtrNames, SHRPC_CTR_COUNT, 135, 400},
    {kprCtrNames, KPR_CTR_COUNT, 237, 808},
    {envoyCtrNames, ENVOY_CTR_COUNT, 167, 528},
};

const KindLayout& layoutOf(StatTypeKind kind) {
  UTL_GUARANTEE(kind >= STATTYPE_KIND_MONITOR && kind <= STATTYPE_KIND_ENVOY);
  return kindLayouts[kind];
}

BoolType indexForName(const KindLayout& k, const char* name, int* index) {
  UTL_GUARANTEE(name != nullptr && index != nullptr);
  for (int pos = STATTYPE_FIXED_COUNT; pos < k.nameCount; pos++) {
    if (strcmp(k.names[pos], name) == 0) {
      *index = pos - STATTYPE_FIXED_COUNT;
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace

BoolType StatTypeIndexForMonitorStat(const char* name, int* index) {
  return indexForName(kindLayouts[STATTYPE_KIND_MONITOR], name, index);
}
BoolType StatTypeIndexForKeeperStat(const char* name, int* index) {
  return indexForName(kindLayouts[STATTYPE_KIND_KEEPER], name, index);
}
BoolType StatTypeIndexForEnvoyStat(const char* name, int* index) {
  return indexForName(kindLayouts[STATTYPE_KIND_ENVOY], name, index);
}

int StatTypeCounterCount(StatTypeKind kind) { return layoutOf(kind).nameCount - STATTYPE_FIXED_COUNT; }

int StatTypeByteOffsetForIndex(StatTypeKind kind, int index) {
  const KindLayout& k = layoutOf(kind);
  UTL_GUARANTEE(index >= 0 && index < k.nameCount - STATTYPE_FIXED_COUNT);
  if (index < k.count32) return 8 + 4 * index;
  return STATTYPE_UNION_OFFSET + k.first64 + 8 * (index - k.count32);
}

BoolType StatTypeOffsetIs64Bit(StatTypeKind kind, int byteOffset) {
  const KindLayout& k = layoutOf(kind);
  UTL_GUARANTEE(byteOffset >= 0 && byteOffset % 4 == 0);
  if (byteOffset < STATTYPE_UNION_OFFSET || byteOffset - STATTYPE_UNION_OFFSET < k.first64) return FALSE;
  UTL_GUARANTEE(byteOffset % 8 == 0);
  return TRUE;
}
