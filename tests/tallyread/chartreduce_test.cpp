#include "chartreduce.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tallyread;

namespace {

bool has(const std::vector<ChartPoint>& points, double time, double value) {
  auto same = [&](const ChartPoint& p) { return p.time == time && p.value == value; };
  return std::any_of(points.begin(), points.end(), same);
}

// A series no longer than the columns is kept exactly; far more points than
// columns, in one go and as a series that keeps growing past its first
// buckets, give at most two points per column, in time order, with the spike,
// the overall minimum and both ends kept. So do fewer columns asked at the end.
TEST(PointReducer, ReducesALongSeriesToMinimumAndMaximumPerColumn) {
  for (int length : {40, 101, 1000, 100000}) {
    PointReducer r(50);
    int spikeAt = length * 2 / 3;
    for (int i = 0; i < length; i++) r.add(1000 + i, i == spikeAt ? 1e6 : (i == 7 ? -5 : i % 10));
    std::vector<ChartPoint> points = r.points();
    SCOPED_TRACE(length);
    EXPECT_LE(points.size(), 100u);
    EXPECT_TRUE(length > 50 || points.size() == (size_t)length);
    EXPECT_GE(points.size(), 25u);
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                               [](const ChartPoint& a, const ChartPoint& b) { return a.time < b.time; }));
    EXPECT_TRUE(has(points, 1000 + spikeAt, 1e6));
    EXPECT_TRUE(has(points, 1007, -5));
    EXPECT_LT(points.front().time, 1000 + length / 50 + 1);  // in the first column
    EXPECT_GT(points.back().time, 1000 + length - length / 25 - 2);  // in the last
    EXPECT_EQ(r.count(), (size_t)length);
    std::vector<ChartPoint> fewer = r.points(10);
    EXPECT_LE(fewer.size(), 20u);
    EXPECT_TRUE(has(fewer, 1000 + spikeAt, 1e6));
  }
  PointReducer back(4);  // a step back in time or an equal time does not break it
  for (int i = 0; i < 20; i++) back.add(i % 7 == 0 ? 3 : i, i);
  EXPECT_LE(back.points().size(), 8u);
}

}  // namespace
