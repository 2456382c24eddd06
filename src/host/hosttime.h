// Clocks of the monitor: a monotonic nanosecond clock for pacing, the wall clock
// for time stamps.
#pragma once

#include <ctime>

#include "host/hosttypes.h"

// Monotonic time in nanoseconds; a negative reading is taken again.
HostHrtime_t HostGetNanoTime();

// Wall-clock seconds since the epoch; milliseconds through `ms` (may be null).
// Both 0 when the clock cannot be read.
time_t HostFtime(int* ms);

// Whole milliseconds elapsed since the monotonic time `start`.
int64_t HostComputeElapsedTimeMs(HostHrtime_t start);

// Sleeps `ns` nanoseconds. A sleep cut short by a signal returns early and is
// not resumed; any other failure is reported and is a guarantee failure.
void HostNanoSleep(int64_t ns);
