#include "support/cachefixture.h"

#include <signal.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "support/runprocess.h"

std::string lockFileBytes(const LockFileSpec& spec) {
  NetInfoQl64_3xSType rec;
  memset(&rec, 0, sizeof rec);
  rec._port = spec.port;
  rec.ftok_key = spec.ftokKey;
  rec.processId = spec.processId;
  rec.kind = spec.kind;
  rec.creationTime = spec.creationTime;
  memcpy(rec.creator, spec.creator.data(), std::min(spec.creator.size(), sizeof rec.creator));
  memcpy(rec.version, spec.version.data(), std::min(spec.version.size(), sizeof rec.version));
  std::string bytes((const char*)&rec, sizeof rec);
  for (const std::string& s : spec.strings) {
    bytes += s;
    bytes += '\0';
  }
  return bytes;
}

namespace {
void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), (std::streamsize)bytes.size());
}
}  // namespace

TempGlobalDir::TempGlobalDir() {
  char tmpl[] = "/tmp/tally-gdir-XXXXXX";
  char* dir = mkdtemp(tmpl);
  _path = std::string(dir ? dir : "/tmp") + "/";
  mkdir((_path + "locks").c_str(), 0755);
  const char* old = getenv("QUILLON_GLOBAL_DIR");
  _hadEnv = old != nullptr;
  if (old) _savedEnv = old;
  setenv("QUILLON_GLOBAL_DIR", _path.c_str(), 1);
  NetInfoResetCachesForTest();
}

TempGlobalDir::~TempGlobalDir() {
  std::string cmd = "rm -rf '" + _path + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", _path.c_str());
  if (_hadEnv)
    setenv("QUILLON_GLOBAL_DIR", _savedEnv.c_str(), 1);
  else
    unsetenv("QUILLON_GLOBAL_DIR");
  NetInfoResetCachesForTest();
}

void TempGlobalDir::writeLockFile(const std::string& name, const std::string& bytes) const {
  writeBytes(lockDir() + name + "..LCK", bytes);
}
void TempGlobalDir::writeLockFile(const std::string& name, const LockFileSpec& spec) const {
  writeLockFile(name, lockFileBytes(spec));
}
void TempGlobalDir::writeHostId(uint64_t id) const {
  writeHostIdBytes(std::string((const char*)&id, sizeof id));
}
void TempGlobalDir::writeHostIdBytes(const std::string& bytes) const {
  writeBytes(lockDir() + "quillon.hostid", bytes);
}

pid_t deadPid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status;
  waitpid(child, &status, 0);
  return child;
}

namespace {
uint64_t roundUp(uint64_t v, uint64_t a) { return (v + a - 1) / a * a; }

void nameLock(HostShrSpinLockSType* lock, const char* name) {
  memset(lock, 0, sizeof *lock);
  snprintf(lock->lockName, sizeof lock->lockName, "%s", name);
  lock->ownerCacheSignature = HOST_SHR_NO_SIGNATURE;
  lock->queueOwnerCacheSignature = HOST_SHR_NO_SIGNATURE;
  lock->cleanupSignature = HOST_SHR_NO_SIGNATURE;
  lock->queueHead = lock->queueTail = HOST_SHR_QUEUE_EMPTY;
  lock->readInProgressPteSlot = -1;
}
}  // namespace

