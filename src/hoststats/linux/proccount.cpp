#include "hoststats/linux/proccount.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "hoststats/linux/proctext.h"

bool ProcProcessCounter::walk(uint64_t* processes, uint64_t* otherDirs, int* errorNumber) {
  DIR* dir = opendir(_dir.c_str());
  if (!dir) {
    *errorNumber = errno;
    return false;
  }
  *processes = 0;
  *otherDirs = 0;
  while (struct dirent* e = readdir(dir)) {
    uint64_t pid;
    if (parseU64Token(e->d_name, e->d_name + strlen(e->d_name), &pid)) {
      (*processes)++;
    } else if (e->d_type == DT_DIR && strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) {
      (*otherDirs)++;
    }
  }
  closedir(dir);
  return true;
}

bool ProcProcessCounter::count(uint64_t* processes, int* errorNumber) {
  struct stat before;
  if (stat(_dir.c_str(), &before) != 0) {
    *errorNumber = errno;
    return false;
  }
  if (_linkOffset > 0 && _countsSinceWalk < PROC_COUNT_WALK_EVERY && before.st_nlink > _linkOffset) {
    _countsSinceWalk++;
    *processes = before.st_nlink - _linkOffset;
    return true;
  }
  uint64_t otherDirs;
  if (!walk(processes, &otherDirs, errorNumber)) return false;
  // Trusted only when nothing started or ended during the walk and the links
  // are exactly "." and the parent's entry, the other subdirectories and the
  // processes the walk saw.
  struct stat after;
  bool steady = stat(_dir.c_str(), &after) == 0 && after.st_nlink == before.st_nlink;
  _linkOffset = steady && before.st_nlink == 2 + otherDirs + *processes ? 2 + otherDirs : 0;
  _countsSinceWalk = 0;
  return true;
}
