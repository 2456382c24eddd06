// chart: one self-contained HTML page of charts. With a selection, its
// fields over time; without, the dashboard of the host and the cache.
#include <cstdio>

#include "charthtml.h"
#include "commands.h"

namespace tallyread {

namespace {

bool hasSelection(const SelectionOptions& options) {
  return !options.types.empty() || !options.instances.empty() || !options.fields.empty() || options.from ||
         options.to;
}

}  // namespace

int chartCommand(const CommandLine& line) {
  Series series(line.files, reportProblem);
  bool dashboard = !hasSelection(line.selection);
  SelectionOptions options = line.selection;
  if (dashboard) {
    const ArchiveHeader* header = series.firstHeader();
    if (!header) return EXIT_BAD_ARCHIVE;
    options = dashboardSelection(*header);
    if (options.types.empty()) {
      reportProblem("the archive has none of the types the dashboard draws; choose with --type and --fields");
      return EXIT_USAGE;
    }
  }
  // The time range is the collector's: the record before it gives the first
  // rate in it its interval, as csv --rate does.
  std::optional<double> from = options.from, to = options.to;
  options.from.reset();
  options.to.reset();
  Selection selection(options);
  int status;
  if (!checkSelection(series, selection, &status)) return status;

  ChartCollector collector(dashboard ? dashboardFilter()
                                     : [](const std::string&, const std::string&) { return ChartCollector::Use::Series; });
  collector.limitTo(from, to);
  Extractor extractor(series, selection, ExtractOptions{false, line.intervalMs});
  ShownRecord record;
  while (extractor.next(&record)) collector.add(record);
  collector.finish();

  ChartPage page;
  page.files = line.files;
  page.title = "tallyread chart: " + line.files.front() + (line.files.size() > 1 ? " ..." : "");
  page.panels = dashboard ? dashboardPanels(collector.series()) : selectionPanels(collector.series());
  std::vector<const ChartSeries*> drawn = drawnSeries(page.panels);
  page.columns = columnsWithinBudget(drawn);
  if (page.panels.empty()) reportProblem("no values to draw in the records selected; the page is empty");
  if (page.columns < CHART_COLUMNS)
    reportProblem(std::to_string(drawn.size()) + " series: each is reduced to " +
                  std::to_string(page.columns) + " columns to keep the page small; select fewer for more detail");
  std::string error;
  if (!writeChartPage(line.output, page, &error)) {
    reportProblem(error);
    return EXIT_BAD_ARCHIVE;
  }
  return 0;
}

}  // namespace tallyread
