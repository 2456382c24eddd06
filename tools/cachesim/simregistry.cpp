#include "simregistry.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "netinfo/netinfo.h"

namespace {

std::string errnoText(const std::string& what) { return what + ": " + strerror(errno); }

bool makeDir(const std::string& path, std::string* err) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
  *err = errnoText("mkdir " + path);
  return false;
}

bool readAll(int fd, void* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = read(fd, (char*)buf + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += (size_t)r;
  }
  return true;
}

bool writeAll(int fd, const void* buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t w = write(fd, (const char*)buf + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += (size_t)w;
  }
  return true;
}

bool readHostId(const std::string& path, uint64_t* id, std::string* err) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    *err = errnoText("open " + path);
    return false;
  }
  bool ok = readAll(fd, id, sizeof *id);
  close(fd);
  if (!ok || *id == 0) {
    *err = "host id file " + path + " is short or zero";
    return false;
  }
  return true;
}

bool createHostId(const std::string& path, std::string* err) {
  uint64_t id = 0;
  int rnd = open("/dev/urandom", O_RDONLY);
  if (rnd < 0) {
    *err = errnoText("open /dev/urandom");
    return false;
  }
  while (id == 0)
    if (!readAll(rnd, &id, sizeof id)) {
      close(rnd);
      *err = errnoText("read /dev/urandom");
      return false;
    }
  close(rnd);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0444);
  if (fd < 0) {
    if (errno == EEXIST) return true;  // another process won the race; use its id
    *err = errnoText("create " + path);
    return false;
  }
  bool ok = writeAll(fd, &id, sizeof id);
  close(fd);
  if (!ok) {
    *err = errnoText("write " + path);
    unlink(path.c_str());
    return false;
  }
  return true;
}

// A lock file whose registered process is gone may be replaced.
bool lockFileIsStale(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  NetInfoQl64_3xSType rec;
  bool ok = readAll(fd, &rec, sizeof rec);
  close(fd);
  if (!ok) return true;
  return rec.processId <= 0 || (kill(rec.processId, 0) != 0 && errno == ESRCH);
}

}  // namespace

bool SimPrepareRegistry(const std::string& globalDir, const std::string& keeperName, SimRegistry* reg,
                        std::string* err) {
  std::string dir = globalDir;
  if (dir.empty() || dir.back() != '/') dir += '/';
  if (!makeDir(dir, err) || !makeDir(dir + "locks", err)) return false;
  reg->lockDir = dir + "locks/";
  std::string hostIdFile = reg->lockDir + "quillon.hostid";
  if (access(hostIdFile.c_str(), F_OK) != 0 && !createHostId(hostIdFile, err)) return false;
  if (!readHostId(hostIdFile, &reg->hostId, err)) return false;
  char hex[32];
  snprintf(hex, sizeof hex, "%" PRIx64, reg->hostId);
  std::string shortName = keeperName.substr(keeperName.rfind('!') == std::string::npos ? 0 : keeperName.rfind('!') + 1);
  reg->cacheName = shortName + "~" + hex;
  reg->keeperLockFile = reg->lockDir + keeperName + "..LCK";
  reg->cacheLockFile = reg->lockDir + reg->cacheName + "..LCK";
  return true;
}

bool SimWriteLockFile(const std::string& path, int kind, pid_t pid, uint32_t ftokKey, const std::string& cmdLine,
                      std::string* err) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0 && errno == EEXIST && lockFileIsStale(path)) {
    unlink(path.c_str());
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  }
  if (fd < 0) {
    *err = errno == EEXIST ? path + " is held by a live process" : errnoText("create " + path);
    return false;
  }
  NetInfoQl64_3xSType rec;
  memset(&rec, 0, sizeof rec);
  rec._port = 0;
  rec.ftok_key = ftokKey;
  rec.processId = pid;
  rec.kind = kind;
  rec.creationTime = (uint32_t)time(nullptr);
  strncpy(rec.creator, "cachesim", sizeof rec.creator);
  strncpy(rec.version, "3.2.8.1", sizeof rec.version);
  // Log file, product directory, command line, two configuration files.
  std::string strings;
  strings += "/tmp/cachesim.log";
  strings += '\0';
  strings += "/opt/quillon/product";
  strings += '\0';
  strings += cmdLine.substr(0, 1023);
  strings += '\0';
  strings += '\0';
  strings += '\0';
  bool ok = writeAll(fd, &rec, sizeof rec) && writeAll(fd, strings.data(), strings.size());
  if (!ok) *err = errnoText("write " + path);
  close(fd);
  if (!ok) unlink(path.c_str());
  return ok;
}

bool SimSetLockFileKey(const std::string& path, uint32_t ftokKey, std::string* err) {
  int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) {
    *err = errnoText("open " + path);
    return false;
  }
  bool ok = pwrite(fd, &ftokKey, sizeof ftokKey, offsetof(NetInfoQl64_3xSType, ftok_key)) == (ssize_t)sizeof ftokKey;
  if (!ok) *err = errnoText("write " + path);
  close(fd);
  return ok;
}

void SimRemoveLockFiles(SimRegistry* reg) {
  if (reg->cacheFileCreated) unlink(reg->cacheLockFile.c_str());
  if (reg->keeperFileCreated) unlink(reg->keeperLockFile.c_str());
  reg->cacheFileCreated = reg->keeperFileCreated = false;
}
