#include "monitor/tallypacing.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int64_t MS = 1000000;

// A simulated clock: every sleep lasts `oversleep` longer than asked.
class FakeClock : public TallyPaceClock {
 public:
  HostHrtime_t t = 0;
  int64_t oversleep = 0;
  std::vector<int64_t> sleeps;
  HostHrtime_t now() override { return t; }
  void sleep(int64_t ns) override {
    sleeps.push_back(ns);
    t += ns + oversleep;
  }
};

struct Liveness {
  int checks = 0;
  int goneAtCheck = 0;  // 0: never
  static BoolType isGone(void* self) {
    Liveness* l = static_cast<Liveness*>(self);
    l->checks++;
    return l->goneAtCheck != 0 && l->checks >= l->goneAtCheck ? TRUE : FALSE;
  }
  TallyPaceCheck check() { return TallyPaceCheck{isGone, this}; }
};

// One pacing with the sample taking `busy`, every sleep lasting `oversleep`
// longer than asked; monitored or host-only (no liveness check).
struct Paced {
  FakeClock clock;
  Liveness live;
  int64_t correction;
  BoolType lost;
  Paced(int64_t busy, int64_t interval, int64_t oversleep, bool monitored, int64_t correctionIn = 0, int goneAt = 0)
      : correction(correctionIn) {
    clock.t = busy;
    clock.oversleep = oversleep;
    live.goneAtCheck = goneAt;
    TallyPaceCheck check = live.check();
    lost = TallyPace(clock, interval, 0, &correction, monitored ? &check : nullptr);
  }
};

TEST(Pacing, SleepsTheRestOfTheIntervalInSlicesCheckingAfterEach) {
  Paced p(100 * MS, 1000 * MS, 1 * MS, true);
  EXPECT_FALSE(p.lost);
  // 900 ms: three slices (each oversleeping 1 ms), then the 147 ms left.
  EXPECT_EQ(p.clock.sleeps, (std::vector<int64_t>{250 * MS, 250 * MS, 250 * MS, 147 * MS}));
  EXPECT_EQ(p.live.checks, 4);
  EXPECT_EQ(p.correction, -1 * MS);  // the oversleep, taken off the next interval

  for (bool monitored : {true, false}) {  // slices that oversleep the point: no sleep for the -20 ms rest
    Paced over(0, 500 * MS, 10 * MS, monitored);
    EXPECT_EQ(over.clock.sleeps.size(), 2u);
    EXPECT_EQ(over.correction, -20 * MS);
    EXPECT_EQ(over.live.checks, monitored ? 3 : 0);
    // An overrun starts the next sample at once and resets the correction.
    Paced overrun(1500 * MS, 1000 * MS, 0, monitored, -7 * MS);
    EXPECT_FALSE(overrun.lost);
    EXPECT_TRUE(overrun.clock.sleeps.empty());
    EXPECT_EQ(overrun.correction, 0);  // no catch-up samples later
    EXPECT_EQ(overrun.live.checks, monitored ? 1 : 0);
  }
  Paced lost(0, 20000 * MS, 0, true, 0, 2);  // a lost cache ends the sleep at the next slice
  EXPECT_TRUE(lost.lost);
  EXPECT_EQ(lost.clock.t, 500 * MS);
}

TEST(Pacing, SampleStartsStayOnTheGridWithoutDrift) {
  for (bool monitored : {true, false}) {
    FakeClock clock;
    clock.oversleep = 3 * MS;
    Liveness live;
    TallyPaceCheck check = live.check();
    int64_t correction = 0;
    HostHrtime_t t0 = 0;
    for (int sample = 1; sample <= 20; sample++) {
      clock.t += 40 * MS;  // the sample itself
      TallyPace(clock, 2000 * MS, t0, &correction, monitored ? &check : nullptr);
      t0 = clock.t;
    }
    // Twenty intervals later the loop is late by one oversleep, not twenty.
    EXPECT_EQ(clock.t, 20 * 2000 * MS + 3 * MS) << (monitored ? "monitored" : "host-only");
    EXPECT_EQ(correction, -3 * MS);
  }
}

}  // namespace
