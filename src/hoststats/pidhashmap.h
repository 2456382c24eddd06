// The table of processes whose /proc files the monitor holds open between
// samples, so that a sample re-reads open descriptors instead of opening files.
//
// PidHashMap maps a process id to a PidHashEntry holding the descriptors of the
// process's /proc files. Buckets live in one array; entries whose pid hashes to an
// occupied bucket are chained behind it and come from a free pool that grows in
// blocks of 4096 entries and is never released. A reverse table records, for each
// descriptor number, the pid whose entry holds it, and every lookup checks the
// entry's descriptors against it. PidList mirrors the pids of the map so that the
// dead-process cleanup can probe them all at most every 2 seconds.
//
// Single-threaded: touched only by the sampling thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "host/hosttypes.h"

const int INVALID_PID = -1;
const uint32_t PID_HASH_MAP_SIZE = 4096;
const int PID_FREE_POOL_BLOCK = 4096;
const int64_t DEAD_PID_CLEANUP_INTERVAL_NS = 2000000000LL;
const int PID_FD_TABLE_DEFAULT_SIZE = 2048;

// The /proc files of one process, by position in PidHashEntry::fds. The stat and
// status files must be open in a live entry; io (unreadable for other users'
// processes) and schedstat (absent without scheduler statistics) may be -1.
enum ProcFilePos : int { PROC_FILE_STAT = 0, PROC_FILE_IO = 1, PROC_FILE_STATUS = 2, PROC_FILE_SCHEDSTAT = 3 };
const int PROC_FILE_COUNT = 4;
inline bool procFileRequired(int pos) { return pos == PROC_FILE_STAT || pos == PROC_FILE_STATUS; }

// Smallest power of two that is at least n (1 for 0 and 1).
uint32_t UtlPowerOf2GreaterThan(uint32_t n);

// What one read of a process found; the platform layer defines it.
struct ProcPidSample;
struct ProcPidSampleDeleter {
  void operator()(ProcPidSample* sample) const;
};

struct PidHashEntry {
  int fds[PROC_FILE_COUNT];  // open descriptors by ProcFilePos; -1 when not open
  int processId;             // INVALID_PID when the entry is free
  PidHashEntry* next;        // next entry of the same bucket, or of the free pool
  // The process's files are opened and closed at each read because descriptors
  // ran out when it was first read; all fds are then -1.
  BoolType transient;
  // Figures kept from the previous read for the CPU share over the interval.
  uint64_t lastCpuTicks;  // user + system clock ticks
  int64_t lastReadNs;     // boot-clock nanoseconds; 0 before the first read
  // PidHashMap::sampleNumber of the last successful read; 0: never read.
  uint32_t readInSample;
  // What the last read found (for the next read of the same open files to
  // compare with, and the user the process ran as); null before the first.
  std::unique_ptr<ProcPidSample, ProcPidSampleDeleter> lastSample;

  void init();
  void initForFreePool(PidHashEntry* nextFree);
  // processId set and, unless transient, the required files open.
  BoolType isValid() const;
  // Closes every open descriptor and sets it to -1.
  void closeAll();
  void setValuesFromArray(const int newFds[PROC_FILE_COUNT]);
};

struct PidHashMapFreePool {
  PidHashEntry* pool = nullptr;  // head of the free entries, linked through next
  std::vector<std::unique_ptr<PidHashEntry[]>> blocks;

  void init();
  // Adds a block of PID_FREE_POOL_BLOCK entries; the pool must be empty.
  void grow();
  void growFreePoolToSize(int n);
  PidHashEntry* getNextFree();
  void reinitAndAddToFreePool(PidHashEntry* entry);
  int countFree() const;
};

// The pids of the map, split at each cleanup into the living (activePids) and the
// dead (inactivePids): two halves of one allocation.
struct PidList {
  PidType* activePids = nullptr;
  PidType* inactivePids = nullptr;
  int numActive = 0;
  int numInactive = 0;
  int listAllocSize = 0;
  std::vector<PidType> storage;

  void initForSize(int n);
  // n must exceed listAllocSize; new slots hold -1.
  void growToSize(int n);
  void addPid(PidType pid);
  // Drops pid from the active half when it is there (keeps the order).
  void removePid(PidType pid);
  // Moves the pids whose process no longer exists to inactivePids, keeping the
  // order of both halves; returns how many moved.
  int removeDeadProcesses(const std::function<bool(PidType)>& exists);
};

class PidHashMap {
 public:
  uint32_t tableSize = 0;
  uint32_t hashMask = 0;
  std::vector<PidHashEntry> table;
  PidHashMapFreePool freePool;
  int numEntries = 0;
  BoolType initDone = FALSE;
  int64_t nextPidCleanupTimeNs = 0;
  PidList listOfPids;
  uint32_t hits = 0;
  uint32_t misses = 0;
  uint32_t numDeadCleanedUp = 0;
  // Counts the samples: cleanupDeadPids, called once after each, moves it on.
  uint32_t sampleNumber = 1;
  // For every descriptor number below fdToPidTableSize, the pid whose entry holds
  // it, or -1; the vector reaches only as far as the highest descriptor
  // registered (slots beyond it hold no pid). Descriptors at or above the size
  // cannot be registered.
  std::vector<PidType> fdToPidTable;
  int fdToPidTableSize = 0;
  // The clock of the cleanup schedule and the process-existence test; tests
  // replace them.
  HostHrtime_t (*clock)() = nullptr;
  BoolType (*processExists)(int pid) = nullptr;

  // Only the first call does anything: buckets for `size` pids (rounded up to a
  // power of two), an empty pool, the pid list, the first cleanup due in 2 s and
  // a descriptor table of fdTableSize slots.
  void initForTableSize(uint32_t size, int fdTableSize = PID_FD_TABLE_DEFAULT_SIZE);
  int hashPid(int pid) const;
  PidHashEntry* lookup(int pid);
  // pid must not be in the map. fds must hold the required files unless
  // transient (then all are -1); each descriptor must be below the table size.
  PidHashEntry* addEntryFor(int pid, const int fds[PROC_FILE_COUNT], BoolType transient = FALSE);
  // Closes the files of pid and forgets it; a pid not in the map is no error.
  void removeEntryForPid(int pid);
  // Notes that e's process exists in this sample: its files were just read
  // successfully, or a walk of /proc listed it.
  void markRead(PidHashEntry* e) { e->readInSample = sampleNumber; }
  // After a complete walk of /proc in this sample that marked every entry it
  // listed: the processes of the other entries have ended (procfs lists every
  // process that exists, zombies included), and their files are closed now
  // rather than at the next cleanup. Returns how many were removed.
  int removeEntriesNotSeen();
  // Called after every sample; at most once per DEAD_PID_CLEANUP_INTERVAL_NS it
  // removes the entries of the processes that no longer exist. A process read
  // in the sample just taken is known to exist and is not probed again.
  // Returns how many were removed.
  int cleanupDeadPids();
  void printStats() const {}

  // Descriptor checks: every open descriptor of entry is recorded for pid in the
  // reverse table (guarantee); with clear the slots are reset to -1.
  void checkEntryForPid(int pid, const PidHashEntry* entry, BoolType clear);
  void addToFdTable(int pid, const int fds[PROC_FILE_COUNT], BoolType transient);
  // A descriptor number the reverse table can hold.
  BoolType fdFitsTable(int fd) const { return fd >= 0 && fd < fdToPidTableSize ? TRUE : FALSE; }
};
