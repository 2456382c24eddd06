// The processes of a /proc directory, one after the other: for the records of
// the processes of listed users. The directory is opened at the first walk and
// kept open; each walk starts again from its beginning.
#pragma once

#include <dirent.h>

#include <string>

class ProcPidWalk {
 public:
  // procDir: "/proc" on the live host, a fixture tree's proc in tests.
  explicit ProcPidWalk(std::string procDir) : _dir(std::move(procDir)) {}
  ~ProcPidWalk();
  ProcPidWalk(const ProcPidWalk&) = delete;
  ProcPidWalk& operator=(const ProcPidWalk&) = delete;

  // Starts a walk; false with *errorNumber when the directory cannot be opened.
  bool start(int* errorNumber);
  // The next process (an entry with a positive decimal name that fits an
  // int), in directory order; false at the end of the walk, which then starts
  // again from the beginning at the next start().
  bool next(int* pid);
  // The owner of the entry next() gave last; false when it is no directory
  // (or gone).
  bool ownerOfCurrent(int* uid) const;
  // Whether the walk that just ended read the whole directory (no read error):
  // only then are processes it did not list known to have ended.
  bool complete() const { return _complete; }

 private:
  std::string _dir;
  DIR* _handle = nullptr;
  const char* _current = nullptr;  // name of the entry next() gave last
  bool _complete = false;
};
