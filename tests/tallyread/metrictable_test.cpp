#include "metrictable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "support/runprocess.h"

using namespace tallyread;

namespace {

TEST(MetricNames, SnakeCaseKeepsAbbreviationsWholeAndValuesAreWrittenExactly) {
  const std::pair<const char*, const char*> cases[] = {
      {"HardDisk", "hard_disk"},          {"x86_CPU", "x86_cpu"},
      {"Solaris_x86_System", "solaris_x86_system"}, {"ReadKBytes", "read_k_bytes"},
      {"CPUs", "cpus"},                   {"NumCPUsOnline", "num_cpus_online"},
      {"TCPRetransSegs", "tcp_retrans_segs"}, {"LoadAverage1", "load_average1"},
      {"a--b__", "a_b"},
  };
  for (const auto& [name, snake] : cases) EXPECT_EQ(snakeCase(name), snake) << name;
  // Numbers shortest and exact, label values escaped, invalid UTF-8 replaced.
  EXPECT_EQ(metricNumber(24240979968.0) + " " + metricNumber(4.87109375) + " " + metricNumber(1e300),
            "24240979968 4.87109375 1e+300");
  EXPECT_EQ(labelValue("a\"b\\c\nd"), "\"a\\\"b\\\\c\\nd\"");
  EXPECT_EQ(labelValue("caf\xc3\xa9 \xff"), "\"caf\xc3\xa9 ?\"");
}

// Totals become counters in base units. (Kilobytes, megabytes and load
// averages are read back through Prometheus end to end.)
TEST(MetricNames, UnitsBecomeBaseUnitsAndTotalsCounters) {
  MetricShape user = metricShape("Solaris_Process", "UserTime", findField("UserTime"));
  EXPECT_FALSE(user.skipped);
  EXPECT_EQ(user.family, "tally_solaris_process_user_time_seconds");
  EXPECT_TRUE(user.counter);
  EXPECT_STREQ(user.unit, "seconds");
  EXPECT_DOUBLE_EQ(user.scale, 0.001);
  EXPECT_TRUE(metricShape("Solaris_Process", "ProcessId", findField("ProcessId")).skipped);
  EXPECT_TRUE(metricShape("HardDisk", "ProcessName", findField("ProcessName")).skipped);
  // A field the catalogue does not know is a gauge with a help of its own;
  // a name that would read as a counter's samples or a summary's is kept apart.
  MetricShape unknown = metricShape("Odd", "WaitCount", nullptr);
  EXPECT_EQ(unknown.family + (unknown.counter ? " counter " : " gauge ") + unknown.help,
            "tally_odd_wait_count_value gauge Odd field WaitCount");
  EXPECT_EQ(metricShape("AppStat", "#7", nullptr).family, "tally_app_stat_value");
}

TEST(MetricTable, OpenMetricsGroupsEachFamilyAndOrdersEachSeriesByTime) {
  MetricTable table(true, "keeper~1");
  // Records of two disks taking turns, one sample out of order and one time twice.
  struct Row { double time; const char *type, *name, *pid, *field; double value; };
  for (const Row& r : {Row{200, "HardDisk", "sda", "0", "ReadKBytes", 2}, Row{200, "HardDisk", "sdb", "0", "ReadKBytes", 5},
                       Row{100, "HardDisk", "sda", "0", "ReadKBytes", 1}, Row{200, "HardDisk", "sda", "0", "ReadKBytes", 3},
                       Row{100.25, "Solaris_Process", "envoy", "4242", "ProcessId", 7} /* not a metric */,
                       Row{100, "Envoy", "envoy", "4242", "#6", 9}}) {
    table.beginRecord(r.time, "db1", r.type, r.name, r.pid);
    table.add(r.field, findField(r.field), r.value);
  }
  EXPECT_EQ(textWrittenBy([&](FILE* out) { table.writeOpenMetrics(out); }),
            "# TYPE tally_envoy_value gauge\n"
            "# HELP tally_envoy_value Envoy value by its position in the record\n"
            "tally_envoy_value{host=\"db1\",cache=\"keeper~1\",name=\"envoy\",pid=\"4242\",index=\"6\"} 9 100\n"
            "# TYPE tally_hard_disk_read_bytes counter\n"
            "# UNIT tally_hard_disk_read_bytes bytes\n"
            "# HELP tally_hard_disk_read_bytes " + std::string(findField("ReadKBytes")->meaning) + "\n"
            "tally_hard_disk_read_bytes_total{host=\"db1\",cache=\"keeper~1\",name=\"sda\"} 1024 100\n"
            "tally_hard_disk_read_bytes_total{host=\"db1\",cache=\"keeper~1\",name=\"sda\"} 3072 200\n"
            "tally_hard_disk_read_bytes_total{host=\"db1\",cache=\"keeper~1\",name=\"sdb\"} 5120 200\n"
            "# EOF\n");
  EXPECT_EQ(table.seriesCount(), 3u);
}

// Every metric the Grafana dashboard of docs/ asks for is one that a type of
// the monitor's and a field of the catalogue are named as.
TEST(MetricNames, TheGrafanaDashboardAsksForMetricsThatExist) {
  const std::string json = readFileText(TALLY_FIXTURES_DIR "/../../docs/grafana-dashboard.json");
  std::set<std::string> names;
  for (const char* type : {"Solaris_x86_System", "HardDisk", "ComplexNetwork", "Envoy", "Pgsvr"})
    for (size_t i = 0; i < fieldCatalogueSize(); i++) {
      const FieldInfo& field = fieldCatalogue()[i];
      MetricShape shape = metricShape(type, field.name, &field);
      names.insert(shape.family + (shape.counter ? "_total" : ""));
    }
  size_t asked = 0;
  for (size_t at = json.find("tally_"); at != std::string::npos; at = json.find("tally_", at + 1)) {
    size_t end = json.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_", at);
    std::string name = json.substr(at, end - at);
    if (json[end] == '(' || json[end] == '|') continue;  // the regular expression of the top panel
    asked++;
    EXPECT_TRUE(names.count(name)) << name;
  }
  EXPECT_GT(asked, 15u);
}

}  // namespace
