// Which processes listed with -Q, or owned by users listed with -U, get a
// "Solaris_Process" record in a sample. A process is recorded at most once per
// sample: the records of the cache's processes come first and note their pids in
// pidsWrittenThisTime; a listed process that fails to read is not tried again.
#pragma once

#include "host/hosttypes.h"

class TallyMgr;

// TRUE when -Q or -U listed anything.
BoolType monitorNonQlProcesses(const TallyMgr& mgr);
// TRUE when -U listed users.
BoolType monitorAllPidsOwnedByUids(const TallyMgr& mgr);
BoolType monitoringPid(const TallyMgr& mgr, int pid);
BoolType monitoringUid(const TallyMgr& mgr, int uid);
// Failed to read earlier in the run, or already recorded in this sample.
BoolType excludePid(const TallyMgr& mgr, int pid);
// Listed by pid or by owner, and not excluded.
BoolType shouldWriteProcess(const TallyMgr& mgr, int pid, int uid);
