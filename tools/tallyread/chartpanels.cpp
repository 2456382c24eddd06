#include "chartpanels.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace tallyread {

namespace {

enum class PanelKind {
  Fields,  // the fields of every instance of the types
  Top,     // the instances with the highest mean of the one field
  Total,   // each field summed over the instances (rates of running totals)
};

struct DashboardPanel {
  const char* title;
  const char* types;   // separated by spaces
  const char* fields;  // separated by spaces
  PanelKind kind;
};

// The cache process types all carry the processes' own figures; a process
// listed on the monitor's command line has its own type.
const DashboardPanel DASHBOARD[] = {
    {"Host CPU", "Solaris_x86_System", "PercentCpuUser PercentCpuSystem PercentCpuWaiting PercentCpuIdle",
     PanelKind::Fields},
    {"Memory", "Solaris_x86_System SystemPages", "PhysicalMemory FreeMemory", PanelKind::Fields},
    {"Load averages", "Solaris_x86_System", "LoadAverage1 LoadAverage5 LoadAverage15", PanelKind::Fields},
    {"Disk throughput", "HardDisk", "ReadKBytes WriteKBytes", PanelKind::Fields},
    {"Network throughput", "ComplexNetwork", "InputBytes OutputBytes", PanelKind::Fields},
    {"Top processes by CPU", "Solaris_Process Shrpc Kpr Pgsvr Envoy Tally", "PercentCpuUsed", PanelKind::Top},
    {"Envoys: all together", "Envoy", "PageReads PageWrites LocalPageCacheHits LocalPageCacheMisses",
     PanelKind::Total},
    {"Page servers: all together", "Pgsvr", "PageReads PageWrites LocalPageCacheHits LocalPageCacheMisses",
     PanelKind::Total},
};

std::vector<std::string> words(const char* text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

bool listed(const char* list, const std::string& word) {
  std::vector<std::string> all = words(list);
  return std::find(all.begin(), all.end(), word) != all.end();
}

bool inPanel(const DashboardPanel& panel, const ChartSeries& s) {
  return listed(panel.types, s.type) && listed(panel.fields, s.field) && s.sum == (panel.kind == PanelKind::Total);
}

}  // namespace

SelectionOptions dashboardSelection(const ArchiveHeader& header) {
  // Only the fields some panel draws are read (a cache process has hundreds),
  // of the types that have one of them.
  SelectionOptions options;
  auto addOnce = [](std::vector<std::string>& list, const std::string& name) {
    if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
  };
  for (const DashboardPanel& panel : DASHBOARD)
    for (const std::string& typeName : words(panel.types)) {
      const ArchiveType* type = header.typeByName(typeName);
      if (!type) continue;
      for (const std::string& field : words(panel.fields))
        if (std::find(type->fields.begin(), type->fields.end(), field) != type->fields.end()) {
          addOnce(options.types, typeName);
          addOnce(options.fields, field);
        }
    }
  return options;
}

ChartCollector::Filter dashboardFilter() {
  return [](const std::string& type, const std::string& field) {
    for (const DashboardPanel& panel : DASHBOARD)
      if (listed(panel.types, type) && listed(panel.fields, field))
        return panel.kind == PanelKind::Total ? ChartCollector::Use::Total : ChartCollector::Use::Series;
    return ChartCollector::Use::Skip;
  };
}

std::vector<ChartPanel> dashboardPanels(const std::deque<ChartSeries>& series) {
  std::vector<ChartPanel> panels;
  // SystemPages repeats the memory figures of the system record: drawn only
  // when that record lacks them.
  bool systemMemory = false;
  for (const ChartSeries& s : series) systemMemory = systemMemory || (s.type == "Solaris_x86_System" && s.field == "FreeMemory");
  for (const DashboardPanel& panel : DASHBOARD) {
    ChartPanel chart{panel.title, {}};
    for (const std::string& field : words(panel.fields))
      for (const ChartSeries& s : series)
        if (s.field == field && inPanel(panel, s) && !(systemMemory && s.type == "SystemPages"))
          chart.series.push_back(&s);
    if (panel.kind == PanelKind::Top) {
      std::stable_sort(chart.series.begin(), chart.series.end(),
                       [](const ChartSeries* a, const ChartSeries* b) { return a->mean() > b->mean(); });
      if (chart.series.size() > DASHBOARD_TOP_PROCESSES) chart.series.resize(DASHBOARD_TOP_PROCESSES);
    }
    if (!chart.series.empty()) panels.push_back(chart);
  }
  return panels;
}

std::vector<ChartPanel> selectionPanels(const std::deque<ChartSeries>& series) {
  std::vector<ChartPanel> panels;
  for (const ChartSeries& s : series) {
    std::string title = s.type + " " + s.field;
    auto at = std::find_if(panels.begin(), panels.end(), [&](const ChartPanel& p) { return p.title == title; });
    if (at == panels.end()) {
      panels.push_back(ChartPanel{title, {}});
      at = panels.end() - 1;
    }
    at->series.push_back(&s);
  }
  return panels;
}

}  // namespace tallyread
