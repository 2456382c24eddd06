#include "host/hoststdout.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int HostTakeStdoutForData() {
  fflush(stdout);
  int data = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (data < 0) return -1;
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    // Descriptor 1 must stay taken: a later open would otherwise be given it,
    // and messages would be written into whatever file that is.
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0 && null != STDOUT_FILENO) {
      dup2(null, STDOUT_FILENO);
      close(null);
    }
  }
  return data;
}
