// The archive's figures as Prometheus metrics: names in Prometheus' manner
// (tally_<type>_<field>[_<unit>][_total]), base units (seconds, bytes),
// running totals as counters, every other figure as a gauge, and labels for
// the host, the cache and the instance. The table keeps either every sample
// (for backfilling as OpenMetrics) or the newest sample of each series (for
// a scrape).
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fieldcatalogue.h"

namespace tallyread {

// How a field becomes a metric.
struct MetricShape {
  bool skipped = false;     // identifiers and text are labels, not metrics
  std::string family;       // the metric family's name (a counter's samples add "_total")
  bool counter = false;
  const char* unit = "";    // "seconds", "bytes" or empty
  double scale = 1;         // from the archive's unit to the base unit
  std::string help;
};

// "HardDisk" -> "hard_disk", "x86_CPU" -> "x86_cpu", "ReadKBytes" -> "read_k_bytes".
std::string snakeCase(const std::string& name);
// The shape of a field of a type; info is null for a field the catalogue
// does not know (a gauge without help) and for the unnamed "#N" values.
MetricShape metricShape(const std::string& typeName, const std::string& field, const FieldInfo* info);
// A label value quoted and escaped for both text formats.
std::string labelValue(const std::string& text);
// The shortest decimal text that reads back as the same double.
std::string metricNumber(double value);

class MetricTable {
 public:
  // keepHistory: every sample (OpenMetrics); otherwise only the newest.
  MetricTable(bool keepHistory, std::string cacheName);

  // Starts the values of one record: its time and the labels of its series.
  void beginRecord(double time, const std::string& machine, const std::string& typeName,
                   const std::string& instance, const std::string& processId);
  // One value of the record begun, in the archive's unit.
  void add(const std::string& field, const FieldInfo* info, double value);

  // Every family, each series in time order, ending "# EOF".
  void writeOpenMetrics(FILE* out);
  // The newest sample of each series in the Prometheus text format (0.0.4).
  std::string exposition() const;
  size_t seriesCount() const;

 private:
  struct Series {
    std::vector<std::pair<double, double>> samples;  // (time, value in the base unit)
  };
  struct Family {
    MetricShape shape;
    std::map<std::string, Series> series;  // by label text
  };
  Family* familyFor(const std::string& field, const FieldInfo* info);

  bool _keepHistory;
  std::string _cacheName;
  std::map<std::string, Family> _families;  // by family name
  std::map<std::pair<std::string, std::string>, Family*> _byField;  // (type, field)
  std::string _typeName, _labels;
  double _time = 0;
};

}  // namespace tallyread
