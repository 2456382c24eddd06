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
  const ArchiveHeader* header = nullptr;   // that describes the record; valid until the next call
  // With rates: a number for the type, instance and process id, the same for
  // each of their records (1, 2 ...); 0 without rates.
  size_t series = 0;
  std::vector<Cell> cells;
};

class Extractor {
 public:
  Extractor(Series& series, Selection& selection, ExtractOptions options)
      : _series(series), _selection(selection), _options(options) {}
  // The next record selected; FALSE at the end of the series. Pass the same
  // record each time: its cells are exchanged with those kept per type.
  bool next(ShownRecord* out);
  // At the end of the series: a file's time stamps ran ahead of the clock
  // (a sub-second archive read without --interval-ms).
  bool stampsCountSamples() const { return _stampsCountSamples; }

 private:
  double realTime(const SeriesRecord& record);
  Series& _series;
  Selection& _selection;
  ExtractOptions _options;
  SeriesRecord _record;
  PreviousRecords _previous;
  std::string _key, _instance, _processId;
  // How a cell's value is found: a rate, the token as written, a float
  // pattern decoded, or the number read.
  struct Plan {
    size_t position;
    enum How { Rate, Token, Float, Value } how;
  };
  // Each choice of fields keeps its own cells, so that records of types that
  // take turns reuse their cells instead of building them again.
  struct Kept {
    std::vector<Cell> cells;
    std::vector<Plan> plan;
  };
  Kept& keptFor(const FieldChoice& choice);
  void fillCells(const std::vector<Plan>& plans, const ArchiveRecord& read, const PreviousRecords::Entry* previous,
                 double time, std::vector<Cell>* cells) const;
  std::map<const FieldChoice*, Kept> _kept;
  Kept* _lastKept = nullptr;
  StampClock _stampClock;  // without --interval-ms: tells stamps that count samples
  size_t _baseSerial = 0;
  double _baseStamp = 0;
  bool _stampsCountSamples = false;
};

// Numbers as shown: integers exactly, others with at most three decimals.
std::string formatNumber(double value);
// A single-precision value in the fewest digits that give it back.
std::string formatFloat(double value);

}  // namespace tallyread
