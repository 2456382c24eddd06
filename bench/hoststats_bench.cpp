// One host-only collection with every host group on, against this machine's
// /proc and /sys; beside it, as a baseline, the chain update alone (the three
// listing files read and parsed).
#include <benchmark/benchmark.h>

#include "hoststats/hoststatsstate.h"

namespace {

HostStatsSwitches everything() {
  HostStatsSwitches sw;
  sw.monitorDisks = sw.monitorPartitions = sw.monitorNetworks = sw.monitorCpus = sw.monitorSystemPages = TRUE;
  return sw;
}

void BM_HostCollectionAllGroups(benchmark::State& state) {
  HostStatsState s("/");
  if (!s.open(everything())) {
    state.SkipWithError("host statistics could not be opened");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(s.collect(everything()));
}
BENCHMARK(BM_HostCollectionAllGroups)->Unit(benchmark::kMicrosecond);

void BM_BaselineChainUpdateOnly(benchmark::State& state) {
  std::string err;
  int errnum = 0;
  auto kc = KstatCtl::open("/", 0, &err, &errnum);
  if (!kc) {
    state.SkipWithError(err.c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(kc->chainUpdate());
}
BENCHMARK(BM_BaselineChainUpdateOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
