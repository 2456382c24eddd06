// The writer's entry points for per-process figures: reading one process and the
// cleanup of the files of processes that have ended.
#include "hoststats/processstats.h"

#include "hoststats/processtracker.h"

void HostStatWriter::initProcessTracking(const char* procRoot) {
  if (procTracker) return;
  ProcessTrackerOptions options;
  options.procRoot = procRoot;
  // Lives as long as the writer, which lives as long as the process.
  procTracker = new ProcessTracker(options);
}

BoolType HostStatWriter::HostStatsGetStatsForProcess(int processId, HostProcessStatsSType* stats) {
  if (!procTracker) initProcessTracking("/proc");
  BoolType beQuiet = quiet || (quietMode && *quietMode) ? TRUE : FALSE;
  return procTracker->readProcess(processId, beQuiet, stats);
}

void HostStatWriter::cleanupDeadPids() {
  if (procTracker) procTracker->pidMap.cleanupDeadPids();
}
