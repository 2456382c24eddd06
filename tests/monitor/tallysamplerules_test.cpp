#include "monitor/tallysamplerules.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

const time_t T = 1700000000;

TEST(TimeStamps, WholeSecondIntervalsUseTheClockButNeverRepeatAStamp) {
  struct Step {
    time_t second;
    uint32_t expected;
  } steps[] = {
      {T, (uint32_t)T},
      {T, (uint32_t)T + 1},      // same second: one above the previous stamp
      {T + 1, (uint32_t)T + 2},  // equal to the previous stamp again
      {T + 5, (uint32_t)T + 5},
      {T + 3, (uint32_t)T + 3},  // the clock went back: its own second is kept
  };
  uint32_t stamp = 0;
  for (const Step& s : steps) {
    stamp = TallyNextTimeStamp(stamp, s.second, 1000);
    EXPECT_EQ(stamp, s.expected) << "second " << s.second;
  }
}

TEST(TimeStamps, SubSecondIntervalsCountSamplesFromTheSeed) {
  uint32_t stamp = (uint32_t)T;  // seeded with the second the loop started
  for (int i = 1; i <= 25; i++) stamp = TallyNextTimeStamp(stamp, T, 100);
  EXPECT_EQ(stamp, (uint32_t)T + 25);
  EXPECT_EQ(TallyNextTimeStamp(7, T + 100, 999), 8u);
}

TEST(HourLimit, EndsAtTheFirstSamplePlusTheHoursAndNeverInThePast) {
  EXPECT_EQ(TallyRunEndTime(T, 1), T + 3600);
  EXPECT_EQ(TallyRunEndTime(T, 596523), T + (time_t)596523 * 3600);
  // Beyond what 32 bits hold, the product must not wrap into the past.
  for (int hours : {596524, 1000000, INT_MAX}) {
    EXPECT_GT(TallyRunEndTime(T, hours), T + (time_t)596523 * 3600) << hours;
  }
}

std::vector<int> flushedSamples(int flushInterval, uint32_t firstStamp, uint32_t step, int samples,
                                int* lastBufferFlushTime) {
  std::vector<int> flushed;
  for (int i = 0; i < samples; i++) {
    if (TallyFlushDue(flushInterval, firstStamp + step * (uint32_t)i, lastBufferFlushTime)) flushed.push_back(i + 1);
  }
  return flushed;
}

TEST(FlushPolicy, ZeroFlushesEverySampleAndMinusOneNeverOnTime) {
  int last = 0;
  EXPECT_EQ(flushedSamples(0, (uint32_t)T, 20, 4, &last), (std::vector<int>{1, 2, 3, 4}));
  last = 0;
  EXPECT_TRUE(flushedSamples(-1, (uint32_t)T, 20, 100, &last).empty());
  EXPECT_EQ(last, 0);
}

TEST(FlushPolicy, DefaultFlushesAtOnceThenWhenMoreThanSixtySecondsPassed) {
  int last = 0;  // not yet flushed in this run: the first sample is flushed at once
  EXPECT_EQ(flushedSamples(60, (uint32_t)T, 20, 10, &last), (std::vector<int>{1, 5, 9}));
  EXPECT_EQ(last, (int)(T + 8 * 20));
  // The flush clock runs on into the next file: its first sample is not special.
  EXPECT_EQ(flushedSamples(60, (uint32_t)T + 180, 20, 4, &last), (std::vector<int>{4}));
}

TEST(FlushPolicy, SubSecondStampsCountSamplesTowardsTheInterval) {
  int last = 0;
  // Stamps advance by one per sample: 61 samples between flushes.
  EXPECT_EQ(flushedSamples(60, (uint32_t)T + 1, 1, 130, &last), (std::vector<int>{1, 62, 123}));
}

}  // namespace
