// Running totals turned into rates per second: each record against the
// previous record of the same type and instance, over the real time between.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

#include "archivereader.h"

namespace tallyread {

// (after - before) / seconds. A total that went down gives no value, unless
// it is a 32-bit counter (not wide) that wrapped: then it is counted modulo
// 2^32. A 32-bit value is taken to have wrapped when the step modulo 2^32 is
// below 2^31 (from near the top of the range to near the bottom); a larger
// step is a decrease. No value either when the time did not advance or a
// text is not a number.
std::optional<double> ratePerSecond(const std::string& before, const std::string& after, double seconds, bool wide);
// Inline: summary computes it for every running total of every record.
inline std::optional<double> ratePerSecond(const ArchiveNumber& before, const ArchiveNumber& after, double seconds,
                                           bool wide) {
  if (!(seconds > 0)) return std::nullopt;
  if (wide) {
    double a = before.asDouble(), b = after.asDouble();
    if (b < a) return std::nullopt;
    return (b - a) / seconds;
  }
  if (before.negative || after.negative || before.magnitude > UINT32_MAX || after.magnitude > UINT32_MAX)
    return std::nullopt;
  uint64_t a = before.magnitude, b = after.magnitude;
  if (b >= a) return (double)(b - a) / seconds;
  uint64_t difference = b + (UINT64_C(1) << 32) - a;
  if (difference >= (UINT64_C(1) << 31)) return std::nullopt;
  return (double)difference / seconds;
}

// The previous record of each type and instance.
class PreviousRecords {
 public:
  struct Entry {
    bool seen = false;  // FALSE until a record was kept
    size_t number = 0;  // 1 for the first type and instance met, 2 for the next ...
    size_t headerSerial = 0;          // of the header that described it
    std::vector<std::string> fields;  // that header's fields of the type
    double time = 0;
    std::vector<ArchiveNumber> numbers;
  };
  // The place of the type and instance: the previous record when seen.
  Entry& at(const std::string& type, const std::string& instance);
  // Keeps the record as the previous one; the record is left with the old
  // contents (their storage is reused by the next record read into it).
  static void keep(Entry& entry, double time, ArchiveRecord& record);

 private:
  std::unordered_map<std::string, Entry> _entries;
  size_t _count = 0;
  std::string _key;
};

}  // namespace tallyread
