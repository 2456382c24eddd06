#include "shrpc/hostshr.h"

#include <errno.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/utlexit.h"
#include "host/utlstring.h"
#include "netinfo/netinfo.h"
#include "shrpc/hostshrlock.h"

namespace {

// The intimate shared memory option of another platform; Linux has none, so the
// retry without it never applies here.
const int HOST_SHM_SHARE_MMU = 0;

BoolType shrMemDebug = FALSE;

int defaultShmget(key_t key, size_t size, int flags) { return shmget(key, size, flags); }
void* defaultShmat(int shmid, const void* addr, int flags) { return shmat(shmid, addr, flags); }
int defaultShmdt(const void* addr) { return shmdt(addr); }
HostShmCalls shmCalls = {defaultShmget, defaultShmat, defaultShmdt};

void trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void trace(const char* fmt, ...) {
  if (!shrMemDebug) return;
  va_list ap;
  va_start(ap, fmt);
  vprintf(fmt, ap);
  va_end(ap);
  fflush(stdout);
}

// Error texts name segments, keys and cache names; a text that would not fit is
// cut rather than treated as an internal error.
void setMsg(SysErrorSType* sErr, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void setMsg(SysErrorSType* sErr, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(sErr->errMsg, sizeof sErr->errMsg, fmt, ap);
  va_end(ap);
}

void appendMsg(SysErrorSType* sErr, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void appendMsg(SysErrorSType* sErr, const char* fmt, ...) {
  size_t used = strlen(sErr->errMsg);
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(sErr->errMsg + used, sizeof sErr->errMsg - used, fmt, ap);
  va_end(ap);
}

}  // namespace

void HostShrSetShmCalls(const HostShmCalls* calls) {
  shmCalls = calls ? *calls : HostShmCalls{defaultShmget, defaultShmat, defaultShmdt};
}

void HostShrInit() {
  shrMemDebug = FALSE;
  const char* value = getenv("QL_DEBUG_SHARED_MEM");
  if (value != nullptr) {
    char buffer[100];
    UtlStrCpyCut(buffer, value, sizeof buffer);  // the value itself is not examined
    shrMemDebug = TRUE;
    printf("[Debug]: Shared memory debug tracing enabled\n");
    fflush(stdout);
  }
  testAsmFunctions();
}

int getKey(const char* locStr, SysErrorSType* sErr) {
  int key = 0;
  NetInfoResultEnum res = NetInfoFindFtokKeyForCache(locStr, &key, sErr);
  if (res != NIRES_OK) {
    if (sErr->errMsg[0] == '\0' && sErr->errCode == 0) {
      setMsg(sErr, "Error reading lock file for shared cache '%s'\n", locStr);
    } else {
      sErr->finishMsg();
    }
    trace("[Debug]: getKey() failed: %s\n", sErr->errMsg);
    return 0;
  }
  trace("[Debug]: getKey() success.  key=%u\n", (unsigned)key);
  return key;
}

void* HostShrMemAttach(HostShrMemAccessor& acc, const char* locStr, int alignSize, SysErrorSType* sErr,
                       BoolType readonly) {
  HostShrMemStateType* state = acc.state();
  if (state->threadsAttached >= 1) {
    if (strcmp(locStr, state->locStr) != 0) {
      trace("shared memory already attached with locStr %s, arg locStr %s", state->locStr, locStr);
      UTL_GUARANTEE(strcmp(locStr, state->locStr) == 0);
    }
    state->threadsAttached++;
    if (state->shrMemId.loc == nullptr) {
      setMsg(sErr, "HostShrMemAttach threadsAttached %d, shrMemId.loc==NULL", state->threadsAttached);
      trace("[Debug]: %s\n", sErr->errMsg);
    }
    return state->shrMemId.loc;
  }

  state->actualSegSize = 0;
  int key = getKey(locStr, sErr);
  if (key == 0) return nullptr;

  int flags = (readonly ? 0440 : 0660) | IPC_EXCL;
  errno = 0;
  int id = shmCalls.shmgetFn((key_t)key, 0, flags);
  if (id < 0 && (errno == EPERM || errno == EACCES)) {
    trace("[Debug]: shmget() failure with key %u and flags %o, errno=%d\n", (unsigned)key, flags, errno);
    // A segment that grants read access to its owner only is found with owner bits.
    flags = (readonly ? 0400 : 0600) | IPC_EXCL;
    errno = 0;
    id = shmCalls.shmgetFn((key_t)key, 0, flags);
  }
  if (id < 0) {
    int e = errno;
    sErr->setErr(e);
    setMsg(sErr, "shmget(%d, 0, %d)", key, flags);
    sErr->finishMsg();
    trace("[Debug]: shmget() failure with key %u and flags %o, errno=%d\n", (unsigned)key, flags, e);
    trace("[Debug]: HostShrMemAttach() failure at %d: %s\n", 432, sErr->errMsg);
    return nullptr;
  }
  trace("[Debug]: shmget() succeeded with key %u and flags %o.  shmid=%d\n", (unsigned)key, flags, id);
  state->shrMemId.id = id;

  struct shmid_ds ds;
  if (shmctl(id, IPC_STAT, &ds) != 0) {
    sErr->setErr(errno);
    setMsg(sErr, "shmctl(%d, IPC_STAT, )", id);
    sErr->finishMsg();
    trace("[Debug]: shmctl() failed: %s\n", sErr->errMsg);
    return nullptr;
  }
  state->actualSegSize = ds.shm_segsz;

  void* addr = unixMemAttach(state, id, nullptr, alignSize, sErr, readonly ? SHM_RDONLY : 0);
  UtlStrCpyCut(state->locStr, locStr, sizeof state->locStr);
  if (addr == nullptr) {
    trace("[Debug]: unixMemAttach failed, %s\n", sErr->errMsg);
    return nullptr;
  }
  UTL_GUARANTEE(state->threadsAttached == 0);
  state->threadsAttached = 1;
  return addr;
}

void* unixMemAttach(HostShrMemStateType* state, int id, void* desiredAddr, int alignSize, SysErrorSType* sErr,
                    int shmatFlags) {
  SharedMemoryAligner aligner(state, id, desiredAddr, shmatFlags | HOST_SHM_SHARE_MMU, alignSize, sErr);
  if (!aligner.attach()) {
    state->shrMemId.loc = nullptr;
    if (sErr->errMsg[0] == '\0') {
      setMsg(sErr,
             "  Quillon's attach to the shared memory segment succeeded, but not at an\n"
             "  aligned address.\n");
    }
  }
  return state->shrMemId.loc;
}

void* basicShmat(HostShrMemStateType* state, int shmid, void* firstAddr, int flags, SysErrorSType* sErr) {
  trace("[Debug]: basicShmat: shmid = %d, requested address = 0x%p, flags = 0x%x\n", shmid, firstAddr, flags);
  errno = 0;
  void* result = shmCalls.shmatFn(shmid, firstAddr, flags);
  int e = errno;
  trace("[Debug]: basicShmat: shmat() returned: 0x%p. errno = %d\n", result, e);
  if (result == (void*)-1 && HOST_SHM_SHARE_MMU != 0 && (flags & HOST_SHM_SHARE_MMU) != 0 &&
      (e == EINVAL || e == ENOMEM)) {
    printf(
        "  WARNING, shmat() with Solaris option SHM_SHARE_MMU failed with EINVAL.\n"
        "  System may be heavily loaded. Retrying shmat() without SHM_SHARE_MMU.\n");
    fflush(stdout);
    flags &= ~HOST_SHM_SHARE_MMU;
    errno = 0;
    result = shmCalls.shmatFn(shmid, firstAddr, flags);
    e = errno;
    trace("[Debug]: basicShmat: shmat() retry with ~SHM_SHARE_MMU returned: 0x%p.  errno = %d\n", result, e);
  }
  state->shrMemIsLocked =
      (result != (void*)-1 && HOST_SHM_SHARE_MMU != 0 && (flags & HOST_SHM_SHARE_MMU) != 0) ? TRUE : FALSE;
  if (result == (void*)-1) {
    sErr->setErr(e);
    setMsg(sErr, "shmat( %d , 0x%p, 0x%x)", shmid, firstAddr, flags);
  }
  return result;
}

SharedMemoryAligner::SharedMemoryAligner(HostShrMemStateType* st, int id, void* addr, int shmFlags, int align,
                                         SysErrorSType* sErr)
    : state(st),
      shmid(id),
      userAddr(addr),
      resultAddr(nullptr),
      flags(shmFlags),
      alignValue(align),
      debugMode(shrMemDebug),
      attachFailed(FALSE),
      _sErr(sErr) {
  state->shrMemId.loc = nullptr;
}

void SharedMemoryAligner::storeResult(void* addr) { state->shrMemId.loc = addr; }

BoolType SharedMemoryAligner::tryMemAttach(void* desiredAddr) {
  resultAddr = basicShmat(state, shmid, desiredAddr, flags, _sErr);
  attachFailed = (resultAddr == (void*)-1) ? TRUE : FALSE;
  if (attachFailed) {
    trace("[Debug]: tryMemAttach: Attach failed.  errno = %d\n", _sErr->errNum());
    resultAddr = nullptr;
    return FALSE;
  }
  if (alignValue != 0 && ((uintptr_t)resultAddr % (uintptr_t)alignValue) != 0) {
    setMsg(_sErr, "shmat: result address 0x%p not %d aligned. Detaching.\n", resultAddr, alignValue);
    if (shmCalls.shmdtFn(resultAddr) != 0) {
      _sErr->setErr(errno);
      setMsg(_sErr, "shmdt(0x%p)", resultAddr);
      appendMsg(_sErr,
                "\n  Quillon could not detach from the shared memory segment with id %d,\n"
                "      after second attempt at alignment failed\n",
                shmid);
    }
    return FALSE;
  }
  storeResult(resultAddr);
  return TRUE;
}

BoolType SharedMemoryAligner::attach() {
  const uintptr_t a = (uintptr_t)alignValue;
  if (tryMemAttach(userAddr)) return TRUE;
  if (attachFailed || a == 0) return FALSE;

  uintptr_t base = ((uintptr_t)resultAddr + a - 1) / a * a;
  _sErr->initialize();
  if (tryMemAttach((void*)base)) return TRUE;
  _sErr->initialize();
  if (tryMemAttach((void*)(base - a))) return TRUE;

  uintptr_t step = a;
  uintptr_t addr = base;
  for (;;) {
    step *= 2;
    addr += step;
    if ((int64_t)addr <= 0) return FALSE;
    UTL_GUARANTEE(addr % a == 0);
    _sErr->initialize();
    if (tryMemAttach((void*)addr)) return TRUE;
  }
}

BoolType HostShrMemDetach(HostShrMemAccessor& acc, SysErrorSType* sErr, const KprCallExitFlags* flags) {
  HostShrMemStateType* state = acc.state();
  const BoolType quiet = (flags != nullptr && flags->isQuietEnabled() && !shrMemDebug) ? TRUE : FALSE;

  if (state->threadsAttached > 0) {
    state->threadsAttached--;
    if (state->threadsAttached > 0) return TRUE;
  }
  UTL_GUARANTEE(state->threadsAttached >= 0);
  if (state->shrMemId.loc == nullptr) return TRUE;

  BoolType result = TRUE;
  if (getenv("QL_DISABLE_SHMDT") != nullptr) {
    if (!quiet) {
      printf("[Info]: Skipping shared memory segment detach system call shmdt()\n");
      fflush(stdout);
    }
  } else if (shmCalls.shmdtFn(state->shrMemId.loc) != 0) {
    int e = errno;
    if (!quiet) {
      printf("shmdt() error, trying to detach from invalid address! address= 0x%p errno=%d\n.",
             state->shrMemId.loc, e);
      fflush(stdout);
    }
    sErr->setErr(e);
    setMsg(sErr, "shmdt(0x%p)", state->shrMemId.loc);
    sErr->finishMsg();
    appendMsg(sErr, "\n  Quillon could not detach from the shared memory segment starting\n  at address 0x%p",
              state->shrMemId.loc);
    result = FALSE;
  }
  state->shrMemId.loc = nullptr;
  return result;
}
