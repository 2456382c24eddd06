// One self-contained HTML page of charts: the charting library, the page's
// script and the reduced series are all inside it, so it opens offline from
// disk in any current browser.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "chartdata.h"
#include "chartpanels.h"

namespace tallyread {

struct ChartPage {
  std::string title;
  std::vector<std::string> files;
  const std::deque<ChartSeries>* series = nullptr;
  std::vector<ChartPanel> panels;  // their series are among `series`
  size_t columns = CHART_COLUMNS;  // the buckets each series is reduced to at most
};

// The data the page's script reads: the series (times in ms since 1970, the
// first absolute and each next as the step from the one before), which of
// them each panel draws.
std::string chartDataJson(const ChartPage& page);
std::string chartPageHtml(const ChartPage& page);

// Writes the page through a temporary file renamed into place, so a failed
// write leaves no half page. FALSE with the reason.
bool writeChartPage(const std::string& path, const ChartPage& page, std::string* error);

}  // namespace tallyread
