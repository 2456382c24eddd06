// The simulator's side of the lock-file registry: the global directory with its
// lock directory, the host id file, and the lock files of the keeper and of its
// cache. Errors are returned as text in *err.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

struct SimRegistry {
  std::string lockDir;        // "<global dir>/locks/"
  uint64_t hostId = 0;
  std::string keeperLockFile;
  std::string cacheName;      // "<keeper>~<host id in hex>"
  std::string cacheLockFile;
  bool keeperFileCreated = false;
  bool cacheFileCreated = false;
};

// Creates the global and lock directories when missing and reads the host id,
// creating the host id file exclusively (mode 0444, 8 bytes of /dev/urandom,
// never 0) when it is absent. Fills lockDir, hostId, the file names and cacheName.
bool SimPrepareRegistry(const std::string& globalDir, const std::string& keeperName, SimRegistry* reg,
                        std::string* err);

// Creates one lock file exclusively: the 52-byte record (kind, pid, ftok key,
// now, creator "cachesim", version "3.2.8.1") and the five strings. A lock file
// left behind by a process that no longer exists is replaced; one of a live
// process is an error.
bool SimWriteLockFile(const std::string& path, int kind, pid_t pid, uint32_t ftokKey, const std::string& cmdLine,
                      std::string* err);

// Rewrites the ftok key field of an existing lock file.
bool SimSetLockFileKey(const std::string& path, uint32_t ftokKey, std::string* err);

// Removes the lock files this process created.
void SimRemoveLockFiles(SimRegistry* reg);
