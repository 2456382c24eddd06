// summary's pass over a series: every record read once, its values parsed
// straight from the read buffer and added to the figures of its type,
// instance and field, running totals as rates per second against the
// previous record of the same type, instance and process id.
//
// The figures are those that the Extractor (rates on, no text) and
// SummaryStats::add give for the same series and selection, in the same
// order, with the same damage reported and the same remarks about time
// stamps; only the work per record is less: no record or cell objects, no
// copy of a line, and the type, choice of fields and figures of a record
// found through the record that followed the same instance last time.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "recordscan.h"
#include "selection.h"
#include "series.h"
#include "stampclock.h"
#include "summarystats.h"

namespace tallyread {

class SummaryPass {
 public:
  // intervalMs: a sub-second archive's real interval, as for the Extractor.
  SummaryPass(Series& series, Selection& selection, std::optional<double> intervalMs, SummaryStats* stats);
  ~SummaryPass();
  SummaryPass(const SummaryPass&) = delete;
  SummaryPass& operator=(const SummaryPass&) = delete;

  // Reads the series to its end; the stamp clock's findings go to the
  // series as notes.
  void run();

 private:
  struct TypePlan;
  struct Group;
  // One record, read by the scanner or by the series.
  struct Record {
    ScannedRecord scanned;
    const ArchiveType* type = nullptr;
    const std::string* path = nullptr;
    size_t headerSerial = 0;
    std::vector<ArchiveNumber>* numbers = nullptr;  // token i as a number, count of them valid
  };
  void take(const Series::Line& line);
  bool takeScanned(const Series::Line& line);
  Group* predicted(const ScannedRecord& scanned);
  Group& groupFor(const Record& record);
  TypePlan& planFor(const ArchiveType& type, size_t headerSerial);
  void add(Group& group, Record& record);
  void makeActions(Group& group, const TypePlan& plan, size_t count);
  void accumulate(const Group& group, const ArchiveNumber* numbers, size_t count, double time) const;
  double realTime(size_t headerSerial, uint32_t stamp);

  Series& _series;
  Selection& _selection;
  std::optional<double> _intervalMs;
  SummaryStats* _stats;
  StampClock _stampClock;  // without an interval: tells stamps that count samples
  size_t _baseSerial = 0;
  double _baseStamp = 0;

  // A plan per header and type, kept for the whole pass (groups point to them).
  std::deque<TypePlan> _plans;
  std::map<std::pair<size_t, uint64_t>, TypePlan*> _planIndex;  // by header version and type number
  std::unordered_map<std::string, std::unique_ptr<Group>> _groups;  // by type name, instance, process id
  std::string _key;
  Group* _last = nullptr;  // the group of the record before
  size_t _version = 0;     // the series' header version of the line being read

  std::vector<ArchiveNumber> _numbers;  // of the record scanned
  SeriesRecord _record;                 // a record read by the series
};

}  // namespace tallyread
