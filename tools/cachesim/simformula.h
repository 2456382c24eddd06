// The deterministic counter values (--deterministic), as documented in the help
// text and docs/cachesim.md. Each value carries its slot, its word index and the
// tick, so a reader can tell a misplaced or stale value from the right one.
#pragma once

#include <cstdint>

// 32-bit word w (w >= 2) of the statistics block of slot s at tick t.
inline uint32_t SimValue32(int s, int w, uint64_t t) {
  uint32_t v = (uint32_t)s * 0x01000000u + (uint32_t)w * 0x1000u + (uint32_t)(t & 0xFFF);
  return (w & 1) ? v ^ 0x80000000u : v;
}

// 64-bit word j from the first 64-bit statistic of slot s at tick t.
inline int64_t SimValue64(int s, int j, uint64_t t) {
  int64_t v = ((int64_t)(s + 1) << 40) + ((int64_t)j << 20) + (int64_t)(t & 0xFFFFF);
  return (j % 3 == 2) ? -v : v;
}

// Shared application counter c at tick t.
inline int64_t SimCounterValue(int c, uint64_t t) {
  return ((int64_t)(c + 1) << 33) + ((int64_t)c << 16) + (int64_t)(t & 0xFFFF);
}
