// Reading the figures of one process through the table of open /proc files.
#include "hoststats/processtracker.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

#include <sys/sysinfo.h>

#include "host/utlexit.h"
#include "hoststats/linux/meminfo.h"
#include "hoststats/linux/procpidfiles.h"
#include "hoststats/linux/uptime.h"

namespace {

uint64_t physicalMemoryKb() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return (uint64_t)pages * (uint64_t)pageSize / 1024;
}

}  // namespace

ProcessTracker::ProcessTracker(const ProcessTrackerOptions& options)
    : procRoot(options.procRoot), procWalk(options.procRoot) {
  int tableSize = options.fdTableSize > 0 ? options.fdTableSize : HostRaiseOpenFileLimit(PROC_FD_TABLE_MAX);
  int reserve = options.fdReserve >= 0 ? options.fdReserve : PROC_FD_RESERVE;
  fdTrackLimit = tableSize > 2 * reserve ? tableSize - reserve : tableSize / 2;
  pidMap.clock = options.clock;
  pidMap.processExists = options.processExists;
  pidMap.initForTableSize(PID_HASH_MAP_SIZE, tableSize);
  clockTicksPerSec = options.clockTicksPerSec > 0 ? options.clockTicksPerSec : sysconf(_SC_CLK_TCK);
  pageKb = options.pageKb > 0 ? options.pageKb : (uint64_t)sysconf(_SC_PAGESIZE) / 1024;
  memTotalKb = options.memTotalKb;
  if (memTotalKb == 0) memTotalKb = readMemTotalKb(procRoot);
  if (memTotalKb == 0) memTotalKb = physicalMemoryKb();
  bootClockNs = options.bootClockNs ? options.bootClockNs : bootClockNowNs;
  fixedCpuCount = options.cpuCount;
}

int ProcessTracker::onlineCpus() {
  if (fixedCpuCount > 0) return fixedCpuCount;
  // CPUs come and go rarely; once a sample is often enough to look.
  if (cpuCountSample != pidMap.sampleNumber || cpuCount <= 0) {
    cpuCount = get_nprocs();
    cpuCountSample = pidMap.sampleNumber;
  }
  return cpuCount > 0 ? cpuCount : 1;
}

ProcessTracker::~ProcessTracker() {
  for (PidHashEntry& e : pidMap.table) {
    e.closeAll();
    for (PidHashEntry* c = e.next; c; c = c->next) c->closeAll();
  }
}

PidHashEntry* ProcessTracker::getHashTableEntryForPid(int pid) {
  PidHashEntry* e = pidMap.lookup(pid);
  if (e) return e;
  int fds[PROC_FILE_COUNT];
  switch (openProcPidFiles(procRoot.c_str(), pid, fds, fdTrackLimit)) {
    case PROC_OPEN_OK:
      e = pidMap.addEntryFor(pid, fds);
      break;
    case PROC_OPEN_NO_DESCRIPTORS:
      if (!fdWarningPrinted) {
        fdWarningPrinted = TRUE;
        fprintf(stderr,
                "[Warning]: too many processes to keep their /proc files open; "
                "the files of the others are opened at every sample.\n");
      }
      e = pidMap.addEntryFor(pid, fds, TRUE);
      break;
    case PROC_OPEN_FAILED:
      return nullptr;
  }
  UTL_GUARANTEE(e != nullptr);
  return e;
}

BoolType ProcessTracker::readProcess(int pid, BoolType quiet, HostProcessStatsSType* out) {
  if (pid <= 0) return FALSE;
  PidHashEntry* e = getHashTableEntryForPid(pid);
  if (!e) return FALSE;

  ProcPidSample sample;
  BoolType ok;
  if (e->transient) {
    int fds[PROC_FILE_COUNT];
    ok = openProcPidFiles(procRoot.c_str(), pid, fds, PROC_FD_TABLE_MAX) == PROC_OPEN_OK ? TRUE : FALSE;
    // New files: nothing read before through them to compare with.
    if (ok) ok = readProcPidSample(procRoot.c_str(), fds, pid, nullptr, &sample);
    closeProcPidFiles(fds);
  } else {
    ok = readProcPidSample(procRoot.c_str(), e->fds, pid, e->lastSample.get(), &sample);
  }
  if (!ok) {
    pidMap.removeEntryForPid(pid);
    return FALSE;
  }
  if (!sample.haveIo && !quiet && !ioWarningPrinted) {
    ioWarningPrinted = TRUE;
    printf("Warning: Unable to read /proc/<pid>/io for some processes.\n"
           "Warning: Some process data will not be reported.\n");
    fflush(stdout);
  }

  ProcShareBasis basis;
  basis.clockTicksPerSec = clockTicksPerSec;
  basis.memTotalKb = memTotalKb;
  basis.pageKb = pageKb;
  basis.cpuCount = onlineCpus();
  basis.prevCpuTicks = e->lastCpuTicks;
  basis.prevNs = e->lastReadNs;
  basis.nowNs = bootClockNs();
  buildProcessStats(sample, basis, out);
  e->lastCpuTicks = sample.stat.utime + sample.stat.stime;
  e->lastReadNs = basis.nowNs;
  pidMap.markRead(e);
  if (!e->lastSample) e->lastSample.reset(new ProcPidSample());
  *e->lastSample = std::move(sample);
  return TRUE;
}

int ProcessTracker::ownerAtLastRead(int pid) {
  PidHashEntry* e = pidMap.lookup(pid);
  return e && e->lastSample ? e->lastSample->status.euid : -1;
}
