#include "host/netsocket.h"

#include <signal.h>

#include <cerrno>

#include "host/utlstring.h"

BoolType NetSocketInit(SysErrorSType* err) {
  // A write to a socket whose peer has gone must fail with EPIPE, not end the
  // process.
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (sigaction(SIGPIPE, &ignore, nullptr) != 0) {
    int e = errno;
    err->initialize();
    UtlStrCpy(err->errMsg, "sigaction(SIGPIPE, SIG_IGN)", sizeof err->errMsg);
    err->setErr(e);
    err->finishMsg();
    return FALSE;
  }
  return TRUE;
}
