// summary: per type, instance and field the number of values, minimum, mean,
// maximum and last value, running totals as rates per second; an aligned
// table, CSV or JSON Lines.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "summarypass.h"
#include "summarystats.h"

namespace tallyread {

namespace {

const char* const COLUMNS[] = {"type", "instance", "field", "unit", "samples", "min", "mean", "max", "last"};
const size_t COLUMN_COUNT = sizeof COLUMNS / sizeof COLUMNS[0];

std::vector<std::string> rowOf(const StatsKey& key, const FieldStats& stats) {
  auto number = [&](double v) { return stats.count ? formatNumber(v) : std::string(); };
  return {key.type, key.instance, key.field, shownUnit(stats), std::to_string(stats.count),
          number(stats.min), number(stats.mean()), number(stats.max), number(stats.last)};
}

}  // namespace

bool collectStats(const CommandLine& line, const SelectionOptions& options, SummaryStats* stats, int* status) {
  Series series(line.files, reportProblem);
  Selection selection(options);
  if (!checkSelection(series, selection, status)) return false;
  SummaryPass(series, selection, line.intervalMs, stats).run();
  return true;
}

int summaryCommand(const CommandLine& line) {
  SummaryStats stats;
  int status;
  if (!collectStats(line, line.selection, &stats, &status)) return status;

  std::vector<std::vector<std::string>> rows;
  for (const auto* entry : stats.inOrder()) rows.push_back(rowOf(entry->first, entry->second));
  if (line.format == TableFormat::Json) {
    for (const auto& row : rows) {
      std::string text = "{";
      for (size_t i = 0; i < COLUMN_COUNT; i++) {
        bool numeric = i >= 4;
        text += (i ? "," : "") + jsonString(COLUMNS[i]) + ":" +
                (numeric ? (row[i].empty() ? "null" : row[i]) : jsonString(row[i]));
      }
      puts((text + "}").c_str());
    }
    return 0;
  }
  if (line.format == TableFormat::Csv) {
    std::string text;
    for (size_t i = 0; i < COLUMN_COUNT; i++) text += (i ? "," : "") + std::string(COLUMNS[i]);
    puts(text.c_str());
    for (const auto& row : rows) {
      text.clear();
      for (size_t i = 0; i < COLUMN_COUNT; i++) text += (i ? "," : "") + row[i];
      puts(text.c_str());
    }
    return 0;
  }
  // Aligned: names to the left, numbers to the right.
  std::vector<size_t> width(COLUMN_COUNT);
  for (size_t i = 0; i < COLUMN_COUNT; i++) width[i] = std::string(COLUMNS[i]).size();
  for (const auto& row : rows)
    for (size_t i = 0; i < COLUMN_COUNT; i++) width[i] = std::max(width[i], row[i].size());
  auto print = [&](const std::vector<std::string>& row) {
    std::string text;
    for (size_t i = 0; i < COLUMN_COUNT; i++) {
      std::string pad(width[i] - row[i].size(), ' ');
      text += (i ? "  " : "") + (i >= 4 ? pad + row[i] : row[i] + (i + 1 < COLUMN_COUNT ? pad : ""));
    }
    puts(text.c_str());
  };
  print(std::vector<std::string>(COLUMNS, COLUMNS + COLUMN_COUNT));
  for (const auto& row : rows) print(row);
  return 0;
}

}  // namespace tallyread
