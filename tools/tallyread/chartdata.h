// The series a chart page draws, collected from the records of a series of
// archives: one per type, instance (and process id) and field, each reduced
// to about one point per pixel column. A running total carries both its raw
// values and its rates per second, so the page can switch between them.
// Totals over all instances of a type (the cache-wide figures of the
// dashboard) are sums of the instances' rates at each sample time.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "chartreduce.h"
#include "extract.h"

namespace tallyread {

// About one point per pixel column of a wide chart.
const size_t CHART_COLUMNS = 1000;
// All series of a page together keep at most this many buckets (each up to
// two points), so that a selection of many instances still gives a small
// page: each series then gets fewer columns.
const size_t CHART_BUCKET_BUDGET = 400000;

struct ChartSeries {
  std::string type, instance, processId, field, unit;
  std::string label;          // the instance, or name[pid] when processes share the name
  bool runningTotal = false;  // rates are drawn by default
  bool floatPattern = false;  // values shown in the fewest digits of a float
  bool sum = false;           // a total over every instance of the type
  PointReducer raw{CHART_COLUMNS}, rate{CHART_COLUMNS};
  size_t valueCount = 0;
  double valueSum = 0;  // of the values drawn by default, to rank instances
  std::optional<double> lastTime;
  std::string lastText;
  double mean() const { return valueCount ? valueSum / (double)valueCount : 0; }
};

class ChartCollector {
 public:
  enum class Use { Skip, Series, Total };
  // Which cells become series, which are summed into a type's total.
  using Filter = std::function<Use(const std::string& type, const std::string& field)>;
  explicit ChartCollector(Filter filter) : _filter(std::move(filter)) {}

  // Only records in the range are drawn; the records before it still give
  // the first rate in it its interval (read them too: select no range).
  void limitTo(std::optional<double> from, std::optional<double> to) {
    _from = from;
    _to = to;
  }
  // The numeric cells of a record read without rates (identifiers and text
  // are left out).
  void add(const ShownRecord& record);
  // Ends the collection: the totals become series, labels are fixed.
  void finish();
  std::deque<ChartSeries>& series() { return _series; }

 private:
  // Where each cell of a type and instance's records goes.
  struct Slot {
    Use use = Use::Skip;
    ChartSeries* series = nullptr;  // its own series (of a total: the rates' source)
    ChartSeries* total = nullptr;
  };
  struct Row {
    const std::string* layout = nullptr;  // the name of the first cell the slots were made for
    std::vector<Slot> slots;
  };
  ChartSeries& seriesOf(const ShownRecord& record, const Cell& cell, bool sum);
  Row& rowOf(const ShownRecord& record);
  Filter _filter;
  std::unordered_map<std::string, Row> _rows;
  std::optional<double> _from, _to;
  std::deque<ChartSeries> _series;
  std::unordered_map<std::string, ChartSeries*> _byKey;
  std::map<ChartSeries*, std::map<double, double>> _sums;  // per total: the summed rate at each time
  std::string _key;
};

// The columns each of the series drawn keeps so that the page stays within
// the budget.
size_t columnsWithinBudget(const std::vector<const ChartSeries*>& drawn);

}  // namespace tallyread