TestCacheSegment::TestCacheSegment(const TestCacheShape& shape) {
  ShrPcConfigSType cfg;
  memset(&cfg, 0, sizeof cfg);
  const uint64_t spinSize = sizeof(HostShrSpinLockSType);
  const ShrPcHotLockPlacement hot = shrpcHotLockPlacement((int32_t)spinSize, shape.hotSpinLockSize);
  uint64_t at = SHRPC_CACHE_DATA_OFFSET + (uint64_t)shape.numPages * SHRPC_PAGE_SIZE;
  auto place = [&at](uint64_t bytes) {
    uint64_t where = roundUp(at, 128);
    at = where + bytes;
    return where;
  };
  cfg.pceOffset = place((uint64_t)shape.numPces * sizeof(ShrPcPceSType));
  cfg.spinLocksOffset = place(hot.hashTableLocks + (uint64_t)shape.hashTableSize * spinSize);
  cfg.frameLocksOffset = place((uint64_t)shape.numPages * spinSize);
  cfg.processTableOffset = place(shape.numProcesses * sizeof(ShrPcProcessTableEntrySType));
  cfg.cacheStateOffset = place(sizeof(ShrPcCacheStateSType));
  cfg.miscDataOffset = place(sizeof(ShrPcMiscDataSType));
  cfg.shrHstLogOffset = 0;
  cfg.frameHistoryOffset = place((uint64_t)shape.numPages * sizeof(ShrPcFrameHistorySType));
  cfg.frameAgeOffset = place((uint64_t)shape.numPages * sizeof(ShrPcFrameAgeType));
  cfg.sharedCountersOffset = place((uint64_t)shape.numSharedCounters * spinSize);
  cfg.scanPinnedPagesOffset = place(roundUp((uint64_t)shape.numPages, 64) / 8);
  cfg.cacheLimitOffset = roundUp(at, 128);
  _size = cfg.cacheLimitOffset;

  cfg.compatibilityLevel = SHRPC_COMPATIBILITY_LEVEL;
  cfg.numPages = shape.numPages;
  cfg.segmentSize = _size;
  cfg.num_Pces = shape.numPces;
  cfg.hashTableSize = shape.hashTableSize;
  cfg.numSharedCounters = shape.numSharedCounters;
  cfg.numProcesses = shape.numProcesses;
  cfg.spinLockCount = (uint32_t)(SHRPC_NUM_HOT_SPIN_LOCKS + shape.hashTableSize);
  cfg.pceSize = sizeof(ShrPcPceSType);
  cfg.spinLockSize = (int32_t)spinSize;
  cfg.hotSpinLockSize = shape.hotSpinLockSize;
  cfg.frameLockSize = sizeof(ShrPcFrameLockSType);
  cfg.sharedCounterSize = sizeof(ShrPcSharedCounterSType);
  cfg.miscDataSize = sizeof(ShrPcMiscDataSType);
  cfg.pteSize = sizeof(ShrPcProcessTableEntrySType);
  cfg.cacheStateSize = sizeof(ShrPcCacheStateSType);
  cfg.frameHistEntrySize = sizeof(ShrPcFrameHistorySType);
  cfg.aFrameAgeSize = sizeof(ShrPcFrameAgeType);
  cfg.initDone = TRUE;

  for (int attempt = 0; attempt < 1000 && _id < 0; attempt++) {
    _key = (key_t)(0x7a000000 + ((getpid() & 0xffff) << 8) + attempt);
    _id = shmget(_key, _size, IPC_CREAT | IPC_EXCL | 0600);
  }
  if (_id < 0) return;
  void* addr = shmat(_id, nullptr, 0);
  if (addr == (void*)-1) {
    shmctl(_id, IPC_RMID, nullptr);
    _id = -1;
    return;
  }
  _base = (char*)addr;
  memcpy(_base, &cfg, sizeof cfg);

  char name[64];
  char* spinArea = _base + cfg.spinLocksOffset;
  const char* hotNames[] = {SHRPC_LOCKNAME_FREE_PCE, SHRPC_LOCKNAME_FREE_FRAME, SHRPC_LOCKNAME_CLOCK_HAND,
                            "ShrHstLog"};
  for (int i = 0; i < SHRPC_NUM_HOT_SPIN_LOCKS; i++) {
    nameLock((HostShrSpinLockSType*)(spinArea + hot.firstHotLock + i * hot.stride), hotNames[i]);
  }
  for (int i = 0; i < shape.hashTableSize; i++) {
    snprintf(name, sizeof name, SHRPC_LOCKNAME_HASH_TABLE_FMT, i);
    HostShrSpinLockSType* lock = (HostShrSpinLockSType*)(spinArea + hot.hashTableLocks) + i;
    nameLock(lock, name);
    lock->isHashTableLock = TRUE;
  }
  for (int i = 0; i < shape.numPages; i++) {
    snprintf(name, sizeof name, SHRPC_LOCKNAME_FRAME_LOCK_FMT, i);
    nameLock((HostShrSpinLockSType*)(_base + cfg.frameLocksOffset) + i, name);
  }
  ShrPcMiscDataSType* misc = (ShrPcMiscDataSType*)(_base + cfg.miscDataOffset);
  nameLock(&misc->globalSessionStatsLock, SHRPC_LOCKNAME_GLOBAL_STATS);
  nameLock(&misc->checkpointInfo.lock, SHRPC_LOCKNAME_CHKPT_INFO);
  for (int i = 0; i < shape.numSharedCounters; i++) {
    snprintf(name, sizeof name, "SharedCounter_%d", i);
    nameLock(sharedCounter(i), name);
  }
  for (uint32_t slot = 0; slot < shape.numProcesses; slot++) {
    entry(slot)->stats.processId = -1;
    entry(slot)->stats.sessionId = -1;
  }
}

TestCacheSegment::~TestCacheSegment() {
  if (_base) shmdt(_base);
  if (_id >= 0) shmctl(_id, IPC_RMID, nullptr);
}

ShrPcProcessTableEntrySType* TestCacheSegment::entry(uint32_t slot) const {
  return (ShrPcProcessTableEntrySType*)(_base + config()->processTableOffset) + slot;
}

HostShrSpinLockSType* TestCacheSegment::sharedCounter(int i) const {
  return (HostShrSpinLockSType*)(_base + config()->sharedCountersOffset) + i;
}

bool TestCacheSegment::setMode(int mode) const {
  struct shmid_ds ds;
  if (shmctl(_id, IPC_STAT, &ds) != 0) return false;
  ds.shm_perm.mode = (unsigned short)mode;
  return shmctl(_id, IPC_SET, &ds) == 0;
}
