#include "extract.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tallyread {

std::string formatNumber(double value) {
  char text[64];
  if (std::fabs(value) < 9007199254740992.0 && value == std::floor(value)) {
    snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  snprintf(text, sizeof text, "%.3f", value);
  std::string shown = text;
  while (shown.back() == '0') shown.pop_back();
  if (shown.back() == '.') shown.pop_back();
  return shown;
}

std::string formatFloat(double value) {
  char text[64];
  for (int digits = 1; digits <= 9; digits++) {
    snprintf(text, sizeof text, "%.*g", digits, value);
    if ((float)strtod(text, nullptr) == (float)value) break;
  }
  return text;
}

// A sub-second archive counts samples from the second sampling began: each
// header starts a new count.
double Extractor::realTime(const SeriesRecord& record) {
  double stamp = record.record.time;
  if (!_options.intervalMs) return stamp;
  if (record.headerSerial != _baseSerial) {
    _baseSerial = record.headerSerial;
    _baseStamp = stamp;
  }
  return _baseStamp + (stamp - _baseStamp) * *_options.intervalMs / 1000.0;
}

bool Extractor::next(ShownRecord* out) {
  // Each choice of fields keeps its own cells, so that records of types that
  // take turns reuse their cells instead of building them again.
  if (_lastChoice) out->cells.swap(_cells[_lastChoice]);
  _lastChoice = nullptr;
  while (_series.next(&_record)) {
    if (!_options.intervalMs) _stampClock.add(_record);
    if (!_record.type) continue;
    const FieldChoice& choice = _selection.choose(_record.headerSerial, *_record.type);
    if (!choice.typeSelected) continue;
    const ArchiveRecord& read = _record.record;
    std::string_view instance = read.instance();
    if (!_selection.instanceMatches(instance)) continue;
    double time = realTime(_record);
    // Several processes may share a name: a record follows the previous one of
    // the same name and process id. The previous record is kept also outside
    // the time range, so that the first rate inside it has its interval.
    std::string_view processId = read.tokenCount() > 3 ? read.token(3) : std::string_view("0");
    PreviousRecords::Entry* previous = nullptr;
    if (_options.rate) {
      _key.assign(instance).append(1, '\0').append(processId);
      previous = &_previous.at(_record.type->name, _key);
    }
    if (previous && previous->headerSerial != _record.headerSerial) {
      // A new header may describe the type with other fields: a value is
      // only compared with the value of the same field.
      if (previous->fields != _record.type->fields) {
        previous->seen = false;
        previous->fields = _record.type->fields;
      }
      previous->headerSerial = _record.headerSerial;
    }
    bool shown = _selection.timeMatches(time);
    if (shown) {
      out->time = time;
      out->type = _record.type;
      out->cells.swap(_cells[&choice]);
      _lastChoice = &choice;
      out->cells.resize(choice.positions.size());
      for (size_t i = 0; i < choice.positions.size(); i++) {
        Cell& cell = out->cells[i];
        size_t position = choice.positions[i];
        cell.name = &choice.names[i];
        cell.info = choice.infos[i];
        cell.isRate = false;
        cell.value.reset();
        cell.text.clear();
        if (position >= read.tokenCount()) continue;
        if (_options.rate && cell.info && cell.info->kind == FieldKind::RunningTotal) {
          cell.isRate = true;
          if (previous->seen && position < previous->numbers.size())
            cell.value = ratePerSecond(previous->numbers[position], read.numbers[position], time - previous->time,
                                       cell.info->wide);
          if (cell.value && _options.text) cell.text = formatNumber(*cell.value);
          continue;
        }
        std::string_view token = read.token(position);
        if (position < 3) {  // the type number, time stamp or instance asked for by number
          cell.text = token;
          continue;
        }
        // Every value after the instance is a number the reader has read.
        const ArchiveNumber& number = read.numbers[position];
        bool floatPattern = cell.info && cell.info->kind == FieldKind::FloatPattern;
        if (floatPattern && !number.negative)
          cell.value = floatFromPattern(number.magnitude);
        else if (!cell.info || cell.info->kind != FieldKind::Text)
          cell.value = number.asDouble();
        if (!_options.text) continue;
        if (floatPattern && cell.value)
          cell.text = formatFloat(*cell.value);
        else
          cell.text = token;
      }
    }
    if (shown) {
      // The instance and process id must outlive the keeping below.
      _instance = instance;
      _processId = processId;
      out->instance = &_instance;
      out->processId = &_processId;
    }
    if (previous) PreviousRecords::keep(*previous, time, _record.record);
    if (shown) return true;
  }
  for (const std::string& message : _stampClock.findings(time(nullptr))) _series.note(message);
  _stampClock = StampClock();
  return false;
}

}  // namespace tallyread
