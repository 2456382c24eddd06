#include "host/hostprocess.h"

#include <signal.h>

#include <cerrno>

#include "host/utlexit.h"

BoolType HostProcessExists(int pid) {
  UTL_GUARANTEE(pid > 0);
  for (;;) {
    if (kill(pid, 0) == 0) return TRUE;
    if (errno == EINTR) continue;
    return errno == EPERM ? TRUE : FALSE;
  }
}
