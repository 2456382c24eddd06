// The pid list of the process table.
#include <algorithm>

#include "host/utlexit.h"
#include "hoststats/pidhashmap.h"

void PidList::initForSize(int n) {
  activePids = inactivePids = nullptr;
  numActive = numInactive = listAllocSize = 0;
  storage.clear();
  growToSize(n);
}

void PidList::growToSize(int n) {
  UTL_GUARANTEE(n > listAllocSize);
  std::vector<PidType> grown((size_t)n * 2, -1);
  std::copy(activePids, activePids + numActive, grown.begin());
  storage.swap(grown);
  listAllocSize = n;
  activePids = storage.data();
  inactivePids = activePids + n;
}

void PidList::addPid(PidType pid) {
  if (numActive >= listAllocSize) growToSize(listAllocSize > 0 ? listAllocSize * 2 : 64);
  activePids[numActive++] = pid;
}

void PidList::removePid(PidType pid) {
  PidType* end = activePids + numActive;
  PidType* at = std::find(activePids, end, pid);
  if (at == end) return;
  std::copy(at + 1, end, at);
  numActive--;
  activePids[numActive] = -1;
}

int PidList::removeDeadProcesses(const std::function<bool(PidType)>& exists) {
  int before = numActive;
  int living = 0;
  numInactive = 0;
  for (int i = 0; i < before; i++) {
    PidType pid = activePids[i];
    UTL_GUARANTEE(pid >= 1);
    if (exists(pid)) {
      activePids[living++] = pid;
    } else {
      inactivePids[numInactive++] = pid;
    }
  }
  numActive = living;
  for (int i = living; i < before; i++) activePids[i] = -1;
  UTL_GUARANTEE(numActive + numInactive == before);
  return numInactive;
}
