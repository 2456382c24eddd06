// The ends of a run: every one closes the archive, releases the kernel
// statistics and, once attached, unmaps the cache.
#include <atomic>

#include "archive/hoststatwriter.h"
#include "host/hostsignal.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "shrpc/hostshrstate.h"

namespace {
// Set while a shutdown runs. A signal handler that interrupts a shutdown in
// progress leaves the closing to it instead of closing the same stream again.
std::atomic<int> shutdownRunning{0};
}  // namespace

void TallyShutdown() {
  if (shutdownRunning.exchange(1) != 0) return;
  TallyGetStatMgr()->closeOutFile();
  HostStatWriter* writer = TallyGetStatWriter();
  if (!writer->disableSystemStats) writer->HostStatsClose();
  shutdownRunning.store(0);
}

void tallyExitHandler() {
  static std::atomic<int> ran{0};
  if (ran.exchange(1) != 0) return;
  TallyMgr* mgr = TallyGetStatMgr();
  if (mgr->TallyStartupDone) {
    HostShrMemAccessor accessor(&mgr->shrMemState);
    mgr->basicDetach(accessor, FALSE);  // the detach line is written in quiet mode too
  }
  TallyShutdown();
}

void TallyKeyBoardInt(int sig) {
  (void)sig;
  // A termination signal is held while this runs: it could only cut the
  // archive. Once the file is complete it is let in; it then ends the process
  // through its own path, with status 5.
  TallyShutdown();
  HostReleaseTerminationSignals();
  UtlExit(0, FALSE);  // 5 instead when a termination signal came first
}
