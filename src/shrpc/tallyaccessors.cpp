#include "shrpc/tallyaccessors.h"

#include <cstdio>
#include <cstring>

#include "host/utlexit.h"
#include "host/vermsg.h"
#include "netinfo/netinfo.h"
#include "shrpc/shrpccmn.h"

namespace {

// The manager's shrpcPtr points at this view while a cache is attached.
const ShrPcStateSType* attachedCache() {
  const ShrPcStateSType* view = PageCacheGetShrCache();
  return (view->segAddr != nullptr && view->configPtr != nullptr) ? view : nullptr;
}

struct ForeachCacheData {
  TallyForeachCacheCallback cb;
};

int reportCache(int, const char* name, NetInfoResultEnum result, NetInfoSType* netInfo, void* userData) {
  ForeachCacheData* data = static_cast<ForeachCacheData*>(userData);
  if (result != NIRES_OK || netInfo->kind != NI_CACHE) return 1;
  if (strcmp(netInfo->version, VerQLVersionNumber()) != 0) return 1;
  char displayName[132];
  NetInfoDemangleName(name, displayName, sizeof displayName);
  data->cb(displayName, name);
  return 1;
}

}  // namespace

extern "C" {

int TallyGetStatObjectNames(const char**, int) { return 0; }
const char* TallyGetObjectName(int) { return nullptr; }
int TallyGetObjectCounterNames(int, const char**, int) { return 0; }
int TallySampleAdd(int, int) { return -1; }
void TallySampleRemove(int) {}
int TallyDoSample(TallySampleDataSType*, int) { return 0; }

int TallyGetObjectInstances(int kind, int* instances, int capacity) {
  for (int i = 0; i < capacity; i++) instances[i] = -1;
  if (kind == SHRPC_KIND_TALLY || kind == SHRPC_KIND_APP) {
    if (capacity >= 1) instances[0] = (kind == SHRPC_KIND_TALLY) ? TALLY_INSTANCE_TALLY : TALLY_INSTANCE_APP;
    return 1;
  }
  const ShrPcStateSType* view = attachedCache();
  if (view == nullptr) return 0;
  int count = 0;
  for (uint32_t slot = 0; slot < view->numProcesses(); slot++) {
    const ShrPcProcessTableEntrySType* entry = view->processEntry(slot);
    if (entry->inUse && entry->stats.processId != -1 && entry->statType == (uint32_t)kind) {
      if (count < capacity) instances[count] = (int)slot;
      count++;
    }
  }
  return count;
}

const char* TallyGetInstanceName(int instance) {
  if (instance == TALLY_INSTANCE_TALLY) return "Tally";
  if (instance == TALLY_INSTANCE_APP) return "Application";
  const ShrPcStateSType* view = attachedCache();
  UTL_GUARANTEE(view != nullptr && instance >= 0 && (uint32_t)instance < view->numProcesses());
  // The name is written by another process: copy it with a terminator.
  static char name[SHRPC_PROCESS_NAME_SIZE + 1];
  const char* src = view->processEntry((uint32_t)instance)->processName;
  size_t len = strnlen(src, SHRPC_PROCESS_NAME_SIZE);
  memcpy(name, src, len);
  name[len] = '\0';
  return name;
}

BoolType TallyForeachCache(TallyForeachCacheCallback cb, char* errText, int errTextSize) {
  if (cb == nullptr) return TRUE;
  ForeachCacheData data = {cb};
  NetInfoSType netInfo;
  SysErrorSType err;
  if (NetInfoForeach(nullptr, reportCache, &netInfo, &data, &err, nullptr) == -1) {
    if (errText != nullptr && errTextSize > 0) snprintf(errText, (size_t)errTextSize, "%s", err.errMsg);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
