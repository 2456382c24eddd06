// Start-up of the manager: initial state, completing the settings after the
// command line, the start-up summary, the cache name and the attach.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"
#include "host/utlstring.h"
#include "monitor/tallymgr.h"
#include "monitor/tallyoutput.h"
#include "netinfo/netinfo.h"
#include "shrpc/shrpccmn.h"

void TallyMgr::init() {
  shrMemState.initialize();
  flushInterval = MAX_BUFFER_FLUSH_TIME;
  sessionsToSample.initForSize(DEFAULT_LIST_SIZE);
  pidsToMonitor.initForSize(DEFAULT_LIST_SIZE);
  uidsToMonitor.initForSize(DEFAULT_LIST_SIZE);
  pidsToExclude.initForSize(DEFAULT_LIST_SIZE);
  pidsWrittenThisTime.initForSize(DEFAULT_LIST_SIZE);
}

void TallyMgr::init(HostStatWriter* writer) {
  init();
  connectWriter(writer);
}

void TallyMgr::connectWriter(HostStatWriter* writer) {
  statWriter = writer;
  writer->sink = this;
  writer->listed = &listed;
  writer->quietMode = &quietMode;
}

void TallyMgr::TallyInit() {
  thisProcessPid = (PidType)getpid();
  sessionsToSample.sortIfNeeded();
  sessionsToSample.removeDups();
  if (sampleFileName[0] == '\0') UtlSnprintf(sampleFileName, sizeof sampleFileName, "tally%d", thisProcessPid);
  if (strcasecmp(sampleFileName, "stdout") == 0) {
    useStdout = TRUE;
    TallyTakeStdoutForArchive();
  }
  if (restart) restartCount = 1;
  if (!pidsToMonitor.isEmpty()) {
    pidsToMonitor.sortIfNeeded();
    pidsToMonitor.removeDups();
  }
  if (!uidsToMonitor.isEmpty()) {
    uidsToMonitor.sortIfNeeded();
    uidsToMonitor.removeDups();
  }
  if (sampleIntervalMs == 0) sampleIntervalMs = DEFAULT_INTERVAL_MS;
  UtlAtExit(tallyExitHandler);
  // A name that cannot hold its suffixes is refused before anything is printed or opened.
  TallyCheckDataFileName(this);
}

BoolType TallyMgr::startupCover() {
  const bool talk = !quietMode;
  if (hostStatsOnly) {
    if (talk) fprintf(stderr, "  *** Monitoring host system stats only ***\n");
  } else {
    if (!resolveCacheName()) return FALSE;
    if (talk) fprintf(stderr, "Monitoring cache:     %s\n", cacheName);
  }
  if (talk) {
    fprintf(stderr, "  Output file is:     %s\n", TallyDataFile());
    fprintf(stderr, "  Sample Interval (-i) is: %1.3f seconds\n", sampleIntervalMs / 1000.0);
    if (sampleIntervalMs < 1000) {
      fprintf(stderr, "     WARNING: Sample Interval < 1 second\n");
      fprintf(stderr, "        plotter time base in sample points, not units of real time\n");
    }
    if (!hostStatsOnly && keeperOnly) {
      if (pgsOnly)
        fprintf(stderr, "  Sampling keeper, shared cache monitor and AIO page servers ONLY\n");
      else if (pageMgrOnly)
        fprintf(stderr, "  Sampling keeper, shared cache monitor, and page manager ONLY\n");
      else
        fprintf(stderr, "  Sampling keeper and shared cache monitor ONLY\n");
      fprintf(stderr, "  Write Interval (-u) is:  %d seconds\n", flushInterval);
    }
    if (!hostStatsOnly && !sessionsToSample.isEmpty()) {
      fprintf(stderr, "  Session(s) to sample:   ");
      for (int i = 0; i < sessionsToSample.size(); i++) fprintf(stderr, " %d", sessionsToSample.list[i]);
      fprintf(stderr, "\n");
    }
    if (sampleNumTimes == 0 && sampleHours == 0) {
      fprintf(stderr, "  Use ^C to terminate monitoring\n");
    } else {
      if (sampleNumTimes != 0) fprintf(stderr, "  Number of samples:  %d\n", sampleNumTimes);
      if (sampleHours != 0) fprintf(stderr, "  Number of hours:  %d\n", sampleHours);
    }
    fflush(stderr);
  }
  if (!hostStatsOnly && !TallyAttach(cacheName)) {
    fprintf(stderr, "[Error] Unable to attach to the shared cache '%s'.\nReason:%s\n", cacheName, errBuf);
    fflush(stderr);
    return FALSE;
  }
  return TRUE;
}

BoolType TallyMgr::resolveCacheName() {
  if (cacheName[0] == '\0') {
    printf("[ERROR]: A keeper name or cache name must be specified\n");
    fflush(stdout);
    return FALSE;
  }
  const char* tilde = strchr(cacheName, '~');
  if (tilde != nullptr) {
    size_t keeperLength = (size_t)(tilde - cacheName);
    if (keeperLength == 0) {
      printf("[ERROR]: The cache name '%s' has no keeper name before the '~'\n", cacheName);
      fflush(stdout);
      return FALSE;
    }
    if (keeperLength > sizeof(keeperName) - 1) keeperLength = sizeof(keeperName) - 1;
    memcpy(keeperName, cacheName, keeperLength);
    keeperName[keeperLength] = '\0';
    return TRUE;
  }

  UtlStrCpyCut(keeperName, cacheName, sizeof keeperName);
  ShrPcLocationArgType location;
  memset(&location, 0, sizeof location);
  SysErrorSType err;
  if (!NetInfoCacheNameForKeeper(keeperName, &location, &err)) {
    printf("[ERROR]: Could not find a shared page cache for the keeper named %s on this machine\n", keeperName);
    printf("      Error Message: %s\n", err.errMsg);
    fflush(stdout);
    return FALSE;
  }
  UtlStrCpyCut(cacheName, location.locationStr, sizeof cacheName);
  return TRUE;
}

BoolType TallyMgr::TallyAttach(const char* name) {
  if (TallyStartupDone) return FALSE;
  shrpcPtr = PageCacheGetShrCache();
  memset(static_cast<void*>(shrpcPtr), 0, sizeof *shrpcPtr);
  UtlStrCpyCut(shrpcPtr->locationStr, name, sizeof shrpcPtr->locationStr);
  TallyStartupDone = AttachSharedCache();
  if (!TallyStartupDone) shrpcPtr = nullptr;
  return TallyStartupDone;
}
