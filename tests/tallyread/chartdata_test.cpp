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

// Running totals carry raw values and rates, current values only raw values;
// the first rate in the range takes its interval from the record before it.
// (The 32-bit wrap of the rates is the rate rule's own.)
TEST(ChartCollector, RunningTotalsCarryRawValuesAndRatesCurrentValuesOnlyRaw) {
  ChartCollector c = everything();
  c.limitTo(101.0, 103.0);
  add(c, "HardDisk", 100, "sda", "0", {{"ReadKBytes", "4294967000"}, {"WaitQueueLength", "1056964608"}});
  add(c, "HardDisk", 102, "sda", "0", {{"ReadKBytes", "100"}, {"WaitQueueLength", "1065353216"}});
  add(c, "HardDisk", 103, "sda", "0", {{"ReadKBytes", "50"}, {"WaitQueueLength", "0"}});  // went back
  c.finish();
  const ChartSeries* read = find(c.series(), "ReadKBytes", "sda");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->raw.count(), 2u);
  std::vector<ChartPoint> rates = read->rate.points();
  ASSERT_EQ(rates.size(), 1u);  // the decrease has none
  EXPECT_EQ(rates[0].time, 102);
  EXPECT_EQ(rates[0].value, (4294967296.0 - 4294967000 + 100) / 2);
  const ChartSeries* queue = find(c.series(), "WaitQueueLength", "sda");
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->rate.count(), 0u);
  EXPECT_EQ(queue->raw.points()[0].value, 1.0);  // a float's bit pattern
}

TEST(ChartCollector, TotalsSumTheInstancesRatesAtEachTimeAndProcessesSharingANameShowTheirPid) {
  ChartCollector c([](const std::string& type, const std::string& field) {
    if (field == "PageReads") return ChartCollector::Use::Total;
    return type == "Envoy" ? ChartCollector::Use::Series : ChartCollector::Use::Skip;
  });
  for (int t = 0; t < 3; t++) {
    add(c, "Envoy", 10 + t, "envoy", "11", {{"PageReads", std::to_string(t * 10)}, {"PercentCpuUsed", "5"}});
    add(c, "Envoy", 10 + t, "envoy", "12", {{"PageReads", std::to_string(t * 30)}, {"PercentCpuUsed", "7"}});
    if (t > 0) add(c, "Envoy", 10 + t, "late", "13", {{"PageReads", "500"}});
  }
  c.finish();
  // The instances behind the total are not drawn on their own.
  ASSERT_EQ(c.series().size(), 3u);
  const ChartSeries* total = find(c.series(), "PageReads", "all");
  ASSERT_NE(total, nullptr);
  std::vector<ChartPoint> sums = total->rate.points();
  ASSERT_EQ(sums.size(), 2u);
  EXPECT_EQ(sums[0].value, 40);  // 10 + 30, and "late" has no rate yet
  EXPECT_EQ(sums[1].value, 40);  // "late" stood still: 0
  EXPECT_NE(find(c.series(), "PercentCpuUsed", "envoy[11]"), nullptr);
  EXPECT_NE(find(c.series(), "PercentCpuUsed", "envoy[12]"), nullptr);
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
