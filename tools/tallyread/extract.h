// The records of a series as a command shows them: selected, with real times,
// float patterns decoded and, on request, running totals as rates per second.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fieldcatalogue.h"
#include "rates.h"
#include "selection.h"
#include "series.h"
#include "stampclock.h"

namespace tallyread {

struct ExtractOptions {
  bool rate = false;                  // running totals as rates per second
  std::optional<double> intervalMs;   // a sub-second archive: the real interval of its samples
  bool text = true;                   // fill Cell::text (summaries need the numbers only)
};

struct Cell {
  const std::string* name = nullptr;
  const FieldInfo* info = nullptr;   // null for a field the catalogue does not know
  std::string text;                  // as shown; empty when there is no value
  std::optional<double> value;       // the number shown, when it is one
  bool isRate = false;
};

struct ShownRecord {
  double time = 0;  // seconds since 1970
  const ArchiveType* type = nullptr;
  const std::string* instance = nullptr;
  const std::string* processId = nullptr;  // "0" for host records and when the type has none
  std::vector<Cell> cells;
};

class Extractor {
 public:
  Extractor(Series& series, Selection& selection, ExtractOptions options)
      : _series(series), _selection(selection), _options(options) {}
  // The next record selected; FALSE at the end of the series. Pass the same
  // record each time: its cells are exchanged with those kept per type.
  bool next(ShownRecord* out);

 private:
  double realTime(const SeriesRecord& record);
  Series& _series;
  Selection& _selection;
  ExtractOptions _options;
  SeriesRecord _record;
  PreviousRecords _previous;
  std::string _key, _instance, _processId;
  std::map<const FieldChoice*, std::vector<Cell>> _cells;
  const FieldChoice* _lastChoice = nullptr;
  StampClock _stampClock;  // without --interval-ms: tells stamps that count samples
  size_t _baseSerial = 0;
  double _baseStamp = 0;
};

// Numbers as shown: integers exactly, others with at most three decimals.
std::string formatNumber(double value);
// A single-precision value in the fewest digits that give it back.
std::string formatFloat(double value);

}  // namespace tallyread
