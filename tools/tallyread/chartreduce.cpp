#include "chartreduce.h"

#include <cmath>

namespace tallyread {

void PointReducer::merge(Bucket& into, const Bucket& from) {
  if (!from.used) return;
  if (!into.used) {
    into = from;
    return;
  }
  if (from.min.value < into.min.value) into.min = from.min;
  if (from.max.value > into.max.value) into.max = from.max;
}

size_t PointReducer::bucketOf(double time) const {
  double offset = std::floor((time - _start) / _width);
  return offset < 0 ? 0 : (size_t)offset;
}

// The exact points become buckets: the span so far over as many columns,
// so that the next points have room up to twice the span before a halving.
void PointReducer::startBuckets() {
  double span = _exact.back().time - _exact.front().time;
  _start = _exact.front().time;
  _width = span > 0 ? span / (double)_columns : 1;
  _buckets.assign(2 * _columns, Bucket());
  for (const ChartPoint& p : _exact) {
    size_t at = bucketOf(p.time);
    while (at >= _buckets.size()) {
      halve();
      at = bucketOf(p.time);
    }
    merge(_buckets[at], Bucket{true, p, p});
  }
  _exact.clear();
  _exact.shrink_to_fit();
}

// Buckets twice as wide: neighbours merge into the first half.
void PointReducer::halve() {
  for (size_t i = 0; i < _buckets.size(); i++) {
    Bucket b = _buckets[i];
    _buckets[i] = Bucket();
    merge(_buckets[i / 2], b);
  }
  _width *= 2;
}

void PointReducer::add(double time, double value) {
  _count++;
  if (_buckets.empty()) {
    _exact.push_back(ChartPoint{time, value});
    if (_exact.size() > _columns) startBuckets();
    return;
  }
  size_t at = bucketOf(time);
  while (at >= _buckets.size()) {
    halve();
    at = bucketOf(time);
  }
  ChartPoint p{time, value};
  merge(_buckets[at], Bucket{true, p, p});
}

std::vector<ChartPoint> PointReducer::points(size_t columns) const {
  if (_buckets.empty() && _exact.size() <= columns) return _exact;
  // A copy in buckets (the exact points too, when fewer columns are asked),
  // merged pairwise until no more than `columns` of them span the points.
  PointReducer copy(columns);
  if (!_buckets.empty()) {
    copy = *this;
  } else {
    for (const ChartPoint& p : _exact) copy.add(p.time, p.value);
    if (copy._buckets.empty()) return copy._exact;
  }
  size_t last = 0;
  for (size_t i = 0; i < copy._buckets.size(); i++)
    if (copy._buckets[i].used) last = i;
  while (last >= columns) {
    copy.halve();
    last /= 2;
  }
  std::vector<ChartPoint> out;
  for (const Bucket& b : copy._buckets) {
    if (!b.used) continue;
    const ChartPoint& first = b.min.time <= b.max.time ? b.min : b.max;
    const ChartPoint& second = b.min.time <= b.max.time ? b.max : b.min;
    out.push_back(first);
    if (second.time != first.time || second.value != first.value) out.push_back(second);
  }
  return out;
}

}  // namespace tallyread
