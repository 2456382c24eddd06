#include "summarystats.h"

namespace tallyread {

FieldStats* SummaryStats::figures(const std::string& type, const std::string& instance, const std::string& processId,
                                  const std::string& field, const FieldInfo* info, bool isRate) {
  if (info && (info->kind == FieldKind::Identifier || info->kind == FieldKind::Text)) return nullptr;
  StatsKey key{type, processId == "0" ? instance : instance + "[" + processId + "]", field};
  auto found = _byKey.find(key);
  if (found == _byKey.end()) {
    _stats.emplace_back(key, FieldStats());
    _stats.back().second.info = info;
    _stats.back().second.isRate = isRate;
    found = _byKey.emplace(key, &_stats.back()).first;
    _order.push_back(&_stats.back());
  }
  return &found->second->second;
}

void SummaryStats::add(const ShownRecord& record) {
  if (record.cells.empty()) return;
  Group* place;
  if (record.series) {
    if (record.series >= _bySeries.size()) _bySeries.resize(record.series + 1);
    place = &_bySeries[record.series];
  } else {
    _groupKey.assign(record.type->name).append(1, '\0').append(*record.instance).append(1, '\0').append(
        *record.processId);
    place = &_groups[_groupKey];
  }
  Group& group = *place;
  if (group.layout != record.cells[0].name || group.slots.size() != record.cells.size()) {
    group.layout = record.cells[0].name;
    group.slots.resize(record.cells.size());
    for (size_t i = 0; i < record.cells.size(); i++) {
      const Cell& cell = record.cells[i];
      group.slots[i] =
          figures(record.type->name, *record.instance, *record.processId, *cell.name, cell.info, cell.isRate);
    }
  }
  for (size_t i = 0; i < record.cells.size(); i++)
    if (group.slots[i] && record.cells[i].value) group.slots[i]->add(*record.cells[i].value);
}

std::string shownUnit(const FieldStats& stats) {
  std::string unit = stats.info ? stats.info->unit : "";
  if (stats.isRate) unit += "/s";
  return unit;
}

}  // namespace tallyread
