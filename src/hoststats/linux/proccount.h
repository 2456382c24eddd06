// Counting the processes of the host: the numeric entries of a /proc directory.
//
// A walk of /proc costs the kernel a lookup per process, a few microseconds each
// (milliseconds per sample on a host with thousands of sessions). procfs also
// states the count in the link count of its root directory: 2, plus one per
// subdirectory, plus the processes of the whole system. Where a walk finds the
// link count exactly right (the /proc of the initial pid namespace with every
// process visible; any ordinary directory as well), the counter trusts the link
// count from then on and walks again every PROC_COUNT_WALK_EVERY counts to check
// it. Where it does not (another pid namespace, hidden processes, a file system
// whose directories all count 1 link), every count walks.
#pragma once

#include <cstdint>
#include <string>

const int PROC_COUNT_WALK_EVERY = 100;

class ProcProcessCounter {
 public:
  explicit ProcProcessCounter(std::string procDir) : _dir(std::move(procDir)) {}
  // The number of processes; false with *errorNumber set when the directory
  // cannot be read.
  bool count(uint64_t* processes, int* errorNumber);
  // Whether the last count came from the link count (for tests).
  bool trustsLinkCount() const { return _linkOffset > 0; }

 private:
  // Numeric entries and subdirectories of the directory.
  bool walk(uint64_t* processes, uint64_t* otherDirs, int* errorNumber);

  std::string _dir;
  uint64_t _linkOffset = 0;  // links that are not processes; 0 while not trusted
  int _countsSinceWalk = 0;
};
