// Decimal text of 64-bit values without formatted printing. Values below 10^8
// are converted eight digits at a time in one 64-bit register and stored with
// a single 8-byte write, so the common small counters take no data-dependent
// branches; larger values are split into groups of eight digits.
//
// The writers store up to 8 bytes past the last digit they report: callers
// must have 22 bytes of room (a sign, 20 digits, a space) before calling.
// Header-only so that the encoder's per-value loop inlines it.
#pragma once

#include <cstdint>
#include <cstring>

namespace decimal {

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
  // Or-ing in 1 keeps every digit count and makes 0 count as one digit.
  uint64_t w = v | 1;
  int bits = 64 - __builtin_clzll(w);
  // 1233/4096 approximates log10(2); the estimate is exact or one too many.
  int guess = (bits * 1233) >> 12;
  return guess + 1 - (w < kPow10[guess] ? 1 : 0);
}

// The eight decimal digits of v < 10^8, leading zeros included, as ASCII bytes
// in memory order (most significant digit in the lowest byte).
inline uint64_t eightDigits(uint32_t v) {
  // Two lanes of 32 bits: the high four digits and the low four.
  uint64_t merged = (uint64_t)(v / 10000) | ((uint64_t)(v % 10000) << 32);
  // Each lane divided by 100 (exact below 10^4), giving four lanes of 16 bits.
  uint64_t top = ((merged * 10486ULL) >> 20) & 0x0000007F0000007FULL;
  uint64_t bottom = merged - 100ULL * top;
  uint64_t hundreds = (bottom << 16) | top;
  // Each 16-bit lane divided by 10 (exact below 100), giving eight byte lanes.
  uint64_t tens = ((hundreds * 103ULL) >> 10) & 0x000F000F000F000FULL;
  uint64_t digits = tens | ((hundreds - 10ULL * tens) << 8);
  return digits | 0x3030303030303030ULL;
}

// Writes the n = digitCount(v) digits of v < 10^8; stores 8 bytes.
inline char* writeShort(char* out, uint32_t v, int n) {
  uint64_t d = eightDigits(v) >> (8 * (8 - n));
  memcpy(out, &d, 8);
  return out + n;
}

// Writes exactly eight digits of v < 10^8.
inline char* writeEight(char* out, uint32_t v) {
  uint64_t d = eightDigits(v);
  memcpy(out, &d, 8);
  return out + 8;
}

// Writes the digits of v and returns the position after the last one.
inline char* writeU64(char* out, uint64_t v) {
  if (v < 100000000ULL) return writeShort(out, (uint32_t)v, digitCount(v));
  uint64_t high = v / 100000000ULL;
  uint32_t low = (uint32_t)(v - high * 100000000ULL);
  if (high < 100000000ULL) {
    out = writeShort(out, (uint32_t)high, digitCount(high));
  } else {
    uint32_t top = (uint32_t)(high / 100000000ULL);  // at most 1844
    out = writeShort(out, top, digitCount(top));
    out = writeEight(out, (uint32_t)(high - (uint64_t)top * 100000000ULL));
  }
  return writeEight(out, low);
}

}  // namespace decimal
