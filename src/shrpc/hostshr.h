// Attaching the System V shared memory segment of a shared page cache, read only.
//
// The segment is found by the IPC key that the cache's owner recorded in its
// lock file (NetInfoFindFtokKeyForCache), mapped at an address aligned to a given
// size and unmapped again. This layer never creates or removes an IPC object and
// never touches the cache's semaphore set.
//
// Linux has no intimate shared memory option: the mapping is made with SHM_RDONLY
// when read only access is asked for, so a stray write faults instead of
// corrupting the cache, and shrMemIsLocked stays FALSE.
#pragma once

#include <sys/shm.h>
#include <sys/types.h>

#include "host/hosttypes.h"
#include "host/syserror.h"
#include "shrpc/kprcallexitflags.h"
#include "shrpc/hostshrstate.h"

// Clears the trace flag and sets it again when QL_DEBUG_SHARED_MEM is defined
// (printing "[Debug]: Shared memory debug tracing enabled"); then runs the
// self-test of the atomic operations. Called before every attach.
void HostShrInit();

// IPC key of the cache named locStr, or 0 when it cannot be found (reason in sErr).
int getKey(const char* locStr, SysErrorSType* sErr);

// Maps the segment of the cache named locStr at a multiple of alignSize and
// returns its address, or null (reason in sErr). A second attach with the same
// location string only counts up; another location string while attached is an
// internal consistency failure.
void* HostShrMemAttach(HostShrMemAccessor& acc, const char* locStr, int alignSize, SysErrorSType* sErr,
                       BoolType readonly);
// Aligned mapping of segment id; the address or null. shmatFlags is SHM_RDONLY
// for a read only mapping (where another platform would ask for intimate shared
// memory).
void* unixMemAttach(HostShrMemStateType* state, int id, void* desiredAddr, int alignSize, SysErrorSType* sErr,
                    int shmatFlags = SHM_RDONLY);
// One shmat; its result ((char*)-1 on failure, errno kept in sErr).
void* basicShmat(HostShrMemStateType* state, int shmid, void* firstAddr, int flags, SysErrorSType* sErr);

// Counts the attachment down; the last one unmaps the segment (unless
// QL_DISABLE_SHMDT is defined). flags may be null (all bits clear); its quiet bit
// silences the messages. FALSE when shmdt failed (reason in sErr).
BoolType HostShrMemDetach(HostShrMemAccessor& acc, SysErrorSType* sErr, const KprCallExitFlags* flags);

// Performs one aligned attach: first where the system chooses, then, when that
// address is misaligned, at the rounded-up address, alignValue below it, and at
// growing distances above it (base + 2a, + 6a, + 14a, ...).
class SharedMemoryAligner {
 public:
  SharedMemoryAligner(HostShrMemStateType* state, int shmid, void* userAddr, int flags, int alignValue,
                      SysErrorSType* sErr);
  BoolType attach();

  HostShrMemStateType* state;
  int shmid;
  void* userAddr;    // requested address; null in this program
  void* resultAddr;  // last address shmat returned, or null
  int flags;         // shmat flags
  int alignValue;    // alignment in bytes
  BoolType debugMode;
  BoolType attachFailed;  // the last shmat itself failed (not merely misaligned)

 private:
  BoolType tryMemAttach(void* desiredAddr);
  void storeResult(void* addr);
  SysErrorSType* _sErr;
};

// The system calls this layer makes, replaceable by tests (null restores them).
struct HostShmCalls {
  int (*shmgetFn)(key_t key, size_t size, int flags);
  void* (*shmatFn)(int shmid, const void* addr, int flags);
  int (*shmdtFn)(const void* addr);
};
void HostShrSetShmCalls(const HostShmCalls* calls);
