#include "hoststats/linux/procfiles.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

bool ProcError::set(const std::string& text, int number) {
  message = text;
  errorNumber = number;
  return false;
}

ProcFiles::ProcFiles(const std::string& root) : _root(root) {
  while (!_root.empty() && _root.back() == '/') _root.pop_back();
}

ProcFiles::~ProcFiles() {
  for (const auto& h : _held) ::close(h.second);
}

bool ProcFiles::exists(const std::string& rel) const {
  struct stat st;
  return stat(path(rel).c_str(), &st) == 0;
}

bool ProcFiles::parseFailed(const std::string& rel, const std::string& what, ProcError* error) const {
  return error->set(path(rel) + ": " + what, EINVAL);
}

// procfs files are opened once and read again from the start at each sample:
// procfs produces their text anew for every read from offset 0, and none of them
// can be removed or replaced. Files elsewhere (sysfs, a fixture tree) are opened
// at each read, so that a replaced or vanished file is seen as such.
const std::string* ProcFiles::read(const std::string& rel, bool oneRecord, ProcError* error) {
  std::string p = path(rel);
  auto held = _held.find(p);
  int fd = held != _held.end() ? held->second : -1;
  if (fd < 0) {
    fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return error->set(p + ": " + strerror(errno), errno), nullptr;
    struct statfs fs;
    if (fstatfs(fd, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC) held = _held.emplace(p, fd).first;
  }
  _text.clear();
  char buf[16384];
  off_t offset = 0;
  for (;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int e = errno;
      ::close(fd);
      if (held != _held.end()) _held.erase(held);
      return error->set(p + ": " + strerror(e), e), nullptr;
    }
    if (n == 0) break;
    _text.append(buf, (size_t)n);
    offset += n;
    // A single record is produced whole for a read that can hold it; files of
    // many records (vmstat, diskstats, net/dev) hand out a page or so per read.
    if (oneRecord && (size_t)n < sizeof buf) break;
  }
  if (held == _held.end()) ::close(fd);
  return &_text;
}
