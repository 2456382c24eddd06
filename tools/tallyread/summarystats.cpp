#include "summarystats.h"

namespace tallyread {

void FieldStats::add(double value) {
  if (count == 0 || value < min) min = value;
  if (count == 0 || value > max) max = value;
  sum += value;
  last = value;
  count++;
}

void SummaryStats::add(const ShownRecord& record) {
  // Processes that share a name are told apart by their process id.
  std::string instance = *record.instance;
  if (*record.processId != "0") instance += "[" + *record.processId + "]";
  StatsKey key{record.type->name, instance, ""};
  for (const Cell& cell : record.cells) {
    if (cell.info && (cell.info->kind == FieldKind::Identifier || cell.info->kind == FieldKind::Text)) continue;
    key.field = *cell.name;
    auto found = _stats.find(key);
    if (found == _stats.end()) {
      found = _stats.emplace(key, std::make_pair(key, FieldStats())).first;
      found->second.second.info = cell.info;
      found->second.second.isRate = cell.isRate;
      _order.push_back(&found->second);
    }
    if (cell.value) found->second.second.add(*cell.value);
  }
}

std::string shownUnit(const FieldStats& stats) {
  std::string unit = stats.info ? stats.info->unit : "";
  if (stats.isRate) unit += "/s";
  return unit;
}

}  // namespace tallyread
