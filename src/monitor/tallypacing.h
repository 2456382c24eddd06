// Pacing of the sampling loop: sleeps out the rest of an interval (in 250 ms
// slices when a cache's liveness is to be checked), carrying the oversleep of
// one interval into the next so that sample starts stay on a fixed grid. All
// times are nanoseconds of the monotonic clock.
#pragma once

#include <signal.h>

#include <cstdint>

#include "host/hosttypes.h"

const int64_t TALLY_SLEEP_SLICE_NS = 250000000;  // liveness is checked after each slice

// The clock and the sleep the pacing uses; tests hand in a simulated one.
class TallyPaceClock {
 public:
  virtual ~TallyPaceClock() = default;
  virtual HostHrtime_t now() = 0;
  // Sleeps ns nanoseconds (> 0); may return early when a signal arrives.
  virtual void sleep(int64_t ns) = 0;
  // Called instead of a sleep when a sample overran its interval: the moment
  // to take signals that are held while sampling.
  virtual void takeHeldSignals() {}
};

// HostGetNanoTime, and sleeps with the signal mask given (the mask without the
// signals the loop holds while it samples), so that held signals are taken
// while the loop sleeps and at no other moment. With no mask, the mask in
// force.
TallyPaceClock& TallyRealPaceClock(const sigset_t* sleepMask = nullptr);

// Liveness check run after every slice and at the end of the sleep; TRUE ends
// the loop. `context` is handed back unchanged.
struct TallyPaceCheck {
  BoolType (*isGone)(void* context);
  void* context;
};

// Sleeps until t0 + interval + *errorCorrection (t0: start of the sample just
// taken). A sample that overran its interval is not made up: the correction
// is reset to 0 and nothing is slept.
//
// *gridPoint carries the grid from one pause to the next: when it is not 0, the
// sample that started at t0 was due then, and its lateness (*gridPoint - t0,
// zero or negative: the oversleep, the liveness check, the loop's own steps)
// becomes *errorCorrection, so sample starts stay on the grid however long the
// run. On return it holds the start slept to, or 0 after an overrun.
//
// With a check (monitoring a cache): the check runs after every slice and at
// the end; the result is TRUE as soon as it reports the cache gone. A rest
// below 1 ns after the slices is not slept and becomes the correction.
// Without a check (check null, host-only mode): no slices, one sleep to the
// point (slept again for what is left when a signal ends it early); the
// correction is target - now after the sleep. Result FALSE.
//
// On return *errorCorrection holds the oversleep (zero or negative), to be
// added to the next interval.
BoolType TallyPace(TallyPaceClock& clock, int64_t interval, HostHrtime_t t0, int64_t* errorCorrection,
                   const TallyPaceCheck* check, HostHrtime_t* gridPoint);
