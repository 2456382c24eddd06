#include "rates.h"

#include <cstdint>

#include "archivereader.h"

namespace tallyread {

std::optional<double> ratePerSecond(const std::string& before, const std::string& after, double seconds, bool wide) {
  if (!(seconds > 0)) return std::nullopt;
  if (wide) {
    int64_t a, b;
    if (!parseInt(before, &a) || !parseInt(after, &b) || b < a) return std::nullopt;
    return ((double)b - (double)a) / seconds;
  }
  uint64_t a, b;
  if (!parseUInt(before, &a) || !parseUInt(after, &b) || a > UINT32_MAX || b > UINT32_MAX) return std::nullopt;
  if (b >= a) return (double)(b - a) / seconds;
  // Down by less than half the range is a counter that went back (a reset, a
  // new process under the same name); a wrap takes it from the top of the
  // range to the bottom, which modulo 2^32 is a step of less than half.
  uint64_t difference = b + (UINT64_C(1) << 32) - a;
  if (difference >= (UINT64_C(1) << 31)) return std::nullopt;
  return (double)difference / seconds;
}

const PreviousRecords::Entry* PreviousRecords::find(const std::string& type, const std::string& instance) const {
  auto found = _entries.find(std::make_pair(type, instance));
  return found == _entries.end() ? nullptr : &found->second;
}

void PreviousRecords::remember(const std::string& type, const std::string& instance, double time,
                               const std::vector<std::string>& tokens) {
  Entry& entry = _entries[std::make_pair(type, instance)];
  entry.time = time;
  entry.tokens = tokens;
}

}  // namespace tallyread
