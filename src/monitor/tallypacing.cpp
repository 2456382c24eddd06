#include "monitor/tallypacing.h"

#include <poll.h>

#include <cerrno>
#include <ctime>

#include "host/hosttime.h"

namespace {

class RealPaceClock : public TallyPaceClock {
 public:
  const sigset_t* mask = nullptr;

  HostHrtime_t now() override { return HostGetNanoTime(); }
  // ppoll sets the mask for the sleep alone: one system call where unblocking,
  // sleeping and blocking again would take three.
  void sleep(int64_t ns) override {
    if (!mask) return HostNanoSleep(ns);
    struct timespec ts = {(time_t)(ns / 1000000000LL), (long)(ns % 1000000000LL)};
    // EINTR: a signal ended it early, as it would nanosleep. Any other failure
    // must not turn the pause into a busy loop.
    if (ppoll(nullptr, 0, &ts, mask) != 0 && errno != EINTR) HostNanoSleep(ns);
  }
  void takeHeldSignals() override {
    if (!mask) return;
    struct timespec none = {0, 0};
    ppoll(nullptr, 0, &none, mask);
  }
};

BoolType gone(const TallyPaceCheck* check) { return check ? check->isGone(check->context) : FALSE; }

}  // namespace

TallyPaceClock& TallyRealPaceClock(const sigset_t* sleepMask) {
  static RealPaceClock clock;
  clock.mask = sleepMask;
  return clock;
}

BoolType TallyPace(TallyPaceClock& clock, int64_t interval, HostHrtime_t t0, int64_t* errorCorrection,
                   const TallyPaceCheck* check, HostHrtime_t* gridPoint) {
  // Measured from the end of the last sleep, the correction would miss the time
  // between that sleep and t0, and the grid would slip by it at every sample.
  if (*gridPoint != 0) *errorCorrection = *gridPoint - t0;
  HostHrtime_t now = clock.now();
  int64_t remaining = *errorCorrection + interval - (now - t0);
  HostHrtime_t target = now + remaining;
  if (remaining <= 0) {
    *errorCorrection = 0;  // overran: start the next sample at once, no catch-up
    *gridPoint = 0;
    clock.takeHeldSignals();
    return gone(check);
  }
  *gridPoint = target;
  if (!check) {
    // Nothing to check between slices: one sleep to the point, resumed when a
    // signal cuts it short. Each slice is a wake-up, and at one sample a second
    // the three spared cost a host-only monitor more than a tenth of its sample.
    for (int64_t rest = remaining; rest > 0; rest = target - clock.now()) clock.sleep(rest);
    *errorCorrection = target - clock.now();
    return FALSE;
  }
  for (int64_t slices = remaining / TALLY_SLEEP_SLICE_NS; slices > 0; slices--) {
    clock.sleep(TALLY_SLEEP_SLICE_NS);
    if (gone(check)) return TRUE;
  }
  int64_t rest = target - clock.now();
  if (rest < 1) {
    *errorCorrection = rest;
    return gone(check);
  }
  clock.sleep(rest);
  *errorCorrection = target - clock.now();
  return gone(check);
}
