#include "monitor/tallysamplerules.h"

uint32_t TallyNextTimeStamp(uint32_t previous, time_t second, int sampleIntervalMs) {
  if (sampleIntervalMs < 1000) return previous + 1;
  uint32_t stamp = (uint32_t)second;
  return stamp == previous ? previous + 1 : stamp;
}

time_t TallyRunEndTime(time_t firstSecond, int sampleHours) {
  int64_t span = (int64_t)sampleHours * TALLY_SECONDS_PER_HOUR;
  return (time_t)((int64_t)firstSecond + span);
}

BoolType TallyFlushDue(int flushInterval, uint32_t stamp, int* lastBufferFlushTime) {
  if (flushInterval == 0) return TRUE;
  if (flushInterval == -1) return FALSE;
  int32_t advanced = (int32_t)(stamp - (uint32_t)*lastBufferFlushTime);
  if (advanced <= flushInterval) return FALSE;
  *lastBufferFlushTime = (int)stamp;
  return TRUE;
}
