// The process table of open /proc files: entries, free pool and the map.
#include "hoststats/pidhashmap.h"

#include <unistd.h>

#include <algorithm>

#include "host/hosttime.h"
#include "host/utlexit.h"
#include "host/hostprocess.h"

uint32_t UtlPowerOf2GreaterThan(uint32_t n) {
  uint32_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

// --- entries ---

void PidHashEntry::init() {
  for (int& fd : fds) fd = -1;
  processId = INVALID_PID;
  next = nullptr;
  transient = FALSE;
  lastCpuTicks = 0;
  lastReadNs = 0;
  readInSample = 0;
  lastSample.reset();
}

void PidHashEntry::initForFreePool(PidHashEntry* nextFree) {
  init();
  next = nextFree;
}

BoolType PidHashEntry::isValid() const {
  if (processId == INVALID_PID) return FALSE;
  if (transient) return TRUE;
  return fds[PROC_FILE_STAT] != -1 && fds[PROC_FILE_STATUS] != -1 ? TRUE : FALSE;
}

void PidHashEntry::closeAll() {
  for (int& fd : fds) {
    if (fd < 0) continue;
    UTL_GUARANTEE(fd > 2);  // the standard streams are never ours to close
    // Linux releases the descriptor even when close reports EINTR, so it is
    // closed once: a retry could close a descriptor opened meanwhile.
    close(fd);
    fd = -1;
  }
}

void PidHashEntry::setValuesFromArray(const int newFds[PROC_FILE_COUNT]) {
  for (int i = 0; i < PROC_FILE_COUNT; i++) fds[i] = newFds[i];
}

// --- free pool ---

void PidHashMapFreePool::init() {
  // The first block comes with the first chained entry (getNextFree): a map
  // that holds the monitor alone never needs one.
  pool = nullptr;
  blocks.clear();
}

void PidHashMapFreePool::grow() {
  UTL_GUARANTEE(pool == nullptr);
  std::unique_ptr<PidHashEntry[]> block(new PidHashEntry[PID_FREE_POOL_BLOCK]);
  for (int i = 0; i < PID_FREE_POOL_BLOCK; i++) {
    block[i].initForFreePool(i + 1 < PID_FREE_POOL_BLOCK ? &block[i + 1] : nullptr);
  }
  pool = &block[0];
  blocks.push_back(std::move(block));
}

void PidHashMapFreePool::growFreePoolToSize(int n) {
  while (countFree() < n) {
    // grow() wants an empty pool: hand the spare entries to the new block's tail.
    PidHashEntry* spare = pool;
    pool = nullptr;
    grow();
    PidHashEntry* tail = pool;
    while (tail->next) tail = tail->next;
    tail->next = spare;
  }
}

PidHashEntry* PidHashMapFreePool::getNextFree() {
  if (pool == nullptr) grow();
  PidHashEntry* e = pool;
  pool = e->next;
  e->next = nullptr;
  return e;
}

void PidHashMapFreePool::reinitAndAddToFreePool(PidHashEntry* entry) {
  entry->initForFreePool(pool);
  pool = entry;
}

int PidHashMapFreePool::countFree() const {
  int n = 0;
  for (const PidHashEntry* e = pool; e; e = e->next) n++;
  return n;
}

// --- map ---

void PidHashMap::initForTableSize(uint32_t size, int fdTableSize) {
  if (initDone) return;
  if (clock == nullptr) clock = HostGetNanoTime;
  if (processExists == nullptr) processExists = HostProcessExists;
  freePool.init();
  tableSize = UtlPowerOf2GreaterThan(size);
  hashMask = tableSize - 1;
  numEntries = 0;
  table.clear();
  table.resize(tableSize);
  for (PidHashEntry& e : table) e.init();
  listOfPids.initForSize((int)size > 0 ? (int)size : 1);
  nextPidCleanupTimeNs = clock() + DEAD_PID_CLEANUP_INTERVAL_NS;
  fdToPidTableSize = fdTableSize;
  fdToPidTable.clear();  // grows with the descriptors registered (addToFdTable)
  initDone = TRUE;
}

int PidHashMap::hashPid(int pid) const {
  uint32_t h = (uint32_t)pid & hashMask;
  UTL_GUARANTEE(h < tableSize);
  return (int)h;
}

PidHashEntry* PidHashMap::lookup(int pid) {
  int h = hashPid(pid);
  PidHashEntry* e = &table[h];
  if (e->processId == pid) {
    hits++;
    UTL_GUARANTEE(e->isValid());
    checkEntryForPid(pid, e, FALSE);
    return e;
  }
  if (e->processId == INVALID_PID) {
    UTL_GUARANTEE(e->next == nullptr);
    misses++;
    return nullptr;
  }
  UTL_GUARANTEE(hashPid(e->processId) == h);
  for (e = e->next; e; e = e->next) {
    UTL_GUARANTEE(hashPid(e->processId) == h);
    if (e->processId == pid) {
      hits++;
      UTL_GUARANTEE(e->isValid());
      checkEntryForPid(pid, e, FALSE);
      return e;
    }
  }
  misses++;
  return nullptr;
}

PidHashEntry* PidHashMap::addEntryFor(int pid, const int fds[PROC_FILE_COUNT], BoolType transient) {
  UTL_GUARANTEE(lookup(pid) == nullptr);
  listOfPids.addPid(pid);
  numEntries++;
  PidHashEntry* bucket = &table[hashPid(pid)];
  PidHashEntry* e = bucket;
  if (bucket->processId != INVALID_PID) {
    e = freePool.getNextFree();
    e->next = bucket->next;
    bucket->next = e;
  }
  e->processId = pid;
  e->setValuesFromArray(fds);
  e->transient = transient;
  e->lastCpuTicks = 0;
  e->lastReadNs = 0;
  e->readInSample = 0;
  e->lastSample.reset();
  addToFdTable(pid, fds, transient);
  PidHashEntry* found = lookup(pid);
  UTL_GUARANTEE(found == e);
  return e;
}

void PidHashMap::removeEntryForPid(int pid) {
  int h = hashPid(pid);
  PidHashEntry* bucket = &table[h];
  if (bucket->processId == pid) {
    UTL_GUARANTEE(bucket->isValid());
    checkEntryForPid(pid, bucket, TRUE);
    numEntries--;
    bucket->closeAll();
    PidHashEntry* successor = bucket->next;
    bucket->init();
    if (successor) {
      // The chained entry moves into the bucket and its pool entry is freed.
      *bucket = std::move(*successor);
      checkEntryForPid(bucket->processId, bucket, FALSE);
      freePool.reinitAndAddToFreePool(successor);
    }
    listOfPids.removePid(pid);
  } else if (bucket->processId != INVALID_PID) {
    PidHashEntry* prev = bucket;
    for (PidHashEntry* e = bucket->next; e; prev = e, e = e->next) {
      if (e->processId != pid) continue;
      UTL_GUARANTEE(e->isValid());
      checkEntryForPid(pid, e, TRUE);
      numEntries--;
      prev->next = e->next;
      e->closeAll();
      freePool.reinitAndAddToFreePool(e);
      listOfPids.removePid(pid);
      break;
    }
  }
  UTL_GUARANTEE(lookup(pid) == nullptr);
  UTL_GUARANTEE(numEntries >= 0);
}

int PidHashMap::cleanupDeadPids() {
  if (!initDone) return 0;
  uint32_t sample = sampleNumber++;
  int64_t now = clock();
  if (now < nextPidCleanupTimeNs) return 0;
  nextPidCleanupTimeNs = now + DEAD_PID_CLEANUP_INTERVAL_NS;
  // A listed user's thousand processes are read at every sample: the read just
  // made is as good a sign of life as a probe, and spares a system call each.
  int n = listOfPids.removeDeadProcesses([&](PidType pid) {
    PidHashEntry* e = lookup(pid);
    return (e && e->readInSample == sample) || processExists(pid);
  });
  numDeadCleanedUp += (uint32_t)n;
  // The descriptors of a dead pid refer to the ended process even when the pid
  // has already been given to a new one, so its entry goes without a second look.
  for (int i = 0; i < n; i++) removeEntryForPid(listOfPids.inactivePids[i]);
  listOfPids.numInactive = 0;
  return n;
}

int PidHashMap::removeEntriesNotSeen() {
  std::vector<PidType> ended;
  for (int i = 0; i < listOfPids.numActive; i++) {
    PidType pid = listOfPids.activePids[i];
    PidHashEntry* e = lookup(pid);
    if (e && e->readInSample != sampleNumber) ended.push_back(pid);
  }
  for (PidType pid : ended) removeEntryForPid(pid);
  numDeadCleanedUp += (uint32_t)ended.size();
  return (int)ended.size();
}

void PidHashMap::checkEntryForPid(int pid, const PidHashEntry* entry, BoolType clear) {
  for (int fd : entry->fds) {
    if (fd == -1) continue;
    UTL_GUARANTEE(fdFitsTable(fd) && (size_t)fd < fdToPidTable.size());
    UTL_GUARANTEE(fdToPidTable[fd] == pid);
    if (clear) fdToPidTable[fd] = -1;
  }
}

void PidHashMap::addToFdTable(int pid, const int fds[PROC_FILE_COUNT], BoolType transient) {
  for (int i = 0; i < PROC_FILE_COUNT; i++) {
    int fd = fds[i];
    if (fd == -1) {
      UTL_GUARANTEE(transient || !procFileRequired(i));
      continue;
    }
    UTL_GUARANTEE(!transient);
    UTL_GUARANTEE(fdFitsTable(fd));
    // The table covers the descriptors in use, not the whole limit (which may be
    // a million): doubled as far as needed, never beyond the limit.
    if ((size_t)fd >= fdToPidTable.size()) {
      size_t size = fdToPidTable.empty() ? 64 : fdToPidTable.size();
      while (size <= (size_t)fd) size *= 2;
      fdToPidTable.resize(std::min(size, (size_t)fdToPidTableSize), -1);
    }
    UTL_GUARANTEE(fdToPidTable[fd] == -1);
    fdToPidTable[fd] = pid;
  }
}
