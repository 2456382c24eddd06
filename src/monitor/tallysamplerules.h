// The per-sample rules of the sampling loop that depend only on numbers: the
// time stamp, the end of a file's run under an hour limit, and the timed flush.
#pragma once

#include <cstdint>
#include <ctime>

#include "host/hosttypes.h"

const int TALLY_SECONDS_PER_HOUR = 3600;

// The stamp of the next sample. Below a 1000 ms interval stamps count samples
// (previous + 1). Otherwise the wall-clock second, except that a second equal
// to the previous stamp becomes previous + 1: consecutive samples never share a
// stamp. Only equality is tested; a second below the previous stamp is kept.
uint32_t TallyNextTimeStamp(uint32_t previous, time_t second, int sampleIntervalMs);

// Wall-clock second at which a file whose first sample is at `firstSecond`
// ends its run under an hour limit of `sampleHours` (not 0). Computed in 64
// bits, so a very large limit lies far in the future instead of wrapping into
// the past; a negative limit (stored unchanged from the command line) ends the
// run at the next sample.
time_t TallyRunEndTime(time_t firstSecond, int sampleHours);

// Flush policy after a sample stamped `stamp`: flushInterval 0 flushes every
// sample, -1 never flushes on time, otherwise a flush is due when the stamps
// have advanced by more than flushInterval since *lastBufferFlushTime (a signed
// 32-bit difference); a due flush moves *lastBufferFlushTime to `stamp`.
BoolType TallyFlushDue(int flushInterval, uint32_t stamp, int* lastBufferFlushTime);
