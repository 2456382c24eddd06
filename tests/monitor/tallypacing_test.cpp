#include "monitor/tallypacing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int64_t MS = 1000000;

// A simulated clock: every sleep lasts `oversleep` longer than asked. Its
// liveness check takes `checkCost` and finds the cache gone at check `goneAt`.
class FakeClock : public TallyPaceClock {
 public:
  HostHrtime_t t = 0;
  int64_t oversleep = 0, checkCost = 0, firstSleepLasts = 0;  // 0: as long as asked
  std::vector<int64_t> sleeps;
  int signalChances = 0, checks = 0, goneAt = 0;  // signalChances: calls of takeHeldSignals; goneAt 0: never
  HostHrtime_t now() override { return t; }
  void takeHeldSignals() override { signalChances++; }
  void sleep(int64_t ns) override {
    sleeps.push_back(ns);
    t += sleeps.size() == 1 && firstSleepLasts ? firstSleepLasts : ns + oversleep;
  }
  static BoolType isGone(void* self) {
    FakeClock* c = static_cast<FakeClock*>(self);
    c->t += c->checkCost;
    return ++c->checks == c->goneAt ? TRUE : FALSE;
  }
  TallyPaceCheck check() { return TallyPaceCheck{isGone, this}; }
};

// One pause after a sample that took `busy`, every sleep lasting `over` longer
// than asked; monitored (checked after each slice) or host-only.
TEST(Pacing, SleepsTheRestOfTheIntervalInSlicesCheckingAfterEach) {
  using Sleeps = std::vector<int64_t>;
  // goneAt: the check that finds the cache gone (0: never); correction on return:
  // the oversleep, taken off the next interval.
  struct Case { int64_t busy, interval, over; bool monitored; int64_t correctionIn; int goneAt;
                Sleeps sleeps; int checks; int64_t correction; bool lost; int64_t firstSleepLasts = 0; };
  const Case cases[] = {
      {100, 1000, 1, true, 0, 0, {250, 250, 250, 147}, 4, -1, false},  // three slices, then the rest
      {100, 1000, 1, false, 0, 0, {900}, 0, -1, false},                 // nothing to check: one sleep
      {0, 500, 10, true, 0, 0, {250, 250}, 3, -20, false},  // slices past the point: no sleep for the rest
      {0, 500, 10, false, 0, 0, {500}, 0, -10, false},
      // An overrun starts the next sample at once and resets the correction.
      {1500, 1000, 0, true, -7, 0, {}, 1, 0, false},
      {1500, 1000, 0, false, -7, 0, {}, 0, 0, false},
      {0, 20000, 0, true, 0, 2, {250, 250}, 2, 0, true},  // a lost cache ends the sleep at the next slice
      {100, 1000, 0, false, 0, 0, {900, 600}, 0, 0, false, 300},  // a signal ends the first sleep after 300 ms
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.sleeps) + (c.monitored ? " monitored" : " host-only"));
    FakeClock clock;
    clock.t = c.busy * MS;
    clock.oversleep = c.over * MS;
    clock.goneAt = c.goneAt;
    clock.firstSleepLasts = c.firstSleepLasts * MS;
    TallyPaceCheck check = clock.check();
    int64_t correction = c.correctionIn * MS;
    HostHrtime_t grid = 0;
    EXPECT_EQ((bool)TallyPace(clock, c.interval * MS, 0, &correction, c.monitored ? &check : nullptr, &grid), c.lost);
    Sleeps slept;
    for (int64_t ns : clock.sleeps) slept.push_back(ns / MS);
    EXPECT_EQ(slept, c.sleeps);
    EXPECT_EQ(clock.checks, c.checks);
    if (!c.lost) { EXPECT_EQ(correction, c.correction * MS); }
    EXPECT_EQ(clock.signalChances, c.busy > c.interval ? 1 : 0);  // a run that always overruns still ends on SIGTERM
  }
}

// Every sleep oversleeps 3 ms, each liveness check takes 2 ms and the loop 1 ms
// more before the next start: all of it is lateness on the grid, taken off the
// next interval, so it never adds up however long the run.
TEST(Pacing, SampleStartsStayOnTheGridWithoutDrift) {
  for (bool monitored : {true, false}) {
    FakeClock clock;
    clock.oversleep = 3 * MS;
    clock.checkCost = 2 * MS;
    TallyPaceCheck check = clock.check();
    int64_t correction = 0;
    HostHrtime_t grid = 0;
    HostHrtime_t t0 = 0;
    std::vector<HostHrtime_t> starts;
    for (int sample = 1; sample <= 1000; sample++) {
      clock.t += 40 * MS;  // the sample itself
      TallyPace(clock, 100 * MS, t0, &correction, monitored ? &check : nullptr, &grid);
      clock.t += 1 * MS;  // from the end of the pause to the next start
      t0 = clock.t;
      starts.push_back(t0);
    }
    int64_t late = starts[0] - 100 * MS;
    EXPECT_EQ(late, (monitored ? 6 : 4) * MS);
    for (size_t i = 0; i < starts.size(); i++)
      ASSERT_EQ(starts[i], (HostHrtime_t)(i + 1) * 100 * MS + late) << "sample " << i << (monitored ? " monitored" : "");
  }
}

}  // namespace
