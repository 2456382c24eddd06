// Per type, instance (shown as name[pid] for a process) and field: how many values, their minimum, mean,
// maximum and last, as summary and top show them. Running totals are
// summarised as their rates per second.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <unordered_map>
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
  void add(double value) {
    if (count == 0 || value < min) min = value;
    if (count == 0 || value > max) max = value;
    sum += value;
    last = value;
    count++;
  }
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
  // The figures of a field of a type's instance, made on first use (with the
  // field's catalogue entry and whether it is a rate) and placed last in the
  // order; null for identifiers and text, which are not summarised. A process
  // id other than "0" is shown after the instance: processes that share a
  // name are told apart by it. They stay in place as long as the SummaryStats.
  FieldStats* figures(const std::string& type, const std::string& instance, const std::string& processId,
                      const std::string& field, const FieldInfo* info, bool isRate);

 private:
  // The figures of one type and instance, and where each cell of its records
  // goes (worked out again only when the record's fields change).
  struct Group {
    const std::string* layout = nullptr;  // the name of the first cell the slots were made for
    std::vector<FieldStats*> slots;  // null for a cell not summarised
  };
  std::unordered_map<std::string, Group> _groups;
  std::vector<Group> _bySeries;  // groups of records that carry a series number, by that number
  std::map<StatsKey, std::pair<StatsKey, FieldStats>*> _byKey;
  std::deque<std::pair<StatsKey, FieldStats>> _stats;
  std::vector<std::pair<StatsKey, FieldStats>*> _order;
  std::string _groupKey;
};

// The unit as shown: "KB" or, for a rate, "KB/s".
std::string shownUnit(const FieldStats& stats);

}  // namespace tallyread
