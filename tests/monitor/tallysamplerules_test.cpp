#include "monitor/tallysamplerules.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

const uint32_t T = 1700000000;

TEST(TimeStamps, WholeSecondIntervalsUseTheClockButNeverRepeatAStampAndFasterOnesCount) {
  const std::pair<time_t, uint32_t> steps[] = {
      {T, T}, {T, T + 1} /* same second: one above the previous stamp */, {T + 1, T + 2},
      {T + 5, T + 5}, {T + 3, T + 3} /* the clock went back: its own second is kept */};
  uint32_t stamp = 0;
  for (const auto& s : steps) {
    stamp = TallyNextTimeStamp(stamp, s.first, 1000);
    EXPECT_EQ(stamp, s.second) << "second " << s.first;
  }
  // Sub-second intervals count (an archive of them is read back end to end).
  EXPECT_EQ(TallyNextTimeStamp(7, T + 100, 999), 8u);
}

TEST(HourLimit, EndsAtTheFirstSamplePlusTheHoursAndNeverInThePast) {
  EXPECT_EQ(TallyRunEndTime(T, 1), T + 3600);
  EXPECT_EQ(TallyRunEndTime(T, 596523), T + (time_t)596523 * 3600);
  // Beyond what 32 bits hold, the product must not wrap into the past.
  for (int hours : {596524, 1000000, INT_MAX}) EXPECT_GT(TallyRunEndTime(T, hours), T + (time_t)596523 * 3600) << hours;
}

// The samples (1-based) flushed among `samples` stamps first, first + step, ...
std::vector<int> flushed(int flushInterval, uint32_t first, uint32_t step, int samples, int* lastFlush) {
  std::vector<int> out;
  for (int i = 0; i < samples; i++)
    if (TallyFlushDue(flushInterval, first + step * (uint32_t)i, lastFlush)) out.push_back(i + 1);
  return out;
}

TEST(FlushPolicy, EverySampleNeverOrAtOnceThenWhenMoreThanTheIntervalPassed) {
  int last = 0;
  EXPECT_EQ(flushed(0, T, 20, 4, &last), (std::vector<int>{1, 2, 3, 4}));
  last = 0;
  EXPECT_TRUE(flushed(-1, T, 20, 100, &last).empty());
  EXPECT_EQ(last, 0);
  // Not yet flushed in this run: the first sample is flushed at once.
  EXPECT_EQ(flushed(60, T, 20, 10, &last), (std::vector<int>{1, 5, 9}));
  EXPECT_EQ(last, (int)(T + 8 * 20));
  // The flush clock runs on into the next file: its first sample is not special.
  EXPECT_EQ(flushed(60, T + 180, 20, 4, &last), (std::vector<int>{4}));
  last = 0;  // sub-second stamps advance by one per sample: 61 samples between flushes
  EXPECT_EQ(flushed(60, T + 1, 1, 130, &last), (std::vector<int>{1, 62, 123}));
}

}  // namespace
