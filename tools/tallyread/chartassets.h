// The scripts and style sheets a chart page embeds, compiled in from
// chart/ at build time: the charting library (uPlot, from the npm registry)
// and the page's own script and style.
#pragma once

namespace tallyread {

extern const char CHART_UPLOT_JS[];
extern const char CHART_UPLOT_CSS[];
extern const char CHART_PAGE_JS[];
extern const char CHART_PAGE_CSS[];

}  // namespace tallyread
