// Test fixtures for the cache registry and the shared cache segment: lock files
// in a temporary global directory, and a real System V segment laid out as a
// cache, removed again when its guard dies (also when a test fails).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "netinfo/netinfo.h"
#include "shrpc/shrpclayout.h"

// Contents of one lock file: the 52-byte record and the five trailing strings.
struct LockFileSpec {
  int32_t kind = NI_KEEPER;
  int32_t processId = 0;
  uint32_t ftokKey = 0;
  uint32_t port = 0;
  uint32_t creationTime = 0;
  std::string creator = "tester";
  std::string version = "3.2.8.1";
  std::vector<std::string> strings;  // written NUL-terminated, in order
};

// Bytes of a lock file as the owners write it.
std::string lockFileBytes(const LockFileSpec& spec);

// A temporary global directory with its locks/ subdirectory, named by
// QUILLON_GLOBAL_DIR while the object lives; the registry's process-wide caches
// are reset on entry and exit.
class TempGlobalDir {
 public:
  TempGlobalDir();
  ~TempGlobalDir();
  TempGlobalDir(const TempGlobalDir&) = delete;
  TempGlobalDir& operator=(const TempGlobalDir&) = delete;
  const std::string& path() const { return _path; }  // ends in "/"
  std::string lockDir() const { return _path + "locks/"; }
  // Writes "<locks>/<name>..LCK" with raw bytes.
  void writeLockFile(const std::string& name, const std::string& bytes) const;
  void writeLockFile(const std::string& name, const LockFileSpec& spec) const;
  void writeHostId(uint64_t id) const;
  void writeHostIdBytes(const std::string& bytes) const;

 private:
  std::string _path;
  std::string _savedEnv;
  bool _hadEnv = false;
};

// A pid that is certainly not running: a child that has been reaped.
pid_t deadPid();

// Layout choices of a test cache.
struct TestCacheShape {
  int numPages = 2;
  int numPces = 4;
  int hashTableSize = 4;
  uint32_t numProcesses = 4;
  int numSharedCounters = 3;
  int hotSpinLockSize = 256;  // 512 places hot locks at a stride of 512
};

// A System V segment holding a complete, initialised test cache. The segment is
// created with owner read/write permission, filled through a private writable
// mapping, and removed (IPC_RMID) by the destructor.
class TestCacheSegment {
 public:
  explicit TestCacheSegment(const TestCacheShape& shape = TestCacheShape());
  ~TestCacheSegment();
  TestCacheSegment(const TestCacheSegment&) = delete;
  TestCacheSegment& operator=(const TestCacheSegment&) = delete;

  bool ok() const { return _id >= 0; }
  int id() const { return _id; }
  key_t key() const { return _key; }
  size_t size() const { return _size; }
  // Writable view used to build and change the cache.
  ShrPcConfigSType* config() const { return (ShrPcConfigSType*)_base; }
  char* base() const { return _base; }
  ShrPcProcessTableEntrySType* entry(uint32_t slot) const;
  HostShrSpinLockSType* sharedCounter(int i) const;
  // Changes the segment's permission bits (e.g. 0400: owner read only).
  bool setMode(int mode) const;

 private:
  int _id = -1;
  key_t _key = 0;
  size_t _size = 0;
  char* _base = nullptr;
};
