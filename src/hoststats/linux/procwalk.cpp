#include "hoststats/linux/procwalk.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

ProcPidWalk::~ProcPidWalk() {
  if (_handle) closedir(_handle);
}

bool ProcPidWalk::start(int* errorNumber) {
  if (_handle == nullptr) _handle = opendir(_dir.c_str());
  if (_handle == nullptr) {
    *errorNumber = errno;
    return false;
  }
  _complete = false;
  _current = nullptr;
  return true;
}

bool ProcPidWalk::next(int* pid) {
  for (;;) {
    errno = 0;
    struct dirent* d = readdir(_handle);
    if (d == nullptr) {
      _complete = errno == 0;
      _current = nullptr;
      rewinddir(_handle);
      return false;
    }
    if (d->d_name[0] == '.') continue;
    errno = 0;
    char* end;
    long value = strtol(d->d_name, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > 0x7fffffffL) continue;
    _current = d->d_name;
    *pid = (int)value;
    return true;
  }
}

bool ProcPidWalk::ownerOfCurrent(int* uid) const {
  struct stat st;
  if (_current == nullptr || fstatat(dirfd(_handle), _current, &st, 0) != 0 || !S_ISDIR(st.st_mode)) return false;
  *uid = (int)st.st_uid;
  return true;
}
