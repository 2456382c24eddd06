// A quick read of a record line of the usual shape, for a caller that reads
// every record of a large archive: the type number, time stamp and instance,
// and every later token as a number, in one pass with no allocation.
//
// The usual shape: tokens separated by single spaces, at least three; the
// type number, the time stamp (32 bits) and every value after the instance
// unsigned decimals of at most 19 digits with no leading zero; an instance
// without control bytes. A line of that shape whose type is known and whose
// token count fits it is a record that ArchiveReader reads to the same
// numbers. Any other line (a sign, twenty digits, damage) is left to
// ArchiveReader, which reads it or says what is wrong with it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "archivereader.h"

namespace tallyread {

// Eight bytes read at once (little-endian: the first byte lowest), with bits
// set in every byte that is not a decimal digit. A byte is a digit when its
// high nibble is 3 and adding 6 leaves it 3; no carry crosses into a byte below
// the first that is not.
inline uint64_t nonDigitBytes(uint64_t bytes) {
  const uint64_t HIGH = 0xF0F0F0F0F0F0F0F0u, THREES = 0x3333333333333333u;
  return ((bytes & HIGH) | (((bytes + 0x0606060606060606u) & HIGH) >> 4)) ^ THREES;
}

// The value of the first count (1 to 8) bytes of eight, when they are digits:
// moved up so that zeros lead, the bytes after them (borrows included) fall
// off the top.
inline uint64_t digitsValue(uint64_t bytes, size_t count) {
  uint64_t v = (bytes - 0x3030303030303030u) << (8 * (8 - count));
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >> 32;
}

// The decimal digits at the start of eight bytes (all eight must be
// readable): how many there are (0 to 8) and their value.
inline size_t leadingDigits(const char* text, uint64_t* value) {
  uint64_t bytes;
  memcpy(&bytes, text, 8);
  uint64_t notDigit = nonDigitBytes(bytes);
  size_t count = notDigit ? (size_t)__builtin_ctzll(notDigit) / 8 : 8;
  if (count == 0) return 0;
  *value = digitsValue(bytes, count);
  return count;
}

struct ScannedRecord {
  uint64_t typeId = 0;
  uint32_t time = 0;
  size_t count = 0;            // tokens, the first three included
  std::string_view instance;   // token 2
  std::string_view processId;  // token 3, "0" when there is none
  // The instance and process id as they lie in the line ("name 4242", or
  // "name" alone): the same text for records of the same instance and process.
  std::string_view identity;
};

// Reads a line that ended with its newline (the byte after it is the newline
// and LINE_SLACK bytes after it are readable). TRUE for the usual shape, with
// token i as (*numbers)[i] (the instance as 0); the vector is grown when the
// line needs more room and keeps its size otherwise.
bool scanRecord(std::string_view line, std::vector<ArchiveNumber>* numbers, ScannedRecord* out);

}  // namespace tallyread
