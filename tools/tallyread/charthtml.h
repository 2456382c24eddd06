// One self-contained HTML page of charts: the charting library, the page's
// script and the reduced series are all inside it, so it opens offline from
// disk in any current browser.
#pragma once

#include <string>
#include <vector>

#include "chartdata.h"
#include "chartpanels.h"

namespace tallyread {

struct ChartPage {
  std::string title;
  std::vector<std::string> files;
  std::vector<ChartPanel> panels;
  size_t columns = CHART_COLUMNS;  // the buckets each series is reduced to at most
};

// Every series the panels draw, once each, in the order of the panels.
std::vector<const ChartSeries*> drawnSeries(const std::vector<ChartPanel>& panels);

// The data the page's script reads: the series the panels draw (times in ms
// since 1970, the first absolute and each next as the step from the one
// before), which of them each panel draws. The page's chooser offers them.
std::string chartDataJson(const ChartPage& page);
std::string chartPageHtml(const ChartPage& page);

// Writes the page through a temporary file renamed into place, so a failed
// write leaves no half page. FALSE with the reason.
bool writeChartPage(const std::string& path, const ChartPage& page, std::string* error);

}  // namespace tallyread
