// Per type, instance (shown as name[pid] for a process) and field: how many values, their minimum, mean,
// maximum and last, as summary and top show them. Running totals are
// summarised as their rates per second.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "extract.h"

namespace tallyread {

struct FieldStats {
  const FieldInfo* info = nullptr;
  bool isRate = false;
  size_t count = 0;
  double min = 0, max = 0, sum = 0, last = 0;
  double mean() const { return count ? sum / (double)count : 0; }
  void add(double value);
};

struct StatsKey {
  std::string type, instance, field;
  bool operator<(const StatsKey& other) const {
    return std::tie(type, instance, field) < std::tie(other.type, other.instance, other.field);
  }
};

class SummaryStats {
 public:
  // Adds the numeric cells of a record (identifiers and text are left out).
  void add(const ShownRecord& record);
  // In the order first seen: types as in the archive, instances as they came.
  const std::vector<std::pair<StatsKey, FieldStats>*>& inOrder() const { return _order; }

 private:
  std::map<StatsKey, std::pair<StatsKey, FieldStats>> _stats;
  std::vector<std::pair<StatsKey, FieldStats>*> _order;
};

// The unit as shown: "KB" or, for a rate, "KB/s".
std::string shownUnit(const FieldStats& stats);

}  // namespace tallyread
