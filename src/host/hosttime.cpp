#include "host/hosttime.h"

#include <sys/time.h>

#include <cerrno>
#include <cstdio>

#include "host/utlexit.h"

HostHrtime_t HostGetNanoTime() {
  for (;;) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    HostHrtime_t t = (HostHrtime_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
    if (t >= 0) return t;
  }
}

time_t HostFtime(int* ms) {
  struct timeval tv;
  if (gettimeofday(&tv, nullptr) != 0) {
    if (ms) *ms = 0;
    return 0;
  }
  if (ms) *ms = (int)(tv.tv_usec / 1000);
  return tv.tv_sec;
}

int64_t HostComputeElapsedTimeMs(HostHrtime_t start) { return (HostGetNanoTime() - start) / 1000000; }

void HostNanoSleep(int64_t ns) {
  if (ns <= 0) return;
  struct timespec req;
  req.tv_sec = (time_t)(ns / 1000000000LL);
  req.tv_nsec = (long)(ns % 1000000000LL);
  if (nanosleep(&req, nullptr) != 0 && errno != EINTR) {
    printf("HostNanoSleep() failed with unexpected errno=%d\n", errno);
    UTL_GUARANTEE(FALSE);
  }
}
