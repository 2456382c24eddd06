// TEMPORARY: weak stand-ins for the host layer's error records and version number
// while that layer is built in parallel. The host layer's definitions replace
// these as soon as they are linked; this file goes away then.
#include <errno.h>

#include <cstdio>
#include <cstring>

#include "host/syserror.h"
#include "host/vermsg.h"

#define WEAK __attribute__((weak))

WEAK void SysErrorSType::initialize() {
  errFlags = 0;
  errCode = SYS_ERR_NONE;
  eaiError = 0;
  categ = SYS_ERR_CATEG_ERRNO;
  errMsg[0] = '\0';
}

WEAK BoolType SysErrorSType::setErrNum(int e) {
  errFlags = (int64_t)e << 32;
  if (e == EINTR) {
    errFlags |= 1;
    return FALSE;
  }
  if (e == EAGAIN) {
    errFlags |= 2;
    return FALSE;
  }
  return TRUE;
}

WEAK BoolType SysErrorSType::setErr(int e) {
  BoolType result = setErrNum(e);
  categ = SYS_ERR_CATEG_ERRNO;
  errCode = (e == -1 || e == 0) ? SYS_ERR_NONE : SYS_ERR_OS;
  return result;
}

WEAK void SysErrorSType::finishMsg() {
  if (errCode == SYS_ERR_NONE) return;
  char old[sizeof errMsg];
  memcpy(old, errMsg, sizeof old);
  snprintf(errMsg, sizeof errMsg, "%s failed with errno=%d,%s", old, errNum(), strerror(errNum()));
}

WEAK const char* VerQLVersionNumber() { return "3.2.8.1"; }
