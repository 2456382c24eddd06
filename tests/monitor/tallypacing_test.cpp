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
  int signalChances = 0;  // calls of takeHeldSignals
  HostHrtime_t now() override { return t; }
  void takeHeldSignals() override { signalChances++; }
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
    HostHrtime_t grid = 0;
    lost = TallyPace(clock, interval, 0, &correction, monitored ? &check : nullptr, &grid);
  }
};

TEST(Pacing, SleepsTheRestOfTheIntervalInSlicesCheckingAfterEach) {
  Paced p(100 * MS, 1000 * MS, 1 * MS, true);
  EXPECT_FALSE(p.lost);
  // 900 ms: three slices (each oversleeping 1 ms), then the 147 ms left.
  EXPECT_EQ(p.clock.sleeps, (std::vector<int64_t>{250 * MS, 250 * MS, 250 * MS, 147 * MS}));
  EXPECT_EQ(p.live.checks, 4);
  EXPECT_EQ(p.correction, -1 * MS);  // the oversleep, taken off the next interval

  // Host-only: nothing to check, so one sleep to the point.
  Paced hostOnly(100 * MS, 1000 * MS, 1 * MS, false);
  EXPECT_EQ(hostOnly.clock.sleeps, (std::vector<int64_t>{900 * MS}));
  EXPECT_EQ(hostOnly.correction, -1 * MS);
  struct Interrupted : FakeClock {  // a signal ends the first sleep after 300 ms
    void sleep(int64_t ns) override {
      sleeps.push_back(ns);
      t += sleeps.size() == 1 ? 300 * MS : ns;
    }
  } cut;
  int64_t correction = 0;
  HostHrtime_t grid = 0;
  cut.t = 100 * MS;
  TallyPace(cut, 1000 * MS, 0, &correction, nullptr, &grid);
  EXPECT_EQ(cut.sleeps, (std::vector<int64_t>{900 * MS, 600 * MS}));
  EXPECT_EQ(cut.t, 1000 * MS);

  for (bool monitored : {true, false}) {  // slices that oversleep the point: no sleep for the -20 ms rest
    Paced over(0, 500 * MS, 10 * MS, monitored);
    EXPECT_EQ(over.clock.sleeps.size(), monitored ? 2u : 1u);
    EXPECT_EQ(over.correction, monitored ? -20 * MS : -10 * MS);
    EXPECT_EQ(over.live.checks, monitored ? 3 : 0);
    // An overrun starts the next sample at once and resets the correction.
    Paced overrun(1500 * MS, 1000 * MS, 0, monitored, -7 * MS);
    EXPECT_FALSE(overrun.lost);
    EXPECT_TRUE(overrun.clock.sleeps.empty());
    EXPECT_EQ(overrun.clock.signalChances, 1);  // a run that always overruns still ends on SIGTERM
    EXPECT_EQ(overrun.correction, 0);  // no catch-up samples later
    EXPECT_EQ(overrun.live.checks, monitored ? 1 : 0);
  }
  Paced lost(0, 20000 * MS, 0, true, 0, 2);  // a lost cache ends the sleep at the next slice
  EXPECT_TRUE(lost.lost);
  EXPECT_EQ(lost.clock.t, 500 * MS);
}

// Every sleep oversleeps 3 ms, each liveness check takes 2 ms and the loop 1 ms
// more before the next start: all of it is lateness on the grid, taken off the
// next interval, so it never adds up however long the run.
TEST(Pacing, SampleStartsStayOnTheGridWithoutDrift) {
  struct SlowCheck {
    FakeClock* clock;
    static BoolType isGone(void* self) {
      static_cast<SlowCheck*>(self)->clock->t += 2 * MS;
      return FALSE;
    }
  };
  for (bool monitored : {true, false}) {
    FakeClock clock;
    clock.oversleep = 3 * MS;
    SlowCheck slow{&clock};
    TallyPaceCheck check{SlowCheck::isGone, &slow};
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
