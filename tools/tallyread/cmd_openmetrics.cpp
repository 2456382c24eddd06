// openmetrics: the selected records in the OpenMetrics text format, for
// backfilling Prometheus (promtool tsdb create-blocks-from openmetrics).
// Every family must come whole and each series in time order, so the whole
// selection is gathered before anything is written.
#include <cstdio>

#include "commands.h"
#include "extract.h"
#include "metrictable.h"

namespace tallyread {

int openMetricsCommand(const CommandLine& line) {
  Series series(line.files, reportProblem);
  Selection selection(line.selection);
  int status;
  if (!checkSelection(series, selection, &status)) return status;

  MetricTable table(true, line.cacheName);
  Extractor extractor(series, selection, ExtractOptions{false, line.intervalMs, false});
  ShownRecord record;
  while (extractor.next(&record)) {
    table.beginRecord(record.time, record.header->machine, record.type->name, *record.instance, *record.processId);
    for (const Cell& cell : record.cells)
      if (cell.value) table.add(*cell.name, cell.info, *cell.value);
  }
  if (extractor.stampsCountSamples()) {
    // A sample count taken for a time would put every sample at a wrong time.
    reportProblem("refused: the time stamps count samples; give --interval-ms with the archive's interval");
    return EXIT_USAGE;
  }
  table.writeOpenMetrics(stdout);
  if (fflush(stdout) != 0 || ferror(stdout)) {
    reportProblem("cannot write the output");
    return EXIT_BAD_ARCHIVE;
  }
  return 0;
}

}  // namespace tallyread
