#include <execinfo.h>
#include <unistd.h>

#include <cstring>

#include "host/hostsignal.h"

void HostSafeWrite(int fd, const char* text) {
  size_t len = strlen(text);
  while (len > 0) {
    size_t chunk = len > 256 ? 256 : len;
    ssize_t n = write(fd, text, chunk);
    if (n <= 0) return;
    text += n;
    len -= (size_t)n;
  }
}

void HostPrintStack(int fd) {
  void* frames[64];
  int count = backtrace(frames, 64);
  HostSafeWrite(fd, "Call stack:\n");
  backtrace_symbols_fd(frames, count, fd);
}
