// Which processes listed with -Q, or owned by users listed with -U, get a
// "Solaris_Process" record in a sample. A process is recorded at most once per
// sample: the records of the cache's processes come first and note their pids in
// pidsWrittenThisTime; a listed process that fails to read is not tried again.
#pragma once

#include "host/hosttypes.h"

class SortedList;

// The lists the decision reads, owned by the manager and handed to the writer.
struct ListedProcesses {
  SortedList* pidsToMonitor = nullptr;        // -Q
  SortedList* uidsToMonitor = nullptr;        // -U
  SortedList* pidsToExclude = nullptr;        // failed to read earlier in the run
  SortedList* pidsWrittenThisTime = nullptr;  // already recorded in this sample
};

// TRUE when -Q or -U listed anything.
BoolType monitorNonQlProcesses(const ListedProcesses& lists);
// TRUE when -U listed users.
BoolType monitorAllPidsOwnedByUids(const ListedProcesses& lists);
BoolType monitoringPid(const ListedProcesses& lists, int pid);
BoolType monitoringUid(const ListedProcesses& lists, int uid);
// Failed to read earlier in the run, or already recorded in this sample.
BoolType excludePid(const ListedProcesses& lists, int pid);
// Listed by pid or by owner, and not excluded.
BoolType shouldWriteProcess(const ListedProcesses& lists, int pid, int uid);
