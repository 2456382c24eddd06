#include "chartreduce.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tallyread;

namespace {

TEST(PointReducer, KeepsAShortSeriesExactly) {
  PointReducer r(10);
  for (int i = 0; i < 10; i++) r.add(100 + i, i * 1.5);
  std::vector<ChartPoint> points = r.points();
  ASSERT_EQ(points.size(), 10u);
  for (int i = 0; i < 10; i++) {
    EXPECT_EQ(points[i].time, 100 + i);
    EXPECT_EQ(points[i].value, i * 1.5);
  }
}

// Far more points than columns, in one go and as a series that keeps
// growing past its first buckets: at most two points per column, in time
// order, with the spike, the overall minimum and both ends kept.
TEST(PointReducer, ReducesALongSeriesToMinimumAndMaximumPerColumn) {
  for (int length : {101, 1000, 100000}) {
    PointReducer r(50);
    int spikeAt = length * 2 / 3;
    for (int i = 0; i < length; i++) r.add(1000 + i, i == spikeAt ? 1e6 : (i == 7 ? -5 : i % 10));
    std::vector<ChartPoint> points = r.points();
    SCOPED_TRACE(length);
    EXPECT_LE(points.size(), 100u);
    EXPECT_GE(points.size(), 25u);
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                               [](const ChartPoint& a, const ChartPoint& b) { return a.time < b.time; }));
    auto spike = std::find_if(points.begin(), points.end(), [](const ChartPoint& p) { return p.value == 1e6; });
    ASSERT_NE(spike, points.end());
    EXPECT_EQ(spike->time, 1000 + spikeAt);
    EXPECT_TRUE(std::any_of(points.begin(), points.end(), [](const ChartPoint& p) { return p.value == -5; }));
    EXPECT_LT(points.front().time, 1000 + length / 50 + 1);  // in the first column
    EXPECT_GT(points.back().time, 1000 + length - length / 25 - 2);  // in the last
    EXPECT_EQ(r.count(), (size_t)length);
    // Fewer columns asked at the end: fewer points, the spike still there.
    std::vector<ChartPoint> fewer = r.points(10);
    EXPECT_LE(fewer.size(), 20u);
    EXPECT_TRUE(std::any_of(fewer.begin(), fewer.end(), [](const ChartPoint& p) { return p.value == 1e6; }));
  }
}

TEST(PointReducer, ExactPointsReducedWhenFewerColumnsAreAsked) {
  PointReducer r(100);
  for (int i = 0; i < 40; i++) r.add(i, i == 20 ? 99 : 1);
  std::vector<ChartPoint> points = r.points(4);
  EXPECT_LE(points.size(), 8u);
  EXPECT_TRUE(std::any_of(points.begin(), points.end(), [](const ChartPoint& p) { return p.value == 99 && p.time == 20; }));
}

TEST(PointReducer, AStepBackInTimeOrAnEqualTimeDoesNotBreakIt) {
  PointReducer r(4);
  for (int i = 0; i < 20; i++) r.add(i % 7 == 0 ? 3 : i, i);
  EXPECT_EQ(r.count(), 20u);
  EXPECT_LE(r.points().size(), 8u);
}

}  // namespace
