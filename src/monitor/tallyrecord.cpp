// The record writer shared by every cache process record and the monitor's own
// record, and the monitor's own record itself.
#include <cstdio>
#include <cstring>

#include "archive/hoststatwriter.h"
#include "host/hosttime.h"
#include "host/utlexit.h"
#include "host/hostprocess.h"
#include "hoststats/listedprocs.h"
#include "monitor/tallymgr.h"
#include "shrpc/shrpccmn.h"

namespace {

const uint32_t APP_STAT_TYPE = 32;
const uint32_t TALLY_STAT_TYPE = 16;

// Printed at most once per run, across all output files.
bool osStatsWarningPrinted = false;

}  // namespace

void TallyMgr::wroteProcess(int processId) {
  // Without an attached, enabled cache the only record written here is the monitor's own.
  if (shrpcPtr == nullptr || !shrpcPtr->cacheEnabled()) UTL_GUARANTEE(processId == thisProcessPid);
  if (processId > 0 && monitorNonQlProcesses(listed)) pidsWrittenThisTime.add(processId);
}

void TallyMgr::writeTallyRecord(const char* name, uint32_t typeNum, const uint32_t* values32, int processId,
                                int count32, const int64_t* values64, int count64) {
  wroteProcess(processId);
  HostStatWriter* w = statWriter;
  const bool withOsStats = !w->disableSystemStats && typeNum != APP_STAT_TYPE;
  HostProcessStatsSType os;
  if (withOsStats && !w->HostStatsGetStatsForProcess(processId, &os)) {
    // Gone between the process table and /proc: it gets no line this sample.
    if (processId <= 0 || !HostProcessExists(processId)) return;
    memset(&os, 0, sizeof(os));
    if (!osStatsWarningPrinted) {
      osStatsWarningPrinted = true;
      printf("[WARNING] Error accessing system statistics for some processes.\n");
      printf("[WARNING] System stats will be omitted for these processes.\n");
      fflush(stdout);
    }
  }
  w->writeUInt(typeNum);
  w->writeTimeStamp();
  // An empty name would drop a token and shift every value after it.
  w->writeStringNoSpaces(name != nullptr && name[0] != '\0' ? name : "Unnamed");
  w->writeVectorU32(values32, count32);
  if (values64 != nullptr) {
    UTL_GUARANTEE(count64 >= 1);
    w->writeVectorI64(values64, count64);
  }
  if (withOsStats) w->writeStatsForPidWithInfo(&os);
  w->writeEndOfRecord();
}

void TallyMgr::writeStatsForTallyscope() {
  tallyStats[0] = (uint32_t)thisProcessPid;
  tallyStats[1] = 0;
  // Wraps at 2^32 ms by design: a running total over the whole run.
  timeWritingStats += (uint32_t)HostComputeElapsedTimeMs(startTime);
  tallyStats[2] = timeWritingStats;
  writeTallyRecord("Tally", TALLY_STAT_TYPE, tallyStats, thisProcessPid, 3);
}
