// A series of (time, value) points reduced, while it is read, to about one
// point per pixel column of a chart: short series are kept exactly; longer
// ones fall into buckets of equal time that keep their minimum and maximum
// (with the times they occurred), so a spike survives the reduction. Memory
// stays below two buckets per column whatever the series' length.
#pragma once

#include <cstddef>
#include <vector>

namespace tallyread {

struct ChartPoint {
  double time = 0;  // seconds since 1970
  double value = 0;
};

class PointReducer {
 public:
  // columns: the number of buckets a reduced series ends with at most (> 0).
  explicit PointReducer(size_t columns) : _columns(columns) {}
  // Points are added in time order (a point earlier than the last is taken
  // as of the last bucket).
  void add(double time, double value);
  // Ends with at most `columns` buckets (fewer than given at construction
  // when asked): every point when there were no more, else each bucket's
  // minimum and maximum in time order (one point when they are the same).
  std::vector<ChartPoint> points(size_t columns) const;
  std::vector<ChartPoint> points() const { return points(_columns); }
  size_t count() const { return _count; }

 private:
  struct Bucket {
    bool used = false;
    ChartPoint min, max;
  };
  void startBuckets();
  void halve();
  size_t bucketOf(double time) const;
  static void merge(Bucket& into, const Bucket& from);
  size_t _columns;
  size_t _count = 0;
  std::vector<ChartPoint> _exact;  // until there are more points than columns
  std::vector<Bucket> _buckets;    // then: up to twice the columns, each `_width` seconds from `_start`
  double _start = 0, _width = 0;
};

}  // namespace tallyread
