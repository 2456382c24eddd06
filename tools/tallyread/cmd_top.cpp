// top: the instances of one type ranked by one field (its rate per second
// when it is a running total), by mean, maximum or last value.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "summarystats.h"

namespace tallyread {

int topCommand(const CommandLine& line) {
  SelectionOptions options = line.selection;
  options.fields = {line.field};
  SummaryStats stats;
  int status;
  if (!collectStats(line, options, &stats, &status)) return status;

  std::vector<const std::pair<StatsKey, FieldStats>*> ranked;
  for (const auto* entry : stats.inOrder())
    if (entry->second.count > 0) ranked.push_back(entry);
  auto score = [&](const FieldStats& s) { return line.by == "max" ? s.max : line.by == "last" ? s.last : s.mean(); };
  std::stable_sort(ranked.begin(), ranked.end(),
                   [&](const auto* a, const auto* b) { return score(a->second) > score(b->second); });
  if (ranked.size() > line.count) ranked.resize(line.count);

  size_t nameWidth = 8, fieldWidth = 5;
  for (const auto* entry : ranked) {
    nameWidth = std::max(nameWidth, entry->first.instance.size());
    fieldWidth = std::max(fieldWidth, entry->first.field.size());
  }
  printf("%4s  %-*s  %-*s  %12s  %12s  %12s  %7s  %s\n", "rank", (int)nameWidth, "instance", (int)fieldWidth, "field",
         "mean", "max", "last", "samples", "unit");
  size_t rank = 0;
  for (const auto* entry : ranked) {
    const FieldStats& s = entry->second;
    printf("%4zu  %-*s  %-*s  %12s  %12s  %12s  %7zu  %s\n", ++rank, (int)nameWidth, entry->first.instance.c_str(),
           (int)fieldWidth, entry->first.field.c_str(), formatNumber(s.mean()).c_str(), formatNumber(s.max).c_str(),
           formatNumber(s.last).c_str(), s.count, shownUnit(s).c_str());
  }
  return 0;
}

}  // namespace tallyread
