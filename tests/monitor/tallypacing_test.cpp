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

TEST(Pacing, SleepsTheRestOfTheIntervalInSlicesCheckingAfterEach) {
  FakeClock clock;
  clock.t = 100 * MS;  // the sample took 100 ms
  clock.oversleep = 1 * MS;
  Liveness live;
  TallyPaceCheck check = live.check();
  int64_t correction = 0;
  EXPECT_FALSE(TallyPace(clock, 1000 * MS, 0, &correction, &check));
  // 900 ms: three slices (each oversleeping 1 ms), then the 147 ms left.
  EXPECT_EQ(clock.sleeps, (std::vector<int64_t>{250 * MS, 250 * MS, 250 * MS, 147 * MS}));
  EXPECT_EQ(live.checks, 4);
  EXPECT_EQ(correction, -1 * MS);  // the oversleep, taken off the next interval
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

TEST(Pacing, AnOverrunStartsTheNextSampleAtOnceAndResetsTheCorrection) {
  for (bool monitored : {true, false}) {
    FakeClock clock;
    clock.t = 1500 * MS;  // longer than the interval
    Liveness live;
    TallyPaceCheck check = live.check();
    int64_t correction = -7 * MS;
    EXPECT_FALSE(TallyPace(clock, 1000 * MS, 0, &correction, monitored ? &check : nullptr));
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(correction, 0);  // no catch-up samples later
    EXPECT_EQ(live.checks, monitored ? 1 : 0);
  }
}

TEST(Pacing, ALostCacheEndsTheSleepAtTheNextSlice) {
  FakeClock clock;
  Liveness live;
  live.goneAtCheck = 2;
  TallyPaceCheck check = live.check();
  int64_t correction = 0;
  EXPECT_TRUE(TallyPace(clock, 20000 * MS, 0, &correction, &check));
  EXPECT_EQ(clock.sleeps.size(), 2u);
  EXPECT_EQ(clock.t, 500 * MS);
}

TEST(Pacing, SlicesThatOversleepThePointLeaveANegativeRestAsTheCorrection) {
  FakeClock clock;
  clock.oversleep = 10 * MS;
  Liveness live;
  TallyPaceCheck check = live.check();
  int64_t correction = 0;
  EXPECT_FALSE(TallyPace(clock, 500 * MS, 0, &correction, &check));
  EXPECT_EQ(clock.sleeps.size(), 2u);  // no third sleep for the -20 ms rest
  EXPECT_EQ(correction, -20 * MS);
  EXPECT_EQ(live.checks, 3);

  FakeClock hostOnly;
  hostOnly.oversleep = 10 * MS;
  correction = 0;
  EXPECT_FALSE(TallyPace(hostOnly, 500 * MS, 0, &correction, nullptr));
  EXPECT_EQ(hostOnly.sleeps.size(), 2u);
  EXPECT_EQ(correction, -20 * MS);
}

}  // namespace
