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
