// The sampling loop: one sample per interval into the current output file,
// the timed flush, the per-file limits with -r restarts, and the pacing that
// watches the cache four times a second.
#include <signal.h>
#include <unistd.h>

#include "archive/hoststatwriter.h"
#include "host/hosttime.h"
#include "host/utlexit.h"
#include "monitor/tallymgr.h"
#include "monitor/tallyoutput.h"
#include "monitor/tallypacing.h"
#include "monitor/tallysamplerules.h"

namespace {

// Holds back the keyboard interrupt and the termination signals for the whole
// run. Their handlers close the archive; run in the middle of a record they
// would flush half of it, or, landing between the hand-over of the buffer and
// its reset, write the same sample twice. The loop takes them only while it
// sleeps between samples (which they cut short), or between two samples when
// one overran its interval.
class ExitSignalsHeld {
 public:
  ExitSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGXCPU);
    sigprocmask(SIG_BLOCK, &held, &_previous);
  }
  ~ExitSignalsHeld() { sigprocmask(SIG_SETMASK, &_previous, nullptr); }
  // The mask in force before: the one to sleep with.
  const sigset_t* previous() const { return &_previous; }
  ExitSignalsHeld(const ExitSignalsHeld&) = delete;
  ExitSignalsHeld& operator=(const ExitSignalsHeld&) = delete;

 private:
  sigset_t _previous;
};

BoolType cacheIsGone(void* mgr) { return static_cast<TallyMgr*>(mgr)->shouldDie(); }

// The mask the loop sleeps with; set once the run holds the exit signals.
const sigset_t* loopSleepMask = nullptr;

}  // namespace

void HostStatWriter::getSampleTime() { sampleTimeStamp = (uint32_t)HostFtime(nullptr); }

void TallyMgr::TallySloop() {
  const int64_t interval = (int64_t)sampleIntervalMs * 1000000;
  ExitSignalsHeld held;
  loopSleepMask = held.previous();
  // Below one second, stamps count samples from the second the loop started.
  if (sampleIntervalMs < 1000) statWriter->getSampleTime();
  openOutFile();
  if (!statWriter->HostStatsInit()) UtlExit(3, FALSE);

  BoolType done = FALSE;
  while (!done) {
    HostHrtime_t t0 = HostGetNanoTime();
    startTime = t0;
    if (!SampleStatsToFile()) {
      if (restartCount < 1) {
        done = TRUE;
      } else {
        // The next file starts at once with this interval's sample; the
        // cache stays mapped across files.
        closeOutFile();
        restartCount++;
        openOutFile();
        t0 = HostGetNanoTime();
        startTime = t0;
        SampleStatsToFile();
      }
    }
    if (done) break;
    done = hostStatsOnly ? tallyRestlessSleepNoMonitor(interval, t0) : tallyRestlessSleep(interval, t0);
  }

  // Still held: the end of the run is not cut into by a second shutdown.
  TallyShutdown();
  UtlExit(0, FALSE);
  _exit(UtlExitStatus());  // UtlExit does not return outside tests
}

BoolType TallyMgr::SampleStatsToFile() {
  currentNumberOfSamples++;
  if (sampleNumTimes != 0 && currentNumberOfSamples > sampleNumTimes) return FALSE;

  int ms = 0;
  time_t second = HostFtime(&ms);
  if (sampleHours != 0) {
    if (restartTime == 0) {
      restartTime = TallyRunEndTime(second, sampleHours);  // fixed at the file's first sample
    } else if (second >= restartTime) {
      return FALSE;
    }
  }

  HostStatWriter* w = statWriter;
  w->sampleTimeStamp = TallyNextTimeStamp(w->sampleTimeStamp, second, sampleIntervalMs);
  if (!w->disableSystemStats) w->HostStatsGetStatsForSystem();
  if (!hostStatsOnly) writeCacheProcessRecords();
  writeStatsForTallyscope();
  if (!w->disableSystemStats) {
    w->HostStatsWriteStatsForSystem();
    w->writeStatsForListedProcesses();
    pidsWrittenThisTime.clear();
  }
  w->cleanupDeadPids();

  if (TallyFlushDue(flushInterval, w->sampleTimeStamp, &lastBufferFlushTime)) {
    startTime = HostGetNanoTime();
    w->flushBuffer();
    timeWritingStats += (uint32_t)HostComputeElapsedTimeMs(startTime);
  }
  return TRUE;
}

BoolType TallyMgr::tallyRestlessSleep(int64_t interval, HostHrtime_t t0) {
  UTL_GUARANTEE(!hostStatsOnly);
  TallyPaceCheck check = {cacheIsGone, this};
  return TallyPace(TallyRealPaceClock(loopSleepMask), interval, t0, &errorCorrection, &check, &paceGridPoint);
}

BoolType TallyMgr::tallyRestlessSleepNoMonitor(int64_t interval, HostHrtime_t t0) {
  UTL_GUARANTEE(hostStatsOnly);
  return TallyPace(TallyRealPaceClock(loopSleepMask), interval, t0, &errorCorrection, nullptr, &paceGridPoint);
}
