// Running totals turned into rates per second: each record against the
// previous record of the same type and instance, over the real time between.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tallyread {

// (after - before) / seconds. A total that went down gives no value, unless
// it is a 32-bit counter (not wide) that wrapped: then it is counted modulo
// 2^32. A 32-bit value is taken to have wrapped when the step modulo 2^32 is
// below 2^31 (from near the top of the range to near the bottom); a larger
// step is a decrease. No value either when the time did not advance or a
// text is not a number.
std::optional<double> ratePerSecond(const std::string& before, const std::string& after, double seconds, bool wide);

// The previous record of each type and instance.
class PreviousRecords {
 public:
  struct Entry {
    double time = 0;
    std::vector<std::string> tokens;
  };
  // The previous record of the type and instance, or null for the first.
  const Entry* find(const std::string& type, const std::string& instance) const;
  void remember(const std::string& type, const std::string& instance, double time,
                const std::vector<std::string>& tokens);

 private:
  std::map<std::pair<std::string, std::string>, Entry> _entries;
};

}  // namespace tallyread
