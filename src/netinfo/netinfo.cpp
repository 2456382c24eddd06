// Reading the lock-file registry of this host.
#include "netinfo/netinfo.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/hostprocess.h"
#include "host/utlexit.h"
#include "host/utlstring.h"
#include "netinfo/netinfoprivate.h"

namespace {

const char LOCK_SUFFIX[] = "..LCK";
const size_t LOCK_SUFFIX_LEN = sizeof LOCK_SUFFIX - 1;
const char DEFAULT_TIME_FORMAT[] = "%b %d %H:%M";

struct CachedFtokKey {
  int key;  // 0 = none
  char locationStr[1023];
};
CachedFtokKey cachedKey;

char timeFormat[129];
bool timeFormatKnown = false;

// Copies a fixed-size field of a lock file that may lack its terminator.
void copyField(char* dest, size_t destSize, const char* field, size_t fieldSize) {
  size_t len = strnlen(field, fieldSize);
  if (len >= destSize) len = destSize - 1;
  memcpy(dest, field, len);
  dest[len] = '\0';
}

int readFully(int fd, char* buf, size_t size) {
  size_t got = 0;
  while (got < size) {
    ssize_t n = read(fd, buf + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return got > 0 ? (int)got : -1;
    }
    if (n == 0) break;
    got += (size_t)n;
  }
  return (int)got;
}

}  // namespace

int netInfoOpenRegularFile(const char* path, BoolType* notRegular) {
  *notRegular = FALSE;
  int fd;
  do {
    fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // Checked on the open descriptor, not on the name: the entry may be replaced in between.
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    *notRegular = TRUE;
    return -1;
  }
  return fd;
}

void netInfoSetMsg(SysErrorSType* err, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(err->errMsg, sizeof err->errMsg, fmt, ap);
  va_end(ap);
}

void NetInfoSType::initialize() {
  _port = portLow = portHigh = 0;
  processId = -1;
  timeStamp = 0;
  ftok_key = 0;
  kind = NI_UNKNOWN;
  existingFileOk = false;
  fullResult = true;
  name[0] = logName[0] = cmdLine[0] = configFile1[0] = configFile2[0] = '\0';
  creationTimeStr[0] = creator[0] = version[0] = machineName[0] = productDir[0] = '\0';
}

void netInfoForgetCachedKey() { memset(&cachedKey, 0, sizeof cachedKey); }
void netInfoForgetTimeFormat() { timeFormatKnown = false; }

void netInfoCreationTimeStr(uint32_t creationTime, char* dest, size_t destSize) {
  if (creationTime == 0) {
    snprintf(dest, destSize, "unknown date");
    return;
  }
  if (!timeFormatKnown) {
    const char* env = getenv("QL_QLLIST_TIME_FORMAT");
    UtlStrCpyCut(timeFormat, env != nullptr ? env : DEFAULT_TIME_FORMAT, sizeof timeFormat);
    timeFormatKnown = true;
  }
  time_t t = (time_t)creationTime;
  struct tm tmBuf;
  dest[0] = '\0';
  if (localtime_r(&t, &tmBuf) == nullptr) return;
  char text[128];
  size_t n = strftime(text, sizeof text, timeFormat, &tmBuf);
  if (n == 0) {
    // A format that yields nothing is dropped for the rest of the run.
    UtlStrCpyCut(timeFormat, DEFAULT_TIME_FORMAT, sizeof timeFormat);
    n = strftime(text, sizeof text, timeFormat, &tmBuf);
    if (n == 0) text[0] = '\0';
  }
  UtlStrCpyCut(dest, text, destSize);
}

void netInfoTakeRecord(const NetInfoQl64_3xSType& rec, NetInfoSType* netInfo) {
  netInfo->_port = htonl(ntohl(rec._port));
  netInfo->processId = rec.processId;
  netInfo->timeStamp = (int)rec.creationTime;
  netInfo->kind = (NetInfoEnum)rec.kind;
  if (rec.kind == NI_CACHE) {
    netInfo->ftok_key = (int)rec.ftok_key;
    if (rec.ftok_key != 0) {
      cachedKey.key = (int)rec.ftok_key;
      UtlStrCpyCut(cachedKey.locationStr, netInfo->name, sizeof cachedKey.locationStr);
    }
  }
}

void netInfoTakeDescription(const NetInfoQl64_3xSType& rec, NetInfoSType* netInfo) {
  netInfoCreationTimeStr(rec.creationTime, netInfo->creationTimeStr, sizeof netInfo->creationTimeStr);
  if (rec.creator[0] != '\0') copyField(netInfo->creator, sizeof netInfo->creator, rec.creator, sizeof rec.creator);
  if (rec.version[0] != '\0') copyField(netInfo->version, sizeof netInfo->version, rec.version, sizeof rec.version);
}

void netInfoTakeTrailingStrings(const char* data, size_t length, NetInfoSType* netInfo) {
  char* fields[5] = {netInfo->logName, netInfo->productDir, netInfo->cmdLine, netInfo->configFile1,
                     netInfo->configFile2};
  size_t pos = 0;
  for (char* field : fields) {
    if (pos >= length) break;
    size_t len = strnlen(data + pos, length - pos);
    copyField(field, 1024, data + pos, len);  // every field holds 1024 bytes: cut at 1023
    pos += len + 1;
  }
}

