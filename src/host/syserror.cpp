#include "host/syserror.h"

#include <netdb.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/hostsignal.h"
#include "host/utlstring.h"

namespace {
const int64_t FLAG_ORDINARY = 0;
const int64_t FLAG_INTERRUPTED = 1;
const int64_t FLAG_WOULD_BLOCK = 2;
const int64_t FLAG_INTERRUPTED_BY_TERMINATION = 5;

// Every operating-system error number maps to the one code SYS_ERR_OS; callers
// only ever ask whether there is an error at all.
SysErrEType codeForErrno(int e) { return (e == 0 || e == -1) ? SYS_ERR_NONE : SYS_ERR_OS; }
}  // namespace

void SysErrorSType::initialize() {
  errFlags = 0;
  errCode = SYS_ERR_NONE;
  eaiError = 0;
  categ = SYS_ERR_CATEG_ERRNO;
  errMsg[0] = '\0';
}

BoolType SysErrorSType::setErrNum(int e) {
  int64_t low;
  BoolType realError = FALSE;
  if (e == EINTR || e == ERESTART) {
    low = HostGetSigTerm() ? FLAG_INTERRUPTED_BY_TERMINATION : FLAG_INTERRUPTED;
  } else if (e == EAGAIN || e == EWOULDBLOCK) {
    low = FLAG_WOULD_BLOCK;
  } else {
    low = FLAG_ORDINARY;
    realError = TRUE;
  }
  errFlags = (int64_t)(((uint64_t)(uint32_t)e << 32) | (uint64_t)low);
  return realError;
}

BoolType SysErrorSType::setErr(int e) {
  BoolType result = setErrNum(e);
  categ = SYS_ERR_CATEG_ERRNO;
  errCode = codeForErrno(e);
  return result;
}

void SysErrorSType::finishMsg() {
  if (errCode == SYS_ERR_NONE) return;
  char reason[1024];
  if (categ != SYS_ERR_CATEG_ERRNO) {
    snprintf(reason, sizeof reason, "%s", gai_strerror(eaiError));
  } else {
    HostErrSType hostErr;
    hostErr.theErrno = errNum();
    HostGetErrMsg(&hostErr, reason, sizeof reason);
  }
  std::string text(errMsg, strnlen(errMsg, sizeof errMsg));
  text += " failed with ";
  text += reason;
  // The message is cut to the record's 1023 characters by design.
  UtlStrCpyCut(errMsg, text.c_str(), sizeof errMsg);
}
