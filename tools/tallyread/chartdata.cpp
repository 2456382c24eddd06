#include "chartdata.h"

#include <algorithm>
#include <set>

#include "rates.h"

namespace tallyread {

namespace {

const size_t MIN_COLUMNS = 50;

}  // namespace

ChartSeries& ChartCollector::seriesOf(const ShownRecord& record, const Cell& cell, bool sum) {
  const std::string& pid = sum ? std::string() : *record.processId;
  _key.assign(record.type->name).append(1, '\0').append(*cell.name).append(1, '\0');
  if (!sum) _key.append(*record.instance).append(1, '\0').append(pid);
  auto found = _byKey.find(_key);
  if (found != _byKey.end()) return *found->second;
  _series.emplace_back();
  ChartSeries& s = _series.back();
  s.type = record.type->name;
  s.field = *cell.name;
  s.sum = sum;
  s.instance = sum ? "all" : *record.instance;
  s.processId = pid;
  s.label = s.instance;
  s.unit = cell.info ? cell.info->unit : "";
  s.runningTotal = cell.info && cell.info->kind == FieldKind::RunningTotal;
  s.floatPattern = cell.info && cell.info->kind == FieldKind::FloatPattern;
  _byKey.emplace(_key, &s);
  return s;
}

// Worked out once per type, instance and process id (again only when the
// record's fields change): the filter may be slow, the cells are many.
ChartCollector::Row& ChartCollector::rowOf(const ShownRecord& record) {
  _key.assign(record.type->name).append(1, '\0').append(*record.instance).append(1, '\0').append(*record.processId);
  Row& row = _rows[_key];
  const std::string* layout = record.cells.empty() ? nullptr : record.cells[0].name;
  if (row.layout == layout && row.slots.size() == record.cells.size() && !row.slots.empty()) return row;
  row.layout = layout;
  row.slots.assign(record.cells.size(), Slot());
  for (size_t i = 0; i < record.cells.size(); i++) {
    const Cell& cell = record.cells[i];
    if (cell.info && (cell.info->kind == FieldKind::Identifier || cell.info->kind == FieldKind::Text)) continue;
    Slot& slot = row.slots[i];
    slot.use = _filter(record.type->name, *cell.name);
    if (slot.use == Use::Skip) continue;
    slot.series = &seriesOf(record, cell, false);
    if (slot.use == Use::Total) slot.total = &seriesOf(record, cell, true);
  }
  return row;
}

void ChartCollector::add(const ShownRecord& record) {
  bool inRange = (!_from || record.time >= *_from) && (!_to || record.time <= *_to);
  Row& row = rowOf(record);
  for (size_t i = 0; i < record.cells.size(); i++) {
    const Cell& cell = record.cells[i];
    const Slot& slot = row.slots[i];
    if (slot.use == Use::Skip || !cell.value) continue;
    ChartSeries& s = *slot.series;
    std::optional<double> rate;
    if (s.runningTotal && s.lastTime)
      rate = ratePerSecond(s.lastText, cell.text, record.time - *s.lastTime, cell.info->wide);
    s.lastTime = record.time;
    s.lastText = cell.text;
    if (!inRange) continue;
    if (slot.use == Use::Total) {
      // Only the instances' rates are kept; their sum becomes the series.
      if (rate) _sums[slot.total][record.time] += *rate;
      if (!s.runningTotal) _sums[slot.total][record.time] += *cell.value;
      continue;
    }
    s.raw.add(record.time, *cell.value);
    if (rate) s.rate.add(record.time, *rate);
    if (!s.runningTotal || rate) {
      s.valueCount++;
      s.valueSum += s.runningTotal ? *rate : *cell.value;
    }
  }
}

void ChartCollector::finish() {
  for (auto& [total, sums] : _sums) {
    for (const auto& [time, value] : sums) {
      (total->runningTotal ? total->rate : total->raw).add(time, value);
      total->valueCount++;
      total->valueSum += value;
    }
  }
  _sums.clear();
  // The instances that only fed a total are not drawn.
  _series.erase(std::remove_if(_series.begin(), _series.end(),
                               [](const ChartSeries& s) { return !s.sum && s.raw.count() == 0 && s.rate.count() == 0; }),
                _series.end());
  _byKey.clear();
  _rows.clear();
  // Processes that share a name are told apart by their process id.
  std::map<std::pair<std::string, std::string>, std::set<std::string>> pids;
  for (const ChartSeries& s : _series) pids[{s.type, s.instance}].insert(s.processId);
  for (ChartSeries& s : _series)
    if (pids[{s.type, s.instance}].size() > 1) s.label = s.instance + "[" + s.processId + "]";
}

size_t columnsWithinBudget(const std::vector<const ChartSeries*>& drawn) {
  size_t arrays = 0;
  for (const ChartSeries* s : drawn) arrays += (s->raw.count() ? 1 : 0) + (s->rate.count() ? 1 : 0);
  if (arrays == 0) return CHART_COLUMNS;
  return std::max(MIN_COLUMNS, std::min(CHART_COLUMNS, CHART_BUCKET_BUDGET / arrays));
}

}  // namespace tallyread