NetInfoResultEnum NetInfoFind(const char* name, const char* machine, NetInfoSType* netInfo, SysErrorSType* err,
                              const char* beaconName) {
  UTL_GUARANTEE(netInfo != nullptr);
  UTL_GUARANTEE(machine == nullptr && beaconName == nullptr);  // only the local registry is read
  const bool full = netInfo->fullResult;
  netInfo->initialize();
  netInfo->fullResult = full;
  netInfo->machineName[0] = '\0';
  UtlStrCpyCut(netInfo->name, name, sizeof netInfo->name);

  char fileName[2048];
  if (!NetInfoLockFileName(name, fileName, sizeof fileName)) {
    if (err) {
      err->setErr(-1);
      netInfoSetMsg(err, "file not found: %s", fileName);
    }
    return NIRES_DOESNOTEXIST;
  }
  struct stat st;
  if (stat(fileName, &st) != 0) {
    if (err) {
      err->setErr(-1);
      netInfoSetMsg(err, "file not found: %s", fileName);
    }
    return NIRES_DOESNOTEXIST;
  }
  BoolType notRegular;
  int fd = netInfoOpenRegularFile(fileName, &notRegular);
  if (fd < 0) {
    if (err && notRegular) {
      err->setErr(-1);
      netInfoSetMsg(err, "not a regular file: %s", fileName);
    } else if (err) {
      err->setErr(errno);
      netInfoSetMsg(err, "open(%s, ORDONLY)", fileName);
      err->finishMsg();
    }
    return NIRES_ERROR;
  }
  NetInfoQl64_3xSType rec;
  ssize_t n;
  do {
    n = read(fd, &rec, sizeof rec);
  } while (n < 0 && errno == EINTR);
  if (n != (ssize_t)sizeof rec) {
    if (err) {
      if (n < 0) {
        err->setErr(errno);
        netInfoSetMsg(err, "read of %ld bytes failed on file %s", (long)sizeof rec, fileName);
      } else {
        err->setErr(-1);
        netInfoSetMsg(err, "read unexpected number (%d) of bytes on file %s", (int)n, fileName);
      }
      err->finishMsg();
    }
    close(fd);
    return NIRES_ERROR;
  }
  netInfoTakeRecord(rec, netInfo);
  if (netInfo->fullResult) {
    netInfoTakeDescription(rec, netInfo);
    char trailer[NETINFO_TRAILER_READ_SIZE + 1];
    memset(trailer, 0, sizeof trailer);
    int got = readFully(fd, trailer, NETINFO_TRAILER_READ_SIZE);
    if (got > 1) netInfoTakeTrailingStrings(trailer, (size_t)got, netInfo);
  }
  close(fd);

  // A pid of 0 or below cannot name a registered process (and would probe a
  // process group): such a file is treated as stale.
  if (netInfo->processId <= 0) return NIRES_STALE;
  if (!HostProcessExists(netInfo->processId)) return NIRES_STALE;
  return NIRES_OK;
}

int NetInfoForeach(const char* machine, NetInfoForeachCallback cb, NetInfoSType* netInfo, void* userData,
                   SysErrorSType* err, const char* beaconName) {
  (void)err;
  UTL_GUARANTEE(machine == nullptr && beaconName == nullptr);
  netInfo->machineName[0] = '\0';
  char lockDir[2048];
  char expanded[2048];
  snprintf(lockDir, sizeof lockDir, "%slocks/", NetInfoGlobalDir());
  netInfoExpandFileName(lockDir, expanded, sizeof expanded);
  DIR* dir = opendir(expanded);
  if (dir == nullptr) return 0;

  int count = 0;
  while (struct dirent* ent = readdir(dir)) {
    char entName[256];
    UtlStrCpyCut(entName, ent->d_name, sizeof entName);
    size_t len = strlen(entName);
    if (len <= LOCK_SUFFIX_LEN || strcmp(entName + len - LOCK_SUFFIX_LEN, LOCK_SUFFIX) != 0) continue;
    entName[len - LOCK_SUFFIX_LEN] = '\0';
    NetInfoResultEnum res = NetInfoFind(entName, nullptr, netInfo, nullptr, nullptr);
    bool goOn = true;
    if (res == NIRES_OK || res == NIRES_STALE) {
      count++;
      goOn = cb(count, entName, res, netInfo, userData) != 0;
    }
    netInfo->initialize();
    if (!goOn) break;
  }
  closedir(dir);
  return count;
}

NetInfoResultEnum NetInfoFindFtokKeyForCache(const char* locStr, int* keyPtr, SysErrorSType* err) {
  if (cachedKey.key != 0 && strcmp(cachedKey.locationStr, locStr) == 0) {
    *keyPtr = cachedKey.key;
    return NIRES_OK;
  }
  NetInfoSType netInfo;
  NetInfoResultEnum res = NetInfoFind(locStr, nullptr, &netInfo, err, nullptr);
  *keyPtr = netInfo.ftok_key;
  return res;
}
