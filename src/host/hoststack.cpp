#include <execinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/hostsignal.h"

void HostSafeWrite(int fd, const char* text) {
  int savedErrno = errno;  // a signal handler must leave errno as it found it
  size_t len = strlen(text);
  while (len > 0) {
    size_t chunk = len > 256 ? 256 : len;
    ssize_t n = write(fd, text, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text += n;
    len -= (size_t)n;
  }
  errno = savedErrno;
}

void HostPrimeStack() {
  // The first backtrace() of a process loads the unwinder library, which
  // allocates; doing it here keeps the walk inside a signal handler free of that.
  void* frames[4];
  (void)backtrace(frames, 4);
}

void HostPrintStack(int fd) {
  int savedErrno = errno;
  void* frames[64];
  int count = backtrace(frames, 64);
  HostSafeWrite(fd, "Call stack:\n");
  backtrace_symbols_fd(frames, count, fd);
  errno = savedErrno;
}
