#include "support/cachefixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>


std::string lockFileBytes(const LockFileSpec& lock) {
  NetInfoQl64_3xSType rec;
  memset(&rec, 0, sizeof rec);
  rec._port = lock.port;
  rec.ftok_key = lock.ftokKey;
  rec.processId = lock.processId;
  rec.kind = lock.kind;
  memcpy(rec.creator, lock.creator.data(), std::min(lock.creator.size(), sizeof rec.creator));
  memcpy(rec.version, lock.version.data(), std::min(lock.version.size(), sizeof rec.version));
  std::string bytes((const char*)&rec, sizeof rec);
  for (const std::string& s : lock.strings) bytes += s + '\0';
  return bytes;
}

LockFileSpec liveLock(int32_t kind, uint32_t ftokKey) {
  LockFileSpec lock;
  lock.kind = kind;
  lock.processId = getpid();
  lock.ftokKey = ftokKey;
  return lock;
}

TempGlobalDir::TempGlobalDir() {
  _path = _dir.path() + "/";
  mkdir(lockDir().c_str(), 0755);
  setenv("QUILLON_GLOBAL_DIR", _path.c_str(), 1);
  NetInfoResetCachesForTest();
}

TempGlobalDir::~TempGlobalDir() {
  unsetenv("QUILLON_GLOBAL_DIR");
  NetInfoResetCachesForTest();
}

void TempGlobalDir::writeLockFile(const std::string& name, const std::string& bytes) const {
  writeFileText(lockDir() + name + "..LCK", bytes);
}
void TempGlobalDir::writeLockFile(const std::string& name, const LockFileSpec& lock) const {
  writeLockFile(name, lockFileBytes(lock));
}
void TempGlobalDir::writeHostId(const std::string& bytes) const { writeFileText(lockDir() + "quillon.hostid", bytes); }

pid_t deadPid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TestCache::TestCache(const std::string& keyFile)
    : TestCache(keyFile, {{true, SHRPC_KIND_MONITOR, "cachewarden", -1, false, 0, getpid()},
                          {true, SHRPC_KIND_KEEPER, "keeper", -1, false, 0, getpid()}, {}, {}}) {}

TestCache::TestCache(const std::string& keyFile, const std::vector<SimSlot>& slots) {
  std::string err;
  if (SimCreateSegment(SimOptions(), keyFile, slots, this, &err)) SimSetInitDone(this);
}
