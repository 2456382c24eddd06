// Records of the processes listed with -Q and of the processes of users listed
// with -U.
#include "hoststats/listedprocs.h"

#include <cstdio>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "hoststats/processtracker.h"
#include "hoststats/sortedlist.h"

BoolType monitorNonQlProcesses(const ListedProcesses& lists) {
  return !lists.pidsToMonitor->isEmpty() || !lists.uidsToMonitor->isEmpty() ? TRUE : FALSE;
}

BoolType monitorAllPidsOwnedByUids(const ListedProcesses& lists) {
  return lists.uidsToMonitor->isEmpty() ? FALSE : TRUE;
}

BoolType monitoringPid(const ListedProcesses& lists, int pid) { return lists.pidsToMonitor->hasEntry(pid); }

BoolType monitoringUid(const ListedProcesses& lists, int uid) { return lists.uidsToMonitor->hasEntry(uid); }

BoolType excludePid(const ListedProcesses& lists, int pid) {
  return lists.pidsToExclude->hasEntry(pid) || lists.pidsWrittenThisTime->hasEntry(pid) ? TRUE : FALSE;
}

BoolType shouldWriteProcess(const ListedProcesses& lists, int pid, int uid) {
  return (monitoringUid(lists, uid) || monitoringPid(lists, pid)) && !excludePid(lists, pid) ? TRUE : FALSE;
}

namespace {

// One "Solaris_Process" record: type, time, name, pid, session 0, the 30 figures.
void writeStatsForProcess(HostStatWriter* w, int pid, const HostProcessStatsSType& stats) {
  UTL_GUARANTEE(w->processTypeCount != 0);  // the header declared the type
  w->writeUInt(w->processTypeCount);
  w->writeTimeStamp();
  w->writeStringNoSpaces(stats.name);
  w->writeUInt((uint32_t)pid);
  w->writeUInt(0);
  w->writeStatsForPidWithInfo(&stats);
  w->writeEndOfRecord();
}

// Listed pids only: in list order; a pid that fails to read is overwritten with
// -1 in the list, which is never sorted or searched in this mode.
void writeListedPids(HostStatWriter* w, const ListedProcesses& lists) {
  SortedList& pids = *lists.pidsToMonitor;
  for (int i = 0; i < pids.numEntries; i++) {
    int pid = pids.list[i];
    if (pid <= 0 || excludePid(lists, pid)) continue;
    HostProcessStatsSType stats;
    if (w->HostStatsGetStatsForProcess(pid, &stats)) {
      writeStatsForProcess(w, pid, stats);
    } else {
      pids.list[i] = -1;
    }
  }
}

// Listed users (and listed pids with them): every process in /proc, in
// directory order, whose owner or pid is listed.
void writeListedUsersAndPids(HostStatWriter* w, const ListedProcesses& lists) {
  ProcessTracker* t = w->procTracker;
  ProcPidWalk& walk = t->procWalk;
  int e = 0;
  if (!walk.start(&e)) {
    printf("opendir(/proc) failed.  errno=%d\n", e);
    fflush(stdout);
    UTL_GUARANTEE(FALSE);
  }
  int pid;
  while (walk.next(&pid)) {
    if (PidHashEntry* entry = t->pidMap.lookup(pid)) t->pidMap.markRead(entry);  // it still exists
    if (excludePid(lists, pid)) continue;
    // A process whose last read found a listed user is read at once: the read
    // says who it runs as now, which is who owns its directory, and spares a
    // look-up of the directory for each of that user's processes at every
    // sample. Any other entry's owner is looked up from the open directory.
    int owner = t->ownerAtLastRead(pid);
    BoolType ownerFromRead = owner >= 0 && monitoringUid(lists, owner) ? TRUE : FALSE;
    if (!ownerFromRead) {
      if (!walk.ownerOfCurrent(&owner)) continue;
      if (!shouldWriteProcess(lists, pid, owner)) continue;
    }
    HostProcessStatsSType stats;
    if (!w->HostStatsGetStatsForProcess(pid, &stats)) {
      lists.pidsToExclude->add(pid);
      UTL_GUARANTEE(!shouldWriteProcess(lists, pid, owner));
      continue;
    }
    // One that has changed its user since is not recorded.
    if (ownerFromRead && !shouldWriteProcess(lists, pid, t->ownerAtLastRead(pid))) continue;
    writeStatsForProcess(w, pid, stats);
  }
  // A listed user's processes that ended since the last sample are no longer
  // listed: their files are closed now, not left open until the next cleanup,
  // so that a user who starts and ends many processes a second does not fill
  // the descriptor table with the files of ended ones.
  if (walk.complete()) t->pidMap.removeEntriesNotSeen();
}

}  // namespace

void HostStatWriter::writeStatsForListedProcesses() {
  UTL_GUARANTEE(listed != nullptr);
  const ListedProcesses& lists = *listed;
  if (!monitorNonQlProcesses(lists)) return;
  if (!procTracker) initProcessTracking("/proc");
  lists.pidsToExclude->sortIfNeeded();
  lists.pidsWrittenThisTime->sortIfNeeded();
  if (monitorAllPidsOwnedByUids(lists)) {
    writeListedUsersAndPids(this, lists);
  } else {
    writeListedPids(this, lists);
  }
}
