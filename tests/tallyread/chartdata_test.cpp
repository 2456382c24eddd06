#include "chartdata.h"

#include <gtest/gtest.h>

#include "charthtml.h"
#include "chartpanels.h"

using namespace tallyread;

namespace {

// A record as the extractor hands it over (no rates, texts as written).
void add(ChartCollector& c, const std::string& type, double time, const std::string& instance, const std::string& pid,
         const std::vector<std::pair<std::string, std::string>>& values) {
  ArchiveType t;
  t.name = type;
  ShownRecord r;
  r.time = time;
  r.type = &t;
  r.instance = &instance;
  r.processId = &pid;
  for (const auto& v : values) {
    Cell cell;
    cell.name = &v.first;
    cell.info = findField(v.first);
    cell.text = v.second;
    cell.value = fieldValue(cell.info, cell.text);
    r.cells.push_back(cell);
  }
  c.add(r);
}

ChartCollector everything() {
  return ChartCollector([](const std::string&, const std::string&) { return ChartCollector::Use::Series; });
}

const ChartSeries* find(const std::deque<ChartSeries>& all, const std::string& field, const std::string& label) {
  for (const ChartSeries& s : all)
    if (s.field == field && s.label == label) return &s;
  return nullptr;
}

// (Raw values and rates, the first rate of a time range, and totals summed over
// instances that begin at other times are compared with csv in a browser by
// tools/tallyread/chart/browser_test.mjs.)
TEST(ChartCollector, ProcessesSharingANameShowTheirPid) {
  ChartCollector c = everything();
  for (int t = 0; t < 2; t++)
    for (const char* pid : {"11", "12"}) add(c, "Envoy", 10 + t, "envoy", pid, {{"PercentCpuUsed", "5"}});
  add(c, "Envoy", 11, "alone", "13", {{"PercentCpuUsed", "5"}});
  c.finish();
  ASSERT_EQ(c.series().size(), 3u);
  EXPECT_NE(find(c.series(), "PercentCpuUsed", "envoy[11]"), nullptr);
  EXPECT_NE(find(c.series(), "PercentCpuUsed", "envoy[12]"), nullptr);
  EXPECT_NE(find(c.series(), "PercentCpuUsed", "alone"), nullptr);
}

TEST(ChartPanels, TheDashboardDrawsWhatTheArchiveHasAndRanksProcessesByCpu) {
  ChartCollector c(dashboardFilter());
  for (int t = 0; t < 3; t++) {
    add(c, "Solaris_x86_System", t, "host", "0",
          {{"PercentCpuUser", "10"}, {"PercentCpuIdle", "90"}, {"FreeMemory", "100"}, {"CPUs", "2"}});
    add(c, "SystemPages", t, "host", "0", {{"FreeMemory", "100"}});
    for (int p = 0; p < 7; p++)
      add(c, "Pgsvr", t, "pgsvr" + std::to_string(p), std::to_string(p), {{"PercentCpuUsed", std::to_string(p)}});
  }
  c.finish();
  std::vector<ChartPanel> panels = dashboardPanels(c.series());
  ASSERT_EQ(panels.size(), 3u);
  auto drawn = [&](size_t panel) {
    std::string text;
    for (const ChartSeries* s : panels[panel].series) text += s->type + " " + s->field + " " + s->label + ", ";
    return text;
  };
  // CPUs is not drawn; free memory is the system's, not SystemPages' copy.
  EXPECT_EQ(drawn(0), "Solaris_x86_System PercentCpuUser host, Solaris_x86_System PercentCpuIdle host, ");
  EXPECT_EQ(drawn(1), "Solaris_x86_System FreeMemory host, ");
  EXPECT_EQ(drawn(2), "Pgsvr PercentCpuUsed pgsvr6, Pgsvr PercentCpuUsed pgsvr5, Pgsvr PercentCpuUsed pgsvr4, "
                      "Pgsvr PercentCpuUsed pgsvr3, Pgsvr PercentCpuUsed pgsvr2, ");
}

// (The data's time steps in ms are shown end to end.)
TEST(ChartPage, NoTextOfTheArchiveClosesTheScriptThatHoldsTheData) {
  ChartCollector c = everything();
  add(c, "HardDisk", 1700000000, "</script><b>", "0", {{"ReadKBytes", "10"}});
  c.finish();
  ChartPage page;
  page.panels = selectionPanels(c.series());
  std::string html = chartPageHtml(page);
  size_t data = html.find("id=\"tally-data\">");
  ASSERT_NE(data, std::string::npos);
  EXPECT_EQ(html.find("</script><b>"), std::string::npos);
  EXPECT_NE(html.find("\\u003c/script>\\u003cb>", data), std::string::npos);
}

}  // namespace
