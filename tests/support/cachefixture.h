// Test fixtures for the cache registry and the shared cache segment: lock files
// in a temporary global directory, and a real System V segment laid out by the
// simulator's builder, removed again when its guard dies (also when a test fails).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "netinfo/netinfo.h"
#include "shrpc/shrpclayout.h"
#include "simsegment.h"
#include "support/runprocess.h"

// Contents of one lock file: the 52-byte record and the trailing strings.
struct LockFileSpec {
  int32_t kind = NI_KEEPER;
  int32_t processId = 0;
  uint32_t ftokKey = 0;
  uint32_t port = 0;
  std::string creator = "tester";
  std::string version = "3.2.8.1";
  std::vector<std::string> strings;  // written NUL-terminated, in order
};
std::string lockFileBytes(const LockFileSpec& lock);
LockFileSpec liveLock(int32_t kind, uint32_t ftokKey = 0);  // owned by this process

// A temporary global directory with its locks/ subdirectory, named by
// QUILLON_GLOBAL_DIR while the object lives; the registry's process-wide caches
// are reset on entry and exit.
class TempGlobalDir {
 public:
  TempGlobalDir();
  ~TempGlobalDir();
  const std::string& path() const { return _path; }  // ends in "/"
  std::string lockDir() const { return _path + "locks/"; }
  // Writes "<locks>/<name>..LCK".
  void writeLockFile(const std::string& name, const std::string& bytes) const;
  void writeLockFile(const std::string& name, const LockFileSpec& lock) const;
  void writeHostId(const std::string& bytes) const;

 private:
  TempDir _dir;
  std::string _path;
};

// A pid that is certainly not running: a child that has been reaped.
pid_t deadPid();

// A cache whose slot 0 (monitor) and slot 1 (keeper, named "keeper") carry this
// process, followed by two free slots; or one laid out with the slots given.
// initDone is set. Mapped writable here; IPC_RMID on destruction.
struct TestCache : SimSegment {
  explicit TestCache(const std::string& keyFile);
  TestCache(const std::string& keyFile, const std::vector<SimSlot>& slots);
  ~TestCache() { SimDestroySegment(this); }
  ShrPcProcessTableEntrySType* entry(int slot) const {
    return (ShrPcProcessTableEntrySType*)(base + config->processTableOffset) + slot;
  }
};
