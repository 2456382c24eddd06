// The cache registry: lock files of the global directory, read only and local only.
//
// Quillon's server processes and shared page caches register themselves by lock
// files "<global dir>locks/<name>..LCK". A lock file starts with a 52-byte binary
// record (NetInfoQl64_3xSType) followed by five NUL-terminated strings. Lock
// files and the host id file are written by other processes: every reader here
// treats them as untrusted input (short files, strings without terminators,
// oversized strings) and never overruns a field or stops the program on them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/hosttypes.h"
#include "host/syserror.h"

// A cache location argument: the location string "keepername~hostid".
struct ShrPcLocationArgType {
  char locationStr[1024];
};

// Kind of a registration. 3 is a shared page cache, registered by its shared
// cache monitor; other values name the other registered server processes (a
// keeper registers with 1), and 0 none.
enum NetInfoEnum {
  NI_UNKNOWN = 0,
  NI_KEEPER = 1,
  NI_CACHE = 3,
};

enum NetInfoResultEnum {
  NIRES_ERROR = 0,
  NIRES_DOESNOTEXIST = 1,
  NIRES_EXISTS = 2,  // not produced by lookups
  NIRES_STALE = 3,   // the lock file exists but its process is gone
  NIRES_OK = 4,      // the lock file exists and its process lives
};

// The binary record at the start of a lock file (52 bytes, little-endian).
struct NetInfoQl64_3xSType {
  uint32_t _port;         //  0 port, network byte order in the low 16 bits
  uint32_t ftok_key;      //  4 IPC key of the cache's segment (kind 3 only)
  int32_t processId;      //  8 pid of the registered process
  int32_t kind;           // 12 NetInfoEnum
  uint32_t creationTime;  // 16 seconds since the epoch; 0 = unknown
  char creator[16];       // 20 NUL-padded, not necessarily terminated
  char version[16];       // 36 product version of the creator, same convention
};
static_assert(sizeof(NetInfoQl64_3xSType) == 52, "lock-file record size");
static_assert(offsetof(NetInfoQl64_3xSType, ftok_key) == 4, "ftok_key");
static_assert(offsetof(NetInfoQl64_3xSType, processId) == 8, "processId");
static_assert(offsetof(NetInfoQl64_3xSType, kind) == 12, "kind");
static_assert(offsetof(NetInfoQl64_3xSType, creationTime) == 16, "creationTime");
static_assert(offsetof(NetInfoQl64_3xSType, creator) == 20, "creator");
static_assert(offsetof(NetInfoQl64_3xSType, version) == 36, "version");

// Longest trailing string taken from a lock file, and how much is read after the record.
const int NETINFO_MAX_TRAILING_STRING = 1023;
const int NETINFO_TRAILER_READ_SIZE = 8191;

// One registration, filled by a lookup.
struct NetInfoSType {
  unsigned _port;  // network order
  unsigned portLow;
  unsigned portHigh;
  int processId;  // -1 when unknown
  int timeStamp;
  int ftok_key;
  NetInfoEnum kind;
  bool existingFileOk;
  bool fullResult;  // TRUE: also fill the descriptive fields
  char name[1024];
  char logName[1024];
  char cmdLine[1024];
  char configFile1[1024];
  char configFile2[1024];
  char creationTimeStr[128];
  char creator[128];
  char version[32];
  char machineName[256];  // empty for the local host
  char productDir[1024];

  NetInfoSType() { initialize(); }
  ~NetInfoSType() { initialize(); }
  void initialize();
};

typedef int (*NetInfoForeachCallback)(int count, const char* name, NetInfoResultEnum result, NetInfoSType* netInfo,
                                      void* userData);

// The global directory ("/opt/quillon/" and the like, always ending in "/"),
// computed once per process.
const char* NetInfoGlobalDir();
// The rule behind NetInfoGlobalDir, uncached: QUILLON_GLOBAL_DIR when it names an
// existing file or directory and is shorter than 1022 characters; else
// /opt/quillon (with a warning on stderr when /usr/quillon exists too, unless
// QL_DISABLE_WARNING is set); else /usr/quillon when it exists; else /opt/quillon.
void NetInfoComputeGlobalDir(char* dest, size_t destSize);

// "<global dir>locks/<name>..LCK"; FALSE when it does not fit.
BoolType NetInfoLockFileName(const char* name, char* result, size_t resultSize);
// "<global dir>locks/quillon.hostid"; FALSE when it does not fit.
BoolType NetInfoHostIdFileName(char* dest, size_t destSize);

// Reads the registration `name` (machine and beaconName must be null: only the
// local registry is read). err may be null.
NetInfoResultEnum NetInfoFind(const char* name, const char* machine, NetInfoSType* netInfo, SysErrorSType* err,
                              const char* beaconName);
// Calls cb for each live or stale registration; returns how many were passed, or
// -1 on failure. cb returns nonzero to go on, 0 to stop.
int NetInfoForeach(const char* machine, NetInfoForeachCallback cb, NetInfoSType* netInfo, void* userData,
                   SysErrorSType* err, const char* beaconName);
// The IPC key of the cache named locStr (answered from the cached key when the
// same name was looked up before).
NetInfoResultEnum NetInfoFindFtokKeyForCache(const char* locStr, int* keyPtr, SysErrorSType* err);
// This host's id from the host id file (read with retries, then cached).
// createIfAbsent must be FALSE: this program never creates the file.
BoolType NetInfoGetUniqueHostId(uint64_t* result, SysErrorSType* err, BoolType createIfAbsent);

// Finds the shared page cache on this host that serves keeperName; on success
// location->locationStr holds "keepername~hostid", on failure err->errMsg the reason.
BoolType NetInfoCacheNameForKeeper(const char* keeperName, ShrPcLocationArgType* location, SysErrorSType* err);

// Display form of a registered name (a cache "keeper~hostid" shows as its keeper
// name), cut to destSize.
void NetInfoDemangleName(const char* name, char* dest, size_t destSize);

// Builds "<keeper name after its last '!'>~<hostId in lowercase hex>" into
// location. hostId must be nonzero. A result that does not fit is reported and is
// an internal consistency failure.
BoolType ShrPcCacheLocationStr(const char* keeperName, uint64_t hostId, ShrPcLocationArgType* location);

// Test support: forget the process-wide cached values (global directory, time
// format, host id, cached key) and set the sleep between host id read attempts.
void NetInfoResetCachesForTest();
void NetInfoSetRetrySleepForTest(void (*sleepMs)(int ms));
