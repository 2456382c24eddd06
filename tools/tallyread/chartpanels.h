// The charts of a page. Without a selection: the dashboard an operator opens
// first (host CPU, memory, load, disk and network throughput, the busiest
// processes, the cache-wide totals of the envoys and page servers). With a
// selection: one chart per type and field, its instances overlaid.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "archivereader.h"
#include "chartdata.h"
#include "selection.h"

namespace tallyread {

struct ChartPanel {
  std::string title;
  std::vector<const ChartSeries*> series;
};

// How many processes the dashboard shows by CPU.
const size_t DASHBOARD_TOP_PROCESSES = 5;

// The types and fields the dashboard reads, of those the header has.
SelectionOptions dashboardSelection(const ArchiveHeader& header);
ChartCollector::Filter dashboardFilter();
std::vector<ChartPanel> dashboardPanels(const std::deque<ChartSeries>& series);

std::vector<ChartPanel> selectionPanels(const std::deque<ChartSeries>& series);

}  // namespace tallyread
