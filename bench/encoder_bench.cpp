// Cost per value of the archive encoder on a realistic mix of counter values,
// beside a baseline that formats each token with snprintf, measured in the same
// run. Build with -DTALLY_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release.
#include <benchmark/benchmark.h>

#include <cinttypes>
#include <cstdio>
#include <random>
#include <vector>

#include "archive/hoststatwriter.h"
#include "host/utlexit.h"

namespace {

const int VALUES_PER_BATCH = 4096;

// About 60% single digits (a few of them negative), 30% of 2 to 6 digits,
// 10% full-width 64-bit values (half of them negative).
std::vector<int64_t> makeMix(unsigned seed) {
  std::mt19937_64 rng(seed);
  std::vector<int64_t> v(VALUES_PER_BATCH);
  for (int64_t& x : v) {
    unsigned pick = (unsigned)(rng() % 100);
    if (pick < 60) {
      x = (int64_t)(rng() % 10);
      if (pick < 5 && x != 0) x = -x;
    } else if (pick < 90) {
      static const int64_t lo[] = {10, 100, 1000, 10000, 100000};
      int d = (int)(rng() % 5);
      x = lo[d] + (int64_t)(rng() % (uint64_t)(lo[d] * 9));
      if (pick < 62) x = -x;
    } else {
      x = (int64_t)(rng() | (1ULL << 62));
      if (pick >= 95) x = -x;
    }
  }
  return v;
}

std::vector<uint32_t> toU32(const std::vector<int64_t>& v) {
  std::vector<uint32_t> out;
  for (int64_t x : v) out.push_back(x < 0 ? (uint32_t)-x : (uint32_t)x);
  return out;
}

struct Writer {
  Writer() { w.init(nullptr); }
  ~Writer() { UtlFree(w.rawBuffer); }
  // Restarts the text before it could fill the area (no output file here).
  void rewindIfHalfFull() {
    if ((size_t)w.spaceUsed() > w.bufferSize / 2) {
      w.bufPtr = w.buffer;
      *w.bufPtr = '\0';
    }
  }
  HostStatWriter w;
};

// The least time of the repetitions: on a shared machine the other figures mostly
// measure the neighbours.
double minimum(const std::vector<double>& v) {
  double m = v.empty() ? 0 : v[0];
  for (double x : v) m = x < m ? x : m;
  return m;
}

void setCounters(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * VALUES_PER_BATCH);
  state.counters["ns_per_value"] = benchmark::Counter((double)state.iterations() * VALUES_PER_BATCH,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EncoderVectorI64(benchmark::State& state) {
  std::vector<int64_t> mix = makeMix(1);
  Writer wr;
  for (auto _ : state) {
    wr.w.writeVectorI64(mix.data(), VALUES_PER_BATCH);
    benchmark::DoNotOptimize(wr.w.bufPtr);
    wr.rewindIfHalfFull();
  }
  setCounters(state);
}
BENCHMARK(BM_EncoderVectorI64)->ComputeStatistics("min", minimum);

void BM_EncoderVectorU32(benchmark::State& state) {
  std::vector<uint32_t> mix = toU32(makeMix(2));
  Writer wr;
  for (auto _ : state) {
    wr.w.writeVectorU32(mix.data(), VALUES_PER_BATCH);
    benchmark::DoNotOptimize(wr.w.bufPtr);
    wr.rewindIfHalfFull();
  }
  setCounters(state);
}
BENCHMARK(BM_EncoderVectorU32)->ComputeStatistics("min", minimum);

// One call per value, as the header and the host records use the encoder.
void BM_EncoderPerCallInt64(benchmark::State& state) {
  std::vector<int64_t> mix = makeMix(3);
  Writer wr;
  for (auto _ : state) {
    for (int64_t x : mix) wr.w.writeInt64(x);
    benchmark::DoNotOptimize(wr.w.bufPtr);
    wr.rewindIfHalfFull();
  }
  setCounters(state);
}
BENCHMARK(BM_EncoderPerCallInt64)->ComputeStatistics("min", minimum);

void BM_SnprintfPerTokenI64(benchmark::State& state) {
  std::vector<int64_t> mix = makeMix(1);
  std::vector<char> area(2 * 1048576);
  char* p = area.data();
  char* end = area.data() + area.size();
  for (auto _ : state) {
    for (int64_t x : mix) p += snprintf(p, (size_t)(end - p), "%" PRId64 " ", x);
    benchmark::DoNotOptimize(p);
    if (p - area.data() > 1048576) p = area.data();
  }
  setCounters(state);
}
BENCHMARK(BM_SnprintfPerTokenI64)->ComputeStatistics("min", minimum);

void BM_SnprintfPerTokenU32(benchmark::State& state) {
  std::vector<uint32_t> mix = toU32(makeMix(2));
  std::vector<char> area(2 * 1048576);
  char* p = area.data();
  char* end = area.data() + area.size();
  for (auto _ : state) {
    for (uint32_t x : mix) p += snprintf(p, (size_t)(end - p), "%u ", x);
    benchmark::DoNotOptimize(p);
    if (p - area.data() > 1048576) p = area.data();
  }
  setCounters(state);
}
BENCHMARK(BM_SnprintfPerTokenU32)->ComputeStatistics("min", minimum);

}  // namespace

BENCHMARK_MAIN();
