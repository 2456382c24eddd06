// This host's id in the registry, read from the host id file.
#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "host/utlexit.h"
#include "netinfo/netinfo.h"
#include "netinfo/netinfoprivate.h"

namespace {

const int HOST_ID_ATTEMPTS = 5;
const int HOST_ID_RETRY_MS = 100;

uint64_t cachedHostId = 0;

void defaultSleepMs(int ms) {
  struct timespec ts = {ms / 1000, (long)(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
void (*retrySleep)(int ms) = defaultSleepMs;

}  // namespace

void netInfoForgetHostId() { cachedHostId = 0; }

void NetInfoSetRetrySleepForTest(void (*sleepMs)(int ms)) { retrySleep = sleepMs ? sleepMs : defaultSleepMs; }

void NetInfoResetCachesForTest() {
  netInfoForgetGlobalDir();
  netInfoForgetCachedKey();
  netInfoForgetHostId();
  netInfoForgetTimeFormat();
}

BoolType NetInfoGetUniqueHostId(uint64_t* result, SysErrorSType* err, BoolType createIfAbsent) {
  UTL_GUARANTEE(!createIfAbsent);  // the owners create the file, never this program
  if (cachedHostId != 0) {
    *result = cachedHostId;
    return TRUE;
  }
  char fileName[2048];
  NetInfoHostIdFileName(fileName, sizeof fileName);

  int lastFd = -1;
  int lastErrno = 0;
  for (int attempt = 1; attempt <= HOST_ID_ATTEMPTS; attempt++) {
    BoolType notRegular;
    int fd = netInfoOpenRegularFile(fileName, &notRegular);
    if (fd < 0) {
      netInfoSetMsg(err, notRegular ? "Unable to open %s (not a regular file)" : "Unable to open %s ", fileName);
      return FALSE;
    }
    uint64_t value = 0;
    errno = 0;
    ssize_t n = read(fd, &value, sizeof value);
    lastErrno = (n < 0) ? errno : -1;
    lastFd = fd;
    close(fd);
    // A host id is never 0: a file holding 0 has not been written completely yet.
    if (n == (ssize_t)sizeof value && value != 0) {
      cachedHostId = value;
      *result = value;
      return TRUE;
    }
    if (attempt < HOST_ID_ATTEMPTS) retrySleep(HOST_ID_RETRY_MS);
  }
  err->setErr(lastErrno);
  netInfoSetMsg(err, "failure after 5 retries, read(%d, &result, 8), reading %s", lastFd,
           fileName);
  err->finishMsg();
  return FALSE;
}
