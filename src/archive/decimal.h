// Decimal text of unsigned 64-bit values without formatted printing: the digit
// count comes from the bit length, the digits are stored two at a time from the
// end. Header-only so that the encoder's per-value loop inlines it.
#pragma once

#include <cstdint>
#include <cstring>

namespace decimal {

extern const char kDigitPairs[200];  // "00" "01" ... "99"

// Number of decimal digits of v (1 for 0), at most 20.
inline int digitCount(uint64_t v) {
  static const uint64_t kPow10[20] = {1ULL,
                                      10ULL,
                                      100ULL,
                                      1000ULL,
                                      10000ULL,
                                      100000ULL,
                                      1000000ULL,
                                      10000000ULL,
                                      100000000ULL,
                                      1000000000ULL,
                                      10000000000ULL,
                                      100000000000ULL,
                                      1000000000000ULL,
                                      10000000000000ULL,
                                      100000000000000ULL,
                                      1000000000000000ULL,
                                      10000000000000000ULL,
                                      100000000000000000ULL,
                                      1000000000000000000ULL,
                                      10000000000000000000ULL};
  // 1233/4096 approximates log10(2); the estimate is exact or one too small.
  // Or-ing in 1 keeps every digit count and makes 0 count as one digit.
  uint64_t w = v | 1;
  int bits = 64 - __builtin_clzll(w);
  int guess = (bits * 1233) >> 12;
  return guess + 1 - (w < kPow10[guess] ? 1 : 0);
}

// Writes the digits of v at out (no terminator) and returns their number.
inline int writeU64(char* out, uint64_t v) {
  int n = digitCount(v);
  char* p = out + n;
  while (v >= 100) {
    uint64_t q = v / 100;
    unsigned r = (unsigned)(v - q * 100);
    v = q;
    p -= 2;
    memcpy(p, kDigitPairs + 2 * r, 2);
  }
  if (v >= 10) {
    p -= 2;
    memcpy(p, kDigitPairs + 2 * v, 2);
  } else {
    *--p = (char)('0' + v);
  }
  return n;
}

}  // namespace decimal
