#include "rates.h"

#include <cstdint>

#include "archivereader.h"

namespace tallyread {

std::optional<double> ratePerSecond(const std::string& before, const std::string& after, double seconds, bool wide) {
  auto number = [](const std::string& text, ArchiveNumber* n) {
    int64_t v;
    n->negative = !text.empty() && text[0] == '-';
    if (!n->negative) return parseUInt(text, &n->magnitude);
    if (!parseInt(text, &v)) return false;
    n->magnitude = 0 - (uint64_t)v;
    return true;
  };
  ArchiveNumber a, b;
  if (!number(before, &a) || !number(after, &b)) return std::nullopt;
  return ratePerSecond(a, b, seconds, wide);
}

std::optional<double> ratePerSecond(const ArchiveNumber& before, const ArchiveNumber& after, double seconds,
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

PreviousRecords::Entry& PreviousRecords::at(const std::string& type, const std::string& instance) {
  _key.assign(type).append(1, '\0').append(instance);
  Entry& entry = _entries[_key];
  if (entry.number == 0) entry.number = ++_count;
  return entry;
}

void PreviousRecords::keep(Entry& entry, double time, ArchiveRecord& record) {
  entry.seen = true;
  entry.time = time;
  entry.numbers.swap(record.numbers);
}

}  // namespace tallyread
